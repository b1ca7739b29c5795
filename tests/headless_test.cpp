// Headless play through the real launcher executable, with a stand-in
// python3 first on PATH that records what it was started with.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/testing.h"

namespace fs = std::filesystem;

namespace {

const fs::path LAUNCHER = fs::path(QUOR_STAGED_PORT) / "launcher" / "quor-launcher";

struct Outcome {
    int code = -1;
    std::string err;  // standard output and error of the launcher
};

// Starts the launcher with exactly this environment (duplicates included),
// from a working directory other than the data folder.
Outcome run_launcher(const std::vector<std::string>& args, const std::vector<std::string>& env,
                     const fs::path& out_file, const fs::path& start_dir) {
    std::vector<char*> argv, envp;
    std::string exe = LAUNCHER.string();
    argv.push_back(exe.data());
    std::vector<std::string> a = args, e = env;
    for (auto& s : a) argv.push_back(s.data());
    argv.push_back(nullptr);
    for (auto& s : e) envp.push_back(s.data());
    envp.push_back(nullptr);

    Outcome o;
    pid_t pid = fork();
    if (pid < 0) return o;
    if (pid == 0) {
        int fd = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int null_in = open("/dev/null", O_RDONLY);
        if (fd < 0 || null_in < 0 || chdir(start_dir.c_str()) != 0) _exit(200);
        dup2(null_in, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        alarm(30);   // kept across exec: a launcher that blocks is killed (code 142)
        execve(argv[0], argv.data(), envp.data());
        _exit(201);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    o.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    o.err = read_text(out_file);
    return o;
}

std::vector<std::string> split_nul(const std::string& s) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < s.size()) {
        size_t end = s.find('\0', start);
        if (end == std::string::npos) end = s.size();
        out.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::optional<std::string> value_of(const std::vector<std::string>& env, const std::string& name) {
    for (const auto& e : env)
        if (e.compare(0, name.size() + 1, name + "=") == 0) return e.substr(name.size() + 1);
    return std::nullopt;
}

class HeadlessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::is_regular_file(LAUNCHER)) << LAUNCHER;
        data = root / "data";
        bin = root / "bin";
        dump = root / "dump";
        record = root / "record";
        fs::create_directories(data);
        fs::create_directories(bin);
        fs::create_directories(record);
        write_file(dump / "eboot.bin", "ELF");
        // The stand-in reads its own start-up state from /proc: the shell
        // adds nothing to what execve handed it there.
        write_file(bin / "python3",
                   "#!/bin/sh\n"
                   "printf '%s\\0' \"$@\" > " + (record / "args").string() + "\n"
                   "cat /proc/$$/environ > " + (record / "env").string() + "\n"
                   "readlink /proc/$$/cwd > " + (record / "cwd").string() + "\n"
                   "exit 42\n");
        fs::permissions(bin / "python3", fs::perms::owner_all | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_read |
                                             fs::perms::others_exec);
    }

    std::string path_with_stand_in() const { return "PATH=" + bin.string() + ":/usr/bin:/bin"; }

    Outcome play(const std::vector<std::string>& args, const std::vector<std::string>& env) {
        return run_launcher(args, env, root / "launcher.out", root.path());
    }

    TempDir root;
    fs::path data, bin, dump, record;
};

}  // namespace

