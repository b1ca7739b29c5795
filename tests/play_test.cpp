#include <gtest/gtest.h>

#include <SDL3/SDL.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

#include "core/globals.h"
#include "core/instance.h"
#include "core/paths.h"
#include "core/settings.h"
#include "discovery/folder.h"
#include "discovery/shared.h"
#include "launch/game_process.h"
#include "launch/play.h"
#include "ui/app.h"
#include "support/testing.h"
#include "core/toast.h"

namespace {

using namespace std::chrono_literals;

// A starter that reports how it was started, then plays until it is stopped.
const char* REPORTING_STARTER = R"(import os, sys, time
sys.stdout.reconfigure(line_buffering=True)
print('cwd=' + os.getcwd())
print('argv=' + '|'.join(sys.argv))
print('stdin=%r' % sys.stdin.read())
print('group leader=%s' % (os.getpgrp() == os.getpid()))
print('Entering original x86-64 code')
while True:
    time.sleep(0.05)
)";

class Play : public ::testing::Test {
protected:
    TempDir port, data, game;
    void SetUp() override {
        ASSERT_TRUE(SDL_Init(SDL_INIT_VIDEO)) << SDL_GetError();
        g_port = port.path();
        g_data = data.path();
        g_exe_dir = port / "launcher";
        g_pt = false;
        g_window = nullptr;
        reset_settings();
        g_log.clear();
        g_toast.clear();
        write_file(port / "quor.py", REPORTING_STARTER);
        write_file(game / "eboot.bin", "ELF");
    }
    void TearDown() override {
        if (g_game.running.load()) {
            // A run still making its snapshot has no process yet (pid 0 would
            // name this test's own process group).
            wait_until([] { return g_game.pid.load() > 0 || g_game.ended.load(); }, 20);
            if (g_game.pid.load() > 0) ::kill(-g_game.pid.load(), SIGKILL);
            wait_until([] { return g_game.ended.load(); }, 20);
        }
        g_game.ended.exchange(false);
        if (g_window) SDL_DestroyWindow(g_window);
        g_window = nullptr;
        {
            std::lock_guard<std::mutex> lock(g_shared.mutex);
            g_shared.picks.clear();
        }
        SDL_Quit();
    }
};

TEST_F(Play, WithoutAGameFolderOpensTheDialogAndChangesNothing) {
    g_log.add("kept");
    for (const char* dir : {"", "/nonexistent/folder"}) {
        S.set("game_dir", dir);
        g_dirty = true;
        play_pressed();
        EXPECT_FALSE(g_game.running.load());
        EXPECT_FALSE(fs::exists(data / "launcher.ini")) << "settings are not saved";
        EXPECT_FALSE(fs::exists(data / "quor.ini"));
        EXPECT_EQ(log_lines(), std::vector<std::string>{"kept"});
        EXPECT_EQ(g_toast, "");
        // Over before the next press: one made while a choice is open only says so.
        end_folder_choice();
    }
    // Let a dialog without a desktop portal answer (or not) before SDL goes.
    for (int i = 0; i < 20; ++i) {
        SDL_PumpEvents();
        std::this_thread::sleep_for(10ms);
    }
}

TEST_F(Play, MissingPython3GivesOneLogLineAndTheToast) {
    const char* old = std::getenv("PATH");
    std::string saved = old ? old : "";
    setenv("PATH", "/nonexistent-bin", 1);
    S.set("game_dir", game.path().string());
    g_log.add("from the last run");
    EXPECT_EQ(play_pressed(), PlayOutcome::started);
    // The run's own worker spawns; its end brings the toast.
    bool ended = wait_until([] { return g_game.ended.load(); }, 20);
    setenv("PATH", saved.c_str(), 1);
    ASSERT_TRUE(ended);
    EXPECT_TRUE(game_end_tick());

    EXPECT_FALSE(g_game.running.load());
    auto lines = log_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string("Could not start python3: ") + std::strerror(ENOENT));
    EXPECT_EQ(g_toast, "Python 3 not found. Install python3 and try again.");
    EXPECT_NEAR(g_toast_until - now_seconds(), 5.0, 0.5);
    EXPECT_TRUE(fs::exists(data / "launcher.ini")) << "settings are saved before the start";
}

