#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <regex>
#include <thread>
#include <unistd.h>

#include "core/globals.h"
#include "core/paths.h"
#include "core/toast.h"
#include "launch/game_process.h"
#include "launch/play.h"
#include "support/testing.h"
#include "ui/app.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

std::vector<std::string> dir_names(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class GameRun : public ::testing::Test {
protected:
    TempDir data;
    void SetUp() override {
        g_data = data.path();
        g_pt = false;
        g_window = nullptr;
        g_log.clear();
        g_toast.clear();
    }
    void TearDown() override {
        if (g_game.running.load()) {
            // A run still spawning has no process yet (pid 0 would name this
            // test's own process group).
            wait_until([] { return g_game.pid.load() > 0 || g_game.ended.load(); }, 20);
            if (g_game.pid.load() > 0) ::kill(-g_game.pid, SIGKILL);
            wait_until([] { return g_game.ended.load(); }, 20);
        }
        g_game.ended.exchange(false);
    }

    // Starts a shell script the way start_game starts the game: own process
    // group, stdin /dev/null, output into the supervisor's pipe, cwd g_data.
    void run(const std::string& script) {
        RunPlan plan;
        plan.argv = {"/bin/sh", "-c", script};
        plan.env = process_env();
        plan.cwd = g_data.string();
        plan.dir = g_data;
        plan.pt = g_pt;
        ASSERT_TRUE(begin_run(std::move(plan)));
        // A quick script may already have ended by now.
        ASSERT_TRUE(g_game.running.load() || g_game.ended.load());
    }
    // Waits for the supervisor to finish; returns the exit code.
    int wait_end(double seconds = 30) {
        EXPECT_TRUE(wait_until([] { return g_game.ended.load(); }, seconds)) << "the game did not end";
        EXPECT_FALSE(g_game.running.load());
        return g_game.exit_code.load();
    }
    // Stops a game that printed "ready", driving the frame loop's escalation.
    int stop_and_wait() {
        EXPECT_TRUE(wait_until([] { return log_has("ready"); }, 20));
        stop_game();
        EXPECT_TRUE(g_game.stop_requested.load());
        EXPECT_GT(g_game.stop_time, 0);
        auto end = std::chrono::steady_clock::now() + 30s;
        while (!g_game.ended.load() && std::chrono::steady_clock::now() < end) {
            stop_escalation_tick(now_seconds());
            std::this_thread::sleep_for(20ms);
        }
        return wait_end(1);
    }
};

TEST_F(GameRun, SevenThousandLinesKeepTheNewest6000AndTheFileKeepsAll) {
    run("i=1; while [ $i -le 7000 ]; do echo \"line $i\"; i=$((i+1)); done");
    EXPECT_EQ(wait_end(), 0);
    auto lines = log_lines();
    ASSERT_EQ(lines.size(), 6000u);
    EXPECT_EQ(lines.front(), "line 1002");
    EXPECT_EQ(lines[5998], "line 7000");
    EXPECT_EQ(lines.back(), "— the game exited (code 0) —");

    std::string file = read_text(data / "last_run.log");
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 7001);
    EXPECT_EQ(file.rfind("line 1\nline 2\n", 0), 0u);
    EXPECT_TRUE(file.ends_with("line 7000\n[exit code 0]\n"));

    EXPECT_TRUE(game_end_tick());
    EXPECT_FALSE(game_end_tick()) << "an end is handled once";
    EXPECT_EQ(g_toast, "");
    EXPECT_FALSE(fs::exists(data / "crashes"));
}

TEST_F(GameRun, LinesSplitAcrossReadsAndCarriageReturns) {
    run("printf 'hal'; sleep 0.3; printf 'f line\\r\\nnext\\r\\n\\r\\n'; sleep 0.3; printf 'tail\\r'");
    EXPECT_EQ(wait_end(), 0);
    std::vector<std::string> want = {"half line", "next", "", "tail\r", "— the game exited (code 0) —"};
    EXPECT_EQ(log_lines(), want);
    EXPECT_EQ(read_text(data / "last_run.log"), "half line\r\nnext\r\n\r\ntail\r[exit code 0]\n");
}

