#include "launch/play.h"

#include <SDL3/SDL.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include "controls/keys.h"
#include "core/globals.h"
#include "core/instance.h"
#include "core/paths.h"
#include "core/port.h"
#include "core/settings.h"
#include "core/wake.h"
#include "discovery/folder.h"
#include "discovery/game_info.h"
#include "launch/environment.h"
#include "launch/game_process.h"
#include "launch/snapshots.h"
#include "core/toast.h"

static std::vector<char*> c_strings(const std::vector<std::string>& list) {
    std::vector<char*> out;
    out.reserve(list.size() + 1);
    for (const std::string& s : list) out.push_back(const_cast<char*>(s.c_str()));
    out.push_back(nullptr);
    return out;
}

int spawn_game_process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       const std::string& cwd, int& read_fd, int& pid) {
    if (argv.empty()) return EINVAL;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
    // Room for a burst of output: a game printing fast blocks less often and
    // the supervisor reads it in fewer, larger pieces. The usual 64 KiB stays
    // where the system refuses.
    ::fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);

    std::vector<char*> args = c_strings(argv);
    std::vector<char*> envp = c_strings(env);
    pid_t child = -1;
    int err = ::posix_spawnp(&child, args[0], &actions, &attr, args.data(), envp.data());

    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(fds[1]);
    if (err != 0) {
        ::close(fds[0]);
        return err;
    }
    read_fd = fds[0];
    pid = child;
    return 0;
}

std::string spawn_error_line(int err, bool pt) {
    return (pt ? "Não foi possível iniciar o python3: " : "Could not start python3: ") + std::string(std::strerror(err));
}

void python_missing_toast() {
    // Every spawn failure reads as a missing python3 to the player; the log has the reason.
    toast(tr("Python 3 not found. Install python3 and try again.",
             "Python 3 não encontrado. Instale o python3 e tente de novo."), 5);
}

namespace {
// The game lock of this window's run (UI thread only), held from the spawn
// to the frame that handles the run's end.
int g_run_lock = -1;
bool spawn_run();
}  // namespace

void release_run_lock() {
    if (g_game.running.load()) return;
    release_lock(g_run_lock);
    g_run_lock = -1;
}

bool start_game() {
    release_run_lock();
    if (g_run_lock < 0 && (g_run_lock = take_game_lock(g_data, false)) < 0) {
        // A game started with --play, or by a launcher whose window was
        // closed, plays on these saves.
        toast(game_running_elsewhere_text(), 6);
        return false;
    }
    if (!spawn_run()) {
        release_lock(g_run_lock);
        g_run_lock = -1;
        return false;
    }
    return true;
}

namespace {
bool spawn_run() {
    std::vector<std::string> argv = {PYTHON, (g_port / PORT_STARTER).string()};
    fs::path saves = save_folder();
    if (S.on("save_snapshots") && dir_has_entries(saves)) {
        // Copying a save of a few MB takes longer than a frame, and it must be
        // whole before the game can write to it: the supervisor thread makes
        // the snapshot, then spawns.
        begin_prepared_run([argv, env = game_environment(), saves, dir = snapshots_dir(), cwd = g_data.string(),
                            pt = g_pt](int& read_fd, int& pid) {
            std::string line = snapshot_before_start(saves, dir, std::time(nullptr), pt);
            if (!line.empty()) {
                g_log.add(line);
                wake_ui();
            }
            if (g_game.stop_requested.load()) return false;
            int err = spawn_game_process(argv, env, cwd, read_fd, pid);
            if (err > 0) {
                g_log.add(spawn_error_line(err, pt));
                g_game.spawn_failed.exchange(true);
            }
            return err == 0;
        });
        return true;
    }
    int read_fd = -1, pid = -1;
    int err = spawn_game_process(argv, game_environment(), g_data.string(), read_fd, pid);
    if (err < 0) return false;   // no pipe: nothing was started, nothing to tell
    if (err != 0) {
        g_log.add(spawn_error_line(err, g_pt));
        python_missing_toast();
        return false;
    }
    begin_run(pid, read_fd);
    return true;
}
}  // namespace

void play_pressed() {
    if (g_game.running.load()) {
        stop_game();
        return;
    }
    if (!game_info(S.get("game_dir")).ok) {
        pick_folder("game_dir");
        return;
    }
    if (g_game.running.load()) return;
    save_settings();
    std::string ini_note;
    write_key_bindings(&ini_note);
    g_log.clear();
    if (!ini_note.empty()) g_log.add(ini_note);
    if (!start_game()) return;
    toast(tr("Preparing the game; it opens in its own window…",
             "Preparando o jogo; ele abre na própria janela…"), 6);
    if (S.on("close_on_play") && g_window) SDL_HideWindow(g_window);
}
