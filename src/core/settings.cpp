#include "core/settings.h"

#include "core/atomic_file.h"
#include "core/globals.h"
#include "core/paths.h"
#include "core/port.h"

Settings S;
bool g_dirty = false;
bool g_settings_unreadable = false;

const DefaultSetting DEFAULTS[DEFAULT_COUNT] = {
    {"ui_language", ""},
    {"game_dir", ""},
    {"sys_modules", ""},
    {"user_dir", ""},
    {"dlc_dir", ""},
    {"af16", "1"},
    {"fps60", "0"},
    {"fullscreen", "0"},
    {"present_mode", "Mailbox"},
    {"language", ""},
    {"player_name", ""},
    {"show_fps", "0"},
    {"readbacks", ""},
    {"extra_env", ""},
    {"close_on_play", "0"},
    {"gamepad", ""},
    {"output_res", "1920x1080"},
    {"upscaler", "fsr1"},
    {"sharpness", "250"},
    {"mouse", "1"},
    {"mouse_sens", "1.0"},
    {"mouse_invert", "0"},
    {"neo", "0"},
    {"fx_vignette", "1"},
    {"fx_fog", "1"},
    {"fx_ssao", "1"},
    {"engine_cvars", ""},
    {"perf_culling", "1"},
    {"perf_record_thread", "1"},
    {"perf_dma", "1"},
    {"gpu_submit", "auto"},
    {"launcher_fullscreen", "auto"},
    {"setup_done", "0"},
    {"save_snapshots", "1"},
};

std::string Settings::get(const std::string& key) const {
    auto it = map.find(key);
    return it == map.end() ? std::string() : it->second;
}

bool Settings::on(const std::string& key) const {
    auto it = map.find(key);
    return it != map.end() && it->second == "1";
}

void Settings::set(const std::string& key, const std::string& value) { map[key] = value; }

namespace {

// Calls fn(line) for every line-feed separated line; a last line without a
// line feed counts too.
template <typename Fn>
void for_each_line(const std::string& text, Fn fn) {
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            fn(text.substr(start));
            return;
        }
        fn(text.substr(start, nl - start));
        start = nl + 1;
    }
}

}  // namespace

std::string settings_text(const Settings& s) {
    std::string out = LAUNCHER_INI_HEADER;
    out += '\n';
    for (const auto& [k, v] : s.map) {
        if (k.find('\n') != std::string::npos || v.find('\n') != std::string::npos) continue;
        out += k;
        out += '=';
        out += v;
        out += '\n';
    }
    return out;
}

void parse_settings_text(Settings& s, const std::string& text) {
    for_each_line(text, [&](const std::string& line) {
        if (line.empty() || line[0] == '#') return;
        size_t eq = line.find('=');
        if (eq == std::string::npos) return;
        s.set(line.substr(0, eq), line.substr(eq + 1));
    });
}

void import_port_ini(Settings& s, const std::string& text) {
    for_each_line(text, [&](const std::string& line) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) return;
        std::string key = line.substr(0, eq);
        if (key == "QUOR_GAME_DIR" && s.get("game_dir").empty())
            s.set("game_dir", line.substr(eq + 1));
        else if (key == "QUOR_SYS_MODULES" && s.get("sys_modules").empty())
            s.set("sys_modules", line.substr(eq + 1));
    });
}

const char* settings_unreadable_text() {
    return tr("launcher.ini could not be read: this session uses the default settings and leaves the file as it is.",
              "Não foi possível ler o launcher.ini: esta sessão usa as configurações padrão e deixa o arquivo como está.");
}

void load_settings() {
    for (const auto& d : DEFAULTS) S.set(d.key, d.value);
    std::string text;
    ReadStatus st = read_regular_file(settings_file(), text);
    g_settings_unreadable = st != ReadStatus::ok && st != ReadStatus::missing;
    if (st == ReadStatus::ok) parse_settings_text(S, text);
    if (read_file(g_data / PORT_INI, text)) import_port_ini(S, text);
}

namespace {
double g_text_edit_at = -1;   // time of the last unsaved keystroke; negative: none
}  // namespace

void text_edited(double now) { g_text_edit_at = now; }

void text_field_left() {
    if (g_text_edit_at < 0) return;
    g_text_edit_at = -1;
    g_dirty = true;
}

void settle_text_edits(double now) {
    if (g_text_edit_at >= 0 && now - g_text_edit_at >= TEXT_SAVE_PAUSE) text_field_left();
}

bool text_edit_pending() { return g_text_edit_at >= 0; }

bool save_settings() {
    g_dirty = false;
    g_text_edit_at = -1;   // the whole store is written, typed text included
    if (g_settings_unreadable) return false;
    // A failed write is retried with the next change; the old file stays whole.
    return write_file_atomic(settings_file(), settings_text(S));
}

void go_page(int page) {
    if (page == g_page) return;
    g_page = page;
    g_focus_first = true;
    if (g_dirty || text_edit_pending()) save_settings();
}