TEST_F(GameRun, StartMarkerSwitchesToRunningOnlyWithinOneLine) {
    run("echo 'Entering original'; echo 'x86-64 code'; sleep 1;"
        "echo '[boot] Entering original x86-64 code at 0x1000'; sleep 1");
    ASSERT_TRUE(wait_until([] { return log_has("x86-64 code"); }, 20));
    EXPECT_FALSE(g_game.started.load()) << "a marker split over two lines does not count";
    EXPECT_TRUE(wait_until([] { return g_game.started.load(); }, 20));
    EXPECT_TRUE(g_game.running.load());
    EXPECT_EQ(wait_end(), 0);
}

TEST_F(GameRun, MarkerInAnUnfinishedLastLineIsNotSearched) {
    run("printf 'Entering original x86-64 code'");
    EXPECT_EQ(wait_end(), 0);
    EXPECT_FALSE(g_game.started.load());
    EXPECT_TRUE(log_has("Entering original x86-64 code"));
}

// The marker may sit past the part of a line the log keeps; last_run.log is
// open all the while and must not leak into helpers started meanwhile.
TEST_F(GameRun, MarkerFarIntoALongLineCountsAndTheLogFileIsCloseOnExec) {
    run("head -c 6000 /dev/zero | tr '\\0' x; echo ' Entering original x86-64 code'; sleep 3");
    ASSERT_TRUE(wait_until([] { return g_game.started.load(); }, 20)) << "marker past the first 4096 bytes";
    int log_fds = 0;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        fs::path target = fs::read_symlink(e.path(), ec);
        if (ec || target.filename() != "last_run.log") continue;
        ++log_fds;
        int fd = std::stoi(e.path().filename().string());
        EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC) << "last_run.log is inherited by every helper";
    }
    EXPECT_EQ(log_fds, 1);
    stop_game();
    wait_end();
}

TEST_F(GameRun, SegfaultMakesACrashCopyAndTheErrorToast) {
    run("echo boom; kill -s SEGV $$");
    EXPECT_EQ(wait_end(), 139);
    EXPECT_EQ(log_lines().back(), "— the game exited (code 139) —");
    std::string file = read_text(data / "last_run.log");
    EXPECT_EQ(file, "boom\n[exit code 139]\n");

    auto copies = dir_names(data / "crashes");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_TRUE(std::regex_match(copies[0], std::regex(R"(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d_139\.1\.log)"))) << copies[0];
    EXPECT_EQ(read_text(data / "crashes" / copies[0]), file);

    double before = now_seconds();
    EXPECT_TRUE(game_end_tick());
    EXPECT_EQ(g_toast, "The game closed with an error (139). See the Log tab.");
    EXPECT_NEAR(g_toast_until - before, 8.0, 0.5);
}

TEST_F(GameRun, PortugueseEndLineAndToast) {
    g_pt = true;
    run("exit 3");
    EXPECT_EQ(wait_end(), 3);
    EXPECT_EQ(log_lines().back(), "— o jogo terminou (código 3) —");
    EXPECT_TRUE(game_end_tick());
    EXPECT_EQ(g_toast, "O jogo fechou com erro (3). Veja a aba Registro.");
}

TEST_F(GameRun, StopOfAGameThatExitsOnTerm) {
    run("trap 'exit 0' TERM; echo ready; while :; do sleep 0.1; done");
    EXPECT_EQ(stop_and_wait(), 0);
    EXPECT_TRUE(game_end_tick());
    EXPECT_EQ(g_toast, "");
    EXPECT_FALSE(fs::exists(data / "crashes"));
}

TEST_F(GameRun, StopOfAGameThatDiesOfTerm) {
    run("echo ready; while :; do sleep 0.1; done");
    EXPECT_EQ(stop_and_wait(), 143);
    EXPECT_EQ(log_lines().back(), "— the game exited (code 143) —");
    EXPECT_TRUE(read_text(data / "last_run.log").ends_with("[exit code 143]\n"));
    EXPECT_TRUE(game_end_tick());
    EXPECT_EQ(g_toast, "");
    EXPECT_FALSE(fs::exists(data / "crashes"));
}

