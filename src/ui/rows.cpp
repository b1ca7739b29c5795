#include "ui/rows.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>

#include "core/globals.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/toast.h"
#include "discovery/folder.h"
#include "ui/chrome.h"
#include "ui/theme.h"

namespace {

const char* const ELLIPSIS = "…";

float measure_current(const std::string& text) { return ImGui::CalcTextSize(text.c_str()).x; }

}  // namespace

std::vector<ChoiceItem> choice_items(const Opt* opts, int count, const std::vector<std::string>* extra, bool pt) {
    std::vector<ChoiceItem> items;
    for (int i = 0; opts && i < count; ++i)
        items.push_back({opts[i].value, tr(pt, opts[i].label_en, opts[i].label_pt)});
    if (extra)
        for (const std::string& name : *extra) items.push_back({name, name});
    return items;
}

int choice_current_index(std::vector<ChoiceItem>& items, const std::string& stored, bool extra_given,
                         bool* appended) {
    if (appended) *appended = false;
    for (int i = static_cast<int>(items.size()) - 1; i >= 0; --i)
        if (items[i].value == stored) return i;
    if (extra_given && !stored.empty()) {
        items.push_back({stored, stored});
        if (appended) *appended = true;
        return static_cast<int>(items.size()) - 1;
    }
    return 0;
}

int choice_step(int index, int d, int n) {
    if (n <= 0) return 0;
    return ((index + d) % n + n) % n;
}

