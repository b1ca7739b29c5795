#include "ui/theme.h"

#include <imgui_internal.h>

#include <algorithm>
#include <cfloat>
#include <cstring>

#include "core/globals.h"
#include "core/settings.h"
#include "ui/rows.h"
#include "core/toast.h"

void push_font(float k) { ImGui::PushFont(nullptr, FONT_BASE * k); }

float text_width(const char* text, float size) {
    if (!text) return 0;
    if (size <= 0) return ImGui::CalcTextSize(text).x;
    return ImGui::GetFont()->CalcTextSizeA(size, FLT_MAX, 0, text).x;
}

void apply_style() {
    ImGuiStyle& st = ImGui::GetStyle();
    // The font sizes belong to start-up, not to the look: a fresh style would
    // drop the base size back to the atlas font's own.
    const float font_base = st.FontSizeBase, font_main = st.FontScaleMain, font_dpi = st.FontScaleDpi;
    st = ImGuiStyle();
    st.FontSizeBase = font_base;
    st.FontScaleMain = font_main;
    st.FontScaleDpi = font_dpi;
    ImGui::StyleColorsDark(&st);

    st.WindowPadding = ImVec2(0, 0);
    st.WindowBorderSize = 0;
    st.FramePadding = ImVec2(12, 8);
    st.FrameRounding = 6;
    st.ItemSpacing = ImVec2(10, 8);
    st.ChildRounding = 8;
    st.ChildBorderSize = 0;
    st.ScrollbarSize = 10;
    st.ScrollbarRounding = 6;
    st.PopupRounding = 8;

    auto col = [&](ImGuiCol slot, ImU32 c) { st.Colors[slot] = ImGui::ColorConvertU32ToFloat4(c); };
    col(ImGuiCol_Text, TEXT);
    col(ImGuiCol_TextDisabled, MUTED);
    col(ImGuiCol_WindowBg, IM_COL32(0, 0, 0, 0));
    col(ImGuiCol_ChildBg, IM_COL32(0, 0, 0, 0));
    col(ImGuiCol_FrameBg, IM_COL32(10, 16, 22, 255));
    col(ImGuiCol_FrameBgHovered, IM_COL32(18, 28, 38, 255));
    col(ImGuiCol_FrameBgActive, IM_COL32(18, 28, 38, 255));
    col(ImGuiCol_Button, BUTTON_GREY);
    col(ImGuiCol_ButtonHovered, BUTTON_HOVER);
    col(ImGuiCol_ButtonActive, ACCENT);
    col(ImGuiCol_ScrollbarBg, IM_COL32(0, 0, 0, 0));
    col(ImGuiCol_ScrollbarGrab, BUTTON_GREY);
    col(ImGuiCol_NavCursor, ACCENT_SOFT);
    col(ImGuiCol_TextSelectedBg, IM_COL32(26, 159, 255, 110));

    st.ScaleAllSizes(g_scale);
}

bool nav_cursor_visible() {
    ImGuiContext* g = ImGui::GetCurrentContext();
    return g && (g->NavCursorVisible || g->IO.ConfigNavCursorVisibleAlways);
}

bool owned_pressed(ImGuiKey key) {
    return ImGui::IsKeyPressed(key, ImGuiInputFlags_Repeat, ImGui::GetItemID());
}

void claim_key(ImGuiKey key, ImGuiID id) {
    if (ImGui::TestKeyOwner(key, ImGuiKeyOwner_Any)) ImGui::SetKeyOwner(key, id);
}

void take_focus_first() {
    if (!g_focus_first) return;
    ImGui::SetKeyboardFocusHere();
    g_focus_first = false;
}

namespace {

float help_height(const char* help, float wrap) {
    if (!help || !*help) return 0;
    float size = ImGui::GetFontSize() * 0.84f;
    return ImGui::GetFont()->CalcTextSizeA(size, FLT_MAX, std::max(wrap, 1.0f), help).y + 4 * g_scale;
}

// InvisibleButton refuses a zero size; a squeezed window must not abort.
ImVec2 band_size(const RowGeom& g) { return ImVec2(std::max(g.width, 1.0f), std::max(g.height, 1.0f)); }

bool cursor_focused(bool focused) { return focused && nav_cursor_visible(); }

}  // namespace