TEST_F(HeadlessTest, StartsTheStarterWithItsArgumentsEnvironmentAndFolder) {
    const std::string ini_text = "game_dir=" + dump.string() +
                                 "\nfps60=1\noutput_res=3440x1440\nsharpness=off\n"
                                 "key.move_up=Up\nextra_env=USER_VAR=7\n";
    write_file(data / "launcher.ini", ini_text);
    write_file(data / "quor.ini", "fov=90\n");

    Outcome o = play({"--before", "--play", "A", "B C", "--play"},
                     {path_with_stand_in(), "QUOR_GAME_DIR=/stale", "KEEP=1", "QUOR_GAME_DIR=/second",
                      "QUOR_DATA_DIR=" + data.string(), "LC_ALL=C", "ORN_RCAS_ATTENUATION=inherited"});
    EXPECT_EQ(o.code, 42) << o.err;
    EXPECT_EQ(o.err, "");

    std::vector<std::string> args = split_nul(read_text(record / "args"));
    fs::path script = fs::canonical(fs::path(QUOR_STAGED_PORT)) / "quor.py";
    EXPECT_EQ(args, (std::vector<std::string>{script.string(), "A", "B C", "--play"}));
    EXPECT_EQ(read_text(record / "cwd"), fs::canonical(data).string() + "\n");

    std::vector<std::string> env = split_nul(read_text(record / "env"));
    ASSERT_GE(env.size(), 8u);
    // Inherited entries keep their places; only the first duplicate changes.
    EXPECT_EQ(env[0], path_with_stand_in());
    EXPECT_EQ(env[1], "QUOR_GAME_DIR=" + dump.string());
    EXPECT_EQ(env[2], "KEEP=1");
    EXPECT_EQ(env[3], "QUOR_GAME_DIR=/second");
    EXPECT_EQ(env[4], "QUOR_DATA_DIR=" + data.string());
    EXPECT_EQ(env[6], "ORN_RCAS_ATTENUATION=inherited");
    EXPECT_EQ(value_of(env, "QUOR_MODES"), "af16,fps60");
    EXPECT_EQ(value_of(env, "QUOR_OUTPUT_RES"), "3440x1440");
    EXPECT_EQ(value_of(env, "QUOR_RENDER_RES"), "3440x1440");
    EXPECT_EQ(value_of(env, "ORN_RCAS"), "0");
    EXPECT_EQ(value_of(env, "ORN_CONFIG"), (data / "quor.ini").string());
    EXPECT_EQ(value_of(env, "QUOR_USER_DIR"), (data / "user").string());
    EXPECT_EQ(value_of(env, "USER_VAR"), "7");
    EXPECT_EQ(env[env.size() - 2], "PYTHONUNBUFFERED=1");
    EXPECT_EQ(env.back(), "PYTHONIOENCODING=utf-8");

    // Exactly the table's variables are added, nothing else.
    std::set<std::string> added;
    for (size_t i = 7; i < env.size(); ++i) added.insert(env[i].substr(0, env[i].find('=')));
    EXPECT_EQ(added, (std::set<std::string>{
                         "QUOR_USER_DIR", "QUOR_MODES", "ORN_FULLSCREEN", "ORN_PRESENT_MODE", "QUOR_CVARS",
                         "QUOR_RECORD_THREAD", "QUOR_NEO", "QUOR_OUTPUT_RES", "QUOR_RENDER_RES",
                         "ORN_FSR1", "ORN_RCAS", "QUOR_MOUSE", "QUOR_MOUSE_SENS", "QUOR_MOUSE_INVERT",
                         "ORN_CONFIG", "USER_VAR", "PYTHONUNBUFFERED", "PYTHONIOENCODING"}));
    EXPECT_EQ(env.size(), 7 + added.size());

    // The bindings reached the game's file; launcher.ini was only read.
    EXPECT_EQ(read_text(data / "quor.ini"), "fov=90\n# key bindings (launcher)\nkey.move_up=Up\n");
    EXPECT_EQ(read_text(data / "launcher.ini"), ini_text);
}

