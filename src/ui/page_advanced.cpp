#include <system_error>

#include "core/globals.h"
#include "core/paths.h"
#include "core/settings.h"
#include "desktop/shortcut.h"
#include "desktop/steam.h"
#include "launch/game_process.h"
#include "ui/chrome.h"
#include "ui/page_advanced.h"
#include "ui/page_log.h"
#include "ui/pages.h"
#include "ui/rows.h"
#include "ui/theme.h"
#include "core/toast.h"

namespace {

const Opt UI_LANGUAGES[] = {
    {"", "Automático", "Automatic"},
    {"pt", "Português", "Portuguese"},
    {"en", "Inglês", "English"},
};

const Opt LAUNCHER_FULLSCREEN[] = {
    {"auto", "Automático (tela cheia no Steam Deck)", "Automatic (fullscreen on Steam Deck)"},
    {"1", "Sempre em tela cheia", "Always fullscreen"},
    {"0", "Janela", "Window"},
};

const Opt READBACKS[] = {
    {"", "Precisas (padrão)", "Precise (default)"},
    {"1", "Relaxadas (pode travar)", "Relaxed (may hang)"},
};

}  // namespace

bool clear_shader_cache() {
    // A running game keeps its cache open; it must never vanish under it.
    if (g_game.running.load()) return false;
    std::error_code ec;
    fs::remove_all(user_dir() / "cache", ec);
    fs::remove_all(user_dir() / "shader", ec);
    toast(tr("Shader cache cleared. The next start stutters for a few minutes while it is rebuilt.",
             "Cache de shaders limpo. A próxima partida engasga alguns minutos enquanto ele é refeito."),
          5);
    return true;
}

void page_advanced() {
    section(tr("Launcher", "Lançador"));
    choice_row("ui_language", UI_LANGUAGES, 3, tr("Launcher language", "Idioma do lançador"), nullptr, nullptr);
    choice_row("launcher_fullscreen", LAUNCHER_FULLSCREEN, 3, tr("Launcher window", "Janela do lançador"),
               tr("F11 toggles it too.", "F11 também alterna."), nullptr);
    toggle_row("close_on_play", tr("Hide the launcher while the game runs", "Esconder o lançador enquanto o jogo roda"),
               tr("It comes back when the game closes.", "Ele volta quando o jogo fechar."));
    if (action_row("shortcut", tr("Add to the applications menu", "Criar atalho no menu de aplicativos"),
                   tr("Then it can be added to Steam as a non-Steam game (handy on Steam Deck).",
                      "Depois dá para adicionar na Steam como jogo não-Steam (bom no Steam Deck)."),
                   "›"))
        desktop_shortcut();
    bool in_steam = steam_shortcut_present();
    if (action_row("steam", in_steam ? tr("Remove from Steam", "Remover da Steam") : tr("Add to Steam", "Adicionar à Steam"),
                   in_steam ? tr("Takes the game and the artwork it added out of Steam's library.",
                                 "Tira da biblioteca da Steam o jogo e as artes que foram colocadas.")
                            : tr("Puts the game in Steam's library with its artwork, ready for Game Mode on Steam Deck.",
                                 "Coloca o jogo na biblioteca da Steam com as artes, pronto para o Modo de Jogo do Steam Deck."),
                   "›"))
        steam_shortcut_pressed();
    std::string data = g_data.string();
    if (action_row("open_data", tr("Open the data folder", "Abrir a pasta de dados"), data.c_str(), "›"))
        open_folder(g_data);
    if (action_row("clear_cache", tr("Clear shader cache", "Limpar cache de shaders"),
                   tr("Use it if graphics look wrong after an update.",
                      "Use se aparecerem gráficos estranhos depois de uma atualização."),
                   "›"))
        clear_shader_cache();
    // The way out for a player with only a pad in hand (or no window frame).
    if (action_row("quit", tr("Quit", "Sair"),
                   tr("Closes the launcher. A running game goes on; the launcher closes when it ends.",
                      "Fecha o lançador. Um jogo rodando continua; o lançador fecha quando ele terminar."),
                   "›"))
        g_quit_requested = true;

    section(tr("Diagnostics", "Diagnóstico"));
    toggle_row("show_fps", tr("FPS in the log (every 5 s)", "FPS no registro (a cada 5 s)"), nullptr);
    choice_row("readbacks", READBACKS, 2, tr("GPU readbacks", "Leituras da GPU"), nullptr, nullptr);
    text_row("engine_cvars", tr("Engine cvars", "Cvars do motor"),
             tr("NAME=value separated by spaces, on the game's command line.",
                "NOME=valor separados por espaço, na linha de comando do jogo."));
    text_row("extra_env", tr("Extra variables", "Variáveis extras"),
             tr("NAME=value pairs separated by spaces (see the README).",
                "Pares NOME=valor separados por espaço (veja o README)."));
}
