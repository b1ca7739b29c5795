#include "ui/theme.h"

#include <imgui_internal.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "core/globals.h"
#include "core/settings.h"
#include "ui/chrome.h"
#include "ui/rows.h"
#include "core/toast.h"

void push_font(float k) { ImGui::PushFont(nullptr, FONT_BASE * k); }

namespace {

float relative_luminance(ImU32 c) {
    auto lin = [&](int shift) {
        float v = static_cast<float>((c >> shift) & 0xFF) / 255.0f;
        return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
    };
    return 0.2126f * lin(IM_COL32_R_SHIFT) + 0.7152f * lin(IM_COL32_G_SHIFT) + 0.0722f * lin(IM_COL32_B_SHIFT);
}

}  // namespace

float contrast_ratio(ImU32 a, ImU32 b) {
    float la = relative_luminance(a), lb = relative_luminance(b);
    return (std::max(la, lb) + 0.05f) / (std::min(la, lb) + 0.05f);
}

ImU32 blend_over(ImU32 top, ImU32 backdrop) {
    const float a = static_cast<float>((top >> IM_COL32_A_SHIFT) & 0xFF) / 255.0f;
    auto mix = [&](int shift) {
        float t = static_cast<float>((top >> shift) & 0xFF), b = static_cast<float>((backdrop >> shift) & 0xFF);
        return static_cast<ImU32>(std::lround(t * a + b * (1 - a))) << shift;
    };
    return mix(IM_COL32_R_SHIFT) | mix(IM_COL32_G_SHIFT) | mix(IM_COL32_B_SHIFT) | IM_COL32_A_MASK;
}

ImU32 band_color(Band band) {
    switch (band) {
    case Band::Focus: return ROW_FOCUS;
    case Band::Hover: return ROW_HOVER;
    default: return blend_over(ROW, BG_TOP);
    }
}

ImU32 on_band(ImU32 color, Band band) {
    if (band == Band::Idle) return color;
    if (color == MUTED) return MUTED_LIT;
    if (color == ERR) return ERR_LIT;
    if (color == ACCENT_SOFT && band == Band::Focus) return ACCENT_SOFT_LIT;
    if (color == ACCENT && band == Band::Focus) return ACCENT_LIT;
    return color;
}

RowKind g_focused_row = RowKind::None;
FocusedBand g_focused_band;

void report_row(RowKind kind) {
    if (!ImGui::IsItemFocused() && !ImGui::IsItemActive()) return;
    g_focused_row = kind == RowKind::Text && ImGui::IsItemActive() ? RowKind::Typing : kind;
}

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
    col(ImGuiCol_ScrollbarGrab, SCROLL_GRAB);
    col(ImGuiCol_ScrollbarGrabHovered, SCROLL_GRAB_HOVER);
    col(ImGuiCol_ScrollbarGrabActive, SCROLL_GRAB_ACTIVE);
    col(ImGuiCol_Border, FRAME_EDGE);
    col(ImGuiCol_NavCursor, ACCENT_SOFT);
    col(ImGuiCol_TextSelectedBg, IM_COL32(26, 159, 255, 110));

    st.ScaleAllSizes(g_scale);
    // Text fields and buttons are dark on a dark page: an edge shows them
    // (border sizes are left out of the scaling above).
    st.FrameBorderSize = std::max(1.0f, std::floor(g_scale));
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

Band row_band(bool focused, bool hovered) {
    return cursor_focused(focused) ? Band::Focus : hovered ? Band::Hover : Band::Idle;
}

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
    if (focused) g_focused_band = {ImGui::GetItemID(), g.min, g.max};
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
    // Callers know the field or button they hover, not always the band; the
    // pointer over the band stands for it (a lighter help is never too dim).
    const Band band = row_band(focused, ImGui::IsMouseHoveringRect(g.min, g.max, false));
    if (help && *help)
        dl->AddText(ImGui::GetFont(), line * 0.84f, ImVec2(g.min.x + 18 * s, y + line + 4 * s), on_band(MUTED, band),
                    help, nullptr, std::max(g.text_width, 1.0f));
}

