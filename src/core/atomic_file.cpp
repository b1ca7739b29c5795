#include "core/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool write_all_at(int fd, const std::string& data, off_t offset) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::pwrite(fd, data.data() + done, data.size() - done, offset + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

enum class FdRead { ok, error, over_limit };

// Reads from an open descriptor to its end, or until more than max_bytes arrived.
FdRead read_fd(int fd, std::string& out, size_t max_bytes) {
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return FdRead::error;
        }
        if (n == 0) return FdRead::ok;
        if (static_cast<size_t>(n) > max_bytes - out.size()) return FdRead::over_limit;
        out.append(buf, static_cast<size_t>(n));
    }
}

// Used only when the folder takes no new file. The old text is kept so that
// a write that fails half way can put it back; growing the file first makes
// the common failure (no room) happen before any byte is overwritten.
bool rewrite_in_place(const fs::path& path, const std::string& data) {
    constexpr size_t MAX_OLD = 16u << 20;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st{};
    std::string old;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) <= MAX_OLD;
    if (ok) {
        try {
            ok = read_fd(fd, old, MAX_OLD) == FdRead::ok;
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    if (ok && data.size() > old.size()) ok = ::posix_fallocate(fd, 0, static_cast<off_t>(data.size())) == 0;
    if (!ok) {
        ::close(fd);
        return false;
    }
    ok = write_all_at(fd, data, 0) && ::ftruncate(fd, static_cast<off_t>(data.size())) == 0 && ::fsync(fd) == 0;
    if (!ok) {
        // Best effort: the old bytes back, at their old length.
        if (write_all_at(fd, old, 0)) (void)!::ftruncate(fd, static_cast<off_t>(old.size()));
        ::fsync(fd);
    }
    if (::close(fd) != 0) ok = false;
    return ok;
}

}  // namespace

bool write_all(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool follow_links(const fs::path& path, fs::path& target) {
    fs::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        fs::file_status st = fs::symlink_status(p, ec);
        if (ec || !fs::is_symlink(st)) {
            target = p;
            return true;
        }
        fs::path next = fs::read_symlink(p, ec);
        if (ec) return false;
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    return false;
}

fs::path atomic_temp_prefix(const fs::path& target) {
    return target.parent_path() / ("." + target.filename().string() + ".tmp-");
}

void sweep_atomic_leftovers(const fs::path& path) {
    fs::path target;
    if (!follow_links(path, target)) return;
    const std::string prefix = atomic_temp_prefix(target).filename().string();
    std::error_code ec;
    std::vector<fs::path> found;
    fs::directory_iterator it(target.parent_path(), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // mkostemp's six letters, and only plain files: nothing else has that name.
        if (name.size() == prefix.size() + 6 && name.rfind(prefix, 0) == 0 && it->is_regular_file(ec))
            found.push_back(it->path());
    }
    for (const fs::path& p : found) ::unlink(p.c_str());
}

bool write_file_atomic(const fs::path& path, const std::string& data, bool* in_place) {
    if (in_place) *in_place = false;
    fs::path target;
    if (!follow_links(path, target)) return false;

    struct stat st{};
    bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return false;
    // Keep the permissions of the file being replaced, else the usual 0644;
    // the owner always keeps reading and writing it, or the next start could
    // not load what this one saved.
    mode_t mode = exists ? (st.st_mode & 07777) : 0644;
    mode |= S_IRUSR | S_IWUSR;

    std::string tmpl = atomic_temp_prefix(target).string() + "XXXXXX";
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        if (!exists || (err != EACCES && err != EPERM)) return false;
        if (!rewrite_in_place(target, data)) return false;
        if (in_place) *in_place = true;
        return true;
    }
    ::fchmod(fd, mode);
    bool ok = write_all(fd, data.data(), data.size()) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(tmpl.c_str(), target.c_str()) == 0) return true;
    ::unlink(tmpl.c_str());
    return false;
}

ReadStatus read_regular_file(const fs::path& path, std::string& out, size_t max_bytes) {
    out.clear();
    // Looked at before opening: opening a device can have effects of its own.
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? ReadStatus::missing : ReadStatus::unreadable;
    if (!S_ISREG(st.st_mode)) return ReadStatus::unreadable;
    if (static_cast<unsigned long long>(st.st_size) > max_bytes) return ReadStatus::too_big;
    // Non-blocking, so that a FIFO put there since the look above cannot hang us.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return errno == ENOENT ? ReadStatus::missing : ReadStatus::unreadable;
    ReadStatus result = ReadStatus::ok;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result = ReadStatus::unreadable;
    } else if (static_cast<unsigned long long>(st.st_size) > max_bytes) {
        result = ReadStatus::too_big;
    } else {
        try {
            out.reserve(static_cast<size_t>(st.st_size));
            // A file that grows while read past the limit counts as too big.
            FdRead r = read_fd(fd, out, max_bytes);
            if (r != FdRead::ok) result = r == FdRead::over_limit ? ReadStatus::too_big : ReadStatus::unreadable;
        } catch (const std::bad_alloc&) {
            result = ReadStatus::unreadable;
        }
    }
    ::close(fd);
    if (result != ReadStatus::ok) out.clear();
    return result;
}

bool read_file(const fs::path& path, std::string& out) { return read_regular_file(path, out) == ReadStatus::ok; }

bool copy_regular_file(const fs::path& from, const fs::path& to) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (in < 0) return false;
    struct stat st{};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    // Truncating the source itself would lose it.
    struct stat dst{};
    if (::stat(to.c_str(), &dst) == 0 && dst.st_dev == st.st_dev && dst.st_ino == st.st_ino) {
        ::close(in);
        return false;
    }
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0644);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (!write_all(out, buf, static_cast<size_t>(n))) {
            ok = false;
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0) ok = false;
    return ok;
}
