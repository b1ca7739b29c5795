#pragma once
#include <atomic>
#include <cstdint>
#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct GameProcess {
    // 0 while a run is still being prepared on its supervisor thread (the
    // save snapshot), which then sets it.
    std::atomic<int> pid{0};
    std::atomic<bool> running{false};
    std::atomic<bool> stop_requested{false};
    std::atomic<bool> started{false};
    std::atomic<bool> ended{false};
    std::atomic<int> exit_code{0};
    std::atomic<bool> spawn_failed{false};   // the run's worker could not start python3
    double stop_time = 0;   // UI thread only
};

inline constexpr size_t LOG_MAX_LINES = 6000;

// A game that prints megabytes without a line feed must not grow the log or
// the Log page's frame time without bound: longer lines are cut to this many
// bytes and marked. last_run.log still gets every byte.
inline constexpr size_t LOG_MAX_LINE_BYTES = 4096;
inline constexpr const char* LOG_CUT_MARK = " […]";

inline constexpr int CRASH_COPIES_KEPT = 20;
inline constexpr int LOG_GENERATIONS = 4;        // last_run.1.log .. last_run.4.log
inline constexpr double STOP_KILL_DELAY = 4.0;   // seconds from SIGTERM to SIGKILL

struct LinePiece;

struct Log {
    std::mutex mutex;
    std::deque<std::string> lines;
    bool changed = false;

    void add(const std::string& line);
    // A whole read's lines under one lock. Lines the batch itself would push
    // out again are never stored, and the strings of lines pushed out are
    // reused: a game printing millions of short lines costs no allocation
    // per line.
    void add_all(const std::vector<LinePiece>& batch);
    void clear();
};

extern GameProcess g_game;
// Heap objects that are never destroyed: a supervisor thread may still append
// while the process runs its exit handlers.
extern Log& g_log;

// ---- pure pieces of the supervisor -------------------------------------

// Turns the game's output chunks into log lines.
struct LineSplitter {
    std::string pending;     // start of a line whose line feed has not arrived
    bool dropping = false;   // an over-long line was flushed; skip to its line feed
    // The start marker is looked for in the output itself, so also past the
    // part of a line the log keeps and across reads: the last bytes seen, and
    // whether the current line already held it.
    std::string marker_tail;
    bool marker_in_line = false;
    bool marker_seen = false;   // a line ended by a line feed held the marker
    // Lines that did not lie whole in one read, kept until the next call.
    std::string joined, flushed;
};

// A line finished by a read: a view into the read's bytes or into the
// splitter, valid until the splitter is fed again. cut: the line was longer
// than LOG_MAX_LINE_BYTES; text is its start, ending on a character
// boundary, and the log shows it followed by LOG_CUT_MARK.
struct LinePiece {
    std::string_view text;
    bool cut = false;
};

// Lines finished by this chunk, in order, into out (emptied first). Lines
// lying whole in the chunk are not copied. With keep, lines that lie whole
// in the chunk before its last keep lines are skipped unread (the log would
// push them out at once). The pending text never holds more than
// LOG_MAX_LINE_BYTES + 1 bytes.
void split_lines(LineSplitter& s, std::string_view chunk, std::vector<LinePiece>& out, size_t keep = SIZE_MAX);
// The same lines as strings, the cut ones already marked.
std::vector<std::string> feed_lines(LineSplitter& s, std::string_view chunk);
// The remainder at the end of the output (kept as it is, not searched).
std::optional<std::string> finish_lines(LineSplitter& s);
// Cuts an over-long line at a UTF-8 character boundary and marks it.
std::string cut_long_line(std::string line);

// ---- last_run.log ----------------------------------------------------------

// A game flooding its output for hours must not fill the disk its saves live
// on: the file stops at RUN_LOG_LIMIT, or as soon as the file system has less
// than RUN_LOG_FREE_MARGIN free (looked at when the file is opened and after
// every RUN_LOG_SPACE_CHECK bytes), or when a write fails. The margin leaves
// room for the note and the exit-code line.
inline constexpr uint64_t RUN_LOG_LIMIT = uint64_t(1) << 30;
inline constexpr uint64_t RUN_LOG_FREE_MARGIN = uint64_t(64) << 20;
inline constexpr uint64_t RUN_LOG_SPACE_CHECK = uint64_t(16) << 20;

enum class RunLogStop { none, limit, low_space, write_failed };

