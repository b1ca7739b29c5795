#pragma once
// The settings store S and its file launcher.ini.
#include <map>
#include <string>

struct Settings {
    std::map<std::string, std::string> map;  // byte-wise key order

    std::string get(const std::string& key) const;   // absent reads as ""
    bool on(const std::string& key) const;           // exactly "1"
    void set(const std::string& key, const std::string& value);
};

struct DefaultSetting {
    const char* key;
    const char* value;
};

inline constexpr int DEFAULT_COUNT = 34;
extern const DefaultSetting DEFAULTS[DEFAULT_COUNT];

extern Settings S;
extern bool g_dirty;
// launcher.ini exists but could not be read (no permission, not a regular
// file): it holds the player's settings, so this run never replaces it.
extern bool g_settings_unreadable;

// What the player is told once about an unreadable launcher.ini.
const char* settings_unreadable_text();

// Byte-exact text of launcher.ini for a store (header line + key=value lines).
// An entry whose key or value holds a line feed is left out: written as it
// is, it would turn into other settings at the next start.
std::string settings_text(const Settings& s);
// Applies the lines of a launcher.ini text on top of s (last duplicate wins).
void parse_settings_text(Settings& s, const std::string& text);
// Fills empty game_dir / sys_modules from the QUOR_* lines of a quor.ini text.
void import_port_ini(Settings& s, const std::string& text);

void load_settings();
// Writes launcher.ini atomically; returns whether the new file is in place.
// Never writes over a launcher.ini that could not be read at start-up.
bool save_settings();

// Text fields: the store follows every keystroke, the file only once the
// field is left or typing paused for TEXT_SAVE_PAUSE seconds, so typing does
// not write and sync the file at every key.
inline constexpr double TEXT_SAVE_PAUSE = 1.0;
void text_edited(double now);        // a keystroke changed S
void text_field_left();              // editing ended: g_dirty, saved by the next frame
void settle_text_edits(double now);  // sets g_dirty once the pause has passed
bool text_edit_pending();

// Switches page; saves pending changes (typed text included) when the page
// really changes.
void go_page(int page);
