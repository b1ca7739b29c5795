#include "core/runner.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

int decode_wait_status(int status) {
    int signal = status & 0x7f;
    if (signal != 0) return 128 + signal;
    return (status >> 8) & 0xff;
}

RunResult run_capture(const std::vector<std::string>& argv, const std::string& cwd) {
    RunResult result;
    if (argv.empty()) return result;

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

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    // glibc runs the file actions and the exec in a vfork-like child and hands
    // any failure there (missing program, unusable cwd) back as the result of
    // posix_spawnp itself, so a non-zero result covers both cases.
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return result;
    }

    char buf[4096];
    for (;;) {
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        result.output.append(buf, size_t(n));
    }
    close(fds[0]);

    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    // Without a wait status (SIGCHLD ignored by someone) there is no result.
    result.code = waited == pid ? decode_wait_status(status) : -1;
    return result;
}
