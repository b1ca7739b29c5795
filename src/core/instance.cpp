#include "core/instance.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <system_error>
#include <unistd.h>

#include "core/globals.h"
#include "core/wake.h"
#include "core/worker.h"

namespace fs = std::filesystem;

std::atomic<bool> g_raise_requested{false};

namespace {

// Opens (creating) a lock file and tries to lock it without waiting.
// Returns the descriptor, -1 when someone else holds it (busy set), or -1
// when no lock file can be had at all.
int try_lock(const fs::path& file, bool inherit, bool& busy) {
    busy = false;
    int flags = O_RDWR | O_CREAT | O_NOCTTY | O_NOFOLLOW | (inherit ? 0 : O_CLOEXEC);
    int fd = ::open(file.c_str(), flags, 0600);
    if (fd < 0) return -1;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        busy = errno == EWOULDBLOCK;
        ::close(fd);
        return -1;
    }
    return fd;
}

// An address of the abstract socket namespace named after the data folder:
// no file to leave behind, and gone when the window ends.
socklen_t raise_address(const fs::path& data, sockaddr_un& addr) {
    std::error_code ec;
    fs::path where = fs::weakly_canonical(fs::absolute(data, ec), ec);
    if (where.empty()) where = data;
    std::uint64_t h = 1469598103934665603ull;   // FNV-1a
    for (unsigned char c : where.string()) h = (h ^ c) * 1099511628211ull;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    int n = std::snprintf(addr.sun_path + 1, sizeof addr.sun_path - 1, "quor-launcher-%u-%016llx",
                          static_cast<unsigned>(::getuid()), static_cast<unsigned long long>(h));
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

void serve_raise(int server) {
    for (;;) {
        int c = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        char byte = 0;
        if (::read(c, &byte, 1) == 1 && byte == 'R') {
            g_raise_requested.store(true);
            wake_ui();
        }
        ::close(c);
    }
}

}  // namespace

int take_window_lock(const fs::path& data, bool* held_elsewhere) {
    bool busy = false;
    int fd = try_lock(data / WINDOW_LOCK, false, busy);
    if (held_elsewhere) *held_elsewhere = busy;
    return fd;
}

int take_game_lock(const fs::path& data, bool inherit) {
    bool busy = false;
    int fd = try_lock(data / GAME_LOCK, inherit, busy);
    if (fd >= 0 || busy) return fd;
    // No lock file can be made (a read-only data folder): there is nothing
    // two launchers could share there either, so the start goes on.
    return ::open("/dev/null", O_RDONLY | (inherit ? 0 : O_CLOEXEC));
}

void release_lock(int fd) {
    if (fd >= 0) ::close(fd);
}

bool game_running_elsewhere(const fs::path& data) {
    bool busy = false;
    int fd = try_lock(data / GAME_LOCK, false, busy);
    release_lock(fd);
    return busy;
}

// A socket and the data folder's address, for either side of a raise.
int raise_socket(const fs::path& data, sockaddr_un& addr, socklen_t& len) {
    len = raise_address(data, addr);
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

bool listen_for_raise(const fs::path& data) {
    sockaddr_un addr{};
    socklen_t len = 0;
    int s = raise_socket(data, addr, len);
    if (s < 0) return false;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(s, 4) != 0) {
        ::close(s);
        return false;
    }
    if (start_worker([s] { serve_raise(s); })) return true;
    // No thread to spare: a second start then says the window is open.
    ::close(s);
    return false;
}

bool ask_window_to_raise(const fs::path& data) {
    sockaddr_un addr{};
    socklen_t len = 0;
    int s = raise_socket(data, addr, len);
    if (s < 0) return false;
    bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), len) == 0 && ::write(s, "R", 1) == 1;
    ::close(s);
    return ok;
}

const char* game_running_elsewhere_text() {
    return tr("The game is already running from another launcher.", "O jogo já está rodando a partir de outro lançador.");
}

const char* launcher_open_text() { return tr("The launcher is already open", "O lançador já está aberto"); }
