#include "launch/game_process.h"

#include <SDL3/SDL.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "core/atomic_file.h"
#include "core/globals.h"
#include "core/paths.h"
#include "core/port.h"
#include "core/runner.h"
#include "core/wake.h"
#include "launch/play.h"
#include "ui/toast.h"

GameProcess g_game;
Log& g_log = *new Log;

void Log::add(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    lines.push_back(line);
    while (lines.size() > LOG_MAX_LINES) lines.pop_front();
    changed = true;
}

void Log::add_all(const std::vector<LinePiece>& batch) {
    if (batch.empty()) return;
    size_t skip = batch.size() > LOG_MAX_LINES ? batch.size() - LOG_MAX_LINES : 0;
    std::lock_guard<std::mutex> lock(mutex);
    for (size_t i = skip; i < batch.size(); ++i) {
        std::string line;
        if (lines.size() >= LOG_MAX_LINES) {
            line = std::move(lines.front());
            lines.pop_front();
        }
        line.assign(batch[i].text);
        if (batch[i].cut) line += LOG_CUT_MARK;
        lines.push_back(std::move(line));
    }
    while (lines.size() > LOG_MAX_LINES) lines.pop_front();
    changed = true;
}

void Log::clear() {
    std::lock_guard<std::mutex> lock(mutex);
    lines.clear();
    changed = true;
}

// ---- line splitting -------------------------------------------------------

// Length of the start of line the log keeps: all of it up to the limit, else
// the limit stepped back over UTF-8 continuation bytes so that no character
// is split.
static size_t kept_length(std::string_view line) {
    if (line.size() <= LOG_MAX_LINE_BYTES) return line.size();
    size_t n = LOG_MAX_LINE_BYTES;
    for (int i = 0; i < 3 && n > 0 && (static_cast<unsigned char>(line[n]) & 0xC0) == 0x80; ++i) --n;
    return n;
}

static LinePiece piece_of(std::string_view line) {
    size_t n = kept_length(line);
    return {line.substr(0, n), n < line.size()};
}

std::string cut_long_line(std::string line) {
    size_t n = kept_length(line);
    if (n == line.size()) return line;
    line.resize(n);
    line += LOG_CUT_MARK;
    return line;
}

static std::string_view without_cr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// The marker is searched once per read rather than per line: a line holds
// it when the output does and a line feed follows (the marker holds none).
static void watch_marker(LineSplitter& s, std::string_view chunk) {
    if (s.marker_seen || chunk.empty()) return;
    const std::string_view marker = START_MARKER;
    const size_t keep = marker.size() - 1;
    size_t after = 0;   // where the line holding the marker may end
    if (!s.marker_in_line) {
        // A marker may straddle the end of the previous read and this one.
        std::string joint = s.marker_tail;
        joint.append(chunk.substr(0, std::min(chunk.size(), keep)));
        size_t at = joint.find(marker);
        if (at != std::string::npos) {
            s.marker_in_line = true;
            after = at + marker.size() - s.marker_tail.size();
        } else if ((at = chunk.find(marker)) != std::string_view::npos) {
            s.marker_in_line = true;
            after = at + marker.size();
        }
    }
    if (s.marker_in_line && chunk.find('\n', after) != std::string_view::npos) {
        s.marker_seen = true;
        s.marker_in_line = false;
        s.marker_tail.clear();
        return;
    }
    if (chunk.size() >= keep) {
        s.marker_tail.assign(chunk.substr(chunk.size() - keep));
    } else {
        s.marker_tail.append(chunk);
        if (s.marker_tail.size() > keep) s.marker_tail.erase(0, s.marker_tail.size() - keep);
    }
}

// Where the last keep lines of chunk[from, end) begin, end being just past
// a line feed: the earlier lines are never looked at.
static size_t start_of_last_lines(std::string_view chunk, size_t from, size_t end, size_t keep) {
    size_t at = end - 1;   // the line feed ending the last line
    for (size_t i = 0; i < keep; ++i) {
        const void* q = ::memrchr(chunk.data() + from, '\n', at - from);
        if (!q) return from;
        at = static_cast<size_t>(static_cast<const char*>(q) - chunk.data());
    }
    return at + 1;
}

