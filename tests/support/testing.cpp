#include "support/testing.h"

#include <sys/resource.h>
#include <csignal>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include <gtest/gtest.h>

#include "core/settings.h"
#include "core/globals.h"
#include "core/paths.h"
#include "core/toast.h"

TempDir::TempDir() {
    std::string tmpl = "/tmp/quor-test-XXXXXX";
    if (::mkdtemp(tmpl.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
        return;
    }
    path_ = tmpl;
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    // Tests may leave read-only folders behind; make them removable first.
    for (auto it = std::filesystem::recursive_directory_iterator(
             path_, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void write_file(const std::filesystem::path& path, const std::string& data) {
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), std::streamsize(data.size()));
    out.close();
    if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string read_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void reset_settings() {
    S.map.clear();
    for (const auto& d : DEFAULTS) S.set(d.key, d.value);
    g_dirty = false;
}

#include <chrono>
#include <thread>

#include "launch/game_process.h"

extern char** environ;

bool wait_until(const std::function<bool()>& pred, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::vector<std::string> process_env() {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) env.emplace_back(*e);
    return env;
}

std::vector<std::string> log_lines() {
    std::lock_guard<std::mutex> lock(g_log.mutex);
    return {g_log.lines.begin(), g_log.lines.end()};
}

bool log_has(const std::string& line) {
    for (const auto& l : log_lines())
        if (l == line) return true;
    return false;
}

std::map<std::string, std::string> tree_listing(const std::filesystem::path& root) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::string rel = std::filesystem::relative(it->path(), root, ec).string();
        out[rel] = it->is_directory(ec) && !it->is_symlink(ec) ? "<dir>" : read_text(it->path());
    }
    return out;
}

#include <sys/wait.h>
#include <unistd.h>

int run_in_child(const std::function<int()>& fn, bool drop_root, unsigned timeout_s) {
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        alarm(timeout_s);
        if (drop_root && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
        _exit(fn());
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

unsigned long long bytes_read_by_process() {
    std::ifstream in("/proc/self/io");
    std::string name;
    unsigned long long value = 0;
    while (in >> name >> value)
        if (name == "rchar:") return value;
    return 0;
}

bool has_children(pid_t pid) {
    std::error_code ec;
    std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (std::filesystem::directory_iterator it(tasks, ec), end; !ec && it != end; it.increment(ec)) {
        std::string kids = read_text(it->path() / "children");
        if (kids.find_first_not_of(" \n") != std::string::npos) return true;
    }
    return false;
}

int with_tiny_disk(const std::function<int()>& fn, unsigned long limit) {
    struct rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = old;
    tiny.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &tiny);
    int result = fn();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);
    return result;
}

void InstallTest::SetUp() {
    reset_settings();
    g_pt = false;
    g_data = dir / "data";
    g_port = dir / "port";
    g_exe_dir = dir / "port/launcher";
    old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", (dir / "home").c_str(), 1);
    unsetenv("APPIMAGE");
    g_toast.clear();
}

void InstallTest::TearDown() { setenv("HOME", old_home.c_str(), 1); }