bool action_row(const char* id, const char* label, const char* help, const char* right) {
    const float s = g_scale;
    ImGui::PushID(id);
    RowGeom g = row_layout(help, label);
    take_focus_first();
    bool activated = ImGui::InvisibleButton("row", band_size(g), ImGuiButtonFlags_EnableNav);
    bool focused = ImGui::IsItemFocused();
    bool hovered = ImGui::IsItemHovered();
    report_row(RowKind::Button);
    row_background(g, focused, hovered);
    const float right_x = g.max.x - 18 * s - (right && *right ? text_width(right) : 0);
    row_texts(g, label, help, focused, right_x - 18 * s);
    if (right && *right) {
        float y = g.min.y + (g.height - ImGui::GetFontSize()) / 2;
        ImGui::GetWindowDrawList()->AddText(
            ImVec2(right_x, y), on_band(cursor_focused(focused) ? ACCENT_SOFT : MUTED, row_band(focused, hovered)), right);
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
    report_row(RowKind::Toggle);
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
    const Band band = row_band(focused, hovered);
    dl->AddRectFilled(t0, t1, on ? on_band(ACCENT, band) : BUTTON_GREY, 13 * s);
    // The grey track alone is all but lost on the band.
    if (!on) dl->AddRect(t0, t1, on_band(MUTED, band), 13 * s, 0, std::max(1.0f, 1.5f * s));
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

// How an edit ends, named with the pad in hand (its east button).
const char* edit_hint() {
    switch (g_family) {
    case 0: return tr("Enter keeps it; Esc undoes.", "Enter mantém; Esc desfaz.");
    case 1: return tr("Enter or ○ keeps it; Esc undoes.", "Enter ou ○ mantém; Esc desfaz.");
    case 3: return tr("Enter or A keeps it; Esc undoes.", "Enter ou A mantém; Esc desfaz.");
    default: return tr("Enter or B keeps it; Esc undoes.", "Enter ou B mantém; Esc desfaz.");
    }
}

// A pad player starts typing with the activate button and ends it with the
// cancel button, keeping the text: Steam's on-screen keyboard opens when text
// input starts, and what was typed on it must not be lost to a "Back". The
// library leaves typing to the north button and makes cancel undo the edit,
// as Escape does; Escape keeps undoing it.
void pad_edit_keys(ImGuiID field) {
    ImGuiContext& gc = *ImGui::GetCurrentContext();
    if (gc.NavActivateId == field) gc.NavActivateFlags |= ImGuiActivateFlags_PreferInput;
    const ImGuiIO& io = gc.IO;
    const bool pad =
        (io.ConfigFlags & ImGuiConfigFlags_NavEnableGamepad) && (io.BackendFlags & ImGuiBackendFlags_HasGamepad);
    const ImGuiKey cancel = io.ConfigNavSwapGamepadButtons ? ImGuiKey_GamepadFaceDown : ImGuiKey_GamepadFaceRight;
    if (pad && gc.ActiveId == field && ImGui::IsKeyPressed(cancel, false)) ImGui::ClearActiveID();
}

}  // namespace

void text_row(const char* key, const char* label, const char* help) {
    const float s = g_scale;
    ImGui::PushID(key);
    const ImGuiID field = ImGui::GetID("##v");
    if (ImGui::GetActiveID() == field) help = edit_hint();
    RowGeom g = row_layout(help, nullptr);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    // The band is drawn after the field but must lie beneath it.
    dl->ChannelsSplit(2);
    dl->ChannelsSetCurrent(1);
    ImVec2 cursor = ImGui::GetCursorScreenPos();
    ImGui::SetCursorScreenPos(ImVec2(g.control_x, g.min.y + (g.height - ImGui::GetFrameHeight()) / 2));
    take_focus_first();
    pad_edit_keys(field);

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
    report_row(RowKind::Text);
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
