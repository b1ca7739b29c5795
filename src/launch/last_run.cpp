#include "launch/last_run.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "core/globals.h"
#include "core/kept_copies.h"
#include "core/wake.h"
#include "core/worker.h"

namespace fs = std::filesystem;

// ---- reading a run log back ---------------------------------------------------

std::optional<int> exit_code_of_line(std::string_view line) {
    // The launcher appends the line even after output the game left
    // unfinished, so it may follow other text.
    static constexpr std::string_view HEAD = "[exit code ";
    if (line.size() < HEAD.size() + 2 || line.back() != ']') return std::nullopt;
    size_t at = line.rfind(HEAD);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view number = line.substr(at + HEAD.size(), line.size() - 1 - at - HEAD.size());
    int code = 0;
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), code);
    if (ec != std::errc() || end != number.data() + number.size() || number.empty())
        return std::nullopt;
    return code;
}

// Up to max_bytes from the end of an open regular file of the given size.
static bool read_end(int fd, uint64_t size, size_t max_bytes, std::string& out, uint64_t& from) {
    from = size > max_bytes ? size - max_bytes : 0;
    try {
        out.resize(static_cast<size_t>(size - from));
    } catch (const std::bad_alloc&) {
        return false;
    }
    size_t got = 0;
    while (got < out.size()) {
        ssize_t n = ::pread(fd, out.data() + got, out.size() - got, static_cast<off_t>(from + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;   // shrank meanwhile
        got += static_cast<size_t>(n);
    }
    out.resize(got);
    return true;
}

RunLogTail read_run_log_tail(const fs::path& path, size_t max_lines, size_t max_bytes) {
    RunLogTail tail;
    // Looked at before opening, and opened without blocking: a FIFO or a
    // device in the file's place is never read.
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        tail.status = errno == ENOENT || errno == ENOTDIR ? ReadStatus::missing : ReadStatus::unreadable;
        return tail;
    }
    tail.status = ReadStatus::unreadable;
    if (!S_ISREG(st.st_mode)) return tail;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) tail.status = ReadStatus::missing;
        return tail;
    }
    std::string text;
    uint64_t from = 0;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              read_end(fd, static_cast<uint64_t>(st.st_size), max_bytes, text, from);
    ::close(fd);
    if (!ok) return tail;
    tail.status = ReadStatus::ok;
    tail.time = st.st_mtime;
    tail.whole = from == 0;
    if (!text.empty() && text.back() == '\n') {
        std::string_view last(text.data(), text.size() - 1);
        size_t lf = last.rfind('\n');
        tail.exit_code = exit_code_of_line(lf == std::string_view::npos ? last : last.substr(lf + 1));
    }
    std::string_view body = text;
    // The read began inside a line: its start is not there to show. A tail
    // that is one long line shows it anyway, cut like any other.
    if (from > 0) {
        size_t lf = body.find('\n');
        if (lf != std::string_view::npos && lf + 1 < body.size()) body.remove_prefix(lf + 1);
    }
    LineSplitter splitter;
    std::vector<LinePiece> pieces;
    split_lines(splitter, body, pieces, max_lines);
    // Lines before the last max_lines are skipped unread.
    if (!pieces.empty() && pieces.front().text.data() != body.data()) tail.whole = false;
    for (const LinePiece& p : pieces) tail.lines.push_back(std::string(p.text) + (p.cut ? LOG_CUT_MARK : ""));
    if (std::optional<std::string> rest = finish_lines(splitter)) tail.lines.push_back(std::move(*rest));
    if (tail.lines.size() > max_lines) {
        tail.lines.erase(tail.lines.begin(), tail.lines.end() - static_cast<std::ptrdiff_t>(max_lines));
        tail.whole = false;
    }
    return tail;
}

static std::string when_text(std::time_t t, bool pt) {
    return local_time_text(t, pt ? "%d/%m/%Y %H:%M" : "%Y-%m-%d %H:%M", "?");
}

std::string previous_run_label(std::time_t t, std::optional<int> code, bool pt) {
    std::string text = tr(pt, "Previous run, ", "Execução anterior, ") + when_text(t, pt);
    if (code) text += tr(pt, " (exit code ", " (código de saída ") + std::to_string(*code) + ")";
    return text;
}

// ---- crash copies ---------------------------------------------------------------

