#include "desktop/steam.h"

#include <SDL3/SDL.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>
#include <utility>

#include "core/atomic_file.h"
#include "core/globals.h"
#include "core/paths.h"
#include "core/picture.h"
#include "core/settings.h"
#include "core/wake.h"
#include "desktop/shortcut.h"
#include "desktop/vdf.h"
#include "core/toast.h"
#include "core/worker.h"

namespace {

constexpr const char* SHORTCUTS = "shortcuts.vdf";
constexpr const char* ART_LIST = "quor-launcher-artwork.txt";
// Far beyond any real list (a few hundred bytes per game); a bigger file is
// not Steam's and is left alone.
constexpr size_t MAX_SHORTCUTS_BYTES = 64u << 20;

bool all_digits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string hex32(uint32_t v) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

// What the launcher wrote into a grid folder: file name → (size, CRC-32).
using ArtList = std::map<std::string, std::pair<uint64_t, uint32_t>>;

ArtList read_art_list(const fs::path& grid) {
    ArtList list;
    std::string text;
    if (!read_file(grid / ART_LIST, text)) return list;
    std::istringstream in(text);
    std::string name, crc;
    uint64_t size = 0;
    while (in >> name >> size >> crc) {
        char* end = nullptr;
        unsigned long v = std::strtoul(crc.c_str(), &end, 16);
        if (end && *end == '\0') list[name] = {size, static_cast<uint32_t>(v)};
    }
    return list;
}

bool write_art_list(const fs::path& grid, const ArtList& list) {
    std::error_code ec;
    if (list.empty()) {
        fs::remove(grid / ART_LIST, ec);
        return true;
    }
    std::string text;
    for (const auto& [name, rec] : list) text += name + " " + std::to_string(rec.first) + " " + hex32(rec.second) + "\n";
    return write_file_atomic(grid / ART_LIST, text);
}

// Whether the file is still exactly what the launcher wrote.
bool still_ours(const fs::path& file, const ArtList& list, const std::string& name) {
    auto it = list.find(name);
    if (it == list.end()) return false;
    std::string bytes;
    if (!read_file(file, bytes)) return false;
    return bytes.size() == it->second.first && crc32_bytes(bytes) == it->second.second;
}

std::optional<Picture> decode(const fs::path& path) {
    if (path.empty() || !is_file(path)) return std::nullopt;
    Picture img;
    if (!decode_png(path, img)) return std::nullopt;
    return img;
}

struct ArtKind {
    const char* suffix;   // after the app id
    bool from_banner;
    int w;
    int h;
};

// Steam's names and sizes: library hero, wide capsule, portrait capsule, icon.
constexpr ArtKind ART[] = {
    {"_hero.png", true, 1920, 620},
    {".png", true, 920, 430},
    {"p.png", false, 600, 900},
    {"_icon.png", false, 256, 256},
};

// Current shortcut state for the row, kept between frames so the label does
// not cost a disk scan every frame. The lists are parsed again only when one
// of them changed (a player with many shortcuts has a large file).
double g_steam_checked_at = -1e9;
bool g_steam_present = false;
std::string g_steam_seen;   // each list's path, size and time at the last parse

std::string lists_signature(const std::vector<fs::path>& configs) {
    std::string sig;
    for (const fs::path& config : configs) {
        struct stat st{};
        if (stat((config / SHORTCUTS).c_str(), &st) != 0) continue;
        sig += config.string() + '|' + std::to_string(st.st_size) + '|' + std::to_string(st.st_mtim.tv_sec) + '.' +
               std::to_string(st.st_mtim.tv_nsec) + '\n';
    }
    return sig;
}

}  // namespace

