// File work behind the Game & saves and Advanced pages, and the desktop entry.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/globals.h"
#include "core/paths.h"
#include "core/settings.h"
#include "desktop/shortcut.h"
#include "launch/game_process.h"
#include "ui/pages.h"
#include "ui/toast.h"
#include "support/testing.h"

namespace {

class Pages : public ::testing::Test {
protected:
    void SetUp() override {
        reset_settings();
        g_pt = false;
        g_data = dir / "data";
        g_port = dir / "port";
        g_exe_dir = dir / "port/launcher";
        old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", (dir / "home").c_str(), 1);
        unsetenv("APPIMAGE");
        g_toast.clear();
    }
    void TearDown() override { setenv("HOME", old_home.c_str(), 1); }
    fs::path dest() { return dir / "data/user/savedata/1/CUSA00000"; }
    TempDir dir;
    std::string old_home;
};

TEST_F(Pages, ImportWithoutAnySaveTouchesNothing) {
    fs::create_directories(dir / "home/.local/share/shadPS4/savedata/CUSA00000");  // empty: no candidate
    EXPECT_FALSE(import_save({}));
    EXPECT_EQ(g_toast, "No shadPS4 save found (~/.local/share/shadPS4/savedata).");
    EXPECT_FALSE(fs::exists(dir / "data/user"));
}

TEST_F(Pages, ImportFromTheFlatLayoutCopiesIntoAnEmptyDestination) {
    write_file(dir / "home/.local/share/shadPS4/savedata/CUSA00000/SAVE0/data.bin", "slot");
    fs::create_directories(dest());
    EXPECT_TRUE(import_save({}));
    EXPECT_EQ(read_text(dest() / "SAVE0/data.bin"), "slot");
    EXPECT_FALSE(fs::exists(dir / "data/user/savedata/1/CUSA00000.bak")) << "an empty folder needs no backup";
    EXPECT_EQ(g_toast, "Save imported from " + (dir / "home/.local/share/shadPS4/savedata/CUSA00000").string());
}

TEST_F(Pages, ScanResultsComeFirstAndOldSavesGoToBackup) {
    write_file(dir / "home/.local/share/shadPS4/savedata/1/CUSA00000/a", "emu");
    write_file(dir / "scan/CUSA00000/b", "scan");
    write_file(dest() / "mine", "current");
    write_file(dir / "data/user/savedata/1/CUSA00000.bak/old", "older");
    EXPECT_TRUE(import_save({(dir / "scan/CUSA00000").string()}));
    EXPECT_EQ(read_text(dest() / "b"), "scan");
    EXPECT_FALSE(fs::exists(dest() / "mine")) << "the destination holds exactly the source";
    EXPECT_FALSE(fs::exists(dest() / "a"));
    EXPECT_EQ(read_text(dir / "data/user/savedata/1/CUSA00000.bak/mine"), "current");
    EXPECT_FALSE(fs::exists(dir / "data/user/savedata/1/CUSA00000.bak/old")) << "one generation only";
}

TEST_F(Pages, TheSaveFolderItselfIsNeverImportedOntoItself) {
    write_file(dest() / "mine", "current");
    EXPECT_TRUE(save_candidates({dest().string()}).empty());
    EXPECT_FALSE(import_save({dest().string()}));
    EXPECT_EQ(read_text(dest() / "mine"), "current");
}

TEST_F(Pages, PerUserEmulatorFoldersAndFlatpakAreSearched) {
    write_file(dir / "home/.var/app/net.shadps4.shadPS4/data/shadPS4/savedata/2/CUSA00000/x", "f");
    auto c = save_candidates({});
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0], dir / "home/.var/app/net.shadps4.shadPS4/data/shadPS4/savedata/2/CUSA00000");
}

TEST_F(Pages, ShaderCacheIsKeptWhileTheGameRuns) {
    write_file(dir / "data/user/cache/a", "x");
    write_file(dir / "data/user/shader/b", "x");
    g_game.running = true;
    EXPECT_FALSE(clear_shader_cache());
    EXPECT_TRUE(fs::exists(dir / "data/user/cache/a"));
    EXPECT_TRUE(g_toast.empty());
    g_game.running = false;
    EXPECT_TRUE(clear_shader_cache());
    EXPECT_FALSE(fs::exists(dir / "data/user/cache"));
    EXPECT_FALSE(fs::exists(dir / "data/user/shader"));
    EXPECT_NE(g_toast.find("Shader cache cleared."), std::string::npos);
    g_toast.clear();
    EXPECT_TRUE(clear_shader_cache()) << "nothing to delete still reports";
    EXPECT_FALSE(g_toast.empty());
}

TEST_F(Pages, DesktopEntryAndIconCopy) {
    write_file(dir / "port/launcher/quor.png", "port icon");
    fs::create_directories(g_data);
    ASSERT_TRUE(desktop_shortcut());
    fs::path entry = dir / "home/.local/share/applications/quor-pc.desktop";
    std::string program = (dir / "port/launcher/quor-launcher").string();
    EXPECT_EQ(read_text(entry), "[Desktop Entry]\nType=Application\nName=Veltrane\n"
                                "Comment=Native Linux port (your own game dump required)\n"
                                "Exec=\"" + program + "\"\nIcon=" + (dir / "data/quor-pc.png").string() +
                                    "\nCategories=Game;\nTerminal=false\n");
    EXPECT_EQ(read_text(dir / "data/quor-pc.png"), "port icon");
    // A dump's own icon wins; APPIMAGE names the program.
    write_file(dir / "dump/sce_sys/icon0.png", "dump icon");
    S.set("game_dir", (dir / "dump").string());
    setenv("APPIMAGE", "/opt/My Games/quor.AppImage", 1);
    g_pt = true;
    ASSERT_TRUE(desktop_shortcut());
    EXPECT_EQ(read_text(dir / "data/quor-pc.png"), "dump icon");
    std::string text = read_text(entry);
    EXPECT_NE(text.find("Exec=\"/opt/My Games/quor.AppImage\"\n"), std::string::npos);
    EXPECT_NE(text.find("Comment=Port nativo para Linux (precisa do seu dump do jogo)\n"), std::string::npos);
    setenv("APPIMAGE", "", 1);
    EXPECT_EQ(shortcut_program(), program);
    unsetenv("APPIMAGE");
}

TEST_F(Pages, DesktopEntryFailureIsReported) {
    write_file(dir / "home/.local/share", "a file where a folder should be");
    EXPECT_FALSE(desktop_shortcut());
    EXPECT_EQ(g_toast, "Could not create the shortcut.");
}

}  // namespace
