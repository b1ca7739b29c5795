#include "core/runner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// Helpers not yet reaped, each the leader of its own process group. A pid
// stays listed until its exit has been seen and is removed before it is
// reaped, so a listed pid can never have been reused by another process.
// The lock is only held to list, unlist or signal, never across a wait.
struct Helpers {
    std::mutex mutex;
    std::vector<pid_t> pids;
    bool closed = false;   // shutdown: nothing starts any more
};

// Never destroyed: detached workers may still unlist while the process exits.
Helpers& g_helpers = *new Helpers;

void signal_all(int sig) {
    std::lock_guard<std::mutex> lock(g_helpers.mutex);
    for (pid_t pid : g_helpers.pids) kill(-pid, sig);
}

// Waits until no helper is listed or the time is up; true when none is.
bool wait_none_listed(double seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (helpers_running() == 0) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

int helpers_running() {
    std::lock_guard<std::mutex> lock(g_helpers.mutex);
    return int(g_helpers.pids.size());
}

void stop_helpers(double term_grace) {
    if (helpers_running() == 0) return;
    signal_all(SIGTERM);
    if (wait_none_listed(term_grace)) return;
    signal_all(SIGKILL);
    wait_none_listed(0.3);
}

void end_helpers() {
    {
        std::lock_guard<std::mutex> lock(g_helpers.mutex);
        g_helpers.closed = true;
    }
    stop_helpers();
}

int decode_wait_status(int status) {
    int signal = status & 0x7f;
    if (signal != 0) return 128 + signal;
    return (status >> 8) & 0xff;
}

RunResult run_capture(const std::vector<std::string>& argv, const std::string& cwd) {
    RunResult result;
    if (argv.empty()) return result;
    {
        std::lock_guard<std::mutex> lock(g_helpers.mutex);
        if (g_helpers.closed) return result;
    }

    // Close-on-exec from the start: a child spawned by another worker at the
    // same moment must never inherit this pipe, or our read would not end.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return result;

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        close(fds[0]);
        close(fds[1]);
        return result;
    }
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

    // Its own process group: ending the helper also ends what it started.
    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        close(fds[0]);
        close(fds[1]);
        return result;
    }
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    // glibc runs the file actions and the exec in a vfork-like child and hands
    // any failure there (missing program, unusable cwd) back as the result of
    // posix_spawnp itself, so a non-zero result covers both cases.
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return result;
    }
    {
        std::lock_guard<std::mutex> lock(g_helpers.mutex);
        g_helpers.pids.push_back(pid);
        // Started while shutdown swept the others: it ends at once.
        if (g_helpers.closed) kill(-pid, SIGKILL);
    }

    char buf[4096];
    for (;;) {
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        result.output.append(buf, size_t(n));
    }
    close(fds[0]);

    // See the exit without reaping, unlist, then reap: until the unlisting
    // the pid cannot be handed to another process, so signalling it is safe.
    siginfo_t info;
    int seen;
    do {
        seen = waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT);
    } while (seen < 0 && errno == EINTR);
    {
        std::lock_guard<std::mutex> lock(g_helpers.mutex);
        auto& pids = g_helpers.pids;
        pids.erase(std::remove(pids.begin(), pids.end(), pid), pids.end());
    }

    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    // Without a wait status (SIGCHLD ignored by someone) there is no result.
    result.code = waited == pid ? decode_wait_status(status) : -1;
    return result;
}

std::vector<std::string_view> output_lines(const std::string& out) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < out.size()) {
        size_t lf = out.find('\n', pos);
        size_t end = lf == std::string::npos ? out.size() : lf;
        lines.emplace_back(out.data() + pos, end - pos);
        pos = end + 1;
    }
    return lines;
}