RowGeom row_layout(const char* help, const char* label) {
    const float s = g_scale;
    RowGeom g;
    g.width = ImGui::GetContentRegionAvail().x;
    float w = std::min(440 * s, 0.44f * g.width);
    if (label && (!help || !*help)) w = std::max(w, g.width - 54 * s - ImGui::CalcTextSize(label).x - 24 * s);
    g.text_width = g.width - w - 54 * s;
    float h = 2 * 12 * s + ImGui::GetFontSize() + help_height(help, g.text_width);
    g.height = std::max(h, 60 * s);
    g.min = ImGui::GetCursorScreenPos();
    g.max = ImVec2(g.min.x + g.width, g.min.y + g.height);
    g.control_x = g.min.x + g.width - 18 * s - w;
    return g;
}

void row_background(const RowGeom& g, bool focused, bool hovered) {
    const float s = g_scale;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    if (cursor_focused(focused)) {
        dl->AddRectFilled(g.min, g.max, ROW_FOCUS, 6 * s);
        dl->AddRectFilled(g.min, ImVec2(g.min.x + 4 * s, g.max.y), ACCENT, 6 * s, ImDrawFlags_RoundCornersLeft);
        return;
    }
    dl->AddRectFilled(g.min, g.max, hovered ? ROW_HOVER : ROW, 6 * s);
}

void row_texts(const RowGeom& g, const char* label, const char* help, bool focused, float label_end) {
    const float s = g_scale;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    float line = ImGui::GetFontSize();
    float hh = help_height(help, g.text_width);
    float y = g.min.y + std::max(12 * s, (g.height - (line + hh)) / 2);
    if (label) {
        const float x = g.min.x + 18 * s;
        std::string shown = label;
        if (label_end < FLT_MAX && x + ImGui::CalcTextSize(label).x > label_end)
            shown = shorten_end(label, label_end - x, [](const std::string& t) { return ImGui::CalcTextSize(t.c_str()).x; });
        dl->AddText(ImVec2(x, y), cursor_focused(focused) ? TEXT_HI : TEXT, shown.c_str());
    }
    if (help && *help)
        dl->AddText(ImGui::GetFont(), line * 0.84f, ImVec2(g.min.x + 18 * s, y + line + 4 * s), MUTED, help, nullptr,
                    std::max(g.text_width, 1.0f));
}

bool action_row(const char* id, const char* label, const char* help, const char* right) {
    const float s = g_scale;
    ImGui::PushID(id);
    RowGeom g = row_layout(help, label);
    take_focus_first();
    bool activated = ImGui::InvisibleButton("row", band_size(g), ImGuiButtonFlags_EnableNav);
    bool focused = ImGui::IsItemFocused();
    bool hovered = ImGui::IsItemHovered();
    row_background(g, focused, hovered);
    const float right_x = g.max.x - 18 * s - (right && *right ? text_width(right) : 0);
    row_texts(g, label, help, focused, right_x - 18 * s);
    if (right && *right) {
        float y = g.min.y + (g.height - ImGui::GetFontSize()) / 2;
        ImGui::GetWindowDrawList()->AddText(ImVec2(right_x, y), cursor_focused(focused) ? ACCENT_SOFT : MUTED, right);
    }
    ImGui::PopID();
    ImGui::Dummy(ImVec2(0, 4 * s));
    return activated;
}

