#include "discovery/game_info.h"

#include <filesystem>
#include <vector>

#include "core/atomic_file.h"
#include "core/paths.h"
#include "discovery/psf.h"

GameInfo game_info(const std::string& folder) {
    GameInfo info;
    if (folder.empty()) return info;
    std::filesystem::path dir(folder);
    if (!is_file(dir / "eboot.bin")) return info;
    info.ok = true;

    std::string sfo;
    if (!read_file(dir / "sce_sys" / "param.sfo", sfo)) sfo.clear();
    auto keys = parse_psf(reinterpret_cast<const uint8_t*>(sfo.data()), sfo.size());
    auto pick = [&keys](const char* key, const char* fallback) {
        auto it = keys.find(key);
        return it != keys.end() ? it->second : std::string(fallback);
    };
    info.title_id = pick("TITLE_ID", "?");
    info.app_ver = pick("APP_VER", "?");
    info.title = pick("TITLE", "Veltrane");
    return info;
}