struct RunLogFile {
    int fd = -1;                         // -1: no file (it could not be created)
    uint64_t written = 0;                // game output bytes in the file
    uint64_t limit = RUN_LOG_LIMIT;
    uint64_t margin = RUN_LOG_FREE_MARGIN;
    uint64_t next_space_check = 0;       // `written` at which free space is looked at again
    bool at_line_start = true;           // the last byte written was a line feed (or none was)
    RunLogStop stopped = RunLogStop::none;   // set once; the file then takes no more output
    bool pt = false;                     // language of the note
};

// Appends game output to the file while the policy allows. Returns true on
// the call that stops the file: the note (run_log_note) has then been
// written into it on a line of its own where possible, and the caller adds
// it to the game log. Output reaching a stopped file is dropped silently.
bool run_log_write(RunLogFile& f, const char* data, size_t size);
// The note of a stopped file, in the record's language.
std::string run_log_note(const RunLogFile& f);
// Appends the "[exit code N]" line (the file is never too full for it by
// policy; a failing disk may still refuse it) and closes the file.
void run_log_finish(RunLogFile& f, int code);

// The game's end is noticed through a pidfd where the kernel has one
// (Linux 5.3+); with false, or without one, the supervisor polls waitpid
// every RUN_END_POLL_MS instead.
extern bool g_use_pidfd;
inline constexpr int RUN_END_POLL_MS = 200;
// After the game's own process ended, helpers it started may keep its output
// open for ever: what they wrote is read for at most this long.
inline constexpr int RUN_END_DRAIN_MS = 500;

bool is_failure(int code, bool stop_requested);
// "YYYY-MM-DD_HH-MM-SS_CODE.N.log": local time, exit code, creation number.
std::string crash_copy_name(std::time_t t, int code, std::uint64_t number);
std::string exit_code_line(int code);                   // "[exit code N]\n"
std::string end_line(int code, bool pt);
std::string game_error_text(int code, bool pt);

// last_run.log -> last_run.1.log ... -> last_run.4.log (the oldest is lost).
void rotate_logs(const std::filesystem::path& dir);
// Copies log into dir/crashes under crash_copy_name and keeps the newest 20
// ".log" (by creation).
void make_crash_copy(const std::filesystem::path& dir, const std::filesystem::path& log,
                     int code, std::time_t t);
void prune_crash_copies(const std::filesystem::path& crashes, size_t keep);

// ---- the run ------------------------------------------------------------

// The spawn itself: argv[0] searched along PATH, exactly env as environment,
// cwd as working directory, stdin from /dev/null, stdout and stderr into one
// close-on-exec pipe, a new process group led by the child. Returns 0 and
// fills read_fd and pid; -1 when the pipe could not be made; else the
// error number of the failed spawn.
int spawn_game_process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       const std::string& cwd, int& read_fd, int& pid);
// The game-log line for a spawn that failed.
std::string spawn_error_line(int err, bool pt);

// Everything a run needs, taken on the UI thread: the worker may outlive
// any later change of the settings or paths.
struct RunPlan {
    std::vector<std::string> argv, env;
    std::string cwd;
    std::filesystem::path dir;         // where last_run.log and crashes/ go
    std::filesystem::path saves;       // snapshotted first into snapshots; empty: no snapshot
    std::filesystem::path snapshots;
    bool pt = false;
};

// Marks a run as begun ("preparing") and starts its one worker, which makes
// the snapshot when due, spawns the game and supervises it to its end. A
// stop pressed meanwhile is passed on to the game. False, with the state
// idle and nothing spawned, when no thread can be had.
bool begin_run(RunPlan plan);

// How a run ended, handed to the UI once.
struct RunEnd {
    int exit_code = 0;
    bool stop_requested = false;
    bool spawn_failed = false;   // python3 could not be started; the log says why
};
// The end of the last run, once (it clears `ended`); nothing while none waits.
std::optional<RunEnd> take_run_end();
// What the player is told of an end, and for how long; no text when nothing.
struct RunEndNote {
    std::string text;
    double seconds = 0;
};
RunEndNote run_end_note(const RunEnd& end, bool pt);

// SIGTERM to the game's process group; does not wait. While a stop is
// already pending it does nothing: the SIGKILL stays due 4 s after the first
// press, and a game shutting down cleanly is not signalled again.
void stop_game();

// ---- frame-loop reactions (UI thread, once per frame) --------------------

// SIGKILL to the game's group once a stop has waited more than 4 s.
void stop_escalation_tick(double now);
