#pragma once
// The header and footer bars around the page area, the gamepad button
// pictures they use, and which gamepad is connected.
#include <SDL3/SDL_gamepad.h>
#include <imgui.h>

#include <string>
#include <vector>

#include "ui/rows.h"
#include "ui/theme.h"

enum class Glyph : int {
    South = 0,
    East = 1,
    West = 2,
    North = 3,
    LeftShoulder = 4,
    RightShoulder = 5,
    StartButton = 6,
    ViewButton = 7,
};

// The gamepad whose glyphs show: the one a button was last pressed on, else
// the first connected. Its name ("Gamepad" when SDL has none, empty with no
// pad) and glyph family (0 none, 1 PlayStation, 2 other, 3 Nintendo).
extern std::string g_pad_name;
extern int g_family;
extern SDL_JoystickID g_pad_id;

void refresh_gamepads();
// A button went down on this gamepad: its glyphs show from now on.
void pad_pressed(SDL_JoystickID id);
int family_of_type(SDL_GamepadType type);

// A pad-only player's way out. The east button on the Play page asks first
// (a toast); a second press within QUIT_CONFIRM_SECONDS quits. The frame loop
// takes g_quit_requested as it takes a close of the window.
inline constexpr double QUIT_CONFIRM_SECONDS = 4;
extern bool g_quit_requested;
// One east press at now: true (and g_quit_requested set) when it quits.
bool quit_press(double now);
// Forgets a first press (the player went elsewhere).
void quit_press_reset();

// Draws a button picture of the g_family style, top-left at pos, size pixels
// high; returns the width used.
float draw_glyph(ImDrawList* list, ImVec2 pos, Glyph glyph, float size);
// The width draw_glyph would use, without drawing.
float glyph_width(Glyph glyph, float size);
// Label of a chip glyph (shoulders, Start, View) for a family.
const char* glyph_label(Glyph glyph, int family);

// Which tabs the header shows and how far apart, for title widths that must
// fit room. All fit with the full gap of 30 s when they can, else with a gap
// down to 14 s; else a run of whole tabs that holds the current one is shown
// and mark (the width of one hidden-tabs arrow) is kept free at both ends.
struct TabStrip {
    float gap = 0;
    int first = 0;
    int last = -1;
    bool scrolled = false;
};
TabStrip fit_tabs(const std::vector<float>& widths, int current, float room, float scale, float mark);

// The header's horizontal layout for a display width and clock text, in the
// current font: where the tabs start, where each shown title goes (x < 0
// for a hidden one), the shoulder chips and the clock.
struct HeaderLayout {
    float tabs_x = 0;
    TabStrip strip;
    std::vector<float> tab_x, tab_w;
    std::vector<std::string> tab_text;  // a title too wide for the strip alone ends in "…"
    float lb_x = 0;          // left shoulder chip, with a pad
    float rb_x = 0, rb_w = 0;
    float more_x = -1;       // the arrow after the tabs when some are hidden there
    float end_x = 0;         // right end of the tabs and the right chip
    float clock_x = 0;
};
HeaderLayout header_layout(float display_w, const char* clock);

// Both draw into the current window (the launcher's "main" window).
void draw_header();
void draw_footer();

struct FooterHint {
    Glyph glyph;
    const char* key_label;
    const char* text;
    int rank = 0;   // 0 the most needed; a narrow footer drops the highest first
};

// The footer's hints, left to right, in the UI language: what the pad does
// on the focused row, then back (or, with a pad on the Play page, quit), then
// Play. pad: a gamepad is connected.
std::vector<FooterHint> footer_hints(int page, bool game_running, RowKind row = RowKind::None, bool pad = false);
// Which hints show: the highest ranks give way until the rest, widths[i]
// each, leave keep of room free (all of them when they do).
std::vector<bool> fit_hints(const std::vector<FooterHint>& hints, const std::vector<float>& widths, float room,
                            float keep);

// The footer's status line and its colour: the toast while it shows, else the
// game state while a game runs, else the version.
std::string footer_status_text(const std::string& toast, double toast_until, double now, bool running,
                               bool started, ImU32* color = nullptr);
// Cuts the status from the end until it fits room ("…" appended).
std::string shorten_status(const std::string& text, float room, const MeasureText& measure);
// The status on one line when it fits room, else on two broken between
// words (a word wider than room alone is broken inside), the second cut
// with "…" if it still does not fit.
std::vector<std::string> wrap_status(const std::string& text, float room, const MeasureText& measure);
// The header's pad name: first 27 bytes and "…" when longer than 28 bytes.
std::string pad_name_label(const std::string& name);
