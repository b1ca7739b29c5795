#pragma once
// The last run's output read back from last_run.log, for a window that has
// not run the game yet (and for anyone else who wants a run's end), and the
// crash copies kept beside it.
#include <cstddef>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/atomic_file.h"
#include "launch/game_process.h"

// How much of the end of a run log is read at most: enough for the lines the
// Log page keeps unless they are very long, and quick on any disk, whatever
// the file's size.
inline constexpr size_t RUN_TAIL_BYTES = size_t(4) << 20;

struct RunLogTail {
    ReadStatus status = ReadStatus::missing;   // ok, missing or unreadable (never too_big)
    // The newest lines, oldest first, each cut as the live log cuts them.
    std::vector<std::string> lines;
    // From the file's last line, "[exit code N]"; none when the run's end
    // was never written (the launcher was killed, or the run goes on).
    std::optional<int> exit_code;
    std::time_t time = 0;   // the file's modification time
    bool whole = true;      // false: older output before lines was left unread
};

// The end of a run log: at most max_lines lines out of its last max_bytes.
// FIFOs, devices and folders are never opened for reading; never blocks on
// anything but the disk, never throws.
RunLogTail read_run_log_tail(const std::filesystem::path& path, size_t max_lines = LOG_MAX_LINES,
                             size_t max_bytes = RUN_TAIL_BYTES);

// N of a line ending in "[exit code N]" (the line may hold the game's
// unfinished last output before it); none for any other line.
std::optional<int> exit_code_of_line(std::string_view line);

// "Previous run, 2026-12-10 14:05 (exit code 139)" in the language asked.
std::string previous_run_label(std::time_t t, std::optional<int> code, bool pt);

// The crash copies of a crashes folder: how many, and the newest (by
// creation) with its modification time.
struct CrashCopies {
    size_t count = 0;
    std::filesystem::path newest;
    std::time_t newest_time = 0;
};
CrashCopies list_crash_copies(const std::filesystem::path& crashes);
// "3 crash copies, the newest from 2026-12-10 14:05"; empty for none.
std::string crash_copies_text(const CrashCopies& copies, bool pt);

// ---- the window's Log page ---------------------------------------------------

// Window start-up, once: reads data_dir's last_run.log and its crash copies
// on a worker. The lines go into g_log only while no run has begun and the
// log is still untouched, then the UI is woken.
void read_last_run_at_start(const std::filesystem::path& data_dir);

// The label of the previous run while g_log holds exactly the lines the
// start-up read put there (no run, Clear or Play since); empty otherwise.
// Takes g_log's lock.
std::string shown_previous_run();
// Whether it does, for a caller that holds g_log's lock.
bool previous_run_in_log();
// The Clear button: the previous run is not shown again.
void forget_previous_run();

// The crash copies of data_dir/crashes as last listed (UI thread). Costs a
// status query of the folder; when the folder changed, it is listed again
// on a worker, which wakes the UI.
CrashCopies shown_crash_copies(const std::filesystem::path& data_dir);