TEST_F(HeadlessTest, NoGameFolderStopsWithAMessageInTheLocaleLanguage) {
    struct Case { std::vector<std::string> locale; const char* message; };
    const char* en = "Choose the game folder in the launcher first.\n";
    const char* pt = "Escolha a pasta do jogo no lan\xC3\xA7" "ador primeiro.\n";
    std::vector<Case> cases = {
        {{"LANG=pt_BR.UTF-8"}, pt},
        {{"LANG=en_US.UTF-8"}, en},
        {{}, en},
        {{"LC_ALL=C", "LANG=pt_BR.UTF-8"}, en},
        {{"LC_ALL=", "LC_MESSAGES=pt_PT.UTF-8"}, pt},
    };
    for (const Case& c : cases) {
        std::vector<std::string> env = {path_with_stand_in(), "QUOR_DATA_DIR=" + data.string()};
        env.insert(env.end(), c.locale.begin(), c.locale.end());
        Outcome o = play({"--play"}, env);
        std::string label = c.locale.empty() ? "no locale" : c.locale.back();
        EXPECT_EQ(o.code, 1) << label;
        EXPECT_EQ(o.err, c.message) << label;
        EXPECT_FALSE(fs::exists(data / "launcher.ini")) << label;
        EXPECT_FALSE(fs::exists(data / "quor.ini")) << label;
        EXPECT_FALSE(fs::exists(record / "args")) << label;
    }

    // A saved folder without eboot.bin: same stop, the settings file untouched.
    fs::remove(dump / "eboot.bin");
    write_file(data / "launcher.ini", "game_dir=" + dump.string() + "\nui_language=pt\n");
    struct stat before{};
    ASSERT_EQ(stat((data / "launcher.ini").c_str(), &before), 0);
    Outcome o = play({"--play", "x"}, {path_with_stand_in(), "QUOR_DATA_DIR=" + data.string(), "LANG=en_US"});
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err, pt);
    struct stat after{};
    ASSERT_EQ(stat((data / "launcher.ini").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(read_text(data / "launcher.ini"), "game_dir=" + dump.string() + "\nui_language=pt\n");
}

TEST_F(HeadlessTest, MissingPythonExitsWith127AfterWritingTheBindings) {
    write_file(data / "launcher.ini", "game_dir=" + dump.string() + "\nkey.cross=\n");
    fs::path empty = root / "empty-bin";
    fs::create_directories(empty);
    Outcome o = play({"--play"}, {"PATH=" + empty.string(), "QUOR_DATA_DIR=" + data.string(), "LC_ALL=C"});
    EXPECT_EQ(o.code, 127);
    EXPECT_EQ(o.err, std::string("python3: ") + std::strerror(ENOENT) + "\n");
    EXPECT_EQ(read_text(data / "quor.ini"), "# key bindings (launcher)\nkey.cross=\n");
}

// FIFOs in place of the two ini files would block a plain open for good:
// they count as unreadable, the game starts all the same, and both stay.
TEST_F(HeadlessTest, IniFilesThatAreFifosAreLeftAloneAndTheGameStarts) {
    ASSERT_EQ(mkfifo((data / "launcher.ini").c_str(), 0644), 0);
    write_file(data / "quor.ini", "QUOR_GAME_DIR=" + dump.string() + "\n");
    Outcome o = play({"--play"}, {path_with_stand_in(), "QUOR_DATA_DIR=" + data.string(), "LC_ALL=C"});
    EXPECT_EQ(o.code, 42) << o.err;
    EXPECT_EQ(o.err,
              "launcher.ini could not be read: this session uses the default settings and leaves the file as it is.\n");
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(data / "launcher.ini")));

    fs::remove(data / "launcher.ini");
    fs::remove(data / "quor.ini");
    write_file(data / "launcher.ini", "game_dir=" + dump.string() + "\nkey.cross=K\n");
    ASSERT_EQ(mkfifo((data / "quor.ini").c_str(), 0644), 0);
    o = play({"--play"}, {path_with_stand_in(), "QUOR_DATA_DIR=" + data.string(), "LANG=pt_BR.UTF-8"});
    EXPECT_EQ(o.code, 42) << o.err;
    EXPECT_EQ(o.err, "Não foi possível ler o quor.ini; ele ficou como estava e o jogo inicia com as teclas que ele "
                     "contém.\n");
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(data / "quor.ini")));
}

