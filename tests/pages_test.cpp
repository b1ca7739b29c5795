// File work behind the Game & saves and Advanced pages, and the desktop entry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/globals.h"
#include "core/paths.h"
#include "core/settings.h"
#include "desktop/shortcut.h"
#include "desktop/support_report.h"
#include "launch/game_process.h"
#include "launch/snapshots.h"
#include "ui/page_advanced.h"
#include "ui/page_game.h"
#include "core/toast.h"
#include "support/testing.h"

namespace {

class Pages : public InstallTest {
protected:
    fs::path dest() { return dir / "data/user/savedata/1/CUSA00000"; }
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
    EXPECT_FALSE(fs::exists(dir / "data/user/savedata/1/CUSA00000.bak/old"));
    int aged = 0;   // the older backup is kept under a time-stamped name
    for (auto& e : fs::directory_iterator(dir / "data/user/savedata/1"))
        aged += read_text(e.path() / "old") == "older";
    EXPECT_EQ(aged, 1);
}

// Repeating, failing and retrying imports: the player's own saves survive
// every one of them, and nothing half-copied ever lands in the save folder.
TEST_F(Pages, ImportNeverLosesTheCurrentSaves) {
    fs::path emu = dir / "home/.local/share/shadPS4/savedata/CUSA00000";
    fs::path saves = dir / "data/user/savedata/1";
    write_file(emu / "SAVE0/data.bin", "emu 1");
    write_file(dest() / "SAVE0/data.bin", "mine");
    write_file(dest() / "SAVE1/other.bin", "mine too");
    const auto mine = tree_listing(dest());

    g_game.running = true;
    EXPECT_FALSE(import_save({}));
    g_game.running = false;
    EXPECT_EQ(g_toast, "Close the game before importing a save.");
    EXPECT_EQ(tree_listing(saves).size(), mine.size() + 1) << "nothing beside the saves";
    // A game started by another launcher (--play) on this data folder.
    int lock = open((dir / "data/.quor-game.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    g_toast.clear();
    EXPECT_FALSE(import_save({}));
    EXPECT_EQ(g_toast, "Close the game before importing a save.");
    g_toast.clear();
    EXPECT_FALSE(restore_save_snapshot({dir / "data/save-snapshots/x", "x", 0}));
    EXPECT_EQ(g_toast, "Close the game before restoring a save.");
    close(lock);
    EXPECT_EQ(tree_listing(dest()), mine);

    // Part way through, a file that cannot be copied (a FIFO, which would
    // also block a naive reader).
    write_file(emu / "SAVE1/a.bin", "first");
    ASSERT_EQ(mkfifo((emu / "SAVE1/b.pipe").c_str(), 0644), 0);
    EXPECT_FALSE(import_save({}));
    EXPECT_EQ(g_toast.rfind("Could not import the save: " + (emu / "SAVE1/b.pipe").string(), 0), 0u) << g_toast;
    EXPECT_EQ(tree_listing(dest()), mine);
    EXPECT_EQ(std::distance(fs::directory_iterator(saves), fs::directory_iterator()), 1)
        << "no backup, no partial copy left";

    fs::remove(emu / "SAVE1/b.pipe");
    EXPECT_TRUE(import_save({}));
    EXPECT_EQ(tree_listing(dest()), tree_listing(emu));
    EXPECT_EQ(tree_listing(saves / "CUSA00000.bak"), mine);

    // Pressing Import again changes nothing: the backup still holds the player's saves.
    EXPECT_TRUE(import_save({}));
    EXPECT_EQ(g_toast, "The saves here already match " + emu.string());
    EXPECT_EQ(tree_listing(saves / "CUSA00000.bak"), mine);
    EXPECT_EQ(std::distance(fs::directory_iterator(saves), fs::directory_iterator()), 2);

    // A newer emulator save: the previous backup moves to a time-stamped name.
    write_file(emu / "SAVE0/data.bin", "emu 2");
    EXPECT_TRUE(import_save({}));
    EXPECT_EQ(read_text(dest() / "SAVE0/data.bin"), "emu 2");
    EXPECT_EQ(read_text(saves / "CUSA00000.bak/SAVE0/data.bin"), "emu 1");
    int aged = 0;
    for (auto& e : fs::directory_iterator(saves))
        if (e.path().filename().string().rfind("CUSA00000.bak-", 0) == 0) {
            ++aged;
            EXPECT_EQ(tree_listing(e.path()), mine);
        }
    EXPECT_EQ(aged, 1);
}

// The current saves cannot be moved aside (a sticky folder owned by someone
// else): the import fails and says so, and nothing was merged into them.
// Root may rename anything, so the import runs in a child that gives up root.
TEST_F(Pages, ImportThatCannotMoveTheSavesAsideChangesNothing) {
    fs::path emu = dir / "home/.local/share/shadPS4/savedata/CUSA00000";
    write_file(emu / "SAVE0/data.bin", "emu");
    write_file(dest() / "SAVE0/data.bin", "mine");
    const auto before = tree_listing(dir / "data/user/savedata/1");
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    for (auto& e : fs::recursive_directory_iterator(dir.path()))
        ASSERT_EQ(chmod(e.path().c_str(), e.is_directory() ? 0755 : 0644), 0);
    ASSERT_EQ(chmod(dest().parent_path().c_str(), 01777), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        if (access(emu.c_str(), R_OK) != 0 || access(dest().parent_path().c_str(), W_OK) != 0) _exit(3);
        if (import_save({})) _exit(1);
        _exit(g_toast.rfind("Could not import the save: ", 0) == 0 ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: reported success, 2: could not drop root, 3: bad set-up, 4: wrong toast";
    EXPECT_EQ(tree_listing(dir / "data/user/savedata/1"), before) << "no scratch copy, no merge, no backup";
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

TEST_F(Pages, RestoringASnapshotIsRefusedWhileTheGameRunsAndToldInBothLanguages) {
    write_file(dest() / "slot", "current");
    write_file(g_data / "save-snapshots/2001-01-01_00-00-00/slot", "older");
    Snapshot older = list_snapshots(snapshots_dir()).at(0);

    g_game.running = true;
    EXPECT_FALSE(restore_save_snapshot(older));
    g_game.running = false;
    EXPECT_EQ(g_toast, "Close the game before restoring a save.");
    EXPECT_EQ(read_text(dest() / "slot"), "current");

    g_pt = true;
    EXPECT_TRUE(restore_save_snapshot(older));
    EXPECT_EQ(g_toast, "Restaurado o snapshot de 01/01/2001 00:00:00; os saves substituídos viraram um snapshot.");
    EXPECT_EQ(read_text(dest() / "slot"), "older");
    EXPECT_EQ(read_text(list_snapshots(snapshots_dir()).at(0).path / "slot"), "current");

    g_pt = false;
    fs::remove_all(older.path);
    EXPECT_FALSE(restore_save_snapshot(older));
    EXPECT_EQ(g_toast.rfind("Could not restore the snapshot: " + older.path.string(), 0), 0u) << g_toast;
    EXPECT_EQ(read_text(dest() / "slot"), "older");
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

// Exec holds the path as one quoted argument, then as a string value; a path
// the key file or the menus cannot hold is refused and nothing is written.
TEST_F(Pages, DesktopEntryQuotesOddPathsAndRefusesUnwritableOnes) {
    const std::pair<std::string, std::string> rows[] = {   // an empty value: refused
        {"/My Games/q", R"("/My Games/q")"}, {"/1%/q", R"("/1%%/q")"},   {"/a\"b", R"("/a\\"b")"},
        {"/a\\b", R"("/a\\\\b")"},           {"/$HOME", R"("/\\$HOME")"}, {"/`id`", R"("/\\`id\\`")"},
        {"/ç ✓", "\"/ç ✓\""},                {"/a\nb", ""},              {"/\xff", ""},
        {"/\xc3", ""},                       {"/\xed\xa0\x80", ""},
    };
    for (const auto& [path, value] : rows) {
        std::string exec;
        EXPECT_EQ(desktop_exec_value(path, exec), !value.empty()) << path;
        EXPECT_EQ(exec, value) << path;
    }
    write_file(dir / "port/launcher/quor.png", "port icon");
    g_exe_dir = dir / "port/a\"b $c";
    g_data = dir / "da\\ta";
    fs::create_directories(g_data);
    ASSERT_TRUE(desktop_shortcut());
    fs::path entry = dir / "home/.local/share/applications/quor-pc.desktop";
    const std::string text = read_text(entry), top = dir.path().string();
    EXPECT_NE(text.find("\nExec=\"" + top + "/port/a\\\\\"b \\\\$c/quor-launcher\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nIcon=" + top + "/da\\\\ta/quor-pc.png\n"), std::string::npos) << text;
    fs::remove(entry);
    for (const char* program : {"/opt/a\nb.AppImage", "/opt/100%/quor.AppImage"}) {
        setenv("APPIMAGE", program, 1);
        EXPECT_FALSE(desktop_shortcut());
        EXPECT_EQ(g_toast.rfind("The launcher's path ", 0), 0u) << g_toast;
        EXPECT_FALSE(fs::exists(entry));
    }
    unsetenv("APPIMAGE");
}

TEST(SupportReport, RedactionLeavesOutWhoThePlayerIs) {
    const Identity who{{"/home/ana", "/var/home/ana"}, {"ana", "jo"}, "ana-pc", "Zoë", {"12345678"}};
    const std::pair<std::string, std::string> rows[] = {
        {"game_dir=/home/ana/Games/dump", "game_dir=~/Games/dump"},
        {"HOME=/home/ana\nreal /var/home/ana/x", "HOME=~\nreal ~/x"},
        {"/home/anabel/x", "/home/<user>bel/x"},           // another folder: only the name goes
        {"user ana, ORN_USER_NAME=Zoë, banana", "user <user>, ORN_USER_NAME=<player>, b<user>na"},
        {"jo: joy", "<user>: joy"},                        // a short name only as a word
        {"host ana-pc", "host <host>"},
        {"userdata/12345678/config 123456789", "userdata/<steam-id>/config 123456789"},
        {"id 76561198000000001, 765611980000000012", "id <steam-id>, 765611980000000012"},
        {"/tmp/x", "/tmp/x"},
    };
    for (const auto& [in, out] : rows) EXPECT_EQ(redact_report(in, who), out) << in;
    EXPECT_EQ(redact_report("/ and //", Identity{{"/", "//"}, {}, "", "", {}}), "/ and //");
}

TEST_F(Pages, SupportReportIsWrittenOnceAPressAndAFullDiskIsSaid) {
    S.set("player_name", "Zoë");
    S.set("game_dir", (dir / "home/Games/dump").string());
    ReportFacts facts = report_facts_here();
    facts.ready = {"✓  Saves found"};
    support_report_pressed(facts, false);
    ReportFacts later = facts;
    later.now += 5;
    support_report_pressed(later, false);   // while the first is at work: nothing
    ASSERT_TRUE(wait_until([] { return take_support_report(); }, 20));
    EXPECT_FALSE(support_report_busy());
    std::vector<fs::path> made;
    for (auto& e : fs::directory_iterator(g_data)) made.push_back(e.path());
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(g_toast, "Support report saved: " + made[0].filename().string());
    const std::string text = read_text(made[0]);
    EXPECT_EQ(text, last_support_report_text());
    for (const char* part : {"\n== Launcher ==\n", "\n== Ready check ==\n✓  Saves found\n", "game_dir=~/Games/dump\n",
                             "player_name=<player>\n", "\n== Crash copies ==\nNone.\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    EXPECT_EQ(text.find("Zoë"), std::string::npos);
    EXPECT_EQ(text.find((dir / "home").string()), std::string::npos);

    fs::remove(made[0]);
    ReportOutcome o;
    with_tiny_disk([&] { o = write_support_report(facts); return 0; }, 100);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.message.rfind("The support report could not be saved in the data folder: ", 0), 0u) << o.message;
    EXPECT_TRUE(fs::is_empty(g_data)) << "neither the report nor its temporary file stays";
}

TEST_F(Pages, DesktopEntryFailureIsReported) {
    write_file(dir / "home/.local/share", "a file where a folder should be");
    EXPECT_FALSE(desktop_shortcut());
    EXPECT_EQ(g_toast, "Could not create the shortcut.");
}

}  // namespace
