#include "desktop/shortcut.h"

#include <cstdlib>
#include <system_error>

#include "core/atomic_file.h"
#include "core/globals.h"
#include "core/paths.h"
#include "core/port.h"
#include "core/settings.h"
#include "core/toast.h"

namespace {

// Whether text is well-formed UTF-8 without control bytes: a key file is
// UTF-8 by definition, and one line per key leaves no room for line breaks.
bool entry_can_hold(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F) return false;
            ++p;
            continue;
        }
        int more;
        unsigned char lo = 0x80, hi = 0xBF;   // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF)
            more = 1;
        else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0) lo = 0xA0;         // overlong
            if (c == 0xED) hi = 0x9F;         // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0) lo = 0x90;         // overlong
            if (c == 0xF4) hi = 0x8F;         // past U+10FFFF
        } else
            return false;
        if (end - p <= more) return false;
        if (p[1] < lo || p[1] > hi) return false;
        for (int i = 2; i <= more; ++i)
            if ((p[i] & 0xC0) != 0x80) return false;
        // C1 controls are control characters too.
        if (c == 0xC2 && p[1] < 0xA0) return false;
        p += more + 1;
    }
    return true;
}

}  // namespace

bool desktop_string_value(const std::string& text, std::string& out) {
    out.clear();
    if (!entry_can_hold(text)) return false;
    for (char c : text) {
        if (c == '\\') out += '\\';
        out += c;
    }
    return true;
}

bool desktop_exec_value(const std::string& program, std::string& out) {
    out.clear();
    if (!entry_can_hold(program)) return false;
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';   // not a field code
        quoted += c;
    }
    quoted += '"';
    // The string escapes are undone before the quoting is.
    return desktop_string_value(quoted, out);
}

std::string desktop_entry_text(const std::string& exec, const std::string& icon, bool pt) {
    std::string t = "[Desktop Entry]\nType=Application\nName=Veltrane\n";
    t += "Comment=";
    t += tr(pt, "Native Linux port (your own game dump required)",
            "Port nativo para Linux (precisa do seu dump do jogo)");
    t += "\n";
    t += "Exec=" + exec + "\n";
    t += "Icon=" + icon + "\n";
    t += "Categories=Game;\nTerminal=false\n";
    return t;
}

std::string shortcut_program() {
    const char* app = std::getenv("APPIMAGE");
    if (app && *app) return app;
    return (g_exe_dir / "quor-launcher").string();
}

fs::path shortcut_icon_source() {
    std::string game_dir = S.get("game_dir");
    fs::path dump_icon = fs::path(game_dir) / "sce_sys" / "icon0.png";
    if (!game_dir.empty() && is_file(dump_icon)) return dump_icon;
    fs::path port_icon = g_port / PORT_LAUNCHER_DIR / PORT_ICON;
    if (is_file(port_icon)) return port_icon;
    return {};
}

fs::path shortcut_icon_copy() { return g_data / "quor-pc.png"; }

void copy_shortcut_icon(std::error_code& ec) {
    fs::path source = shortcut_icon_source();
    if (source.empty()) return;
    if (copy_regular_file(source, shortcut_icon_copy()))
        ec.clear();
    else
        ec = std::make_error_code(std::errc::io_error);
}

bool desktop_shortcut() {
    // Checked before anything is written: an entry the desktop cannot run
    // must not be reported as added.
    const std::string program = shortcut_program();
    fs::path icon_copy = shortcut_icon_copy();
    std::string exec, icon;
    if (!desktop_exec_value(program, exec)) {
        toast(tr("The launcher's path cannot go in a menu entry (it holds a line break or other control character, "
                 "or bytes that are not UTF-8).",
                 "O caminho do lançador não pode ir num atalho do menu (tem uma quebra de linha ou outro caractere de "
                 "controle, ou bytes que não são UTF-8)."),
              8);
        return false;
    }
    // GLib and KDE look the program up before they undo "%%", so such an
    // entry is hidden from the menu; a bare '%' would be read as a field code.
    if (program.find('%') != std::string::npos) {
        toast(tr("The launcher's path holds a percent sign (%), and menus cannot start a program from such a path.",
                 "O caminho do lançador tem um sinal de porcentagem (%), e os menus não conseguem iniciar um programa "
                 "num caminho assim."),
              8);
        return false;
    }
    if (!desktop_string_value(icon_copy.string(), icon)) {
        toast(tr("The data folder's path cannot go in a menu entry (it holds a line break or other control "
                 "character, or bytes that are not UTF-8).",
                 "O caminho da pasta de dados não pode ir num atalho do menu (tem uma quebra de linha ou outro "
                 "caractere de controle, ou bytes que não são UTF-8)."),
              8);
        return false;
    }

    std::error_code ec;
    fs::path apps = home_dir() / ".local/share/applications";
    fs::create_directories(apps, ec);
    copy_shortcut_icon(ec);

    bool written = write_file_atomic(apps / "quor-pc.desktop", desktop_entry_text(exec, icon, g_pt));
    bool ok = written && !ec;
    if (ok)
        toast(tr("Shortcut added to the applications menu. In Steam: Add a Game › Add a Non-Steam Game.",
                 "Atalho criado no menu de aplicativos. Na Steam: Adicionar jogo › Adicionar um jogo não-Steam."),
              7);
    else
        toast(tr("Could not create the shortcut.", "Não foi possível criar o atalho."), 7);
    return ok;
}
