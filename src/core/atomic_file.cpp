#include "core/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool write_all(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool write_file_atomic(const std::filesystem::path& path, const std::string& data) {
    std::string tmpl = path.string() + ".XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) return false;
    // Keep the permissions of the file being replaced, else the usual 0644.
    struct stat st{};
    mode_t mode = 0644;
    if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
    ::fchmod(fd, mode);
    bool ok = write_all(fd, data) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(tmpl.c_str(), path.c_str()) == 0) return true;
    ::unlink(tmpl.c_str());
    return false;
}

bool read_file(const std::filesystem::path& path, std::string& out) {
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}
