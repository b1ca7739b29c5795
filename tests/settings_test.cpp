#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "core/atomic_file.h"
#include "core/globals.h"
#include "core/paths.h"
#include "core/settings.h"
#include "support/testing.h"

namespace {

const char* DEFAULT_FILE =
    "# Veltrane launcher (Linux)\n"
    "af16=1\nclose_on_play=0\ndlc_dir=\nengine_cvars=\nextra_env=\nfps60=0\nfullscreen=0\n"
    "fx_fog=1\nfx_ssao=1\nfx_vignette=1\ngame_dir=\ngamepad=\ngpu_submit=auto\nlanguage=\n"
    "launcher_fullscreen=auto\nmouse=1\nmouse_invert=0\nmouse_sens=1.0\nneo=0\n"
    "output_res=1920x1080\nperf_culling=1\nperf_dma=1\nperf_record_thread=1\nplayer_name=\n"
    "present_mode=Mailbox\nreadbacks=\nsave_snapshots=1\nsetup_done=0\nsharpness=250\nshow_fps=0\nsys_modules=\n"
    "ui_language=\nupscaler=fsr1\nuser_dir=\n";

fs::path dir_of_settings() { return settings_file().parent_path(); }

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        g_data = dir.path();
        S.map.clear();
        text_field_left();   // no typed text left over from another test
        g_dirty = false;
        g_settings_unreadable = false;
        g_page = 0;
        g_pt = false;
    }
    TempDir dir;
};

TEST_F(SettingsFile, FreshDataFolderSavesHeaderAndDefaultsInKeyOrder) {
    load_settings();
    EXPECT_EQ(S.map.size(), 34u);
    g_dirty = true;
    EXPECT_TRUE(save_settings());
    EXPECT_FALSE(g_dirty);
    EXPECT_EQ(read_text(settings_file()), DEFAULT_FILE);
}

TEST_F(SettingsFile, ValuesAreTakenByteForByte) {
    write_file(settings_file(),
               "fps60= 1\nfullscreen=1\r\nneo=1\nextra_env=A=1 B=2\n=x\nnoequals\n#c=1\n\n"
               "foo=bar\nmouse=0\nmouse=1");
    load_settings();
    EXPECT_FALSE(S.on("fps60"));
    EXPECT_EQ(S.get("fps60"), " 1");
    EXPECT_FALSE(S.on("fullscreen"));
    EXPECT_EQ(S.get("fullscreen"), "1\r");
    EXPECT_TRUE(S.on("neo"));
    EXPECT_EQ(S.get("extra_env"), "A=1 B=2");
    EXPECT_EQ(S.get(""), "x");
    EXPECT_EQ(S.get("foo"), "bar");
    EXPECT_TRUE(S.on("mouse")) << "the last duplicate wins, even without a final line feed";
    EXPECT_EQ(S.map.count("noequals"), 0u);
    EXPECT_EQ(S.map.count("#c"), 0u);
}

TEST_F(SettingsFile, RoundTripKeepsUnknownKeysAndDropsComments) {
    write_file(settings_file(), "# mine\nfoo=bar\n=x\nfullscreen=1\r\nkey.cross=\nzz=last\n");
    load_settings();
    save_settings();
    std::string text = read_text(settings_file());
    EXPECT_EQ(text.rfind("# Veltrane launcher (Linux)\n=x\naf16=1\n", 0), 0u) << text;
    EXPECT_EQ(text.find("# mine"), std::string::npos);
    EXPECT_NE(text.find("\nfoo=bar\nfps60=0\nfullscreen=1\r\nfx_fog=1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\ngpu_submit=auto\nkey.cross=\nlanguage=\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nuser_dir=\nzz=last\n"), std::string::npos) << text;
    // A second load and save changes nothing.
    S.map.clear();
    load_settings();
    save_settings();
    EXPECT_EQ(read_text(settings_file()), text);
}

TEST_F(SettingsFile, PortIniFillsOnlyEmptyFolders) {
    write_file(g_data / "quor.ini", "[x]\nQUOR_GAME_DIR=/g\nQUOR_GAME_DIR=/second\nQUOR_SYS_MODULES=/m\n");
    write_file(settings_file(), "sys_modules=/mine\n");
    load_settings();
    EXPECT_EQ(S.get("game_dir"), "/g");
    EXPECT_EQ(S.get("sys_modules"), "/mine");
    EXPECT_FALSE(g_dirty);
}