void split_lines(LineSplitter& s, std::string_view chunk, std::vector<LinePiece>& out, size_t keep) {
    out.clear();
    watch_marker(s, chunk);
    // A line may keep one byte more than the limit pending: its carriage return.
    const size_t hold = LOG_MAX_LINE_BYTES + 1;
    size_t pos = 0;
    bool skipped = keep == SIZE_MAX;
    while (pos < chunk.size()) {
        if (!skipped && s.pending.empty() && !s.dropping) {
            skipped = true;
            const void* last = ::memrchr(chunk.data() + pos, '\n', chunk.size() - pos);
            if (last) pos = start_of_last_lines(chunk, pos, static_cast<size_t>(static_cast<const char*>(last) - chunk.data()) + 1, keep);
        }
        const char* p = static_cast<const char*>(std::memchr(chunk.data() + pos, '\n', chunk.size() - pos));
        if (p) {
            const size_t lf = static_cast<size_t>(p - chunk.data());
            if (s.dropping) {
                s.dropping = false;
            } else if (s.pending.empty()) {
                out.push_back(piece_of(without_cr(chunk.substr(pos, lf - pos))));
            } else {
                s.joined.assign(s.pending);
                s.joined.append(chunk.substr(pos, std::min(lf - pos, hold + 1 - std::min(s.pending.size(), hold + 1))));
                s.pending.clear();
                out.push_back(piece_of(without_cr(s.joined)));
            }
            pos = lf + 1;
            continue;
        }
        if (s.dropping) break;
        std::string_view rest = chunk.substr(pos);
        size_t room = hold - std::min(s.pending.size(), hold);
        if (rest.size() <= room) {
            s.pending.append(rest);
            break;
        }
        // Over-long line: show its start now and skip the rest of it.
        if (s.pending.empty()) {
            out.push_back(piece_of(rest));
        } else {
            s.flushed.assign(s.pending);
            s.flushed.append(rest.substr(0, room));
            s.pending.clear();
            out.push_back(piece_of(s.flushed));
        }
        s.dropping = true;
        break;
    }
}

std::vector<std::string> feed_lines(LineSplitter& s, std::string_view chunk) {
    std::vector<LinePiece> pieces;
    split_lines(s, chunk, pieces);
    std::vector<std::string> out;
    out.reserve(pieces.size());
    for (const LinePiece& p : pieces) out.push_back(std::string(p.text) + (p.cut ? LOG_CUT_MARK : ""));
    return out;
}

std::optional<std::string> finish_lines(LineSplitter& s) {
    // An unfinished last line is not searched for the marker.
    s.marker_in_line = false;
    s.marker_tail.clear();
    bool dropping = s.dropping;
    s.dropping = false;
    if (dropping || s.pending.empty()) {
        s.pending.clear();
        return std::nullopt;
    }
    std::string rest = cut_long_line(std::move(s.pending));
    s.pending.clear();
    return rest;
}

// ---- texts and names ----------------------------------------------------------

bool is_failure(int code, bool stop_requested) { return code != 0 && !stop_requested; }

std::string crash_copy_name(std::time_t t, int code) {
    return local_time_text(t, "%Y-%m-%d_%H-%M-%S", "") + "_" + std::to_string(code) + ".log";
}

std::string exit_code_line(int code) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "[exit code %d]\n", code);
    return buf;
}

std::string end_line(int code, bool pt) {
    std::string n = std::to_string(code);
    return pt ? "— o jogo terminou (código " + n + ") —" : "— the game exited (code " + n + ") —";
}

std::string game_error_text(int code, bool pt) {
    std::string n = std::to_string(code);
    return pt ? "O jogo fechou com erro (" + n + "). Veja a aba Registro."
              : "The game closed with an error (" + n + "). See the Log tab.";
}

// ---- files ------------------------------------------------------------------

static fs::path generation(const fs::path& dir, int n) {
    return dir / (n == 0 ? std::string("last_run.log") : "last_run." + std::to_string(n) + ".log");
}

void rotate_logs(const fs::path& dir) {
    for (int n = LOG_GENERATIONS; n >= 1; --n) {
        fs::path from = generation(dir, n - 1);
        if (!is_file(from)) continue;
        std::error_code ec;
        fs::rename(from, generation(dir, n), ec);
    }
}

void prune_crash_copies(const fs::path& crashes, size_t keep) {
    std::error_code ec;
    std::vector<fs::path> logs;
    fs::directory_iterator it(crashes, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == ".log") logs.push_back(it->path());
    }
    if (logs.size() <= keep) return;
    std::sort(logs.begin(), logs.end());
    for (size_t i = 0; i + keep < logs.size(); ++i) fs::remove(logs[i], ec);
}

void make_crash_copy(const fs::path& dir, const fs::path& log, int code, std::time_t t) {
    std::error_code ec;
    fs::path crashes = dir / "crashes";
    fs::create_directories(crashes, ec);
    copy_regular_file(log, crashes / crash_copy_name(t, code));
    prune_crash_copies(crashes, CRASH_COPIES_KEPT);
}

// ---- supervisor -----------------------------------------------------------------



static void end_run(int code) {
    g_game.exit_code.exchange(code);
    g_game.running.exchange(false);
    g_game.ended.exchange(true);
    wake_ui();
}

