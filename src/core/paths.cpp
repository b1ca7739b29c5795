#include "core/paths.h"

#include <cstdlib>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "core/port.h"
#include "core/settings.h"

fs::path g_exe_dir;
fs::path g_port;
fs::path g_data;

namespace {

const char* env_nonempty(const char* name) {
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
}

}  // namespace

void find_paths() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
        g_exe_dir = fs::path(std::string(buf, static_cast<size_t>(n))).parent_path();
    } else {
        std::error_code ec;
        g_exe_dir = fs::current_path(ec);
    }
    // Made absolute once, here: the game runs in the data folder, so a
    // relative starter path or ORN_CONFIG would name something else there.
    std::error_code ec;
    auto absolute = [&ec](const char* p) {
        fs::path a = fs::absolute(p, ec);
        return ec ? fs::path(p) : a;
    };
    fs::path candidate;
    if (const char* p = env_nonempty("QUOR_PORT_DIR"))
        candidate = absolute(p);
    else
        candidate = g_exe_dir.parent_path();
    g_port = is_file(candidate / PORT_STARTER) ? candidate : g_exe_dir;
    if (const char* d = env_nonempty("QUOR_DATA_DIR"))
        g_data = absolute(d);
    else
        g_data = g_port;
    fs::create_directories(g_data, ec);
}

fs::path settings_file() { return g_data / LAUNCHER_INI; }

fs::path home_dir() {
    if (const char* h = env_nonempty("HOME")) return h;
    return "/tmp";
}

fs::path fold_savedata(const fs::path& base) {
    std::vector<fs::path> parts(base.begin(), base.end());
    for (size_t i = parts.size(); i-- > 0;) {
        std::string c = parts[i].string();
        if (c.size() != 8) continue;
        std::string lower;
        for (char ch : c) lower += (ch >= 'A' && ch <= 'Z') ? char(ch - 'A' + 'a') : ch;
        if (lower != "savedata") continue;
        fs::path out;
        for (size_t j = 0; j < i; ++j) out /= parts[j];
        return out;
    }
    return base;
}

fs::path user_dir() {
    std::string v = S.get("user_dir");
    fs::path base = v.empty() ? g_data / "user" : fs::path(v);
    return fold_savedata(base);
}

bool is_file(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

bool is_dir(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

bool dir_has_entries(const fs::path& p) {
    std::error_code ec;
    if (!fs::is_directory(p, ec)) return false;
    fs::directory_iterator it(p, ec);
    if (ec) return false;
    return it != fs::directory_iterator();
}
