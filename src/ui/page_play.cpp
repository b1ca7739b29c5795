#include <imgui.h>

#include "core/globals.h"
#include "launch/game_process.h"
#include "launch/play.h"
#include "ui/app.h"
#include "ui/pages.h"
#include "ui/theme.h"

// A first Play page: the title and the one button that matters.
void page_play(float height) {
    const float s = g_scale;
    ImVec2 avail = ImGui::GetContentRegionAvail();
    ImGui::SetCursorPos(ImVec2(48 * s, height * 0.35f));
    ImGui::PushFont(nullptr, ImGui::GetStyle().FontSizeBase * 1.7f);
    ImGui::TextUnformatted(page_title(0));
    ImGui::PopFont();
    ImGui::SetCursorPosX(48 * s);
    bool running = g_game.running.load();
    const char* label = running ? tr("Stop", "Parar") : tr("Play", "Jogar");
    if (g_focus_first) {
        ImGui::SetKeyboardFocusHere();
        g_focus_first = false;
    }
    ImGui::PushStyleColor(ImGuiCol_Button, running ? ERR : GREEN_BOTTOM);
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, running ? ERR : GREEN_TOP);
    if (ImGui::Button(label, ImVec2(std::min(320 * s, avail.x - 96 * s), 64 * s))) play_pressed();
    ImGui::PopStyleColor(2);
}