TEST_F(SettingsFile, SaveThatCannotWriteKeepsTheOldFileWhole) {
    write_file(settings_file(), "game_dir=/precious\n");
    load_settings();
    S.set("player_name", "changed");
    // A file-size limit makes every write past a few bytes fail, as a full
    // disk would, even for root.
    g_dirty = true;
    bool ok = with_tiny_disk([] { return int(save_settings()); }, 64);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(g_dirty) << "the next change retries";
    EXPECT_EQ(read_text(settings_file()), "game_dir=/precious\n");
    int files = 0;
    for (auto& e : fs::directory_iterator(dir.path())) { (void)e; ++files; }
    EXPECT_EQ(files, 1) << "no temporary file is left behind";
}

TEST_F(SettingsFile, SaveIntoMissingFolderFailsQuietly) {
    g_data = dir.path() / "gone";
    load_settings();
    EXPECT_FALSE(save_settings());
    EXPECT_FALSE(fs::exists(g_data));
}

TEST_F(SettingsFile, AtomicWriteReplacesAndKeepsMode) {
    fs::path p = dir.path() / "f.txt";
    write_file(p, "old contents that are longer");
    fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(write_file_atomic(p, "new"));
    EXPECT_EQ(read_text(p), "new");
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    // A file its owner could not read or write gets both back, or the next
    // start could not load what this one saved.
    fs::permissions(p, fs::perms::group_read, fs::perm_options::replace);
    ASSERT_TRUE(write_file_atomic(p, "newer"));
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(SettingsFile, LinkedFileKeepsItsLinkAndAMissingTargetIsMade) {
    fs::path real = dir.path() / "elsewhere" / "mine.ini";
    write_file(real, "fps60=1\n");
    fs::create_symlink("elsewhere/mine.ini", settings_file());
    load_settings();
    EXPECT_TRUE(S.on("fps60"));
    S.set("neo", "1");
    ASSERT_TRUE(save_settings());
    EXPECT_TRUE(fs::is_symlink(settings_file()));
    EXPECT_NE(read_text(real).find("\nfps60=1\n"), std::string::npos);
    EXPECT_NE(read_text(real).find("\nneo=1\n"), std::string::npos);

    fs::remove(real);
    S.map.clear();
    load_settings();
    EXPECT_FALSE(g_settings_unreadable) << "a dangling link is a missing file";
    ASSERT_TRUE(save_settings());
    EXPECT_TRUE(fs::is_symlink(settings_file()));
    EXPECT_EQ(read_text(real), DEFAULT_FILE);
}

TEST_F(SettingsFile, ValueWithALineFeedNeverBecomesOtherSettings) {
    load_settings();
    S.set("game_dir", "/evil\nkey.move_up=Up\ngame_dir=/evil");
    S.set("extra_env", "A=1\r");
    ASSERT_TRUE(save_settings());
    std::string text = read_text(settings_file());
    EXPECT_EQ(text.find("key.move_up"), std::string::npos) << text;
    EXPECT_EQ(text.find("/evil"), std::string::npos) << text;
    EXPECT_NE(text.find("\nextra_env=A=1\r\n"), std::string::npos) << "a carriage return is kept";
    S.map.clear();
    load_settings();
    EXPECT_EQ(S.get("game_dir"), "");
    EXPECT_EQ(S.map.count("key.move_up"), 0u);
}

// A FIFO in launcher.ini's place would block a plain open for good; the
// child is killed by its timer if it does.
TEST_F(SettingsFile, FifoIsUnreadableAndNeverReplaced) {
    ASSERT_EQ(mkfifo(settings_file().c_str(), 0644), 0);
    write_file(g_data / "quor.ini", "QUOR_GAME_DIR=/g\n");
    int code = run_in_child([] {
        load_settings();
        if (!g_settings_unreadable || S.get("game_dir") != "/g" || S.get("fps60") != "0") return 1;
        S.set("fps60", "1");
        return save_settings() ? 2 : 0;
    }, false);
    EXPECT_EQ(code, 0) << "1: not read as unreadable, 2: saved over it, 142: blocked";
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(settings_file())));
}

