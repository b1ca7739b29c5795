// Steam's binary shortcuts.vdf, the users' folders and artwork, and the
// Advanced page's "Add to Steam" row on a fake home with real files.
#include <gtest/gtest.h>

#include <SDL3/SDL.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/globals.h"
#include "core/paths.h"
#include "core/picture.h"
#include "core/settings.h"
#include "desktop/steam.h"
#include "desktop/vdf.h"
#include "ui/pages.h"
#include "core/toast.h"
#include "support/gui.h"
#include "support/testing.h"

extern char** environ;

namespace {

using namespace std::string_literals;

// The format spelled out by hand, so the tests do not lean on the writer.
std::string str(const std::string& key, const std::string& value) { return "\x01"s + key + '\0' + value + '\0'; }
std::string i32(const std::string& key, uint32_t v) {
    std::string s = "\x02"s + key + '\0';
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}
std::string map(const std::string& key, const std::string& body) { return "\x00"s + key + '\0' + body + '\x08'; }

const std::string PROGRAM = "/opt/quor/launcher/quor-launcher";

// Entries Steam and other tools wrote: lower-case keys, a float, a 64-bit
// stamp, a colour, nested tags, text beyond ASCII, and a foreign top-level map.
const std::string E0 = map("0", i32("appid", 0x81234567) + str("appname", "Other Game") +
                                    str("exe", "\"/usr/bin/other\"") + str("StartDir", "\"/usr/bin\"") +
                                    "\x03Rating\0\x00\x00\xc0\x3f"s + "\x07Stamp\0\x01\x02\x03\x04\x05\x06\x07\x08"s +
                                    "\x06Tint\0\x10\x20\x30\x40"s +
                                    map("tags", str("0", "favorite") + map("deeper", str("x", "y"))));
const std::string E2 = map("2", str("AppName", "Café ☕ \xff") + "\x0a" "Big\0\xff\xff\xff\xff\xff\xff\xff\x7f"s +
                                    str("Exe", "") + map("tags", ""));
const std::string TAIL = map("extra", str("kept", "as is")) + "\x08";
std::string shortcuts_file(const std::string& entries) { return map("shortcuts", entries) + TAIL; }

SteamShortcut ours() { return launcher_shortcut(PROGRAM, "/data/quor-pc.png"); }

Picture solid(int w, int h, std::initializer_list<unsigned char> rgba) {
    Picture img{w, h, {}};
    for (int i = 0; i < w * h; ++i) img.rgba.insert(img.rgba.end(), rgba);
    return img;
}

Picture load(const fs::path& path) {
    Picture img;
    decode_png(path, img);
    return img;
}

}  // namespace