static void supervise(int read_fd, int pid, fs::path dir, bool pt) {
    rotate_logs(dir);
    fs::path log_path = dir / "last_run.log";
    // Close-on-exec: helpers must not inherit it.
    int file = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);

    LineSplitter splitter;
    std::vector<LinePiece> pieces;
    // A game flooding its output is copied at the pace of cat: everything
    // the pipe holds is taken in one go (the file gets each piece at once)
    // and split once, and of that only the lines the log can hold are read.
    std::vector<char> buf(4 << 20);
    const int flags = ::fcntl(read_fd, F_GETFL);
    const bool drain = flags >= 0 && ::fcntl(read_fd, F_SETFL, flags | O_NONBLOCK) == 0;
    for (bool open = true; open;) {
        if (drain) {
            pollfd p{read_fd, POLLIN, 0};
            if (::poll(&p, 1, -1) < 0 && errno != EINTR) break;
        }
        size_t used = 0;
        while (used < buf.size()) {
            ssize_t n = ::read(read_fd, buf.data() + used, buf.size() - used);
            if (n > 0) {
                // A failing file (a full disk) is given up; the output keeps
                // flowing to the log.
                if (file >= 0 && !write_all(file, buf.data() + used, static_cast<size_t>(n))) {
                    ::close(file);
                    file = -1;
                }
                used += static_cast<size_t>(n);
                if (!drain) break;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            open = false;   // end of output; an error ends it too
            break;
        }
        if (used == 0) continue;
        split_lines(splitter, std::string_view(buf.data(), used), pieces, LOG_MAX_LINES);
        g_log.add_all(pieces);
        if (splitter.marker_seen && !g_game.started.load()) g_game.started.exchange(true);
        wake_ui();
    }
    if (std::optional<std::string> rest = finish_lines(splitter)) g_log.add(*rest);
    ::close(read_fd);

    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    int code = r == pid ? decode_wait_status(status) : -1;

    if (file >= 0) {
        std::string line = exit_code_line(code);
        write_all(file, line.data(), line.size());
        ::close(file);
    }
    if (is_failure(code, g_game.stop_requested.load())) make_crash_copy(dir, log_path, code, std::time(nullptr));
    g_log.add(end_line(code, pt));
    end_run(code);
}

static void prepare_and_supervise(const std::function<bool(int&, int&)>& prepare, fs::path dir, bool pt) {
    int read_fd = -1, pid = -1;
    if (!prepare(read_fd, pid)) {
        end_run(0);
        return;
    }
    g_game.pid.exchange(pid);
    // A stop pressed while preparing found no process to signal yet; one
    // pressed from now on sees the pid. Either way the game gets SIGTERM.
    if (g_game.stop_requested.load()) ::kill(-pid, SIGTERM);
    supervise(read_fd, pid, std::move(dir), pt);
}

void start_supervisor(int read_fd, int pid) {
    // The worker gets its own copies: it may outlive any later change of them.
    std::thread(supervise, read_fd, pid, g_data, g_pt).detach();
}

static void mark_run_begun(int pid) {
    g_game.pid.exchange(pid);
    g_game.running.exchange(true);
    g_game.stop_requested.exchange(false);
    g_game.started.exchange(false);
    g_game.ended.exchange(false);
    g_game.spawn_failed.exchange(false);
    g_game.stop_time = 0;
}

void begin_run(int pid, int read_fd) {
    mark_run_begun(pid);
    start_supervisor(read_fd, pid);
}

void begin_prepared_run(std::function<bool(int& read_fd, int& pid)> prepare) {
    mark_run_begun(0);
    std::thread(prepare_and_supervise, std::move(prepare), g_data, g_pt).detach();
}

void stop_game() {
    if (!g_game.running.load()) return;
    g_game.stop_requested.exchange(true);
    g_game.stop_time = now_seconds();
    int pid = g_game.pid.load();
    if (pid > 0) ::kill(-pid, SIGTERM);
}

// ---- frame-loop reactions -----------------------------------------------------------

bool game_end_tick() {
    if (!g_game.ended.exchange(false)) return false;
    int code = g_game.exit_code.load();
    if (g_game.spawn_failed.exchange(false))
        python_missing_toast();
    else if (is_failure(code, g_game.stop_requested.load()))
        toast(game_error_text(code, g_pt), 8);
    if (g_window) {
        SDL_ShowWindow(g_window);
        SDL_RaiseWindow(g_window);
    }
    return true;
}

void stop_escalation_tick(double now) {
    if (!g_game.running.load() || g_game.stop_time <= 0) return;
    if (now - g_game.stop_time <= STOP_KILL_DELAY) return;
    int pid = g_game.pid.load();
    if (pid <= 0) return;   // still preparing: the game it may yet spawn gets the SIGKILL
    ::kill(-pid, SIGKILL);
    g_game.stop_time = 0;
}
