#include "launch/game_process.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/atomic_file.h"
#include "core/globals.h"
#include "core/kept_copies.h"
#include "core/paths.h"
#include "core/port.h"
#include "core/runner.h"
#include "core/toast.h"
#include "core/wake.h"
#include "core/worker.h"
#include "launch/snapshots.h"

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

std::string crash_copy_name(std::time_t t, int code, std::uint64_t number) {
    return local_time_text(t, "%Y-%m-%d_%H-%M-%S", "") + "_" + std::to_string(code) + "." + std::to_string(number) +
           ".log";
}

std::string exit_code_line(int code) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "[exit code %d]\n", code);
    return buf;
}

std::string end_line(int code, bool pt) {
    std::string n = std::to_string(code);
    return tr(pt, "— the game exited (code " + n + ") —", "— o jogo terminou (código " + n + ") —");
}

std::string game_error_text(int code, bool pt) {
    std::string n = std::to_string(code);
    return tr(pt, "The game closed with an error (" + n + "). See the Log tab.",
              "O jogo fechou com erro (" + n + "). Veja a aba Registro.");
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

// The crash copies in crashes, oldest (by creation) first.
static std::vector<fs::path> crash_copies(const fs::path& crashes) {
    std::error_code ec;
    std::vector<fs::path> logs;
    fs::directory_iterator it(crashes, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        // Hidden names are copies being made or deleted.
        if (p.extension() == ".log" && p.filename().string()[0] != '.') logs.push_back(p);
    }
    std::sort(logs.begin(), logs.end(), [](const fs::path& a, const fs::path& b) {
        return made_before(a.stem().string(), b.stem().string());
    });
    return logs;
}

void prune_crash_copies(const fs::path& crashes, size_t keep) {
    std::vector<fs::path> logs = crash_copies(crashes);
    for (size_t i = 0; i + keep < logs.size(); ++i) remove_kept_copy(logs[i]);
}

void make_crash_copy(const fs::path& dir, const fs::path& log, int code, std::time_t t) {
    std::error_code ec;
    fs::path crashes = dir / "crashes";
    fs::create_directories(crashes, ec);
    sweep_hidden(crashes, {PARTIAL_PREFIX, DELETING_PREFIX});
    std::vector<std::string> stems;
    for (const fs::path& p : crash_copies(crashes)) stems.push_back(p.stem().string());
    // Numbered after every copy there, so the newest is kept whatever the
    // clock did; made under a hidden name, so a listed copy is whole.
    const std::string name = crash_copy_name(t, code, next_creation_number(stems));
    const fs::path partial = crashes / (PARTIAL_PREFIX + name);
    if (copy_regular_file(log, partial)) fs::rename(partial, crashes / name, ec);
    fs::remove(partial, ec);
    prune_crash_copies(crashes, CRASH_COPIES_KEPT);
}

// ---- supervisor -----------------------------------------------------------------

static void end_run(int code) {
    g_game.exit_code.exchange(code);
    g_game.running.exchange(false);
    g_game.ended.exchange(true);
    wake_ui();
}

// ---- last_run.log ------------------------------------------------------------

std::string run_log_note(const RunLogFile& f) {
    const bool limit = f.stopped == RunLogStop::limit, low = f.stopped == RunLogStop::low_space;
    const std::string mib = std::to_string((limit ? f.limit : f.written) >> 20);
    const std::string why = limit ? ""
                            : low ? tr(f.pt, ": the disk is almost full", ": o disco está quase cheio")
                                  : tr(f.pt, ": it could not be written", ": não foi possível gravá-lo");
    return tr(f.pt, "[last_run.log stopped at " + mib + " MiB" + why + "; the game keeps running]",
              "[last_run.log interrompido em " + mib + " MiB" + why + "; o jogo continua rodando]");
}

// Game output, keeping `written` and `at_line_start` true to what reached the
// file even when a write fails half-way.
static bool write_output(RunLogFile& f, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(f.fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    f.written += done;
    if (done > 0) f.at_line_start = data[done - 1] == '\n';
    return done == size;
}

static bool stop_run_log(RunLogFile& f, RunLogStop why) {
    f.stopped = why;
    std::string note = (f.at_line_start ? "" : "\n") + run_log_note(f) + "\n";
    (void)write_all(f.fd, note.data(), note.size());   // a failed disk may refuse it too
    return true;
}

static bool space_left(const RunLogFile& f) {
    struct statvfs st{};
    if (::fstatvfs(f.fd, &st) != 0) return true;   // unknown: a failing write will tell
    return static_cast<uint64_t>(st.f_bavail) * st.f_frsize >= f.margin;
}

bool run_log_write(RunLogFile& f, const char* data, size_t size) {
    if (f.fd < 0 || f.stopped != RunLogStop::none || size == 0) return false;
    if (f.written >= f.next_space_check) {
        if (!space_left(f)) return stop_run_log(f, RunLogStop::low_space);
        f.next_space_check = f.written + RUN_LOG_SPACE_CHECK;
    }
    const size_t room = static_cast<size_t>(std::min<uint64_t>(size, f.limit - std::min(f.limit, f.written)));
    if (!write_output(f, data, room)) return stop_run_log(f, RunLogStop::write_failed);
    if (room < size) return stop_run_log(f, RunLogStop::limit);
    return false;
}

void run_log_finish(RunLogFile& f, int code) {
    if (f.fd < 0) return;
    std::string line = exit_code_line(code);
    (void)write_all(f.fd, line.data(), line.size());
    ::close(f.fd);
    f.fd = -1;
}

// ---- the supervisor thread ------------------------------------------------------

bool g_use_pidfd = true;

// Close-on-exec by nature; -1 where the kernel has no pidfd_open.
static int open_pidfd(int pid) {
#ifdef SYS_pidfd_open
    if (g_use_pidfd) return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#endif
    (void)pid;
    return -1;
}

// Without a wait status (SIGCHLD ignored by someone) the result is -1.
static bool reap(int pid, int& code, int options) {
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid, &status, options);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    code = r == pid ? decode_wait_status(status) : -1;
    return true;
}

struct OutputPump {
    int fd;
    bool drain;   // the pipe is non-blocking: each turn takes all it holds
    RunLogFile file;
    LineSplitter splitter;
    std::vector<LinePiece> pieces;
    // A game flooding its output is copied at the pace of cat: everything
    // the pipe holds is taken in one go (the file gets each piece at once)
    // and split once, and of that only the lines the log can hold are read.
    std::vector<char> buf = std::vector<char>(4 << 20);
};

// One turn of reading after poll said the pipe is ready; false at the end of
// the output (a read error ends it too).
static bool pump(OutputPump& o) {
    size_t used = 0;
    bool open = true, note = false;
    while (used < o.buf.size()) {
        ssize_t n = ::read(o.fd, o.buf.data() + used, o.buf.size() - used);
        if (n > 0) {
            note |= run_log_write(o.file, o.buf.data() + used, static_cast<size_t>(n));
            used += static_cast<size_t>(n);
            if (!o.drain) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        open = false;
        break;
    }
    if (used > 0) {
        split_lines(o.splitter, std::string_view(o.buf.data(), used), o.pieces, LOG_MAX_LINES);
        g_log.add_all(o.pieces);
        if (o.splitter.marker_seen && !g_game.started.load()) g_game.started.exchange(true);
    }
    if (note) g_log.add(run_log_note(o.file));
    if (used > 0 || note) wake_ui();
    return open;
}

static int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

static void supervise(int read_fd, int pid, fs::path dir, bool pt) {
    rotate_logs(dir);
    fs::path log_path = dir / "last_run.log";
    OutputPump o{read_fd, false, {}, {}, {}};
    // Close-on-exec: helpers must not inherit it.
    o.file.fd = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    o.file.pt = pt;
    const int flags = ::fcntl(read_fd, F_GETFL);
    o.drain = flags >= 0 && ::fcntl(read_fd, F_SETFL, flags | O_NONBLOCK) == 0;

    // The run ends with the game's own process, not with its output: a
    // helper it started (a crash reporter, a browser) may hold the pipe open
    // long after, even outside the game's process group.
    const int pidfd = open_pidfd(pid);
    int code = -1;
    bool exited = false, open = true;
    while (open && !exited) {
        pollfd p[2] = {{read_fd, POLLIN, 0}, {pidfd, POLLIN, 0}};
        int r = ::poll(p, pidfd >= 0 ? 2 : 1, pidfd >= 0 ? -1 : RUN_END_POLL_MS);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) break;
        if (p[0].revents) open = pump(o);
        exited = pidfd >= 0 ? p[1].revents != 0 : reap(pid, code, WNOHANG);
    }
    // What the game wrote just before it ended is in the pipe; helpers get a
    // moment to finish their lines, no more.
    for (int64_t until = now_ms() + RUN_END_DRAIN_MS; open && exited;) {
        int left = static_cast<int>(until - now_ms());
        if (left <= 0) break;
        pollfd p{read_fd, POLLIN, 0};
        int r = ::poll(&p, 1, left);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        open = pump(o);
    }
    if (std::optional<std::string> rest = finish_lines(o.splitter)) g_log.add(*rest);
    ::close(read_fd);
    if (pidfd >= 0) ::close(pidfd);
    if (pidfd >= 0 || !exited) reap(pid, code, 0);

    run_log_finish(o.file, code);
    if (is_failure(code, g_game.stop_requested.load())) make_crash_copy(dir, log_path, code, std::time(nullptr));
    g_log.add(end_line(code, pt));
    end_run(code);
}

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
    return tr(pt, "Could not start python3: ", "Não foi possível iniciar o python3: ") + std::string(std::strerror(err));
}