TEST_F(GameRun, StopOfAGameThatIgnoresTermKillsItAfterFourSeconds) {
    run("trap '' TERM; echo ready; while :; do sleep 0.1; done");
    ASSERT_TRUE(wait_until([] { return log_has("ready"); }, 20));
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(stop_and_wait(), 137);
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(waited, 3.9);
    EXPECT_LT(waited, 10.0);
    EXPECT_EQ(g_game.stop_time, 0);
    EXPECT_TRUE(game_end_tick());
    EXPECT_EQ(g_toast, "");
    EXPECT_FALSE(fs::exists(data / "crashes"));
}

TEST_F(GameRun, EscalationWaitsForFourSeconds) {
    run("trap '' TERM; echo ready; while :; do sleep 0.1; done");
    ASSERT_TRUE(wait_until([] { return log_has("ready"); }, 20));
    stop_game();
    double t = g_game.stop_time;
    std::this_thread::sleep_for(50ms);
    stop_game();
    EXPECT_EQ(g_game.stop_time, t) << "a second Stop puts the kill off";
    stop_escalation_tick(t + 3.9);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(g_game.running.load()) << "killed too early";
    EXPECT_EQ(g_game.stop_time, t);
    stop_escalation_tick(t + 4.1);
    EXPECT_EQ(g_game.stop_time, 0);
    EXPECT_EQ(wait_end(), 137);
}

TEST_F(GameRun, TheRunEndsWithTheGameNotWithHelpersHoldingItsOutput) {
    const std::string deaf = "setsid sh -c 'trap \"\" TERM; exec sleep 30' & echo helper $!; ";
    struct Row { std::string script; bool pidfd, stop; int code; } rows[] = {
        {"echo before; sleep 30 & echo helper $!; exit 3", true, false, 3},
        {"echo before; sleep 30 & echo helper $!; exit 3", false, false, 3},
        {"echo before; " + deaf + "exit 3", true, false, 3},
        {"echo before; " + deaf + "echo ready; while :; do sleep 0.1; done", true, true, 143},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script + (row.pidfd ? "" : " (no pidfd)"));
        g_use_pidfd = row.pidfd;
        g_log.clear();
        run(row.script);
        if (row.stop) {
            ASSERT_TRUE(wait_until([] { return log_has("ready"); }, 20));
            stop_game();
        }
        EXPECT_EQ(wait_end(2.5), row.code);
        g_use_pidfd = true;
        auto lines = log_lines();
        EXPECT_EQ(lines.front(), "before");
        EXPECT_EQ(lines.back(), "— the game exited (code " + std::to_string(row.code) + ") —");
        for (const auto& l : lines)
            if (l.starts_with("helper ")) ::kill(std::stoi(l.substr(7)), SIGKILL);
        game_end_tick();
    }
}

TEST_F(GameRun, StopWithoutAGameDoesNothing) {
    run("exit 0");
    wait_end();
    g_game.stop_requested.exchange(false);
    stop_game();
    EXPECT_FALSE(g_game.stop_requested.load());
    EXPECT_EQ(g_game.stop_time, 0);
}

TEST_F(GameRun, SixRunsKeepFourOlderGenerations) {
    for (int k = 1; k <= 6; ++k) {
        run("echo run " + std::to_string(k));
        EXPECT_EQ(wait_end(), 0);
        game_end_tick();
    }
    EXPECT_EQ(read_text(data / "last_run.log"), "run 6\n[exit code 0]\n");
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(read_text(data / ("last_run." + std::to_string(n) + ".log")),
                  "run " + std::to_string(6 - n) + "\n[exit code 0]\n");
    EXPECT_FALSE(fs::exists(data / "last_run.5.log"));
    std::vector<std::string> want = {"last_run.1.log", "last_run.2.log", "last_run.3.log", "last_run.4.log",
                                     "last_run.log"};
    EXPECT_EQ(dir_names(data.path()), want);
}

TEST_F(GameRun, TwentyFirstBadRunDeletesOnlyTheOldestCrashCopy) {
    for (int i = 0; i < 20; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "2000-01-01_00-00-%02d_1.log", i);
        write_file(data / "crashes" / name, "old\n");
    }
    write_file(data / "crashes" / "notes.txt", "mine");
    write_file(data / "crashes" / "0000-upper.LOG", "mine");
    run("echo bad; exit 2");
    EXPECT_EQ(wait_end(), 2);

    auto names = dir_names(data / "crashes");
    EXPECT_EQ(std::count(names.begin(), names.end(), "2000-01-01_00-00-00_1.log"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "2000-01-01_00-00-01_1.log"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "notes.txt"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "0000-upper.LOG"), 1);
    int logs = 0, mine = 0;
    for (const auto& n : names) {
        if (fs::path(n).extension() == ".log") ++logs;
        if (n.ends_with("_2.1.log")) ++mine;
    }
    EXPECT_EQ(logs, 20);
    EXPECT_EQ(mine, 1);
}

