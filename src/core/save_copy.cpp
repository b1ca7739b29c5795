#include "core/save_copy.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "core/atomic_file.h"
#include "core/globals.h"

namespace fs = std::filesystem;

namespace {

constexpr int MAX_DEPTH = 32;   // a link loop ends here instead of filling the disk

std::string fail_text(const fs::path& p, int err) { return p.string() + ": " + std::strerror(err); }

std::string fail_text(const fs::path& p, const std::error_code& ec) { return p.string() + ": " + ec.message(); }

// A file descriptor closed at scope end.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

// Opens a regular file for reading. O_NONBLOCK keeps a FIFO that slipped in
// between the status query and the open from blocking.
int open_regular(const fs::path& p, struct stat& st, int& err) {
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    const bool stated = ::fstat(fd, &st) == 0;
    if (!stated || !S_ISREG(st.st_mode)) {
        err = stated ? EINVAL : errno;
        ::close(fd);
        return -1;
    }
    // Regular files never block; reads go back to the ordinary mode.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

ssize_t read_some(int fd, char* buf, size_t n) {
    for (;;) {
        ssize_t r = ::read(fd, buf, n);
        if (r >= 0 || errno != EINTR) return r;
    }
}

bool copy_file(const fs::path& from, const fs::path& to, bool sync, std::string& error) {
    struct stat st{};
    int err = 0;
    Fd in(open_regular(from, st, err));
    if (in.fd < 0) {
        error = fail_text(from, err);
        return false;
    }
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.fd < 0) {
        error = fail_text(to, errno);
        return false;
    }
    std::vector<char> buf(1 << 16);
    for (;;) {
        ssize_t n = read_some(in.fd, buf.data(), buf.size());
        if (n < 0) {
            error = fail_text(from, errno);
            return false;
        }
        if (n == 0) break;
        if (!write_all(out.fd, buf.data(), static_cast<size_t>(n))) {
            error = fail_text(to, errno);
            return false;
        }
    }
    ::fchmod(out.fd, st.st_mode & 0777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out.fd, times);
    if (sync && ::fsync(out.fd) != 0) {
        error = fail_text(to, errno);
        return false;
    }
    int fd = out.fd;
    out.fd = -1;
    if (::close(fd) != 0) {
        error = fail_text(to, errno);
        return false;
    }
    return true;
}

// Folders stay writable and searchable by their owner, or the copy could not
// be pruned or cleaned up later.
void set_dir_mode(const fs::path& p, mode_t mode) { ::chmod(p.c_str(), (mode & 0777) | S_IRWXU); }

bool copy_dir(const fs::path& from, const fs::path& to, int depth, bool sync, std::string& error) {
    if (depth > MAX_DEPTH) {
        error = fail_text(from, ELOOP);
        return false;
    }
    std::error_code ec;
    fs::directory_iterator it(from, ec), end;
    if (ec) {
        error = fail_text(from, ec);
        return false;
    }
    for (; it != end; it.increment(ec)) {
        const fs::path src = it->path();
        const fs::path dst = to / src.filename();
        struct stat st{};
        if (::lstat(src.c_str(), &st) != 0) {
            error = fail_text(src, errno);
            return false;
        }
        if (S_ISLNK(st.st_mode)) {
            // Copied as the link it is: following it would copy whatever it
            // leads to (a synced folder, a loop) into every snapshot.
            fs::path target = fs::read_symlink(src, ec);
            if (ec) {
                error = fail_text(src, ec);
                return false;
            }
            if (::symlink(target.c_str(), dst.c_str()) != 0) {
                error = fail_text(dst, errno);
                return false;
            }
        } else if (S_ISDIR(st.st_mode)) {
            if (::mkdir(dst.c_str(), 0700) != 0) {
                error = fail_text(dst, errno);
                return false;
            }
            if (!copy_dir(src, dst, depth + 1, sync, error)) return false;
            set_dir_mode(dst, st.st_mode);
        } else if (S_ISREG(st.st_mode)) {
            if (!copy_file(src, dst, sync, error)) return false;
        } else {
            error = src.string() + ": not a file or folder";
            return false;
        }
    }
    if (ec) {
        error = fail_text(from, ec);
        return false;
    }
    return true;
}

bool is_empty_dir(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec) && fs::is_empty(p, ec) && !ec;
}

