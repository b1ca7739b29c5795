#pragma once
// "Add to Steam": the launcher's entry in each Steam user's shortcuts.vdf,
// with artwork under config/grid/ named for the entry's app id.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "desktop/vdf.h"

namespace fs = std::filesystem;

// Each Steam user's config folder under the three places Steam lives in a
// home (native, ~/.steam link, Flatpak); a folder reached twice counts once.
std::vector<fs::path> steam_user_configs(const fs::path& home);

// Whether a process named "steam" runs, from a /proc-like folder.
bool steam_running(const fs::path& proc = "/proc");

// Steam's pictures for the game, as PNG files named by their suffix after the
// app id: hero and wide capsule from the wide banner, portrait and icon from
// the square icon. A source that is empty or unreadable gives none of its own.
struct SteamPicture {
    std::string suffix;
    std::string png;
};
std::vector<SteamPicture> steam_pictures(const fs::path& banner, const fs::path& icon);
// Writes them for appid into grid. A file already there is replaced only
// when the launcher wrote it, as recorded in a list beside them. Returns
// false when a file could not be written.
bool write_steam_artwork(const fs::path& grid, uint32_t appid, const std::vector<SteamPicture>& pictures);
// Deletes the launcher's own artwork for appid; the player's stays.
void remove_steam_artwork(const fs::path& grid, uint32_t appid);

struct SteamResult {
    int users = 0;                  // user folders found
    int changed = 0;                // users whose list now has (or lacks) the entry
    std::vector<fs::path> unreadable;   // shortcuts.vdf left untouched
    std::vector<fs::path> unwritable;
    bool art_failed = false;
    bool bad_path = false;          // refused before anything was touched
};
// Whether Steam can hold the entry: Exe and StartDir each one quoted path
// with no quote inside (Steam has no escape for one), and no field with a
// control byte.
bool steam_shortcut_writable(const SteamShortcut& sc);
// Adds or updates the entry (and artwork) for every user; remove takes both
// away. Each rewritten shortcuts.vdf is first kept as shortcuts.vdf.bak.
// An entry Steam cannot hold is not added: nothing changes, bad_path is set.
SteamResult steam_add(const fs::path& home, const SteamShortcut& sc, const fs::path& banner, const fs::path& icon);
SteamResult steam_remove(const fs::path& home, const SteamShortcut& sc);
bool steam_has(const fs::path& home, const SteamShortcut& sc);

// The toast for a result.
std::string steam_message(const SteamResult& r, bool adding, bool running, bool pt);

// The launcher's own entry from the settings and paths, the way the Advanced
// page's row uses it.
SteamShortcut current_steam_shortcut();
// Whether the entry is in Steam; looked up again at most every two seconds.
bool steam_shortcut_present();
// The row's press: adds or removes on a worker (the pictures take a few
// tenths of a second), reporting by toast through take_steam_result. A
// press while one is at work does nothing.
void steam_shortcut_pressed();
// On the UI thread, each frame: shows a finished press's toast. True when
// there was one.
bool take_steam_result();