TEST_F(GameRun, MegabytesWithoutLineEndKeepTheLogBounded) {
    run("head -c 6000000 /dev/zero | tr '\\0' x; echo; echo after;"
        "echo 'Entering original x86-64 code'; head -c 3000000 /dev/zero | tr '\\0' y");
    EXPECT_EQ(wait_end(), 0);
    auto lines = log_lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], std::string(LOG_MAX_LINE_BYTES, 'x') + LOG_CUT_MARK);
    EXPECT_EQ(lines[1], "after");
    EXPECT_EQ(lines[3], std::string(LOG_MAX_LINE_BYTES, 'y') + LOG_CUT_MARK);
    EXPECT_TRUE(g_game.started.load()) << "the marker after a cut line is still found";
    std::error_code ec;
    EXPECT_EQ(fs::file_size(data / "last_run.log", ec),
              6000000u + 1 + 6 + 30 + 3000000 + std::string("[exit code 0]\n").size());
}

TEST_F(GameRun, UnwritableDataFolderStillLogsTheRun) {
    fs::create_directories(data / "last_run.log" / "x");   // cannot be opened as a file
    run("echo still here; exit 5");
    EXPECT_EQ(wait_end(), 5);
    EXPECT_TRUE(log_has("still here"));
    EXPECT_EQ(log_lines().back(), "— the game exited (code 5) —");
    EXPECT_TRUE(fs::is_directory(data / "last_run.log" / "x"));
    EXPECT_TRUE(dir_names(data / "crashes").empty());
}

TEST_F(GameRun, AFailingDiskStopsTheFileButNotTheLog) {
    with_tiny_disk([this] {
        run("i=0; while [ $i -lt 300 ]; do echo \"line $i of the output\"; i=$((i+1)); done; sleep 0.3; echo later");
        EXPECT_EQ(wait_end(), 0);
        return 0;
    });
    auto lines = log_lines();
    const std::string note = "[last_run.log stopped at 0 MiB: it could not be written; the game keeps running]";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), note), 1);
    auto at = std::find(lines.begin(), lines.end(), note);
    // Line 150 ends before byte 4096: the note follows the read that failed.
    EXPECT_LT(std::find(lines.begin(), lines.end(), "line 150 of the output"), at);
    EXPECT_LT(at, std::find(lines.begin(), lines.end(), "later"));
    EXPECT_EQ(read_text(data / "last_run.log").size(), 4096u);
}