// quor.ini that is a FIFO is never opened (that would block the start): the
// game starts with what the file holds and the log says why.
TEST_F(Play, IniThatIsNoFileIsLeftAloneAndSaidInTheLog) {
    ASSERT_EQ(mkfifo((data / "quor.ini").c_str(), 0644), 0);
    S.set("game_dir", game.path().string());
    S.set("key.cross", "K");
    play_pressed();
    ASSERT_TRUE(wait_until([] { return g_game.started.load(); }, 30)) << ::testing::PrintToString(log_lines());
    EXPECT_EQ(log_lines().front(),
              "quor.ini could not be read; it was left as it is and the game starts with the key bindings it holds.");
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(data / "quor.ini")));
}

TEST_F(Play, SpawnFailureIsReportedInPortuguese) {
    g_pt = true;
    g_data = data / "gone";   // the working directory cannot be entered
    S.set("game_dir", game.path().string());
    EXPECT_TRUE(start_game());
    ASSERT_TRUE(wait_until([] { return g_game.ended.load(); }, 20));
    EXPECT_TRUE(game_end_tick());
    EXPECT_EQ(g_toast, "Python 3 não encontrado. Instale o python3 e tente de novo.");
    auto lines = log_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Não foi possível iniciar o python3: ", 0), 0u) << lines[0];
    EXPECT_EQ(g_toast, "Python 3 não encontrado. Instale o python3 e tente de novo.");
}