std::vector<fs::path> steam_user_configs(const fs::path& home) {
    const fs::path roots[] = {
        home / ".local/share/Steam/userdata",
        home / ".steam/steam/userdata",
        home / ".var/app/com.valvesoftware.Steam/.local/share/Steam/userdata",
    };
    std::vector<fs::path> out;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (const fs::path& root : roots) {
        std::error_code ec;
        std::vector<std::string> ids;
        for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
            std::string name = it->path().filename().string();
            // "0" is the folder Steam uses before anyone logs in.
            if (all_digits(name) && name.size() <= 19 && name.find_first_not_of('0') != std::string::npos)
                ids.push_back(name);
        }
        std::sort(ids.begin(), ids.end(), [](const std::string& a, const std::string& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        for (const std::string& id : ids) {
            struct stat st{};
            if (::stat((root / id).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
            if (!seen.insert({st.st_dev, st.st_ino}).second) continue;
            out.push_back(root / id / "config");
        }
    }
    return out;
}

bool steam_running(const fs::path& proc) {
    std::error_code ec;
    for (fs::directory_iterator it(proc, ec), end; !ec && it != end; it.increment(ec)) {
        if (!all_digits(it->path().filename().string())) continue;
        std::string comm;
        if (!read_file(it->path() / "comm", comm)) continue;
        while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) comm.pop_back();
        if (comm == "steam") return true;
    }
    return false;
}

std::vector<SteamPicture> steam_pictures(const fs::path& banner, const fs::path& icon) {
    std::vector<SteamPicture> out;
    std::optional<Picture> wide = decode(banner);
    std::optional<Picture> square = decode(icon);
    for (const ArtKind& art : ART) {
        const std::optional<Picture>& src = art.from_banner ? wide : square;
        if (src) out.push_back({art.suffix, encode_png(fit_crop(*src, art.w, art.h))});
    }
    return out;
}

bool write_steam_artwork(const fs::path& grid, uint32_t appid, const std::vector<SteamPicture>& pictures) {
    if (pictures.empty()) return true;
    std::error_code ec;
    fs::create_directories(grid, ec);
    if (ec) return false;
    ArtList list = read_art_list(grid);
    bool ok = true, listed = false;
    for (const SteamPicture& pic : pictures) {
        if (pic.png.empty()) {
            ok = false;
            continue;
        }
        std::string name = std::to_string(appid) + pic.suffix;
        fs::path file = grid / name;
        // Artwork the player chose for the game is theirs to keep.
        if (fs::exists(fs::symlink_status(file, ec)) && !still_ours(file, list, name)) continue;
        if (!write_file_atomic(file, pic.png)) {
            ok = false;
            continue;
        }
        list[name] = {pic.png.size(), crc32_bytes(pic.png)};
        listed = true;
    }
    if (listed && !write_art_list(grid, list)) ok = false;
    return ok;
}

void remove_steam_artwork(const fs::path& grid, uint32_t appid) {
    ArtList list = read_art_list(grid);
    bool changed = false;
    for (const ArtKind& art : ART) {
        std::string name = std::to_string(appid) + art.suffix;
        if (!list.count(name)) continue;
        std::error_code ec;
        if (still_ours(grid / name, list, name)) fs::remove(grid / name, ec);
        list.erase(name);
        changed = true;
    }
    if (changed) write_art_list(grid, list);
}

namespace {

// Reads, edits and safely rewrites each user's shortcuts.vdf.
template <typename Edit, typename After>
SteamResult for_each_user(const fs::path& home, Edit edit, After after) {
    SteamResult r;
    for (const fs::path& config : steam_user_configs(home)) {
        ++r.users;
        fs::path file = config / SHORTCUTS;
        std::string old;
        ReadStatus status = read_regular_file(file, old, MAX_SHORTCUTS_BYTES);
        if (status != ReadStatus::ok && status != ReadStatus::missing) {
            r.unreadable.push_back(file);
            continue;
        }
        bool existed = status == ReadStatus::ok;
        std::error_code ec;
        std::optional<std::string> now = edit(old);
        if (!now) {
            r.unreadable.push_back(file);
            continue;
        }
        if (*now != old) {
            fs::create_directories(config, ec);
            bool ok = !ec && (!existed || write_file_atomic(config / "shortcuts.vdf.bak", old)) &&
                      write_file_atomic(file, *now);
            if (!ok) {
                r.unwritable.push_back(file);
                continue;
            }
        }
        ++r.changed;
        after(config, r);
    }
    return r;
}

bool no_control_bytes(const std::string& s) {
    return std::none_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

bool one_quoted_path(const std::string& s) {
    return s.size() >= 2 && s.front() == '"' && s.back() == '"' &&
           s.find('"', 1) == s.size() - 1 && no_control_bytes(s);
}

}  // namespace

bool steam_shortcut_writable(const SteamShortcut& sc) {
    return one_quoted_path(sc.exe) && one_quoted_path(sc.start_dir) && no_control_bytes(sc.app_name) &&
           no_control_bytes(sc.icon);
}

SteamResult steam_add(const fs::path& home, const SteamShortcut& sc, const fs::path& banner, const fs::path& icon) {
    if (!steam_shortcut_writable(sc)) {
        SteamResult r;
        r.bad_path = true;
        return r;
    }
    uint32_t appid = shortcut_appid(sc.exe, sc.app_name);
    // Decoded and encoded once, however many users there are.
    std::vector<SteamPicture> pictures = steam_pictures(banner, icon);
    return for_each_user(
        home, [&](const std::string& old) { return shortcuts_with(old, sc); },
        [&](const fs::path& config, SteamResult& r) {
            if (!write_steam_artwork(config / "grid", appid, pictures)) r.art_failed = true;
        });
}

SteamResult steam_remove(const fs::path& home, const SteamShortcut& sc) {
    uint32_t appid = shortcut_appid(sc.exe, sc.app_name);
    return for_each_user(
        home, [&](const std::string& old) { return shortcuts_without(old, sc); },
        [&](const fs::path& config, SteamResult&) { remove_steam_artwork(config / "grid", appid); });
}

bool steam_has(const fs::path& home, const SteamShortcut& sc) {
    for (const fs::path& config : steam_user_configs(home)) {
        std::string bytes;
        if (read_regular_file(config / SHORTCUTS, bytes, MAX_SHORTCUTS_BYTES) == ReadStatus::ok &&
            shortcuts_have(bytes, sc))
            return true;
    }
    return false;
}

std::string steam_message(const SteamResult& r, bool adding, bool running, bool pt) {
    // One footer line: the outcome first, the advice after it, no long paths.
    if (r.bad_path)
        return tr(pt, "Not added to Steam: the launcher's path holds a double quote or a control character, which "
                  "Steam's list of games cannot hold.",
                  "Não adicionado à Steam: o caminho do lançador tem aspas duplas ou um caractere de controle, que a "
                  "lista de jogos da Steam não comporta.");
    if (r.users == 0)
        return tr(pt, "Steam was not found: no user folder in ~/.local/share/Steam, ~/.steam or its Flatpak.",
                  "Steam não encontrada: nenhuma pasta de usuário em ~/.local/share/Steam, ~/.steam ou no Flatpak.");
    if (r.changed == 0) {
        if (!r.unreadable.empty())
            return tr(pt, "Steam's list of games (shortcuts.vdf) could not be read and was left as it was.",
                      "A lista de jogos da Steam (shortcuts.vdf) não pôde ser lida e ficou como estava.");
        return tr(pt, "Could not write Steam's list of games (shortcuts.vdf).",
                  "Não foi possível gravar a lista de jogos da Steam (shortcuts.vdf).");
    }
    std::string text;
    if (r.changed < r.users) {
        std::string of = std::to_string(r.changed) + tr(pt, " of ", " de ") + std::to_string(r.users);
        text = adding ? tr(pt, "Added to Steam for ", "Adicionado à Steam em ")
                      : tr(pt, "Removed from Steam for ", "Removido da Steam em ");
        text += of + tr(pt, " accounts; the others' lists could not be changed.",
                        " contas; as listas das outras não puderam ser alteradas.");
    } else {
        text = adding ? tr(pt, "Added to Steam.", "Adicionado à Steam.")
                      : tr(pt, "Removed from Steam.", "Removido da Steam.");
    }
    if (running) {
        // Steam writes its own list back when it quits, which can undo this.
        if (adding)
            text += tr(pt, " Restart Steam to see it; if it is missing then, quit Steam and press again.",
                       " Reinicie a Steam para vê-lo; se não aparecer, feche a Steam e aperte de novo.");
        else
            text += tr(pt, " Restart Steam to see it; if it is still there, quit Steam and press again.",
                       " Reinicie a Steam para ver; se ainda aparecer, feche a Steam e aperte de novo.");
    } else if (adding && r.art_failed) {
        text += tr(pt, " Some artwork could not be written.", " Algumas artes não puderam ser gravadas.");
    }
    return text;
}

SteamShortcut current_steam_shortcut() {
    return launcher_shortcut(shortcut_program(), shortcut_icon_copy().string());
}

bool steam_shortcut_present() {
    double now = now_seconds();
    if (now - g_steam_checked_at >= 2.0 || now < g_steam_checked_at) {
        fs::path home = home_dir();
        std::string sig = lists_signature(steam_user_configs(home));
        if (sig != g_steam_seen) {
            g_steam_present = steam_has(home, current_steam_shortcut());
            g_steam_seen = std::move(sig);
        }
        g_steam_checked_at = now;
    }
    return g_steam_present;
}

namespace {

bool g_steam_busy = false;   // UI thread: a press is being carried out

// A finished press's toast, handed from its worker to the UI thread.
struct SteamHandOver {
    std::mutex mutex;
    std::string message;
    bool done = false;
};
// Never destroyed: a press's worker may still lock it while the process exits.
SteamHandOver& g_steam_result = *new SteamHandOver;

// A press's work with everything it needs, so the worker touches neither the
// settings nor the UI.
struct SteamJob {
    SteamShortcut sc;
    fs::path home, banner, icon, icon_copy;
    bool pt = false;
};

void run_steam_job(const SteamJob& job) {
    bool adding = !steam_has(job.home, job.sc);
    SteamResult r;
    if (adding) {
        // Steam shows the same icon as the applications menu.
        if (!job.icon.empty() && steam_shortcut_writable(job.sc)) copy_regular_file(job.icon, job.icon_copy);
        r = steam_add(job.home, job.sc, job.banner, job.icon);
    } else {
        r = steam_remove(job.home, job.sc);
    }
    std::string text = steam_message(r, adding, steam_running(), job.pt);
    {
        std::lock_guard<std::mutex> lock(g_steam_result.mutex);
        g_steam_result.message = std::move(text);
        g_steam_result.done = true;
    }
    wake_ui();
}

}  // namespace

void steam_shortcut_pressed() {
    if (g_steam_busy) return;
    SteamJob job{current_steam_shortcut(), home_dir(), {}, shortcut_icon_source(), shortcut_icon_copy(), g_pt};
    std::string game_dir = S.get("game_dir");
    if (!game_dir.empty()) job.banner = fs::path(game_dir) / "sce_sys" / "pic1.png";
    g_steam_busy = true;
    if (!start_worker([job] { run_steam_job(job); })) run_steam_job(job);   // no thread to be had: here
}

bool take_steam_result() {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(g_steam_result.mutex);
        if (!g_steam_result.done) return false;
        text = std::move(g_steam_result.message);
        g_steam_result.done = false;
    }
    g_steam_busy = false;
    toast(text, 8);
    g_steam_checked_at = -1e9;
    g_steam_seen.clear();
    return true;
}