// The whole run on its own thread: the snapshot when due, the spawn, the
// supervision. Nothing is spawned before this thread exists, so no game is
// ever left without its supervisor.
static void run_worker(const RunPlan& plan) {
    if (!plan.saves.empty()) {
        // Copying a save of a few MB takes longer than a frame, and it must be
        // whole before the game can write to it.
        std::string line = snapshot_before_start(plan.saves, plan.snapshots, std::time(nullptr), plan.pt);
        if (!line.empty()) {
            g_log.add(line);
            wake_ui();
        }
    }
    if (g_game.stop_requested.load()) {
        end_run(0);
        return;
    }
    int read_fd = -1, pid = -1;
    int err = spawn_game_process(plan.argv, plan.env, plan.cwd, read_fd, pid);
    if (err != 0) {
        // No pipe: nothing was started and there is nothing to tell.
        if (err > 0) {
            g_log.add(spawn_error_line(err, plan.pt));
            g_game.spawn_failed.exchange(true);
        }
        end_run(0);
        return;
    }
    g_game.pid.exchange(pid);
    // A stop pressed while preparing found no process to signal yet; one
    // pressed from now on sees the pid. Either way the game gets SIGTERM.
    if (g_game.stop_requested.load()) ::kill(-pid, SIGTERM);
    supervise(read_fd, pid, plan.dir, plan.pt);
}