TEST_F(Play, PlayStartsTheGameAndASecondPressStopsIt) {
    S.set("game_dir", game.path().string());
    // A game of this data folder started by another launcher (--play).
    int lock = open((data / ".quor-game.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    play_pressed();
    close(lock);
    EXPECT_FALSE(g_game.running.load());
    EXPECT_EQ(g_toast, "The game is already running from another launcher.");

    g_log.add("from the last run");
    play_pressed();
    ASSERT_TRUE(g_game.running.load());
    EXPECT_EQ(g_toast, "Preparing the game; it opens in its own window…");
    EXPECT_TRUE(game_running_elsewhere(g_data)) << "another launcher's --play sees this run";
    EXPECT_NEAR(g_toast_until - now_seconds(), 6.0, 0.5);
    EXPECT_TRUE(fs::exists(data / "launcher.ini"));
    EXPECT_TRUE(fs::exists(data / "quor.ini")) << "key bindings are written before the start";

    ASSERT_TRUE(wait_until([] { return g_game.started.load(); }, 30)) << ::testing::PrintToString(log_lines());
    EXPECT_FALSE(log_has("from the last run")) << "the log is cleared at each start";
    EXPECT_TRUE(log_has("cwd=" + data.path().string()));
    EXPECT_TRUE(log_has("argv=" + (port / "quor.py").string()));
    EXPECT_TRUE(log_has("stdin=''"));
    EXPECT_TRUE(log_has("group leader=True"));

    play_pressed();   // stops instead of starting
    EXPECT_TRUE(g_game.stop_requested.load());
    ASSERT_TRUE(wait_until([] { return g_game.ended.load(); }, 20));
    EXPECT_EQ(g_game.exit_code.load(), 128 + SIGTERM);
    g_toast.clear();
    EXPECT_TRUE(game_end_tick());
    release_run_lock();
    EXPECT_FALSE(game_running_elsewhere(g_data));
    EXPECT_EQ(g_toast, "") << "a stopped game shows no error";
    EXPECT_FALSE(fs::exists(data / "crashes"));
    EXPECT_EQ(log_lines().back(), "— the game exited (code 143) —");
}

TEST_F(Play, CloseOnPlayHidesTheWindowUntilTheGameEnds) {
    g_window = SDL_CreateWindow("launcher", 320, 200, 0);
    ASSERT_NE(g_window, nullptr) << SDL_GetError();
    write_file(port / "quor.py", "print('bye')\n");
    S.set("game_dir", game.path().string());

    S.set("close_on_play", "0");
    press_play();
    EXPECT_FALSE(SDL_GetWindowFlags(g_window) & SDL_WINDOW_HIDDEN);
    ASSERT_TRUE(wait_until([] { return g_game.ended.load(); }, 30));
    EXPECT_TRUE(game_end_tick());

    S.set("close_on_play", "1");
    press_play();
    EXPECT_TRUE(SDL_GetWindowFlags(g_window) & SDL_WINDOW_HIDDEN);
    ASSERT_TRUE(wait_until([] { return g_game.ended.load(); }, 30));
    EXPECT_EQ(g_game.exit_code.load(), 0);
    EXPECT_TRUE(game_end_tick());
    EXPECT_FALSE(SDL_GetWindowFlags(g_window) & SDL_WINDOW_HIDDEN) << "shown again when the game ends";
}

// A starter that shows which snapshots existed when it was started.
const char* SNAPSHOT_STARTER = R"(import os, sys, time
sys.stdout.reconfigure(line_buffering=True)
d = os.path.join(os.getcwd(), 'save-snapshots')
print('snapshots=' + ('|'.join(sorted(os.listdir(d))) if os.path.isdir(d) else 'none'))
print('Entering original x86-64 code')
while True:
    time.sleep(0.05)
)";

std::vector<std::string> snapshot_folders(const fs::path& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        out.push_back(it->path().filename().string());
    return out;
}

TEST_F(Play, SavesAreSnapshottedBeforeTheGameStartsAndNeverHoldItBack) {
    write_file(port / "quor.py", SNAPSHOT_STARTER);
    fs::path saves = data / "user/savedata/1/CUSA00000";
    write_file(saves / "SAVE0/data.bin", std::string(2 << 20, 's'));
    S.set("game_dir", game.path().string());
    auto run_once = [&] {
        play_pressed();
        EXPECT_TRUE(g_game.running.load()) << "the run counts as started at once";
        EXPECT_TRUE(wait_until([] { return g_game.started.load(); }, 30)) << ::testing::PrintToString(log_lines());
        auto lines = log_lines();
        play_pressed();
        EXPECT_TRUE(wait_until([] { return g_game.ended.load(); }, 20));
        game_end_tick();
        return lines;
    };

    // The starter already sees the whole snapshot, and only it.
    auto lines = run_once();
    std::vector<std::string> made = snapshot_folders(data / "save-snapshots");
    ASSERT_EQ(made.size(), 1u);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Save snapshot kept in " + (data / "save-snapshots" / made[0]).string());
    EXPECT_EQ(lines[1], "snapshots=" + made[0]);
    EXPECT_EQ(read_text(data / "save-snapshots" / made[0] / "SAVE0/data.bin"), read_text(saves / "SAVE0/data.bin"));

    lines = run_once();
    EXPECT_EQ(lines[0], "Save unchanged since the last snapshot.");
    EXPECT_EQ(snapshot_folders(data / "save-snapshots"), made);

    // A snapshot that fails is reported, removed, and the game starts anyway.
    ASSERT_EQ(mkfifo((saves / "pipe").c_str(), 0644), 0);
    lines = run_once();
    EXPECT_EQ(lines[0], "Could not snapshot the save (the game starts anyway): " + (saves / "pipe").string() +
                            ": not a file or folder");
    EXPECT_EQ(lines[1], "snapshots=" + made[0]);
    EXPECT_EQ(snapshot_folders(data / "save-snapshots"), made);
}

TEST_F(Play, AStopOrAFailedSpawnWhileTheSnapshotIsMadeEndsTheRun) {
    fs::path saves = data / "user/savedata/1/CUSA00000";
    S.set("game_dir", game.path().string());
    // Large enough that the stop arrives while the copy runs, or just after the spawn.
    write_file(saves / "SAVE0/data.bin", std::string(30 << 20, 's'));
    play_pressed();
    play_pressed();
    EXPECT_TRUE(g_game.stop_requested.load());
    ASSERT_TRUE(wait_until([] { return g_game.ended.load(); }, 20)) << "the game was not left running";
    g_toast.clear();
    EXPECT_TRUE(game_end_tick());
    EXPECT_EQ(g_toast, "") << "a stopped start is no error";
    EXPECT_FALSE(g_game.running.load());

    // python3 missing: the supervisor says so in the log, the next frame by toast.
    write_file(saves / "SAVE0/data.bin", "small");
    const char* old = std::getenv("PATH");
    std::string saved = old ? old : "";
    setenv("PATH", "/nonexistent-bin", 1);
    play_pressed();
    bool ended = wait_until([] { return g_game.ended.load(); }, 20);
    setenv("PATH", saved.c_str(), 1);
    ASSERT_TRUE(ended);
    EXPECT_TRUE(log_has(std::string("Could not start python3: ") + std::strerror(ENOENT)));
    EXPECT_TRUE(game_end_tick());
    EXPECT_EQ(g_toast, "Python 3 not found. Install python3 and try again.");
}

}  // namespace
