#pragma once
// The launcher's look: palette, style, and the settings rows every page is
// built from (action, toggle and text rows, section headings).
#include <imgui.h>

#include <cfloat>

#include <string>

// Palette, IM_COL32 packing (red in the lowest byte).
inline constexpr ImU32 BG_TOP = IM_COL32(27, 40, 56, 255);
inline constexpr ImU32 BG_BOTTOM = IM_COL32(14, 20, 27, 255);
inline constexpr ImU32 HEADER = IM_COL32(23, 26, 33, 255);
inline constexpr ImU32 ROW = IM_COL32(255, 255, 255, 7);
inline constexpr ImU32 ROW_HOVER = IM_COL32(42, 63, 84, 255);
inline constexpr ImU32 ROW_FOCUS = IM_COL32(46, 82, 110, 255);
inline constexpr ImU32 TEXT = IM_COL32(199, 213, 224, 255);
inline constexpr ImU32 TEXT_HI = IM_COL32(255, 255, 255, 255);
inline constexpr ImU32 MUTED = IM_COL32(143, 152, 160, 255);
inline constexpr ImU32 ACCENT = IM_COL32(26, 159, 255, 255);
inline constexpr ImU32 ACCENT_SOFT = IM_COL32(102, 192, 244, 255);
inline constexpr ImU32 GREEN_TOP = IM_COL32(117, 176, 34, 255);
inline constexpr ImU32 GREEN_BOTTOM = IM_COL32(84, 133, 25, 255);
inline constexpr ImU32 OK = IM_COL32(164, 208, 7, 255);
inline constexpr ImU32 WARN = IM_COL32(230, 190, 70, 255);
inline constexpr ImU32 ERR = IM_COL32(222, 108, 92, 255);
inline constexpr ImU32 CARD = IM_COL32(16, 24, 33, 220);

// Literal colours shared by several widgets.
inline constexpr ImU32 BUTTON_GREY = IM_COL32(61, 68, 80, 255);
inline constexpr ImU32 BUTTON_HOVER = IM_COL32(80, 100, 120, 255);

// The UI font's base size in unscaled pixels; "font k" is k times this.
inline constexpr float FONT_BASE = 19.0f;

// Pushes the current font at k x the base size (pop with ImGui::PopFont()).
void push_font(float k);

void apply_style();

// Geometry of one row band, screen coordinates.
struct RowGeom {
    ImVec2 min;
    ImVec2 max;
    float width = 0;
    float height = 0;
    float text_width = 0;   // label column, also the help text's wrap width
    float control_x = 0;    // left edge of the control column
};

// help and label may be null. Measures only; draws nothing.
RowGeom row_layout(const char* help, const char* label);
void row_background(const RowGeom& geom, bool focused, bool hovered);
// The label ends with "…" where it would reach label_end (the control's left
// edge less the 18 s gap).
void row_texts(const RowGeom& geom, const char* label, const char* help, bool focused, float label_end = FLT_MAX);

// Returns true in the frame the row was activated.
bool action_row(const char* id, const char* label, const char* help, const char* right);
void toggle_row(const char* key, const char* label, const char* help);
void text_row(const char* key, const char* label, const char* help);
void section(const char* title);

// Upper-cases ASCII letters and the accented letters Portuguese uses.
std::string to_upper(const std::string& text);

// Whether key went down this frame (repeat included), asked as the owner
// being the most recently submitted item.
bool owned_pressed(ImGuiKey key);

// Makes the item id the key's owner, unless the key is locked away from the
// GUI (a key capture runs): a row must not win it back.
void claim_key(ImGuiKey key, ImGuiID id);

// Whether the keyboard/gamepad navigation cursor is showing (hidden after a
// mouse click).
bool nav_cursor_visible();

// Gives the keyboard focus to the next item when a page was just entered.
void take_focus_first();

// Text measured in the current font at a pixel size (0: the current size).
float text_width(const char* text, float size = 0);
