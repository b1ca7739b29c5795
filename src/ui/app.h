#pragma once
// The windowed launcher: start-up after the language is known, frame loop,
// shutdown. Returns the process exit status.
#include <string>

int run_window();

// Play, F5 and the pad's Start: the Play action, then the window hides when
// the game started and close_on_play is on.
void press_play();
// The end of a run, once per frame: the error toast when the game failed on
// its own (or python3 could not be started), and the window shown and raised
// (it may have hidden at Play). True when a run ended this frame (the loop
// then applies its quit-after-game request).
bool game_end_tick();

// Start-up decisions, kept pure so they can be tested without a display.
float choose_scale(float display_scale, const char* env_scale);
void parse_window_size(const char* env_size, float scale, int& w, int& h);
bool want_fullscreen(const std::string& setting, bool handheld);

const char* page_title(int index);
inline constexpr int PAGE_COUNT = 6;

// Scroll request for the Log page, in lines.
extern float g_log_scroll;

// A scripted screenshot is wanted: every frame is drawn, and pictures are
// loaded before the frame that shows them, so a shot never depends on timing.
extern bool g_exact_frames;
// Frames presented so far; the frame loop counts them.
extern int g_frames_shown;
// The GUI frame being built only settles the layout and is never rendered:
// pictures need not be made for it.
extern bool g_layout_pass;
