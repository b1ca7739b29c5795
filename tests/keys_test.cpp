#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "controls/keys.h"
#include "core/globals.h"
#include "core/paths.h"
#include "core/settings.h"
#include "support/testing.h"

namespace fs = std::filesystem;

namespace {

const char* MARKER = "# key bindings (launcher)";

class KeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_settings();
        g_data = dir.path();
        g_pt = false;
    }
    void TearDown() override { reset_settings(); }

    fs::path ini() const { return dir / "quor.ini"; }

    TempDir dir;
};

}  // namespace

TEST(KeyTable, TwentyFiveActionsWithTheirDefaults) {
    std::set<std::string> ids;
    for (const KeyInput& k : KEY_INPUTS) ids.insert(k.id);
    EXPECT_EQ(ids.size(), 25u);
    EXPECT_STREQ(KEY_INPUTS[0].id, "move_up");
    EXPECT_STREQ(KEY_INPUTS[0].default_key, "W");
    EXPECT_STREQ(KEY_INPUTS[0].label_pt, "Andar para frente");
    EXPECT_STREQ(KEY_INPUTS[9].id, "circle");
    EXPECT_STREQ(KEY_INPUTS[9].default_key, "Left Shift");
    EXPECT_STREQ(KEY_INPUTS[8].label_en, "\xE2\x9C\x95");  // U+2715
    EXPECT_STREQ(KEY_INPUTS[20].id, "touchpad_right");
    EXPECT_STREQ(KEY_INPUTS[20].default_key, "Backspace");
    EXPECT_STREQ(KEY_INPUTS[24].id, "right");
    EXPECT_STREQ(KEY_INPUTS[24].label_en, "D-pad \xE2\x86\x92");  // U+2192
}

TEST_F(KeysTest, KeyOfReadsDefaultStoredOrUnbound) {
    const KeyInput& up = KEY_INPUTS[0];
    EXPECT_EQ(key_of(up), "W");
    S.set("key.move_up", "Up");
    EXPECT_EQ(key_of(up), "Up");
    S.set("key.move_up", "");
    EXPECT_EQ(key_of(up), "");
}

TEST_F(KeysTest, BlockIsRebuiltInSettingsOrderAfterTheGamesLines) {
    S.set("key.up", "Keypad 8");
    S.set("key.move_up", "Up");
    S.set("key.cross", "");
    S.set("key.not_an_action", "X");
    S.set("key.", "dot");  // four bytes: still a binding line
    S.set("keys", "ignored");
    std::string old = std::string("[game]\n") + "key.stale=Q\n" + MARKER + "\n" + "fov=90\n" + " key.kept=1\n" +
                      MARKER + " \n" + "key.move_up=W\n" + "tail";
    EXPECT_EQ(rebuild_port_ini(old),
              std::string("[game]\nfov=90\n key.kept=1\n") + MARKER + " \ntail\n" + MARKER + "\n" +
                  "key.=dot\nkey.cross=\nkey.move_up=Up\nkey.not_an_action=X\nkey.up=Keypad 8\n");
}

TEST_F(KeysTest, AllTwentyFiveBindingsComeInByteOrder) {
    for (const KeyInput& k : KEY_INPUTS) S.set(std::string("key.") + k.id, "X");
    std::string expected = std::string(MARKER) + "\n";
    for (const char* id : {"circle", "cross", "down", "l1", "l2", "l3", "left", "look_down", "look_left",
                           "look_right", "look_up", "move_down", "move_left", "move_right", "move_up",
                           "options", "r1", "r2", "r3", "right", "square", "touchpad", "touchpad_right",
                           "triangle", "up"})
        expected += std::string("key.") + id + "=X\n";
    EXPECT_EQ(rebuild_port_ini(""), expected);
}

TEST_F(KeysTest, ShortLinesEmptyLinesAndCarriageReturnsAreKept) {
    std::string old = "a\n\nab\nabc\nkey\nk\r\nkey.x=1\r\n" + std::string(MARKER) + "\r\nlast\r";
    EXPECT_EQ(rebuild_port_ini(old),
              "a\n\nab\nabc\nkey\nk\r\n" + std::string(MARKER) + "\r\nlast\r\n");
    EXPECT_EQ(rebuild_port_ini("\n\n"), "\n\n");
}

TEST_F(KeysTest, NoBindingAndNoFileCreatesAnEmptyFile) {
    ASSERT_TRUE(write_key_bindings());
    ASSERT_TRUE(fs::is_regular_file(ini()));
    EXPECT_EQ(fs::file_size(ini()), 0u);
}

TEST_F(KeysTest, OldBlockDisappearsWhenNothingIsRebound) {
    write_file(ini(), std::string("fov=90\n") + MARKER + "\nkey.move_up=Up\nvsync=1");
    ASSERT_TRUE(write_key_bindings());
    EXPECT_EQ(read_text(ini()), "fov=90\nvsync=1\n");
}