namespace {

bool utf8_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string shorten_end(const std::string& text, float room, const MeasureText& measure) {
    std::string t = text;
    while (t.size() > 4 && measure(t) > room) {
        // Never cut inside a character: that would draw as a broken glyph.
        size_t n = t.size() - 4;
        while (n > 0 && utf8_continuation(t[n])) --n;
        t = t.substr(0, n) + ELLIPSIS;
    }
    return t;
}

std::string shorten_front(const std::string& path, float room, const MeasureText& measure) {
    if (measure(path) <= room) return path;
    std::string s = path;
    while (s.size() > 4 && measure(ELLIPSIS + s) > room) {
        s.erase(0, 1);
        while (!s.empty() && utf8_continuation(s[0])) s.erase(0, 1);
    }
    return ELLIPSIS + s;
}

void choice_row(const char* key, const Opt* opts, int count, const char* label, const char* help,
                const std::vector<std::string>* extra) {
    std::vector<ChoiceItem> items = choice_items(opts, count, extra, g_pt);
    if (items.empty()) items.push_back({"", ""});
    int index = choice_current_index(items, S.get(key), extra != nullptr);
    if (choice_row_index(key, items, index, label, help)) {
        S.set(key, items[index].value);
        g_dirty = true;
    }
}

bool choice_row_index(const char* id, const std::vector<ChoiceItem>& items, int& index, const char* label,
                      const char* help) {
    const float s = g_scale;
    if (items.empty()) return false;
    index = std::clamp(index, 0, static_cast<int>(items.size()) - 1);
    ImGui::PushID(id);

    RowGeom g = row_layout(help, label);
    take_focus_first();
    bool activated =
        ImGui::InvisibleButton("row", ImVec2(std::max(g.width, 1.0f), std::max(g.height, 1.0f)), ImGuiButtonFlags_EnableNav);
    bool focused = ImGui::IsItemFocused();
    bool hovered = ImGui::IsItemHovered();
    report_row(RowKind::Choice);

    int d = 0;
    if (activated) {
        // Only a mouse click looks at where the pointer is: a focused row
        // counts as hovered under keyboard/gamepad navigation, and those
        // activations always step forward.
        bool by_mouse = ImGui::GetCurrentContext()->NavActivateId != ImGui::GetItemID();
        bool back = by_mouse && ImGui::IsMouseHoveringRect(g.min, g.max, false) &&
                    ImGui::GetIO().MousePos.x < g.control_x + 40 * s;
        d = back ? -1 : +1;
    }
    if (focused) {
        // Left/right step the value instead of moving the focus.
        static const ImGuiKey STEP_KEYS[] = {ImGuiKey_GamepadDpadLeft,    ImGuiKey_GamepadDpadRight,
                                             ImGuiKey_GamepadLStickLeft,  ImGuiKey_GamepadLStickRight,
                                             ImGuiKey_LeftArrow,          ImGuiKey_RightArrow};
        ImGuiID id = ImGui::GetItemID();
        for (ImGuiKey k : STEP_KEYS) claim_key(k, id);
        if (owned_pressed(ImGuiKey_GamepadDpadLeft) || owned_pressed(ImGuiKey_GamepadLStickLeft) ||
            owned_pressed(ImGuiKey_LeftArrow))
            d = -1;
        if (owned_pressed(ImGuiKey_GamepadDpadRight) || owned_pressed(ImGuiKey_GamepadLStickRight) ||
            owned_pressed(ImGuiKey_RightArrow))
            d = +1;
    }
    if (d != 0) index = choice_step(index, d, static_cast<int>(items.size()));

    bool lit = focused && nav_cursor_visible();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    float y = g.min.y + (g.height - ImGui::GetFontSize()) / 2;
    ImU32 arrow = on_band(lit ? ACCENT_SOFT : MUTED, row_band(focused, hovered));
    float aw = text_width("›");
    float x_r = g.max.x - 18 * s - aw;
    float room = (g.max.x - 18 * s - g.control_x) - 2 * aw - 28 * s;
    std::string value = shorten_end(items[index].label, room, measure_current);
    float x_v = x_r - 14 * s - text_width(value.c_str());
    float x_l = x_v - 14 * s - aw;

    row_background(g, focused, hovered);
    row_texts(g, label, help, focused, x_l - 18 * s);
    dl->AddText(ImVec2(x_r, y), arrow, "›");
    dl->AddText(ImVec2(x_v, y), lit ? TEXT_HI : TEXT, value.c_str());
    dl->AddText(ImVec2(x_l, y), arrow, "‹");

    ImGui::PopID();
    ImGui::Dummy(ImVec2(0, 4 * s));
    return d != 0;
}

namespace {

// A folder setting is cleared only by a second press: a stray one must not
// throw away a path the player found with care.
constexpr double CLEAR_CONFIRM_SECONDS = 4;
std::string g_clear_key;   // the row pressed once, until g_clear_until
double g_clear_until = 0;

const char* west_button_name() { return g_family == 1 ? "□" : g_family == 3 ? "Y" : "X"; }

void clear_pressed(const char* key, bool by_pad) {
    const double now = now_seconds();
    if (g_clear_key == key && now < g_clear_until) {
        S.set(key, "");
        g_dirty = true;
        g_clear_key.clear();
        return;
    }
    g_clear_key = key;
    g_clear_until = now + CLEAR_CONFIRM_SECONDS;
    const std::string button = by_pad ? west_button_name() : "Delete";
    toast(tr("Press " + button + " again to clear", "Pressione " + button + " de novo para limpar"),
          CLEAR_CONFIRM_SECONDS);
}

}  // namespace

void folder_row(const char* key, const char* label, const char* help, const char* placeholder) {
    const float s = g_scale;
    ImGui::PushID(key);
    RowGeom g = row_layout(help, label);
    take_focus_first();
    bool activated =
        ImGui::InvisibleButton("row", ImVec2(std::max(g.width, 1.0f), std::max(g.height, 1.0f)), ImGuiButtonFlags_EnableNav);
    bool focused = ImGui::IsItemFocused();
    bool hovered = ImGui::IsItemHovered();
    report_row(S.get(key).empty() ? RowKind::Folder : RowKind::FolderSet);
    if (activated) pick_folder(key);
    if (focused) {
        ImGuiID id = ImGui::GetItemID();
        claim_key(ImGuiKey_GamepadFaceLeft, id);
        claim_key(ImGuiKey_Delete, id);
        // Without repeat: holding the button is not a second press.
        const bool by_pad = ImGui::IsKeyPressed(ImGuiKey_GamepadFaceLeft, ImGuiInputFlags_None, id);
        const bool by_key = ImGui::IsKeyPressed(ImGuiKey_Delete, ImGuiInputFlags_None, id);
        if ((by_pad || by_key) && !S.get(key).empty()) clear_pressed(key, by_pad);
    }
    std::string v = S.get(key);
    std::string shown;
    ImU32 color;
    const bool in_dialog = g_folder_choice.way == FolderWay::dialog && g_folder_choice.key &&
                           std::string(g_folder_choice.key) == key;
    if (in_dialog) {
        // The dialog may open behind the window: the row tells where the choice is.
        shown = tr("choosing in the dialog…", "escolhendo na janela…");
        color = ACCENT_SOFT;
    } else if (v.empty()) {
        shown = placeholder ? placeholder : tr("Choose…", "Escolher…");
        color = MUTED;
    } else {
        color = is_dir(v) ? TEXT : ERR;
        shown = shorten_front(v, g.max.x - 18 * s - g.control_x, measure_current);
    }
    float y = g.min.y + (g.height - ImGui::GetFontSize()) / 2;
    float x_v = g.max.x - 18 * s - text_width(shown.c_str());
    row_background(g, focused, hovered);
    row_texts(g, label, help, focused, x_v - 18 * s);
    ImGui::GetWindowDrawList()->AddText(ImVec2(x_v, y), on_band(color, row_band(focused, hovered)), shown.c_str());

    ImGui::PopID();
    ImGui::Dummy(ImVec2(0, 4 * s));
}