bool begin_run(RunPlan plan) {
    g_game.pid.exchange(0);
    g_game.running.exchange(true);
    g_game.stop_requested.exchange(false);
    g_game.started.exchange(false);
    g_game.ended.exchange(false);
    g_game.spawn_failed.exchange(false);
    g_game.stop_time = 0;
    if (start_worker([plan = std::move(plan)] { run_worker(plan); })) return true;
    g_game.running.exchange(false);
    return false;
}

std::optional<RunEnd> take_run_end() {
    if (!g_game.ended.exchange(false)) return std::nullopt;
    return RunEnd{g_game.exit_code.load(), g_game.stop_requested.load(), g_game.spawn_failed.exchange(false)};
}

RunEndNote run_end_note(const RunEnd& end, bool pt) {
    // Every spawn failure reads as a missing python3 to the player; the log has the reason.
    if (end.spawn_failed)
        return {tr(pt, "Python 3 not found. Install python3 and try again.",
                   "Python 3 não encontrado. Instale o python3 e tente de novo."),
                5};
    if (is_failure(end.exit_code, end.stop_requested)) return {game_error_text(end.exit_code, pt), 8};
    return {};
}

void stop_game() {
    if (!g_game.running.load()) return;
    if (g_game.stop_requested.load() && g_game.stop_time > 0) return;
    g_game.stop_requested.exchange(true);
    g_game.stop_time = now_seconds();
    int pid = g_game.pid.load();
    if (pid > 0) ::kill(-pid, SIGTERM);
}

// ---- frame-loop reactions -----------------------------------------------------------

void stop_escalation_tick(double now) {
    if (!g_game.running.load() || g_game.stop_time <= 0) return;
    if (now - g_game.stop_time <= STOP_KILL_DELAY) return;
    int pid = g_game.pid.load();
    if (pid <= 0) return;   // still preparing: the game it may yet spawn gets the SIGKILL
    ::kill(-pid, SIGKILL);
    g_game.stop_time = 0;
}