TEST(Vdf, ForeignEntriesSurviveAddAndRemoveByteForByte) {
    const std::string file = shortcuts_file(E0 + E2);
    auto parsed = parse_vdf(file);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(write_vdf(*parsed), file);

    // A new entry goes at the end of the list, named past the highest number.
    auto added = shortcuts_with(file, ours());
    ASSERT_TRUE(added);
    const std::string head = "\x00shortcuts\0"s + E0 + E2, tail = "\x08"s + TAIL;
    ASSERT_EQ(added->substr(0, head.size()), head);
    ASSERT_EQ(added->substr(added->size() - tail.size()), tail);
    auto middle = parse_vdf(added->substr(head.size(), added->size() - head.size() - tail.size()) + "\x08");
    ASSERT_TRUE(middle);
    ASSERT_EQ(middle->size(), 1u);
    const VdfNode& e = middle->front();
    EXPECT_EQ(e.key, "3");
    EXPECT_EQ(vdf_int(*vdf_find(e, "appid")), 3159974677u);
    EXPECT_EQ(vdf_find(e, "AppName")->value, "Veltrane");
    EXPECT_EQ(vdf_find(e, "Exe")->value, "\"" + PROGRAM + "\"");
    EXPECT_EQ(vdf_find(e, "StartDir")->value, "\"/opt/quor/launcher\"");
    EXPECT_EQ(vdf_find(e, "icon")->value, "/data/quor-pc.png");
    EXPECT_EQ(vdf_find(e, "tags")->type, VDF_MAP);
    EXPECT_TRUE(shortcuts_have(*added, ours()));
    EXPECT_FALSE(shortcuts_have(file, ours()));

    // A second press changes nothing; a new icon updates the one entry.
    EXPECT_EQ(shortcuts_with(*added, ours()), added);
    SteamShortcut moved_icon = launcher_shortcut(PROGRAM, "/elsewhere/icon.png");
    auto updated = shortcuts_with(*added, moved_icon);
    ASSERT_TRUE(updated);
    EXPECT_EQ(updated->size(), added->size() + 2) << "the longer icon path replaces the old one";
    EXPECT_EQ(shortcuts_without(*updated, ours()), file);
    EXPECT_EQ(shortcuts_without(file, ours()), file);

    // The player's own entry for the launcher, in the middle, unquoted and with
    // launch options: only the launcher's fields change, and removing it leaves
    // its neighbours exactly as they were, names included.
    const std::string E1 = map("1", str("AppName", "veltrane (mine)") + str("Exe", PROGRAM) +
                                        str("LaunchOptions", "-windowed") + map("tags", str("0", "PS4")));
    const std::string with_player = shortcuts_file(E0 + E1 + E2);
    auto took_over = shortcuts_with(with_player, ours());
    ASSERT_TRUE(took_over);
    auto tree = parse_vdf(*took_over);
    ASSERT_TRUE(tree);
    const VdfNode& list = tree->front();
    ASSERT_EQ(list.children.size(), 3u);
    const VdfNode& mine = list.children[1];
    EXPECT_EQ(vdf_find(mine, "AppName")->value, "Veltrane");
    EXPECT_EQ(vdf_find(mine, "Exe")->value, "\"" + PROGRAM + "\"");
    EXPECT_EQ(vdf_find(mine, "LaunchOptions")->value, "-windowed");
    EXPECT_EQ(vdf_find(*vdf_find(mine, "tags"), "0")->value, "PS4");
    EXPECT_EQ(took_over->find(E0), 11u);
    EXPECT_NE(took_over->find(E2 + "\x08"s + TAIL), std::string::npos);
    EXPECT_EQ(shortcuts_without(*took_over, ours()), shortcuts_file(E0 + E2));
}

TEST(Vdf, TruncatedAndGarbageFilesAreRefused) {
    const std::string file = shortcuts_file(E0 + E2);
    for (size_t n = 1; n < file.size(); ++n) {
        std::string cut = file.substr(0, n);
        ASSERT_FALSE(parse_vdf(cut)) << n;
        ASSERT_FALSE(shortcuts_with(cut, ours())) << n;
        ASSERT_FALSE(shortcuts_without(cut, ours())) << n;
    }
    std::string deep;
    for (int i = 0; i < 200; ++i) deep = map("d", deep);
    deep += "\x08";
    const std::string garbage[] = {
        "[shortcuts]\nexe=/usr/bin/other\n",
        "\x05wide\0a\0b\0\0\0\x08"s,            // a type whose length is unknown
        file + "x",                             // bytes after the end
        map("screenshots", str("a", "b")) + "\x08",   // a valid file of another kind
        str("shortcuts", "not a map") + "\x08",
        deep,
        "\x00\x00\x00\x00\x08\x08\x08"s.substr(0, 3),
    };
    for (const std::string& g : garbage) {
        EXPECT_FALSE(shortcuts_with(g, ours())) << g;
        EXPECT_FALSE(shortcuts_without(g, ours())) << g;
        EXPECT_FALSE(shortcuts_have(g, ours()));
    }
    // An empty file is a list with nothing in it yet.
    auto fresh = shortcuts_with("", ours());
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->substr(0, 14), "\x00shortcuts\0"s + '\0' + "0" + '\0');
    EXPECT_EQ(fresh->substr(fresh->size() - 3), "\x08\x08\x08");
    EXPECT_EQ(shortcuts_without(*fresh, ours()), "\x00shortcuts\0\x08\x08"s);
}

