#include <SDL3/SDL.h>
#include <imgui.h>

#include <mutex>
#include <string>
#include <system_error>

#include "core/globals.h"
#include "core/paths.h"
#include "core/settings.h"
#include "desktop/shortcut.h"
#include "desktop/steam.h"
#include "desktop/support_report.h"
#include "discovery/game_info.h"
#include "discovery/shared.h"
#include "launch/game_process.h"
#include "ui/chrome.h"
#include "ui/page_advanced.h"
#include "ui/page_log.h"
#include "ui/page_play.h"
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

// What only this thread may read, for a report built on a worker.
ReportFacts facts_for_report() {
    ReportFacts f = report_facts_here();
    f.window = true;
    const char* driver = SDL_GetCurrentVideoDriver();
    f.video_driver = driver ? driver : "";
    const char* renderer = g_renderer ? SDL_GetRendererName(g_renderer) : nullptr;
    f.renderer = renderer ? renderer : "";
    SDL_DisplayID display = g_window ? SDL_GetDisplayForWindow(g_window) : 0;
    if (const SDL_DisplayMode* mode = display ? SDL_GetCurrentDisplayMode(display) : nullptr) {
        f.display_w = mode->w;
        f.display_h = mode->h;
        f.refresh = mode->refresh_rate;
    }
    f.display_scale = display ? SDL_GetDisplayContentScale(display) : 0;
    f.ui_scale = g_scale;
    if (g_window) {
        SDL_GetWindowSize(g_window, &f.window_w, &f.window_h);
        f.fullscreen = (SDL_GetWindowFlags(g_window) & SDL_WINDOW_FULLSCREEN) != 0;
    }
    int count = 0;
    SDL_JoystickID* ids = SDL_GetGamepads(&count);
    for (int i = 0; ids && i < count; ++i) {
        const char* name = SDL_GetGamepadNameForID(ids[i]);
        const char* type = SDL_GetGamepadStringForType(SDL_GetGamepadTypeForID(ids[i]));
        f.pads.push_back({name && *name ? name : "Gamepad", type ? type : "unknown", ids[i] == g_pad_id});
    }
    SDL_free(ids);
    for (const Check& c : ready_checks(game_info(S.get("game_dir")))) f.ready.push_back(c.text);
    std::lock_guard<std::mutex> lock(g_shared.mutex);
    f.gpu_state = g_shared.gpu_state;
    f.gpu_name = g_shared.gpu_name;
    return f;
}

void copy_report() {
    if (support_report_busy()) return;
    // The report already saved is the one copied; before one, a copy saves one too.
    if (last_support_report_text().empty()) {
        support_report_pressed(facts_for_report(), true);
        return;
    }
    if (SDL_SetClipboardText(last_support_report_text().c_str()))
        toast(tr("Support report copied.", "Relatório de suporte copiado."), 5);
}

// The report's row, with its folder and copy buttons beside it where the
// column has room for both, else under it.
void support_report_row() {
    const float s = g_scale;
    std::string help;
    if (support_report_busy())
        help = tr("Writing the report…", "Gravando o relatório…");
    else if (!last_support_report_name().empty())
        help = tr("Saved: ", "Salvo: ") + last_support_report_name();
    else
        help = tr("A text file for whoever helps you; your names are left out.",
                  "Um arquivo de texto para quem for ajudar; seus nomes ficam de fora.");
    const char* open = tr("Open folder", "Abrir pasta");
    const char* copy = tr("Copy", "Copiar");
    const ImGuiStyle& st = ImGui::GetStyle();
    const float gap = 10 * s;
    const float buttons = ImGui::CalcTextSize(open).x + ImGui::CalcTextSize(copy).x + 4 * st.FramePadding.x + gap;
    const bool beside = ImGui::GetContentRegionAvail().x - buttons - 14 * s >= 300 * s;
    bool save = false, open_pressed = false, copy_pressed = false;
    auto draw_buttons = [&] {
        open_pressed = ImGui::Button((std::string(open) + "##report_open").c_str());
        report_row(RowKind::Button);
        ImGui::SameLine(0, gap);
        copy_pressed = ImGui::Button((std::string(copy) + "##report_copy").c_str());
        report_row(RowKind::Button);
    };
    ImGui::PushStyleVar(ImGuiStyleVar_CellPadding, ImVec2(0, 0));
    if (beside && ImGui::BeginTable("support_report", 2, ImGuiTableFlags_NoPadOuterX | ImGuiTableFlags_NoPadInnerX)) {
        ImGui::TableSetupColumn("row", ImGuiTableColumnFlags_WidthStretch);
        ImGui::TableSetupColumn("buttons", ImGuiTableColumnFlags_WidthFixed, buttons + 14 * s);
        ImGui::TableNextRow();
        ImGui::TableSetColumnIndex(0);
        const float top = ImGui::GetCursorScreenPos().y;
        save = action_row("support_report", tr("Save a support report", "Salvar um relatório de suporte"),
                          help.c_str(), "›");
        // The last item is the spacer under the band.
        const float band = ImGui::GetItemRectMin().y - st.ItemSpacing.y - top;
        ImGui::TableSetColumnIndex(1);
        ImVec2 at = ImGui::GetCursorScreenPos();
        ImGui::SetCursorScreenPos(ImVec2(at.x + 14 * s, top + (band - ImGui::GetFrameHeight()) / 2));
        draw_buttons();
        ImGui::EndTable();
    } else {
        save = action_row("support_report", tr("Save a support report", "Salvar um relatório de suporte"),
                          help.c_str(), "›");
        ImGui::SetCursorPosX(ImGui::GetCursorPosX() + 18 * s);
        draw_buttons();
        ImGui::Dummy(ImVec2(0, 4 * s));
    }
    ImGui::PopStyleVar();
    if (save) support_report_pressed(facts_for_report(), false);
    if (open_pressed) open_folder(g_data);
    if (copy_pressed) copy_report();
}

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
    take_support_report();
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
    support_report_row();
    toggle_row("show_fps", tr("FPS in the log (every 5 s)", "FPS no registro (a cada 5 s)"), nullptr);
    choice_row("readbacks", READBACKS, 2, tr("GPU readbacks", "Leituras da GPU"), nullptr, nullptr);
    text_row("engine_cvars", tr("Engine cvars", "Cvars do motor"),
             tr("NAME=value separated by spaces, on the game's command line.",
                "NOME=valor separados por espaço, na linha de comando do jogo."));
    text_row("extra_env", tr("Extra variables", "Variáveis extras"),
             tr("NAME=value pairs separated by spaces (see the README).",
                "Pares NOME=valor separados por espaço (veja o README)."));
}
