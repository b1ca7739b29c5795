#include <SDL3/SDL.h>
#include <imgui.h>
#include <string>
#include <vector>

#include "controls/key_capture.h"
#include "controls/keys.h"
#include "controls/page_controls.h"
#include "core/globals.h"
#include "core/settings.h"
#include "ui/chrome.h"
#include "ui/pages.h"
#include "ui/rows.h"
#include "ui/theme.h"

namespace {

const Opt AUTO_PAD[] = {{"", "Automático (o primeiro)", "Automatic (the first)"}};

const Opt MOUSE_SENS[] = {
    {"0.5", "0,5 (lenta)", "0.5 (slow)"},
    {"0.75", "0,75", "0.75"},
    {"1.0", "1,0 (padrão)", "1.0 (default)"},
    {"1.5", "1,5", "1.5"},
    {"2.0", "2,0 (rápida)", "2.0 (fast)"},
};

std::vector<std::string> connected_pad_names() {
    std::vector<std::string> names;
    int count = 0;
    SDL_JoystickID* ids = SDL_GetGamepads(&count);
    for (int i = 0; ids && i < count; ++i) {
        const char* n = SDL_GetGamepadNameForID(ids[i]);
        if (n && *n) names.emplace_back(n);
    }
    SDL_free(ids);
    return names;
}

}  // namespace

std::string key_row_value(const KeyInput& input) {
    std::string key = key_of(input);
    std::string out = key.empty() ? "—" : key;
    if (S.map.count(std::string("key.") + input.id)) out += "  *";
    return out;
}

void reset_keys() {
    for (auto it = S.map.begin(); it != S.map.end();) {
        if (it->first.size() >= 4 && it->first.compare(0, 4, "key.") == 0)
            it = S.map.erase(it);
        else
            ++it;
    }
    g_dirty = true;
}

void page_controls() {
    section(tr("Gamepad", "Controle"));
    std::vector<std::string> pads = connected_pad_names();
    choice_row("gamepad", AUTO_PAD, 1, tr("Preferred gamepad", "Controle preferido"),
               tr("Which gamepad to use when several are connected.",
                  "Qual controle usar quando houver vários conectados."),
               &pads);

    section("Mouse");
    toggle_row("mouse", tr("Mouse camera", "Câmera no mouse"),
               tr("Click the game window to capture the mouse; Esc releases it.",
                  "Clique na janela do jogo para capturar o mouse; Esc solta."));
    choice_row("mouse_sens", MOUSE_SENS, 5, tr("Sensitivity", "Sensibilidade"), nullptr, nullptr);
    toggle_row("mouse_invert", tr("Invert the vertical axis", "Inverter o eixo vertical"), nullptr);

    section(tr("Keyboard (works next to a gamepad)", "Teclado (funciona junto com o controle)"));
    ImGui::PushStyleColor(ImGuiCol_Text, MUTED);
    push_font(0.86f);
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(tr("Select an action and press the new key. Applies the next time the game starts.",
                              "Selecione uma ação e aperte a nova tecla. Vale na próxima vez que o jogo abrir."));
    ImGui::PopTextWrapPos();
    ImGui::PopFont();
    ImGui::PopStyleColor();
    ImGui::Dummy(ImVec2(0, 4 * g_scale));

    for (const KeyInput& input : KEY_INPUTS) {
        std::string value = key_row_value(input);
        if (action_row(input.id, tr(input.label_en, input.label_pt), nullptr, value.c_str()))
            g_capture_key = input.id;
    }
    if (action_row("reset_keys", tr("Restore the default keys", "Restaurar as teclas padrão"), nullptr, "›"))
        reset_keys();
}

void draw_capture_overlay() {
    if (g_capture_key.empty()) return;
    const float s = g_scale;
    ImGuiIO& io = ImGui::GetIO();
    ImDrawList* dl = ImGui::GetForegroundDrawList();
    const float W = io.DisplaySize.x, D = io.DisplaySize.y;
    dl->AddRectFilled(ImVec2(0, 0), ImVec2(W, D), IM_COL32(0, 0, 0, 170));

    std::string label;
    for (const KeyInput& k : KEY_INPUTS)
        if (g_capture_key == k.id) label = tr(k.label_en, k.label_pt);
    std::string line1 = std::string(tr("Press the key for: ", "Aperte a tecla para: ")) + label;
    const char* east = g_family == 1 ? "○" : (g_family == 3 ? "A" : "B");
    std::string line2 = std::string(tr("Esc or ", "Esc ou ")) + east +
                        tr(" cancels  ·  Delete leaves it unbound", " cancela  ·  Delete deixa sem tecla");

    ImFont* font = ImGui::GetFont();
    float f1 = ImGui::GetFontSize() * 1.25f, f2 = ImGui::GetFontSize() * 0.9f;
    float w1 = font->CalcTextSizeA(f1, FLT_MAX, 0, line1.c_str()).x;
    float w2 = font->CalcTextSizeA(f2, FLT_MAX, 0, line2.c_str()).x;
    float bw = std::max(w1, w2) + 80 * s, bh = 140 * s;
    ImVec2 b0((W - bw) / 2, (D - bh) / 2), b1(b0.x + bw, b0.y + bh);
    dl->AddRectFilled(b0, b1, IM_COL32(32, 44, 58, 255), 10 * s);
    dl->AddRect(b0, b1, ACCENT, 10 * s, 0, 2 * s);
    dl->AddText(font, f1, ImVec2((W - w1) / 2, b0.y + 38 * s), TEXT_HI, line1.c_str());
    dl->AddText(font, f2, ImVec2((W - w2) / 2, b0.y + 88 * s), MUTED, line2.c_str());
}
