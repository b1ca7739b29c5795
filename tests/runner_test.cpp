#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <unistd.h>
#include <string>
#include <thread>
#include <vector>

#include "core/runner.h"
#include "support/testing.h"

namespace {

RunResult sh(const std::string& script, const std::string& cwd = "") {
    return run_capture({"sh", "-c", script}, cwd);
}

int open_descriptors() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    if (!d) return -1;
    while (readdir(d)) ++n;
    closedir(d);
    return n;
}

}  // namespace

TEST(Runner, ExitCodesAndSignals) {
    RunResult r = run_capture({"true"}, "");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(sh("exit 3").code, 3);
    EXPECT_EQ(sh("exit 255").code, 255);
    r = sh("printf before; kill -9 $$");
    EXPECT_EQ(r.code, 137);
    EXPECT_EQ(r.output, "before");
    EXPECT_EQ(sh("kill -TERM $$").code, 128 + 15);
}

TEST(Runner, DecodesWaitStatus) {
    EXPECT_EQ(decode_wait_status(0), 0);
    EXPECT_EQ(decode_wait_status(3 << 8), 3);
    EXPECT_EQ(decode_wait_status(9), 137);
    EXPECT_EQ(decode_wait_status(6 | 0x80), 134);  // core dumped
}

TEST(Runner, ProgramOrFolderThatCannotBeUsedGivesMinusOne) {
    RunResult r = run_capture({"quor-no-such-program-here"}, "");
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.output, "");

    r = run_capture({"/nonexistent/dir/prog"}, "");
    EXPECT_EQ(r.code, -1);

    TempDir dir;
    r = run_capture({"true"}, (dir / "missing").string());
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.output, "");

    write_file(dir / "file", "");
    EXPECT_EQ(run_capture({"true"}, (dir / "file").string()).code, -1);

    write_file(dir / "not-executable", "#!/bin/sh\necho hi\n");
    EXPECT_EQ(run_capture({(dir / "not-executable").string()}, "").code, -1);
}

TEST(Runner, RunsInTheGivenFolder) {
    TempDir dir;
    EXPECT_EQ(run_capture({"pwd"}, dir.path().string()).output, dir.path().string() + "\n");
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    EXPECT_EQ(run_capture({"pwd"}, "").output, std::string(here) + "\n");
}

TEST(Runner, OutputIsWholeAndInterleavedInWriteOrder) {
    RunResult r = sh("head -c 100000 /dev/zero | tr '\\0' a; echo; echo err >&2; echo out");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.output, std::string(100000, 'a') + "\nerr\nout\n");

    r = run_capture({"printf", "%s", "a\0b"}, "");
    EXPECT_EQ(r.output, "a");  // argv strings end at NUL; output is byte exact
    r = sh("printf 'x\\000y\\r\\n'");
    EXPECT_EQ(r.output, std::string("x\0y\r\n", 5));
}

TEST(Runner, StandardInputIsAtEndOfFile) {
    // Our own standard input is a pipe that never ends: a child that shared
    // it would wait until the timeout.
    int never[2];
    ASSERT_EQ(pipe(never), 0);
    int saved = dup(0);
    ASSERT_GE(saved, 0);
    ASSERT_EQ(dup2(never[0], 0), 0);
    RunResult r = sh("timeout 3 cat; echo done $?; readlink /proc/self/fd/0");
    dup2(saved, 0);
    close(saved);
    close(never[0]);
    close(never[1]);
    EXPECT_EQ(r.output, "done 0\n/dev/null\n");
}

TEST(Runner, ConcurrentCallsDoNotHoldEachOthersPipes) {
    // A slow child started while a fast call's pipe is open must not inherit
    // it (the fast call would then wait for the slow child), and no child may
    // see a descriptor of another call.
    const std::string count_fds = "ls /proc/self/fd | wc -l";
    const std::string baseline = sh(count_fds).output;
    ASSERT_FALSE(baseline.empty());
    int before = open_descriptors();

    std::atomic<bool> done{false};
    std::vector<RunResult> slow;
    std::thread a([&] {
        for (int i = 0; i < 3; ++i) slow.push_back(sh("sleep 1; echo slow"));
        done = true;
    });
    int calls = 0, mismatches = 0;
    auto longest = std::chrono::steady_clock::duration::zero();
    std::thread b([&] {
        while (!done) {
            auto start = std::chrono::steady_clock::now();
            RunResult r = sh(count_fds);
            longest = std::max(longest, std::chrono::steady_clock::now() - start);
            ++calls;
            if (r.output != baseline) ++mismatches;
        }
    });
    a.join();
    b.join();
    for (const RunResult& r : slow) EXPECT_EQ(r.output, "slow\n");
    EXPECT_GT(calls, 3);
    EXPECT_EQ(mismatches, 0);
    EXPECT_LT(longest, std::chrono::milliseconds(900));
    EXPECT_EQ(open_descriptors(), before);
}

// Gone, or a zombie left to init after its parent died (no longer running).
static bool process_gone(pid_t pid) {
    std::string stat = read_text("/proc/" + std::to_string(pid) + "/stat");
    size_t paren = stat.rfind(')');
    return stat.empty() || (paren != std::string::npos && stat.compare(paren, 3, ") Z") == 0);
}

TEST(Runner, StopHelpersEndsEachHelpersWholeGroup) {
    TempDir dir;
    const std::string child_pid = (dir / "child.pid").string();
    RunResult polite, stubborn;
    std::thread a([&] { polite = sh("sleep 30"); });
    // Ignores SIGTERM and leaves a child of its own holding the output pipe.
    std::thread b([&] { stubborn = sh("trap '' TERM; sleep 30 & echo $! > " + child_pid + "; wait"); });
    ASSERT_TRUE(wait_until([&] { return helpers_running() == 2 && !read_text(child_pid).empty(); }, 30));
    pid_t child = std::stoi(read_text(child_pid));

    auto start = std::chrono::steady_clock::now();
    stop_helpers(0.3);
    auto took = std::chrono::steady_clock::now() - start;
    a.join();
    b.join();
    EXPECT_LT(took, std::chrono::milliseconds(1500)) << "the grace is bounded";
    EXPECT_EQ(polite.code, 128 + SIGTERM);
    EXPECT_EQ(stubborn.code, 128 + SIGKILL);
    EXPECT_EQ(helpers_running(), 0);
    EXPECT_TRUE(wait_until([&] { return process_gone(child); }, 5)) << "the helper's own child lives on";

    // Nothing to end: returns at once; later helpers still run.
    start = std::chrono::steady_clock::now();
    stop_helpers(0.3);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(sh("echo again").output, "again\n");
}