TEST(Vdf, AppIdIsSteamsCrcOfExeAndName) {
    EXPECT_EQ(crc32_bytes("123456789"), 0xCBF43926u);
    EXPECT_EQ(shortcut_appid("\"" + PROGRAM + "\"", "Veltrane"), 3159974677u);
    EXPECT_EQ(ours().start_dir, "\"/opt/quor/launcher\"");
}

TEST(SteamProcess, FindsAProcessNamedSteam) {
    TempDir dir;
    write_file(dir / "proc/12/comm", "bash\n");
    write_file(dir / "proc/self/comm", "steam\n");
    write_file(dir / "proc/34/comm", "steamwebhelper\n");
    EXPECT_FALSE(steam_running(dir / "proc"));
    write_file(dir / "proc/56/comm", "steam\n");
    EXPECT_TRUE(steam_running(dir / "proc"));
    EXPECT_FALSE(steam_running(dir / "missing"));

    // A real process under that name, as the kernel reports it.
    fs::copy_file("/bin/sleep", dir / "steam");
    bool before = steam_running();
    std::string exe = (dir / "steam").string();
    char* argv[] = {exe.data(), const_cast<char*>("30"), nullptr};
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, environ);
    if (spawned == EACCES) GTEST_SKIP() << "programs cannot run from " << dir.path();
    ASSERT_EQ(spawned, 0);
    EXPECT_TRUE(wait_until([] { return steam_running(); }, 5));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    if (!before) {
        EXPECT_FALSE(steam_running());
    }
}

namespace {

class SteamRow : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        fs::create_directories(g_data);
        write_file(dir / "port/launcher/quor.png", encode_png(solid(64, 64, {9, 9, 9, 255})));
        // One user in the native folder, also reached through ~/.steam/steam;
        // the other in the Flatpak's folder, its id folder a link elsewhere.
        fs::create_directories(home() / ".local/share/Steam/userdata/111/config");
        fs::create_directories(home() / ".local/share/Steam/userdata/0/config");
        fs::create_directories(home() / ".local/share/Steam/userdata/anonymous/config");
        fs::create_directories(home() / ".steam");
        fs::create_symlink(home() / ".local/share/Steam", home() / ".steam/steam");
        fs::create_directories(dir / "other-disk/222/config");
        fs::create_directories(home() / ".var/app/com.valvesoftware.Steam/.local/share/Steam/userdata");
        fs::create_directory_symlink(dir / "other-disk/222",
                                     home() / ".var/app/com.valvesoftware.Steam/.local/share/Steam/userdata/222");
    }
    fs::path home() { return dir / "home"; }
    fs::path user1() { return home() / ".local/share/Steam/userdata/111/config"; }
    fs::path user2() { return home() / ".var/app/com.valvesoftware.Steam/.local/share/Steam/userdata/222/config"; }
    std::string appid() { return std::to_string(shortcut_appid(current_steam_shortcut().exe, "Veltrane")); }
};

// Presses the Advanced page's "Add to Steam" row with the keyboard, as a
// player would: it is the fifth row. The work runs on a worker: nothing is
// reported until the frame loop takes the result, and a second press
// meanwhile does nothing.
void press_steam_row() {
    Gui gui;
    auto body = [] { page_advanced(); };
    gui.focus_first_row(body);
    for (int i = 0; i < 4; ++i) gui.tap(ImGuiKey_DownArrow, body);
    g_toast.clear();
    gui.tap(ImGuiKey_Enter, body);
    steam_shortcut_pressed();
    EXPECT_EQ(g_toast, "");
    ASSERT_TRUE(wait_until([] { return take_steam_result(); }, 20));
    EXPECT_FALSE(take_steam_result()) << "one press, one result";
}

}  // namespace

TEST_F(SteamRow, UsersAreFoundOnceEach) {
    std::vector<fs::path> users = steam_user_configs(home());
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0], user1());
    EXPECT_EQ(users[1], user2());
    EXPECT_TRUE(steam_user_configs(dir / "nobody").empty());
}

