#include "discovery/game_info.h"

#include <filesystem>
#include <sys/stat.h>

#include "core/atomic_file.h"
#include "core/paths.h"
#include "discovery/psf.h"

namespace {

// A real param.sfo is a few KiB. Anything larger is not one, and reading it
// every time the folder is looked at would stall the frame.
constexpr size_t PARAM_SFO_MAX_BYTES = 64 * 1024;

struct SfoFields {
    std::string title_id = "?";
    std::string app_ver = "?";
    std::string title = "Veltrane";
};

// The last param.sfo read, per thread (no lock needed), kept while the file
// keeps its identity: path, device, inode, size and times.
struct SfoCache {
    bool valid = false;
    std::string path;
    struct stat st{};
    SfoFields fields;
};
thread_local SfoCache t_sfo_cache;

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

SfoFields parse_fields(const std::string& sfo) {
    SfoFields f;
    auto keys = parse_psf(reinterpret_cast<const uint8_t*>(sfo.data()), sfo.size());
    auto pick = [&keys](const char* key, std::string& out) {
        auto it = keys.find(key);
        if (it != keys.end()) out = it->second;
    };
    pick("TITLE_ID", f.title_id);
    pick("APP_VER", f.app_ver);
    pick("TITLE", f.title);
    return f;
}

SfoFields read_fields(const std::filesystem::path& file) {
    struct stat st{};
    // Only a regular file of a plausible size is read: a FIFO would block,
    // a link to /dev/zero would never end.
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > PARAM_SFO_MAX_BYTES)
        return {};
    SfoCache& cache = t_sfo_cache;
    if (cache.valid && cache.path == file.native() && same_file(cache.st, st)) return cache.fields;
    cache.valid = false;
    std::string sfo;
    if (read_regular_file(file, sfo, PARAM_SFO_MAX_BYTES) != ReadStatus::ok) sfo.clear();
    cache.fields = parse_fields(sfo);
    cache.path = file.native();
    cache.st = st;
    cache.valid = true;
    return cache.fields;
}

}  // namespace

GameInfo game_info(const std::string& folder) {
    GameInfo info;
    if (folder.empty()) return info;
    std::filesystem::path dir(folder);
    if (!is_file(dir / "eboot.bin")) return info;
    info.ok = true;
    SfoFields f;
    try {
        f = read_fields(dir / "sce_sys" / "param.sfo");
    } catch (...) {
        // Out of memory on a hostile file: the fallbacks, never a crash.
        t_sfo_cache.valid = false;
        f = SfoFields{};
    }
    info.title_id = std::move(f.title_id);
    info.app_ver = std::move(f.app_ver);
    info.title = std::move(f.title);
    return info;
}
