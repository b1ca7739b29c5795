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
inline constexpr ImU32 ERR = IM_COL32(230, 118, 100, 255);
inline constexpr ImU32 CARD = IM_COL32(16, 24, 33, 220);

// Literal colours shared by several widgets.
inline constexpr ImU32 BUTTON_GREY = IM_COL32(61, 68, 80, 255);
inline constexpr ImU32 BUTTON_HOVER = IM_COL32(80, 100, 120, 255);

// The hovered and focused bands are brighter than the page: muted, error and
// accent texts drawn on them take these lighter forms (see on_band), so every
// text keeps 4.5:1 and every control 3:1 against what lies behind it.
inline constexpr ImU32 MUTED_LIT = IM_COL32(182, 196, 207, 255);
inline constexpr ImU32 ERR_LIT = IM_COL32(255, 172, 160, 255);
inline constexpr ImU32 ACCENT_LIT = IM_COL32(60, 175, 255, 255);
inline constexpr ImU32 ACCENT_SOFT_LIT = IM_COL32(140, 210, 250, 255);
// Edges of dark controls (text fields, buttons) and the scroll bar's grab,
// which the grey of BUTTON_GREY alone would lose against the page.
inline constexpr ImU32 FRAME_EDGE = IM_COL32(150, 162, 172, 255);
inline constexpr ImU32 SCROLL_GRAB = IM_COL32(110, 120, 130, 255);
inline constexpr ImU32 SCROLL_GRAB_HOVER = IM_COL32(135, 145, 155, 255);
inline constexpr ImU32 SCROLL_GRAB_ACTIVE = IM_COL32(160, 170, 180, 255);

// WCAG 2 contrast ratio of two colours taken as opaque (1 to 21).
float contrast_ratio(ImU32 a, ImU32 b);
// top drawn at its own alpha over an opaque backdrop.
ImU32 blend_over(ImU32 top, ImU32 backdrop);

// Which band a row shows, as row_background paints it.
enum class Band { Idle, Hover, Focus };
Band row_band(bool focused, bool hovered);
// The band's colour as seen: the idle band over the page's brightest part.
ImU32 band_color(Band band);
// A palette colour as drawn on a band: MUTED, ERR, ACCENT and ACCENT_SOFT
// take their lighter forms on the hovered and focused bands.
ImU32 on_band(ImU32 color, Band band);

// What the pad does on the focused row, for the footer's hints: each row
// reports its kind while it holds the focus, and the frame loop clears it
// before the page is drawn.
enum class RowKind { None, Button, Toggle, Text, Typing, Choice, Folder, FolderSet };
extern RowKind g_focused_row;
// The band of the row holding the focus this frame (screen coordinates; id
// 0 when none), recorded by row_background: the frame loop scrolls it into
// view when the focus moves onto it.
struct FocusedBand {
    ImGuiID id = 0;
    ImVec2 min, max;
};
extern FocusedBand g_focused_band;
// For the item just submitted: records kind when it holds the focus (a text
// field being edited records Typing).
void report_row(RowKind kind);

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
