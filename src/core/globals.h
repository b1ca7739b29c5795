#pragma once
// Process-wide state decided at start-up or owned by the frame loop.
#include <ctime>
#include <string>

struct SDL_Window;
struct SDL_Renderer;

extern bool g_pt;             // Portuguese texts when true
extern float g_scale;         // UI scale
extern SDL_Window* g_window;
extern SDL_Renderer* g_renderer;
extern int g_page;            // 0 Play .. 5 Log
extern bool g_focus_first;

// Picks the text for the UI language.
inline const char* tr(const char* en, const char* pt) { return g_pt ? pt : en; }
inline std::string tr(const std::string& en, const std::string& pt) { return g_pt ? pt : en; }
// The same for the language a caller names (pure functions, tested in both).
inline const char* tr(bool pt, const char* en, const char* pt_text) { return pt ? pt_text : en; }
inline std::string tr(bool pt, const std::string& en, const std::string& pt_text) { return pt ? pt_text : en; }

// Local time t in strftime's format; fallback when it cannot be formatted.
std::string local_time_text(std::time_t t, const char* format, const char* fallback);