TEST_F(SteamRow, AddsToEveryUserWithArtworkThenRemoves) {
    write_file(dir / "dump/sce_sys/pic1.png", encode_png(solid(192, 108, {200, 100, 50, 255})));
    write_file(dir / "dump/sce_sys/icon0.png", encode_png(solid(512, 512, {10, 20, 30, 255})));
    S.set("game_dir", (dir / "dump").string());
    const std::string id = appid();
    // The second user has a list already, and a portrait they chose.
    const std::string theirs = shortcuts_file(E0);
    write_file(user2() / "shortcuts.vdf", theirs);
    write_file(user2() / "grid" / (id + "p.png"), "the player's portrait");

    EXPECT_FALSE(steam_shortcut_present());
    press_steam_row();
    EXPECT_EQ(g_toast.rfind("Added to Steam.", 0), 0u) << g_toast;
    EXPECT_TRUE(steam_shortcut_present());
    std::string one = read_text(user1() / "shortcuts.vdf");
    EXPECT_TRUE(shortcuts_have(one, current_steam_shortcut()));
    EXPECT_FALSE(fs::exists(user1() / "shortcuts.vdf.bak")) << "there was nothing to keep";
    std::string two = read_text(user2() / "shortcuts.vdf");
    EXPECT_EQ(two.substr(0, 11 + E0.size()), "\x00shortcuts\0"s + E0);
    EXPECT_EQ(read_text(user2() / "shortcuts.vdf.bak"), theirs);
    EXPECT_EQ(vdf_find(parse_vdf(one)->front().children[0], "icon")->value, (g_data / "quor-pc.png").string());
    EXPECT_EQ(read_text(g_data / "quor-pc.png"), read_text(dir / "dump/sce_sys/icon0.png"));

    // Artwork, shrunk and cut from the dump's pictures, never blown up.
    Picture hero = load(user1() / "grid" / (id + "_hero.png"));
    EXPECT_EQ(hero.w, 192);
    EXPECT_EQ(hero.h, 62);
    EXPECT_EQ(std::vector<unsigned char>(hero.rgba.begin(), hero.rgba.begin() + 4),
              (std::vector<unsigned char>{200, 100, 50, 255}));
    Picture wide = load(user1() / "grid" / (id + ".png"));
    EXPECT_EQ(wide.w, 192);
    EXPECT_EQ(wide.h, 90);
    Picture icon = load(user1() / "grid" / (id + "_icon.png"));
    EXPECT_EQ(icon.w, 256);
    EXPECT_EQ(load(user1() / "grid" / (id + "p.png")).w, 341);
    EXPECT_EQ(read_text(user2() / "grid" / (id + "p.png")), "the player's portrait");
    EXPECT_EQ(load(user2() / "grid" / (id + "_hero.png")).w, 192);

    // A second press takes it all out again: the entry and the launcher's own
    // pictures, not the player's.
    press_steam_row();
    EXPECT_EQ(g_toast.rfind("Removed from Steam.", 0), 0u) << g_toast;
    EXPECT_FALSE(steam_shortcut_present());
    EXPECT_EQ(read_text(user2() / "shortcuts.vdf"), theirs);
    EXPECT_EQ(read_text(user2() / "shortcuts.vdf.bak"), two);
    EXPECT_EQ(read_text(user1() / "shortcuts.vdf"), "\x00shortcuts\0\x08\x08"s);
    EXPECT_FALSE(fs::exists(user1() / "grid" / (id + "_hero.png")));
    EXPECT_FALSE(fs::exists(user2() / "grid" / (id + ".png")));
    EXPECT_EQ(read_text(user2() / "grid" / (id + "p.png")), "the player's portrait");
}