TEST_F(HeadlessTest, SavesAreSnapshottedBeforeTheGameReplacesTheLauncher) {
    write_file(data / "launcher.ini", "game_dir=" + dump.string() + "\n");
    fs::path saves = data / "user/savedata/1/CUSA00000";
    write_file(saves / "SAVE0/data.bin", "hours of play");
    std::vector<std::string> env = {path_with_stand_in(), "QUOR_DATA_DIR=" + data.string(), "LC_ALL=C"};

    Outcome o = play({"--play"}, env);
    EXPECT_EQ(o.code, 42);
    std::vector<fs::path> made;
    for (auto& e : fs::directory_iterator(data / "save-snapshots")) made.push_back(e.path());
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(o.err, "Save snapshot kept in " + made[0].string() + "\n");
    EXPECT_EQ(read_text(made[0] / "SAVE0/data.bin"), "hours of play");

    o = play({"--play"}, env);
    EXPECT_EQ(o.code, 42);
    EXPECT_EQ(o.err, "Save unchanged since the last snapshot.\n");

    write_file(data / "launcher.ini", "game_dir=" + dump.string() + "\nsave_snapshots=0\n");
    write_file(saves / "SAVE0/data.bin", "more hours");
    o = play({"--play"}, env);
    EXPECT_EQ(o.code, 42);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(std::distance(fs::directory_iterator(data / "save-snapshots"), fs::directory_iterator()), 1);

    // A game of this data folder runs (from a window or --play): refused,
    // nothing written.
    int lock = open((data / ".quor-game.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    fs::remove(data / "quor.ini");
    o = play({"--play"}, env);
    close(lock);
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err, "The game is already running from another launcher.\n");
    EXPECT_FALSE(fs::exists(data / "quor.ini"));

    // A launcher killed in a swap left the saves moved aside: they are back
    // (and snapshotted) before the game starts; quor.ini's temporary file
    // goes, launcher.ini's is the window's to sweep.
    write_file(data / "launcher.ini", "game_dir=" + dump.string() + "\n");
    fs::rename(saves, saves.parent_path() / ".CUSA00000.old-Ab12Cd");
    write_file(data / ".quor.ini.tmp-Ab12Cd", "half");
    write_file(data / ".launcher.ini.tmp-Ab12Cd", "half");
    o = play({"--play"}, env);
    EXPECT_EQ(o.code, 42) << o.err;
    EXPECT_EQ(read_text(saves / "SAVE0/data.bin"), "more hours");
    EXPECT_EQ(std::distance(fs::directory_iterator(data / "save-snapshots"), fs::directory_iterator()), 2);
    EXPECT_FALSE(fs::exists(data / ".quor.ini.tmp-Ab12Cd"));
    EXPECT_TRUE(fs::exists(data / ".launcher.ini.tmp-Ab12Cd"));
}

// The support report with no display at all: its path on standard output,
// and nothing in it that tells who the player is.
TEST_F(HeadlessTest, ReportWithoutADisplayLeavesOutWhoThePlayerIs) {
    const fs::path home = root / "zoehome";
    fs::create_directories(home);
    write_file(data / "launcher.ini", "player_name=Zoë\ngame_dir=" + (home / "Games/dump").string() + "\n");
    const std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + home.string(), "USER=zoeuser",
                                          "LOGNAME=zoeuser", "QUOR_DATA_DIR=" + data.string(), "LC_ALL=C"};
    Outcome o = play({"--report"}, env);
    ASSERT_EQ(o.code, 0) << o.err;
    std::vector<fs::path> made;
    for (auto& e : fs::directory_iterator(data))
        if (e.path().filename().string().rfind("support-report-", 0) == 0) made.push_back(e.path());
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(o.err, made[0].string() + "\n");
    const std::string text = read_text(made[0]);
    for (const char* part : {"\n== Launcher ==\n", "\n== Port ==\n", "\n== System ==\n", "\n== Session ==\n",
                             "\nWindow: none (written with --report)\n", "\n== Graphics card ==\n",
                             "\n== Gamepads ==\n", "\n== Ready check ==\n✗  Game folder not found: ~/Games/dump\n",
                             "\n== launcher.ini ==\n", "\ngame_dir=~/Games/dump\n", "\n== Game environment ==\n",
                             "\n  ORN_USER_NAME=<player>\n", "\n== Last run ==\n", "\n== Crash copies ==\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    for (const std::string& secret : {home.string(), std::string("Zoë"), std::string("zoeuser")})
        EXPECT_EQ(text.find(secret), std::string::npos) << secret;

    // A data folder that cannot be made: the reason on standard error, status 1.
    write_file(root / "a-file", "");
    o = play({"--report"}, {"PATH=/usr/bin:/bin", "QUOR_DATA_DIR=" + (root / "a-file").string(), "LC_ALL=C"});
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err.rfind("The support report could not be saved in the data folder: ", 0), 0u) << o.err;
    // After --play the word is the game's.
    write_file(data / "launcher.ini", "game_dir=" + dump.string() + "\n");
    o = play({"--play", "--report"}, {path_with_stand_in(), "QUOR_DATA_DIR=" + data.string(), "LC_ALL=C"});
    EXPECT_EQ(o.code, 42) << o.err;
    EXPECT_EQ(split_nul(read_text(record / "args")).back(), "--report");
}