bool has_entries(const fs::path& p) {
    std::error_code ec;
    if (!fs::is_directory(p, ec)) return false;
    fs::directory_iterator it(p, ec);
    return !ec && it != fs::directory_iterator();
}

// Names in a folder, sorted; false when it cannot be listed.
bool list_names(const fs::path& p, std::vector<std::string>& names) {
    std::error_code ec;
    fs::directory_iterator it(p, ec), end;
    if (ec) return false;
    for (; it != end; it.increment(ec)) names.push_back(it->path().filename().string());
    if (ec) return false;
    std::sort(names.begin(), names.end());
    return true;
}

bool same_bytes(const fs::path& a, const fs::path& b) {
    struct stat sa{}, sb{};
    int err = 0;
    Fd fa(open_regular(a, sa, err));
    Fd fb(open_regular(b, sb, err));
    if (fa.fd < 0 || fb.fd < 0 || sa.st_size != sb.st_size) return false;
    std::vector<char> ba(1 << 16), bb(1 << 16);
    for (;;) {
        ssize_t na = read_some(fa.fd, ba.data(), ba.size());
        if (na < 0) return false;
        // Fill the same amount from b, which may arrive in smaller pieces.
        ssize_t nb = 0;
        while (nb < na) {
            ssize_t r = read_some(fb.fd, bb.data() + nb, static_cast<size_t>(na - nb));
            if (r <= 0) return false;
            nb += r;
        }
        if (na == 0) return read_some(fb.fd, bb.data(), 1) == 0;
        if (std::memcmp(ba.data(), bb.data(), static_cast<size_t>(na)) != 0) return false;
    }
}

bool same_dir(const fs::path& a, const fs::path& b, int depth) {
    if (depth > MAX_DEPTH) return false;
    std::vector<std::string> na, nb;
    if (!list_names(a, na) || !list_names(b, nb) || na != nb) return false;
    for (const std::string& name : na) {
        struct stat sa{}, sb{};
        if (::lstat((a / name).c_str(), &sa) != 0 || ::lstat((b / name).c_str(), &sb) != 0) return false;
        if (S_ISLNK(sa.st_mode) && S_ISLNK(sb.st_mode)) {
            std::error_code ea, eb;
            fs::path la = fs::read_symlink(a / name, ea), lb = fs::read_symlink(b / name, eb);
            if (ea || eb || la != lb) return false;
        } else if (S_ISDIR(sa.st_mode) && S_ISDIR(sb.st_mode)) {
            if (!same_dir(a / name, b / name, depth + 1)) return false;
        } else if (S_ISREG(sa.st_mode) && S_ISREG(sb.st_mode)) {
            if (sa.st_size != sb.st_size || !same_bytes(a / name, b / name)) return false;
        } else {
            return false;
        }
    }
    return true;
}

std::uintmax_t dir_bytes(const fs::path& p, int depth) {
    if (depth > MAX_DEPTH) return 0;
    std::uintmax_t total = 0;
    std::error_code ec;
    fs::directory_iterator it(p, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        struct stat st{};
        if (::lstat(it->path().c_str(), &st) != 0) continue;   // a link holds no bytes of the save
        if (S_ISDIR(st.st_mode))
            total += dir_bytes(it->path(), depth + 1);
        else if (S_ISREG(st.st_mode))
            total += static_cast<std::uintmax_t>(st.st_size);
    }
    return total;
}

bool exists_here(const fs::path& p) {
    struct stat st{};
    return ::lstat(p.c_str(), &st) == 0;
}