// Root reads any file, so the player's view is taken in a child without root.
TEST_F(SettingsFile, UnreadableFileIsLeftUntouched) {
    const std::string mine = "game_dir=/precious\nfps60=1\n";
    write_file(settings_file(), mine);
    ASSERT_EQ(chmod(settings_file().c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    int code = run_in_child([] {
        if (access(settings_file().c_str(), R_OK) == 0) return 3;
        load_settings();
        if (!g_settings_unreadable || S.get("game_dir") != "") return 1;
        S.set("neo", "1");
        g_dirty = true;
        if (save_settings() || g_dirty) return 2;
        g_dirty = true;
        go_page(2);
        return 0;
    }, true);
    EXPECT_EQ(code, 0) << "1: not seen as unreadable, 2: saved over it, 3: bad set-up";
    struct stat st{};
    ASSERT_EQ(stat(settings_file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0u);
    EXPECT_EQ(read_text(settings_file()), mine);
    EXPECT_STREQ(settings_unreadable_text(),
                 "launcher.ini could not be read: this session uses the default settings and leaves the file as it is.");
}

// A folder that takes no new file, holding a file its owner may write: the
// file is rewritten in place instead of the save being lost.
TEST_F(SettingsFile, ReadOnlyFolderFallsBackToAnInPlaceWrite) {
    write_file(settings_file(), "fps60=1\nplayer_name=a much longer name than the new one\n");
    ASSERT_EQ(chmod(settings_file().c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    int code = run_in_child([] {
        if (access(dir_of_settings().c_str(), W_OK) == 0) return 3;
        load_settings();
        S.set("player_name", "b");
        bool in_place = false;
        if (!write_file_atomic(settings_file(), settings_text(S), &in_place)) return 1;
        if (!in_place) return 2;
        S.set("neo", "1");
        return save_settings() ? 0 : 4;
    }, true);
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(code, 0) << "1/4: not written, 2: not said, 3: bad set-up";
    Settings expect;
    for (const auto& d : DEFAULTS) expect.set(d.key, d.value);
    expect.set("fps60", "1");
    expect.set("player_name", "b");
    expect.set("neo", "1");
    EXPECT_EQ(read_text(settings_file()), settings_text(expect)) << "shorter text, old tail cut off";
    int files = 0;
    for (auto& e : fs::directory_iterator(dir.path())) { (void)e; ++files; }
    EXPECT_EQ(files, 1);
}

TEST_F(SettingsFile, GoPageSavesOnlyOnARealChange) {
    load_settings();
    g_dirty = true;
    go_page(0);
    EXPECT_TRUE(g_dirty);
    EXPECT_FALSE(fs::exists(settings_file()));
    g_focus_first = false;
    go_page(3);
    EXPECT_EQ(g_page, 3);
    EXPECT_TRUE(g_focus_first);
    EXPECT_FALSE(g_dirty);
    EXPECT_TRUE(fs::exists(settings_file()));
}

// Typing writes the file after a pause, or when the page changes, not at
// every key.
TEST_F(SettingsFile, TypedTextIsSavedAfterAPauseOrAPageSwitch) {
    load_settings();
    S.set("player_name", "a");
    text_edited(10.0);
    S.set("player_name", "ab");
    text_edited(10.5);
    settle_text_edits(11.0);
    EXPECT_FALSE(g_dirty);
    settle_text_edits(10.5 + TEXT_SAVE_PAUSE);
    EXPECT_TRUE(g_dirty);
    EXPECT_FALSE(text_edit_pending());
    g_dirty = false;
    settle_text_edits(100.0);
    EXPECT_FALSE(g_dirty) << "one save per pause";

    S.set("player_name", "abc");
    text_edited(20.0);
    go_page(4);
    EXPECT_FALSE(text_edit_pending());
    EXPECT_NE(read_text(settings_file()).find("\nplayer_name=abc\n"), std::string::npos);
}

TEST(SettingsStore, OnMeansExactlyOne) {
    Settings s;
    EXPECT_FALSE(s.on("x"));
    EXPECT_EQ(s.get("x"), "");
    s.set("x", "true");
    EXPECT_FALSE(s.on("x"));
    s.set("x", "1");
    EXPECT_TRUE(s.on("x"));
}

}  // namespace