TEST_F(SteamRow, PlayerArtworkAndUnreadableListsAreLeftAlone) {
    const std::string id = appid();
    // Without a game folder the port's icon serves; there is no banner.
    ASSERT_TRUE(steam_add(home(), current_steam_shortcut(), "", dir / "port/launcher/quor.png").changed == 2);
    EXPECT_EQ(load(user1() / "grid" / (id + "_icon.png")).w, 64);
    EXPECT_FALSE(fs::exists(user1() / "grid" / (id + "_hero.png")));
    // The player swaps in their own icon; a later add keeps it.
    write_file(user1() / "grid" / (id + "_icon.png"), "mine");
    write_file(dir / "dump/sce_sys/icon0.png", encode_png(solid(32, 32, {1, 1, 1, 255})));
    steam_add(home(), current_steam_shortcut(), "", dir / "dump/sce_sys/icon0.png");
    EXPECT_EQ(read_text(user1() / "grid" / (id + "_icon.png")), "mine");
    EXPECT_EQ(load(user1() / "grid" / (id + "p.png")).w, 21) << "the launcher's own picture is refreshed";
    steam_remove(home(), current_steam_shortcut());
    EXPECT_EQ(read_text(user1() / "grid" / (id + "_icon.png")), "mine");
    EXPECT_FALSE(fs::exists(user1() / "grid" / (id + "p.png")));

    // A list that does not read is never rewritten, and the press says so.
    const std::string broken = shortcuts_file(E0).substr(0, 40);
    write_file(user1() / "shortcuts.vdf", broken);
    const std::string kept = read_text(user1() / "shortcuts.vdf.bak");
    press_steam_row();
    EXPECT_EQ(read_text(user1() / "shortcuts.vdf"), broken);
    EXPECT_EQ(read_text(user1() / "shortcuts.vdf.bak"), kept);
    EXPECT_TRUE(shortcuts_have(read_text(user2() / "shortcuts.vdf"), current_steam_shortcut()));
    EXPECT_EQ(g_toast.rfind("Added to Steam for 1 of 2 accounts; the others' lists could not be changed.", 0), 0u)
        << g_toast;
    fs::remove_all(user2().parent_path());
    SteamResult none = steam_add(home(), current_steam_shortcut(), "", "");
    EXPECT_EQ(none.changed, 0);
    EXPECT_EQ(steam_message(none, true, false, true),
              "A lista de jogos da Steam (shortcuts.vdf) não pôde ser lida e ficou como estava.");
    EXPECT_EQ(steam_message(SteamResult{}, true, false, false).rfind("Steam was not found", 0), 0u);
}

// Steam has no escape for a double quote inside its quoted Exe: such a path
// is refused, and no list, backup, picture or icon copy is touched.
TEST_F(SteamRow, APathSteamCannotQuoteChangesNothing) {
    EXPECT_TRUE(steam_shortcut_writable(launcher_shortcut("/opt/My $Games/100%/quor-launcher", "/d/i.png")));
    EXPECT_FALSE(steam_shortcut_writable(launcher_shortcut("/opt/a\nb/quor-launcher", "/d/i.png")));
    const std::string theirs = shortcuts_file(E0);
    write_file(user2() / "shortcuts.vdf", theirs);
    setenv("APPIMAGE", "/opt/a\"b.AppImage", 1);
    press_steam_row();
    unsetenv("APPIMAGE");
    EXPECT_EQ(g_toast.rfind("Not added to Steam: the launcher's path holds a double quote", 0), 0u) << g_toast;
    EXPECT_FALSE(fs::exists(user1() / "shortcuts.vdf"));
    EXPECT_EQ(read_text(user2() / "shortcuts.vdf"), theirs);
    EXPECT_FALSE(fs::exists(user2() / "shortcuts.vdf.bak"));
    EXPECT_FALSE(fs::exists(g_data / "quor-pc.png"));
}

TEST(SteamMessage, RunningSteamIsToldToRestart) {
    SteamResult r;
    r.users = r.changed = 1;
    EXPECT_EQ(steam_message(r, true, false, false), "Added to Steam.");
    EXPECT_EQ(steam_message(r, false, true, false),
              "Removed from Steam. Restart Steam to see it; if it is still there, quit Steam and press again.");
    EXPECT_EQ(steam_message(r, true, true, true),
              "Adicionado à Steam. Reinicie a Steam para vê-lo; se não aparecer, feche a Steam e aperte de novo.");
}