CrashCopies list_crash_copies(const fs::path& crashes) {
    CrashCopies c;
    std::error_code ec;
    std::string newest;
    for (fs::directory_iterator it(crashes, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        const std::string name = p.filename().string();
        // Hidden names are copies being made or deleted.
        std::error_code kind;
        if (p.extension() != ".log" || name[0] == '.' || !it->is_regular_file(kind)) continue;
        ++c.count;
        std::string stem = p.stem().string();
        if (newest.empty() || made_before(newest, stem)) {
            newest = stem;
            c.newest = p;
        }
    }
    struct stat st{};
    if (c.count > 0 && ::stat(c.newest.c_str(), &st) == 0) c.newest_time = st.st_mtime;
    return c;
}

std::string crash_copies_text(const CrashCopies& copies, bool pt) {
    if (copies.count == 0) return "";
    const std::string when = when_text(copies.newest_time, pt);
    if (copies.count == 1) return tr(pt, "1 crash copy, from ", "1 cópia de falha, de ") + when;
    const std::string n = std::to_string(copies.count);
    return tr(pt, n + " crash copies, the newest from ", n + " cópias de falhas, a mais nova de ") + when;
}

// ---- the window's Log page ---------------------------------------------------------

namespace {

// What the start-up read put into g_log; guarded by g_log.mutex. Never
// destroyed, as g_log: its worker may outlive the frame loop.
struct PreviousRun {
    bool shown = false;
    bool dismissed = false;   // Clear was pressed before it came
    size_t count = 0;
    std::string first, last;
    std::time_t time = 0;
    std::optional<int> code;
};
PreviousRun& g_previous = *new PreviousRun;

// The crash folder as last listed: the listing is redone when the folder's
// modification time moves.
struct FolderStamp {
    bool exists = false;
    struct timespec mtime{};
    bool operator==(const FolderStamp& o) const {
        return exists == o.exists && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
    }
};
// Never destroyed, for the same reason.
struct CrashList {
    std::mutex mutex;
    bool busy = false;     // a listing is under way
    bool listed = false;
    fs::path dir;
    FolderStamp stamp;
    CrashCopies copies;
};
CrashList& g_crash_list = *new CrashList;

FolderStamp stamp_of(const fs::path& dir) {
    FolderStamp s;
    struct stat st{};
    if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        s.exists = true;
        s.mtime = st.st_mtim;
    }
    return s;
}

// Lists dir (as it was at stamp) and keeps the result.
void list_into_cache(const fs::path& dir, const FolderStamp& stamp) {
    CrashCopies copies = stamp.exists ? list_crash_copies(dir) : CrashCopies{};
    std::lock_guard<std::mutex> lock(g_crash_list.mutex);
    g_crash_list.copies = std::move(copies);
    g_crash_list.dir = dir;
    g_crash_list.stamp = stamp;
    g_crash_list.listed = true;
    g_crash_list.busy = false;
}

}  // namespace

bool previous_run_in_log() {
    const PreviousRun& p = g_previous;
    return p.shown && !p.dismissed && g_game.pid.load() == 0 && !g_game.running.load() &&
           g_log.lines.size() == p.count && g_log.lines.front() == p.first && g_log.lines.back() == p.last;
}

void read_last_run_at_start(const fs::path& data_dir) {
    const fs::path crashes = data_dir / "crashes";
    {
        std::lock_guard<std::mutex> lock(g_log.mutex);
        g_previous = {};
    }
    {
        std::lock_guard<std::mutex> lock(g_crash_list.mutex);
        g_crash_list.busy = true;
        g_crash_list.listed = false;
        g_crash_list.copies = {};
    }
    bool started = start_worker([data_dir, crashes] {
        RunLogTail tail = read_run_log_tail(data_dir / "last_run.log");
        if (tail.status == ReadStatus::ok && !tail.lines.empty()) {
            std::lock_guard<std::mutex> lock(g_log.mutex);
            // Play clears the log before the run is marked begun: a log
            // changed and not drawn since may be that clear.
            const bool untouched = g_log.lines.empty() && !g_log.changed && !g_previous.dismissed &&
                                   !g_game.running.load() && g_game.pid.load() == 0;
            if (untouched) {
                g_previous.shown = true;
                g_previous.count = tail.lines.size();
                g_previous.first = tail.lines.front();
                g_previous.last = tail.lines.back();
                g_previous.time = tail.time;
                g_previous.code = tail.exit_code;
                g_log.lines.assign(std::make_move_iterator(tail.lines.begin()),
                                   std::make_move_iterator(tail.lines.end()));
                g_log.changed = true;
            }
        }
        wake_ui();
        list_into_cache(crashes, stamp_of(crashes));
        wake_ui();
    });
    if (!started) {
        // No thread to spare: the log stays as it is, and the crash list is
        // read on the Log page when it first shows.
        std::lock_guard<std::mutex> lock(g_crash_list.mutex);
        g_crash_list.busy = false;
    }
}

std::string shown_previous_run() {
    std::lock_guard<std::mutex> lock(g_log.mutex);
    if (!previous_run_in_log()) return "";
    return previous_run_label(g_previous.time, g_previous.code, g_pt);
}

void forget_previous_run() {
    std::lock_guard<std::mutex> lock(g_log.mutex);
    g_previous.dismissed = true;
}

CrashCopies shown_crash_copies(const fs::path& data_dir) {
    const fs::path dir = data_dir / "crashes";
    const FolderStamp stamp = stamp_of(dir);
    {
        std::lock_guard<std::mutex> lock(g_crash_list.mutex);
        if (g_crash_list.busy || (g_crash_list.listed && g_crash_list.dir == dir && g_crash_list.stamp == stamp))
            return g_crash_list.copies;
        if (!stamp.exists) {
            g_crash_list.copies = {};
            g_crash_list.dir = dir;
            g_crash_list.stamp = stamp;
            g_crash_list.listed = true;
            return {};
        }
        g_crash_list.busy = true;
    }
    if (!start_worker([dir, stamp] {
            list_into_cache(dir, stamp);
            wake_ui();
        }))
        list_into_cache(dir, stamp);   // no thread to spare: a folder of a few copies, here
    std::lock_guard<std::mutex> lock(g_crash_list.mutex);
    return g_crash_list.copies;
}