TEST_F(KeysTest, OneBindingIsAppendedThroughAnAtomicReplace) {
    write_file(ini(), "fov=90\n");
    chmod(ini().c_str(), 0640);
    // A second name for the old file: an in-place rewrite would change it too.
    fs::create_hard_link(ini(), dir / "before");
    S.set("key.move_up", "Up");
    ASSERT_TRUE(write_key_bindings());
    EXPECT_EQ(read_text(ini()), std::string("fov=90\n") + MARKER + "\nkey.move_up=Up\n");
    EXPECT_EQ(read_text(dir / "before"), "fov=90\n");
    struct stat st{};
    ASSERT_EQ(stat(ini().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // No temporary file is left beside it.
    size_t entries = 0;
    for (auto& e : fs::directory_iterator(dir.path())) (void)e, ++entries;
    EXPECT_EQ(entries, 2u);
}

TEST_F(KeysTest, LinkedIniIsUpdatedAtItsTarget) {
    write_file(dir / "elsewhere" / "game.ini", "fov=90\n");
    fs::create_symlink(dir / "elsewhere" / "game.ini", ini());
    S.set("key.l1", "Q");
    ASSERT_TRUE(write_key_bindings());
    EXPECT_TRUE(fs::is_symlink(ini()));
    EXPECT_EQ(read_text(dir / "elsewhere" / "game.ini"),
              std::string("fov=90\n") + MARKER + "\nkey.l1=Q\n");

    // A dangling link: the game's file is missing, so it is made where the
    // link leads, and the link stays.
    fs::remove(dir / "elsewhere" / "game.ini");
    std::string note = "stale";
    EXPECT_TRUE(write_key_bindings(&note));
    EXPECT_EQ(note, "");
    EXPECT_TRUE(fs::is_symlink(ini()));
    EXPECT_EQ(read_text(dir / "elsewhere" / "game.ini"), std::string(MARKER) + "\nkey.l1=Q\n");
}

// A FIFO named quor.ini would block the start for good if opened; the child
// is killed by its timer when it does.
TEST_F(KeysTest, FifoIsLeftAloneWithALogLine) {
    ASSERT_EQ(mkfifo(ini().c_str(), 0644), 0);
    S.set("key.move_up", "Up");
    int code = run_in_child([] {
        std::string note;
        if (write_key_bindings(&note)) return 1;
        return note == "quor.ini could not be read; it was left as it is and the game starts with the key "
                       "bindings it holds." ? 0 : 2;
    }, false);
    EXPECT_EQ(code, 0) << "1: written, 2: no note, 142: blocked";
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(ini())));
}

// The folder takes no new file but the file is writable: the bindings still
// reach the game, written in place, and the log says so.
TEST_F(KeysTest, ReadOnlyFolderGetsAnInPlaceWrite) {
    const std::string game = "fov=90\n" + std::string(MARKER) + "\nkey.cross=K\nkey.l1=1\nkey.r1=3\n";
    write_file(ini(), game);
    ASSERT_EQ(chmod(ini().c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    S.set("key.move_up", "Up");
    int code = run_in_child([this] {
        if (access(dir.path().c_str(), W_OK) == 0) return 3;
        std::string note;
        if (!write_key_bindings(&note)) return 1;
        return note == "quor.ini's folder does not accept new files, so quor.ini was rewritten in place." ? 0 : 2;
    }, true);
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(code, 0) << "1: not written, 2: not said, 3: bad set-up";
    EXPECT_EQ(read_text(ini()), "fov=90\n" + std::string(MARKER) + "\nkey.move_up=Up\n");
}

TEST_F(KeysTest, FolderNamedLikeTheIniIsLeftAlone) {
    fs::create_directory(ini());
    write_file(ini() / "inside", "x");
    S.set("key.move_up", "Up");
    EXPECT_FALSE(write_key_bindings());
    EXPECT_TRUE(fs::is_directory(ini()));
    EXPECT_EQ(read_text(ini() / "inside"), "x");
}

// The game's own lines must survive a file the launcher may replace but not
// read. Root reads any file whatever its mode, so the check runs in a child
// that gives up root first.
TEST_F(KeysTest, UnreadableFileIsNotRewrittenFromNothing) {
    const std::string content = "fov=90\nsecret=1\n";
    write_file(ini(), content);
    S.set("key.move_up", "Up");
    ASSERT_EQ(chmod(ini().c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);

    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        // Prove the set-up: the file must really be unreadable here, while
        // its folder can still take a new file.
        if (access(ini().c_str(), R_OK) == 0 || access(dir.path().c_str(), W_OK) != 0) _exit(3);
        _exit(write_key_bindings() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: rewritten, 2: could not drop root, 3: bad set-up";
    chmod(ini().c_str(), 0644);
    EXPECT_EQ(read_text(ini()), content);
}
