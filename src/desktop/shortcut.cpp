#include "desktop/shortcut.h"

#include <cstdlib>
#include <system_error>

#include "core/atomic_file.h"
#include "core/globals.h"
#include "core/paths.h"
#include "core/port.h"
#include "core/settings.h"
#include "ui/toast.h"

std::string desktop_entry_text(const std::string& program, const std::string& icon, bool pt) {
    std::string t = "[Desktop Entry]\nType=Application\nName=Veltrane\n";
    t += "Comment=";
    t += pt ? "Port nativo para Linux (precisa do seu dump do jogo)" : "Native Linux port (your own game dump required)";
    t += "\n";
    t += "Exec=\"" + program + "\"\n";
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
    std::error_code ec;
    fs::path apps = home_dir() / ".local/share/applications";
    fs::create_directories(apps, ec);
    copy_shortcut_icon(ec);
    fs::path icon_copy = shortcut_icon_copy();

    bool written = write_file_atomic(apps / "quor-pc.desktop", desktop_entry_text(shortcut_program(), icon_copy.string(), g_pt));
    bool ok = written && !ec;
    if (ok)
        toast(tr("Shortcut added to the applications menu. In Steam: Add a Game › Add a Non-Steam Game.",
                 "Atalho criado no menu de aplicativos. Na Steam: Adicionar jogo › Adicionar um jogo não-Steam."),
              7);
    else
        toast(tr("Could not create the shortcut.", "Não foi possível criar o atalho."), 7);
    return ok;
}