void toggle_row(const char* key, const char* label, const char* help) {
    const float s = g_scale;
    ImGui::PushID(key);
    RowGeom g = row_layout(help, nullptr);
    take_focus_first();
    bool activated = ImGui::InvisibleButton("row", band_size(g), ImGuiButtonFlags_EnableNav);
    bool focused = ImGui::IsItemFocused();
    bool hovered = ImGui::IsItemHovered();
    if (activated) {
        S.set(key, S.on(key) ? "0" : "1");
        g_dirty = true;
    }
    row_background(g, focused, hovered);
    row_texts(g, label, help, focused, g.max.x - 18 * s - 48 * s - 18 * s);

    bool on = S.on(key);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    ImVec2 t0(g.max.x - 18 * s - 48 * s, g.min.y + (g.height - 26 * s) / 2);
    ImVec2 t1(t0.x + 48 * s, t0.y + 26 * s);
    dl->AddRectFilled(t0, t1, on ? ACCENT : BUTTON_GREY, 13 * s);
    ImVec2 knob = on ? ImVec2(t1.x - 13 * s, t0.y + 13 * s) : ImVec2(t0.x + 13 * s, t0.y + 13 * s);
    dl->AddCircleFilled(knob, 13 * s - 3 * s, TEXT_HI, 24);
    ImGui::PopID();
    ImGui::Dummy(ImVec2(0, 4 * s));
}

namespace {

// Lets the field grow the string it edits, so a value of any length is kept.
int grow_string(ImGuiInputTextCallbackData* data) {
    if (data->EventFlag == ImGuiInputTextFlags_CallbackResize) {
        auto* text = static_cast<std::string*>(data->UserData);
        text->resize(static_cast<size_t>(data->BufTextLen));
        data->Buf = text->data();
    }
    return 0;
}

}  // namespace

void text_row(const char* key, const char* label, const char* help) {
    const float s = g_scale;
    ImGui::PushID(key);
    RowGeom g = row_layout(help, nullptr);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    // The band is drawn after the field but must lie beneath it.
    dl->ChannelsSplit(2);
    dl->ChannelsSetCurrent(1);
    ImVec2 cursor = ImGui::GetCursorScreenPos();
    ImGui::SetCursorScreenPos(ImVec2(g.control_x, g.min.y + (g.height - ImGui::GetFrameHeight()) / 2));
    take_focus_first();

    std::string value = S.get(key);
    ImGui::SetNextItemWidth(std::max(g.max.x - 18 * s - g.control_x, 1.0f));
    // The store follows every keystroke; the file is written once the field
    // is left or typing pauses, not with every key.
    if (ImGui::InputText("##v", value.data(), value.capacity() + 1, ImGuiInputTextFlags_CallbackResize, grow_string,
                         &value)) {
        S.set(key, value);
        text_edited(now_seconds());
    }
    if (ImGui::IsItemDeactivatedAfterEdit()) text_field_left();
    bool focused = ImGui::IsItemFocused() || ImGui::IsItemActive();
    bool hovered = ImGui::IsItemHovered();
    row_texts(g, label, help, focused, g.control_x - 18 * s);
    dl->ChannelsSetCurrent(0);
    row_background(g, focused, hovered);
    dl->ChannelsMerge();

    ImGui::SetCursorScreenPos(cursor);
    ImGui::Dummy(band_size(g));
    ImGui::PopID();
    ImGui::Dummy(ImVec2(0, 4 * s));
}

void section(const char* title) {
    const float s = g_scale;
    ImGui::Dummy(ImVec2(0, 14 * s));
    ImGui::PushStyleColor(ImGuiCol_Text, ACCENT_SOFT);
    push_font(0.86f);
    ImGui::TextUnformatted(to_upper(title ? title : "").c_str());
    ImGui::PopFont();
    ImGui::PopStyleColor();
    ImGui::Dummy(ImVec2(0, 2 * s));
}

namespace {

struct CasePair {
    const char* lower;
    const char* upper;
};

const CasePair CASE_PAIRS[] = {
    {"á", "Á"}, {"à", "À"}, {"â", "Â"}, {"ã", "Ã"}, {"ç", "Ç"}, {"é", "É"}, {"ê", "Ê"},
    {"í", "Í"}, {"ó", "Ó"}, {"ô", "Ô"}, {"õ", "Õ"}, {"ú", "Ú"}, {"ü", "Ü"},
};

}  // namespace

std::string to_upper(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        bool matched = false;
        for (const CasePair& p : CASE_PAIRS) {
            size_t len = std::strlen(p.lower);
            if (text.compare(i, len, p.lower) == 0) {
                out += p.upper;
                i += len;
                matched = true;
                break;
            }
        }
        if (matched) continue;
        char c = text[i++];
        out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return out;
}
