#include <gtest/gtest.h>

#include <cstdlib>

#include "core/entry.h"
#include "core/paths.h"
#include "core/settings.h"
#include "support/testing.h"

namespace {

// Restores an environment variable when the test ends.
struct EnvGuard {
    std::string name;
    bool had;
    std::string old;
    explicit EnvGuard(const char* n) : name(n) {
        const char* v = std::getenv(n);
        had = v != nullptr;
        if (v) old = v;
    }
    ~EnvGuard() {
        if (had)
            setenv(name.c_str(), old.c_str(), 1);
        else
            unsetenv(name.c_str());
    }
};

class FindPaths : public ::testing::Test {
protected:
    EnvGuard port{"QUOR_PORT_DIR"}, data{"QUOR_DATA_DIR"};
    TempDir dir;
};

TEST_F(FindPaths, WithoutOverridesTheExecutablesParentNeedsTheStarter) {
    unsetenv("QUOR_PORT_DIR");
    unsetenv("QUOR_DATA_DIR");
    find_paths();
    fs::path exe = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(g_exe_dir, exe.parent_path());
    // The test binaries have no quor.py one folder up, so the port falls back
    // to the executable's own folder.
    ASSERT_FALSE(is_file(exe.parent_path().parent_path() / "quor.py"));
    EXPECT_EQ(g_port, g_exe_dir);
    EXPECT_EQ(g_data, g_port);
}

TEST_F(FindPaths, OverridesAreUsedVerbatimAndDataIsCreated) {
    write_file(dir / "port/quor.py", "");
    std::string port_dir = (dir / "port/").string();  // trailing slash kept
    setenv("QUOR_PORT_DIR", port_dir.c_str(), 1);
    fs::path data_dir = dir / "a/b/data";
    setenv("QUOR_DATA_DIR", data_dir.c_str(), 1);
    find_paths();
    EXPECT_EQ(g_port.string(), port_dir);
    EXPECT_EQ(g_data, data_dir);
    EXPECT_TRUE(fs::is_directory(data_dir));

    // Relative ones are made absolute once: the game runs in another folder.
    fs::path cwd = fs::current_path();
    fs::current_path(dir.path());
    setenv("QUOR_PORT_DIR", "port", 1);
    setenv("QUOR_DATA_DIR", "rel/data", 1);
    find_paths();
    fs::current_path(cwd);
    EXPECT_EQ(g_port, dir / "port");
    EXPECT_EQ(g_data, dir / "rel/data");
    EXPECT_TRUE(fs::is_directory(dir / "rel/data"));
}

TEST_F(FindPaths, PortOverrideWithoutStarterFallsBackToExecutableFolder) {
    fs::create_directories(dir / "empty");
    setenv("QUOR_PORT_DIR", (dir / "empty").c_str(), 1);
    setenv("QUOR_DATA_DIR", "", 1);
    find_paths();
    EXPECT_EQ(g_port, g_exe_dir) << "not the executable's parent";
    EXPECT_EQ(g_data, g_port) << "an empty data override counts as unset";
}

TEST(UserDir, FoldsTheLastSavedataComponent) {
    EXPECT_EQ(fold_savedata("/home/a/user/savedata/1/CUSA00000"), fs::path("/home/a/user"));
    EXPECT_EQ(fold_savedata("/home/a/user/SaveData"), fs::path("/home/a/user"));
    EXPECT_EQ(fold_savedata("/x/savedata/y/savedata/z"), fs::path("/x/savedata/y"));
    EXPECT_EQ(fold_savedata("savedata/1"), fs::path());
    EXPECT_EQ(fold_savedata("/home/mysavedata/x"), fs::path("/home/mysavedata/x"));
    EXPECT_EQ(fold_savedata("/home/a/"), fs::path("/home/a/"));
}

TEST(UserDir, EmptySettingMeansDataFolderUser) {
    S.map.clear();
    g_data = "/d";
    EXPECT_EQ(user_dir(), fs::path("/d/user"));
    S.set("user_dir", "/home/a/SAVEDATA/1");
    EXPECT_EQ(user_dir(), fs::path("/home/a"));
    S.map.clear();
}

TEST(HomeDir, EmptyOrUnsetHomeIsTmp) {
    EnvGuard home("HOME");
    setenv("HOME", "", 1);
    EXPECT_EQ(home_dir(), fs::path("/tmp"));
    unsetenv("HOME");
    EXPECT_EQ(home_dir(), fs::path("/tmp"));
    setenv("HOME", "/home/q", 1);
    EXPECT_EQ(home_dir(), fs::path("/home/q"));
}

TEST(FileTests, LinksAreFollowedAndErrorsAreFalse) {
    TempDir dir;
    write_file(dir / "f", "x");
    fs::create_symlink(dir / "f", dir / "link");
    fs::create_directories(dir / "empty");
    fs::create_symlink(dir / "missing", dir / "dangling");
    EXPECT_TRUE(is_file(dir / "link"));
    EXPECT_FALSE(is_file(dir / "empty"));
    EXPECT_FALSE(is_file(dir / "dangling"));
    EXPECT_FALSE(is_file(dir / "nope"));
    EXPECT_FALSE(dir_has_entries(dir / "empty"));
    EXPECT_FALSE(dir_has_entries(dir / "f"));
    EXPECT_FALSE(dir_has_entries(dir / "nope"));
    EXPECT_TRUE(dir_has_entries(dir.path()));
}

TEST(LanguageRule, SettingThenLocaleVariables) {
    EXPECT_FALSE(choose_portuguese("en", nullptr, nullptr, "pt_BR.UTF-8"));
    EXPECT_TRUE(choose_portuguese("pt", nullptr, nullptr, "en_US.UTF-8"));
    EXPECT_FALSE(choose_portuguese("pt_BR", nullptr, nullptr, "pt_BR.UTF-8")) << "only exactly pt";
    EXPECT_TRUE(choose_portuguese("", "", "pt_PT.UTF-8", "en_US"));
    EXPECT_FALSE(choose_portuguese("", "C", "pt_PT.UTF-8", nullptr)) << "LC_ALL first";
    EXPECT_TRUE(choose_portuguese("", nullptr, nullptr, "pt_BR.UTF-8"));
    EXPECT_FALSE(choose_portuguese("", nullptr, nullptr, "PT_BR"));
    EXPECT_FALSE(choose_portuguese("", nullptr, nullptr, "en_US.UTF-8"));
    EXPECT_FALSE(choose_portuguese("", nullptr, nullptr, nullptr));
    EXPECT_FALSE(choose_portuguese("", "", "", "")) << "empty LANG is English";
}

TEST(PlaySwitch, FirstExactPlayAfterProgramName) {
    char a0[] = "--play", a1[] = "x", a2[] = "--PLAY", a3[] = "--play", a4[] = "y";
    char* v1[] = {a0, a1};
    EXPECT_EQ(find_play_switch(2, v1), -1) << "argv[0] is the program";
    char* v2[] = {a1, a2, a1};
    EXPECT_EQ(find_play_switch(3, v2), -1);
    char* v3[] = {a1, a1, a3, a4, a3};
    EXPECT_EQ(find_play_switch(5, v3), 2);
}

}  // namespace