// base, else base-2, base-3 ... whichever does not exist yet.
fs::path unused_name(const std::string& base) {
    if (!exists_here(base)) return base;
    for (int i = 2; i < 10000; ++i) {
        std::string candidate = base + "-" + std::to_string(i);
        if (!exists_here(candidate)) return candidate;
    }
    return base + "-" + std::to_string(::getpid());
}

bool make_scratch(const fs::path& parent, const std::string& prefix, fs::path& out, int& err) {
    std::string tmpl = (parent / (prefix + "XXXXXX")).string();
    if (!::mkdtemp(tmpl.data())) {
        err = errno;
        return false;
    }
    out = tmpl;
    return true;
}

void sync_dir(const fs::path& p) {
    int fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool move(const fs::path& from, const fs::path& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

}  // namespace

bool copy_tree(const fs::path& from, const fs::path& to, std::string& error, bool sync) {
    struct stat st{};
    if (::stat(from.c_str(), &st) != 0) {
        error = fail_text(from, errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = fail_text(from, ENOTDIR);
        return false;
    }
    if (::mkdir(to.c_str(), 0700) != 0 && !(errno == EEXIST && is_empty_dir(to))) {
        error = fail_text(to, errno);
        return false;
    }
    if (!copy_dir(from, to, 0, sync, error)) return false;
    set_dir_mode(to, st.st_mode);
    return true;
}

bool same_tree(const fs::path& a, const fs::path& b) {
    struct stat sa{}, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    if (!S_ISDIR(sa.st_mode) || !S_ISDIR(sb.st_mode)) return false;
    return same_dir(a, b, 0);
}

std::uintmax_t tree_bytes(const fs::path& p) { return dir_bytes(p, 0); }

std::string compact_stamp(std::time_t t) { return local_time_text(t, "%Y%m%d-%H%M%S", "00000000-000000"); }

namespace {

const char* const NEW_TAG = ".new-";
const char* const OLD_TAG = ".old-";

// The kernel's exchange of two names in one step, where the file system has it.
enum class Exchange { done, unsupported, failed };

Exchange exchange(const fs::path& a, const fs::path& b) {
    if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return Exchange::done;
    return errno == EINVAL || errno == ENOSYS || errno == ENOTSUP || errno == EOPNOTSUPP ? Exchange::unsupported
                                                                                         : Exchange::failed;
}

// A save folder that is a link (to a synced folder) keeps its link: the
// swap happens beside the folder it leads to.
fs::path swap_target(const fs::path& dest) {
    fs::path target;
    return follow_links(dest, target) ? target : dest;
}

// Scratch folders of earlier swaps beside target: ".NAME.new-*" and ".NAME.old-*".
void leftover_scratch(const fs::path& target, std::vector<fs::path>& news, std::vector<fs::path>& olds) {
    const std::string name = target.filename().string();
    const std::string new_prefix = "." + name + NEW_TAG, old_prefix = "." + name + OLD_TAG;
    std::error_code ec;
    fs::directory_iterator it(target.parent_path(), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string n = it->path().filename().string();
        if (n.rfind(new_prefix, 0) == 0) news.push_back(it->path());
        if (n.rfind(old_prefix, 0) == 0) olds.push_back(it->path());
    }
}

}  // namespace

void recover_interrupted_swap(const fs::path& dest) {
    const fs::path target = swap_target(dest);
    const fs::path bak = target.parent_path() / (target.filename().string() + ".bak");
    std::vector<fs::path> news, olds;
    leftover_scratch(target, news, olds);
    if (news.empty() && olds.empty()) return;
    std::error_code ec;
    if (!has_entries(target)) {
        // Killed between moving the saves aside and moving the new ones in:
        // the saves come back from where they were moved.
        fs::path back;
        if (!olds.empty()) {
            back = olds.back();
            olds.pop_back();
        } else if (!news.empty() && has_entries(bak)) {
            back = bak;   // older versions moved the saves straight to .bak
        }
        if (!back.empty()) {
            if (exists_here(target)) fs::remove(target, ec);   // an empty folder at most
            move(back, target);
        }
    }
    for (const fs::path& old : olds) {
        // Saves moved aside that never reached their backup become it;
        // otherwise they are the replaced saves of a restore, which kept a
        // snapshot of them first.
        if (!exists_here(bak) && move(old, bak)) continue;
        fs::remove_all(old, ec);
    }
    // Copies that never went in, or the saves a restore swapped out.
    for (const fs::path& n : news) fs::remove_all(n, ec);
}

SwapResult replace_with_copy(const fs::path& source, const fs::path& dest, OldSaves old, std::time_t now) {
    SwapResult r;
    const fs::path target = swap_target(dest);
    const fs::path parent = target.parent_path();
    const std::string name = target.filename().string();
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec) {
        r.error = fail_text(parent, ec);
        return r;
    }
    recover_interrupted_swap(target);
    fs::path scratch;
    int err = 0;
    if (!make_scratch(parent, "." + name + NEW_TAG, scratch, err)) {
        r.error = fail_text(parent, err);
        return r;
    }
    auto give_up = [&](std::string error) {
        fs::remove_all(scratch, ec);
        r.error = std::move(error);
        return r;
    };
    if (!copy_tree(source, scratch, r.error, true)) return give_up(r.error);

    if (!has_entries(target)) {
        // Missing or empty: the rename replaces an empty folder in one step.
        if (!move(scratch, target)) return give_up(fail_text(target, errno));
        sync_dir(parent);
        r.ok = true;
        return r;
    }

    if (old == OldSaves::Backup) {
        // The new copy waits at the backup's name and trades places with the
        // saves in one step: at no moment is there no save folder, and a
        // launcher killed on the way leaves the saves where they were.
        fs::path bak = parent / (name + ".bak");
        fs::path aged;
        if (exists_here(bak)) {
            aged = unused_name(bak.string() + "-" + compact_stamp(now));
            if (!move(bak, aged)) return give_up(fail_text(bak, errno));
        }
        // Any failure from here removes the new copy and puts the older backup back.
        auto give_up_backup = [&](std::string error) {
            give_up(std::move(error));
            if (!aged.empty()) move(aged, bak);
            return r;
        };
        if (!move(scratch, bak)) return give_up_backup(fail_text(bak, errno));
        scratch = bak;
        Exchange x = exchange(bak, target);
        if (x == Exchange::failed) return give_up_backup(fail_text(target, errno));
        if (x == Exchange::unsupported) {
            // Three renames; a launcher killed between them leaves an
            // ".old-" folder that the next swap or start puts back.
            fs::path aside;
            if (!make_scratch(parent, "." + name + OLD_TAG, aside, err)) return give_up_backup(fail_text(parent, err));
            if (!move(target, aside)) {
                std::string error = fail_text(target, errno);
                fs::remove(aside, ec);
                return give_up_backup(error);
            }
            if (!move(bak, target)) {
                std::string error = fail_text(target, errno);
                move(aside, target);
                return give_up_backup(error);
            }
            move(aside, bak);
        }
        sync_dir(parent);
        r.backup = bak;
        r.ok = true;
        return r;
    }

    // Discard: the caller kept a copy of the saves being replaced.
    Exchange x = exchange(scratch, target);
    if (x == Exchange::failed) return give_up(fail_text(target, errno));
    if (x == Exchange::unsupported) {
        fs::path aside;
        if (!make_scratch(parent, "." + name + OLD_TAG, aside, err)) return give_up(fail_text(parent, err));
        if (!move(target, aside)) {
            int e = errno;
            fs::remove(aside, ec);
            return give_up(fail_text(target, e));
        }
        if (!move(scratch, target)) {
            int e = errno;
            move(aside, target);
            return give_up(fail_text(target, e));
        }
        scratch = aside;
    }
    sync_dir(parent);
    fs::remove_all(scratch, ec);   // the replaced saves
    r.ok = true;
    return r;
}