TEST(RunLogFile, StopsAtItsLimitOrOnALowDiskAndAlwaysEndsWithTheExitCode) {
    TempDir dir;
    struct Row { uint64_t limit, margin; bool pt; std::string note; size_t kept; } rows[] = {
        {(1 << 20) + 5, 0, false, "[last_run.log stopped at 1 MiB; the game keeps running]", (1 << 20) + 5},
        {(1 << 20) + 5, 0, true, "[last_run.log interrompido em 1 MiB; o jogo continua rodando]", (1 << 20) + 5},
        {RUN_LOG_LIMIT, UINT64_MAX, false, "[last_run.log stopped at 0 MiB: the disk is almost full; the game keeps running]",
         0},
        {RUN_LOG_LIMIT, RUN_LOG_FREE_MARGIN, false, "", 3 << 19},
    };
    const std::string half(1 << 19, 'x');
    for (const Row& row : rows) {
        SCOPED_TRACE(row.note);
        RunLogFile f;
        f.fd = ::open((dir / "last_run.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        f.limit = row.limit, f.margin = row.margin, f.pt = row.pt;
        int stops = 0;
        for (int i = 0; i < 3; ++i) stops += run_log_write(f, half.data(), half.size());
        EXPECT_EQ(stops, row.note.empty() ? 0 : 1) << "the note comes once";
        EXPECT_EQ(stops ? run_log_note(f) : "", row.note);
        run_log_finish(f, 7);
        std::string note = row.note.empty() ? "" : (row.kept ? "\n" : "") + row.note + "\n";
        EXPECT_EQ(read_text(dir / "last_run.log"), std::string(row.kept, 'x') + note + "[exit code 7]\n");
    }
}

// ---- the line splitter ---------------------------------------------------------

TEST(LineSplitter, CarriageReturnSplitFromItsLineFeed) {
    LineSplitter s;
    EXPECT_TRUE(feed_lines(s, "abc\r").empty());
    EXPECT_EQ(feed_lines(s, "\nd\r\re\n"), (std::vector<std::string>{"abc", "d\r\re"}));
    EXPECT_FALSE(finish_lines(s).has_value());
}

TEST(LineSplitter, LinesAtTheLimitStayWholeLongerOnesAreCut) {
    LineSplitter s;
    std::string exact(LOG_MAX_LINE_BYTES, 'a');
    auto lines = feed_lines(s, exact + "\r\n" + exact + "b\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], exact);
    EXPECT_EQ(lines[1], exact + LOG_CUT_MARK);
}

TEST(LineSplitter, CutNeverSplitsAUtf8Character) {
    std::string line(LOG_MAX_LINE_BYTES - 1, 'a');
    line += "é and more";   // é straddles the limit
    std::string cut = cut_long_line(line);
    EXPECT_EQ(cut, std::string(LOG_MAX_LINE_BYTES - 1, 'a') + LOG_CUT_MARK);
}

TEST(LineSplitter, PendingTextStaysBoundedAndTheRestOfALongLineIsDropped) {
    LineSplitter s;
    std::string chunk(8192, 'z');
    size_t emitted = 0;
    for (int i = 0; i < 2000; ++i) {   // 16 MB in one line
        emitted += feed_lines(s, chunk).size();
        ASSERT_LE(s.pending.size(), LOG_MAX_LINE_BYTES + 1);
    }
    EXPECT_EQ(emitted, 1u);
    auto lines = feed_lines(s, "zzz\nnext\npart");
    EXPECT_EQ(lines, std::vector<std::string>{"next"});
    EXPECT_EQ(finish_lines(s).value_or("?"), "part");
}

TEST(LineSplitter, SameLinesWhateverTheChunking) {
    std::string text;
    for (int i = 0; i < 50; ++i) text += std::string(size_t(i) * 211, 'q') + (i % 3 ? "\r\n" : "\n");
    text += "end";
    LineSplitter whole;
    auto want = feed_lines(whole, text);
    want.push_back(finish_lines(whole).value_or(""));
    for (size_t step : {1u, 7u, 4096u, 4097u, 8192u}) {
        LineSplitter s;
        std::vector<std::string> got;
        for (size_t pos = 0; pos < text.size(); pos += step)
            for (auto& l : feed_lines(s, std::string_view(text).substr(pos, step))) got.push_back(l);
        got.push_back(finish_lines(s).value_or(""));
        EXPECT_EQ(got, want) << "chunk size " << step;
    }
    // Asked for the newest lines only, each read still ends with the same
    // lines in the same order, and the cut, dropped and pending parts carry
    // over to the next read unchanged.
    for (size_t step : {7u, 4097u, 30000u}) {
        LineSplitter all, newest;
        std::vector<LinePiece> pieces;
        for (size_t pos = 0; pos < text.size(); pos += step) {
            std::string_view chunk = std::string_view(text).substr(pos, step);
            auto full = feed_lines(all, chunk);
            split_lines(newest, chunk, pieces, 2);
            std::vector<std::string> kept;
            for (const auto& p : pieces) kept.push_back(std::string(p.text) + (p.cut ? LOG_CUT_MARK : ""));
            const size_t n = std::min<size_t>(full.size(), 2);
            ASSERT_GE(kept.size(), n);
            EXPECT_TRUE(std::equal(full.end() - n, full.end(), kept.end() - n)) << "at " << pos;
            auto it = full.begin();
            bool in_order = true;
            for (const auto& k : kept) {
                it = std::find(it, full.end(), k);
                if (it == full.end()) {
                    in_order = false;
                    break;
                }
                ++it;
            }
            EXPECT_TRUE(in_order) << "a line not in the read, or out of order, at " << pos;
            EXPECT_EQ(newest.pending, all.pending);
            EXPECT_EQ(newest.dropping, all.dropping);
        }
        EXPECT_EQ(finish_lines(newest), finish_lines(all));
    }
}

TEST(LineSplitter, MarkerIsFoundInTheWholeLineWhateverTheChunking) {
    const std::string text = std::string(6000, 'x') + "Entering original x86-64 code at 0x1000\r\n";
    for (size_t step : {1u, 7u, 29u, 4096u, 8192u}) {
        LineSplitter s;
        const size_t last = text.size() % step == 0 ? text.size() - step : text.size() - text.size() % step;
        for (size_t pos = 0; pos < last; pos += step) feed_lines(s, std::string_view(text).substr(pos, step));
        EXPECT_FALSE(s.marker_seen) << "not before the line feed, chunk size " << step;
        feed_lines(s, std::string_view(text).substr(last));
        EXPECT_TRUE(s.marker_seen) << "chunk size " << step;
    }
    LineSplitter split;
    feed_lines(split, std::string(5000, 'y') + "Entering original\nx86-64 code\n");
    EXPECT_FALSE(split.marker_seen) << "a marker split over two lines does not count";
    feed_lines(split, "Entering original x86-64 code");
    finish_lines(split);
    EXPECT_FALSE(split.marker_seen) << "an unfinished last line is not searched";
}

TEST(LogBatch, AReadOfMoreLinesThanTheLogHoldsKeepsTheNewestInOrder) {
    g_log.clear();
    g_log.add("older");
    g_log.add_all({{"a"}, {"b"}});
    std::vector<std::string> texts;
    for (int i = 1; i <= 7000; ++i) texts.push_back("line " + std::to_string(i));
    std::vector<LinePiece> batch(texts.begin(), texts.end());
    g_log.add_all(batch);
    auto lines = log_lines();
    ASSERT_EQ(lines.size(), LOG_MAX_LINES);
    EXPECT_EQ(lines.front(), "line 1001");
    EXPECT_EQ(lines.back(), "line 7000");
    // Once full, the oldest lines' strings are reused: nothing of their
    // text may show through a shorter new line, and a cut line is marked.
    g_log.add_all({{"z"}, {"long start", true}});
    lines = log_lines();
    ASSERT_EQ(lines.size(), LOG_MAX_LINES);
    EXPECT_EQ(lines.front(), "line 1003");
    EXPECT_EQ(lines[lines.size() - 2], "z");
    EXPECT_EQ(lines.back(), std::string("long start") + LOG_CUT_MARK);
    g_log.clear();
    g_log.add_all({{"x"}, {"y"}});
    EXPECT_EQ(log_lines(), (std::vector<std::string>{"x", "y"}));
    g_log.clear();
}

TEST(CrashCopies, NamesAndFailureRule) {
    std::time_t t = 1900000000;
    std::string a = crash_copy_name(t, 139, 7);
    EXPECT_TRUE(std::regex_match(a, std::regex(R"(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d_139\.7\.log)"))) << a;

    // The clock going back an hour at every run, or 25 runs in one second:
    // the copy just made is always among the 20 kept, each under its own name.
    for (int back : {3600, 0}) {
        TempDir data;
        write_file(data / "last_run.log", "run\n");
        std::vector<std::string> made;
        for (int i = 0; i < 25; ++i) {
            write_file(data / "last_run.log", "run " + std::to_string(i) + "\n");
            make_crash_copy(data.path(), data / "last_run.log", 1, t - back * i);
            std::vector<std::string> now;
            for (const auto& e : fs::directory_iterator(data / "crashes")) now.push_back(read_text(e.path()));
            EXPECT_EQ(now.size(), std::min(i + 1, CRASH_COPIES_KEPT)) << back << " " << i;
            EXPECT_EQ(std::count(now.begin(), now.end(), "run " + std::to_string(i) + "\n"), 1) << back << " " << i;
            if (i >= CRASH_COPIES_KEPT)
                EXPECT_EQ(std::count(now.begin(), now.end(), "run " + std::to_string(i - CRASH_COPIES_KEPT) + "\n"), 0);
        }
    }
    EXPECT_TRUE(is_failure(1, false));
    EXPECT_TRUE(is_failure(-1, false));
    EXPECT_FALSE(is_failure(0, false));
    EXPECT_FALSE(is_failure(143, true));
}

}  // namespace
