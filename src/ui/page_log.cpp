#include <SDL3/SDL.h>
#include <cmath>
#include <imgui.h>

#include "core/globals.h"
#include "core/paths.h"
#include "launch/game_process.h"
#include "launch/last_run.h"
#include "ui/app.h"
#include "ui/page_log.h"
#include "ui/pages.h"
#include "ui/rows.h"
#include "ui/theme.h"
#include "core/toast.h"

std::string log_text_for_copy() {
    // The previous run's lines say which run they are, pasted anywhere.
    std::string all = shown_previous_run();
    if (!all.empty()) all += '\n';
    std::lock_guard<std::mutex> lock(g_log.mutex);
    for (const auto& line : g_log.lines) {
        // The clipboard takes a C string: a NUL would end the copy there.
        for (char c : line) {
            if (c == '\0')
                all += "\xE2\x90\x80";   // U+2400, the visible NUL
            else
                all += c;
        }
        all += '\n';
    }
    return all;
}

std::string file_url(const fs::path& path) {
    // Left as they are, '#', '?' and '%' would be read as the address's own
    // syntax and the file manager would open another folder.
    static const char HEX[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (char ch : path.string()) {
        unsigned char c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~' || c == '/') {
            url += ch;
        } else {
            url += '%';
            url += HEX[c >> 4];
            url += HEX[c & 0xF];
        }
    }
    return url;
}

void open_folder(const fs::path& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    SDL_OpenURL(file_url(path).c_str());
}

namespace {

// A narrow column (a large scale in a small window) shortens the label of
// the button at the cursor rather than let it run past the column; one line
// of buttons leaves the log its room.
std::string fit_button_label(const char* label) {
    const float room = ImGui::GetContentRegionAvail().x - 2 * ImGui::GetStyle().FramePadding.x;
    if (ImGui::CalcTextSize(label).x <= room) return label;
    return shorten_end(label, room, [](const std::string& t) { return ImGui::CalcTextSize(t.c_str()).x; });
}

// One line in the muted colour, shortened to the room left on it.
void muted_line(const std::string& text) {
    const float room = ImGui::GetContentRegionAvail().x;
    const std::string shown =
        shorten_end(text, room, [](const std::string& t) { return ImGui::CalcTextSize(t.c_str()).x; });
    ImGui::TextDisabled("%s", shown.c_str());
}

// Under the buttons, the crash copies kept. They give way where the page is
// short (the logs folder holds them too), so the log keeps room for its lines.
void crash_notes() {
    const CrashCopies crashes = shown_crash_copies(g_data);
    if (crashes.count == 0) return;
    const float log_line = FONT_BASE * 0.82f * g_scale + ImGui::GetStyle().ItemSpacing.y;
    if (ImGui::GetContentRegionAvail().y - ImGui::GetFrameHeightWithSpacing() < 5 * log_line + 42 * g_scale) return;
    const std::string label = fit_button_label(tr("Open the crashes folder", "Abrir pasta das falhas"));
    if (ImGui::Button((label + "##crashes").c_str())) open_folder(g_data / "crashes");
    ImGui::SameLine();
    ImGui::AlignTextToFramePadding();
    muted_line(crash_copies_text(crashes, g_pt));
}

}  // namespace

void page_log() {
    const float s = g_scale;
    // Lines of the previous run say so under the page's title, in the log's
    // small font, where the gap above the buttons would be.
    const std::string previous = shown_previous_run();
    if (!previous.empty()) {
        ImGui::SetCursorPosY(ImGui::GetCursorPosY() + 4 * s);
        push_font(0.82f);
        muted_line(previous);
        ImGui::PopFont();
    } else {
        ImGui::Dummy(ImVec2(0, 14 * s));
    }
    take_focus_first();
    if (ImGui::Button(tr("Copy", "Copiar"))) {
        // The lock covers only building the text, never the clipboard call.
        std::string all = log_text_for_copy();
        SDL_SetClipboardText(all.c_str());
        toast(tr("Log copied.", "Registro copiado."), 5);
    }
    ImGui::SameLine();
    if (ImGui::Button(tr("Clear", "Limpar"))) {
        forget_previous_run();
        g_log.clear();
    }
    ImGui::SameLine();
    const std::string open = fit_button_label(tr("Open the logs folder", "Abrir pasta dos registros"));
    if (ImGui::Button((open + "##open").c_str())) open_folder(g_data);
    crash_notes();
    ImGui::Dummy(ImVec2(0, 6 * s));

    ImGui::PushStyleColor(ImGuiCol_ChildBg, IM_COL32(8, 12, 16, 230));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(12 * s, 10 * s));
    float h = std::max(1.0f, ImGui::GetContentRegionAvail().y - 16 * s);
    if (ImGui::BeginChild("log", ImVec2(0, h), ImGuiChildFlags_AlwaysUseWindowPadding,
                          ImGuiWindowFlags_HorizontalScrollbar)) {
        push_font(0.82f);
        float y = ImGui::GetScrollY(), y_max = ImGui::GetScrollMaxY();
        {
            std::lock_guard<std::mutex> lock(g_log.mutex);
            if (g_log.lines.empty()) {
                ImGui::TextDisabled("%s", tr("Nothing yet. The game's output shows here.",
                                             "Nada ainda. A saída do jogo aparece aqui."));
            } else {
                ImGuiListClipper clip;
                clip.Begin(static_cast<int>(g_log.lines.size()));
                while (clip.Step())
                    for (int i = clip.DisplayStart; i < clip.DisplayEnd; ++i) {
                        const std::string& line = g_log.lines[static_cast<size_t>(i)];
                        ImGui::TextUnformatted(line.data(), line.data() + line.size());
                    }
            }
            // The previous run's lines, handed over into an empty log after
            // the label above was looked at, are followed again next frame,
            // once the label has shortened the area.
            static bool follow_next = false;
            if ((g_log.changed && y >= y_max - 2) || follow_next) ImGui::SetScrollHereY(1.0f);
            follow_next = previous.empty() && previous_run_in_log();
            g_log.changed = false;
        }
        if (g_log_scroll != 0 || std::isnan(g_log_scroll)) {
            float step = std::isnan(g_log_scroll) ? 0 : g_log_scroll;
            ImGui::SetScrollY(ImGui::GetScrollY() + step * ImGui::GetTextLineHeightWithSpacing());
            g_log_scroll = 0;
        }
        ImGui::PopFont();
    }
    ImGui::EndChild();
    ImGui::PopStyleVar();
    ImGui::PopStyleColor();
}
