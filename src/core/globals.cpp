#include "core/globals.h"

#include <ctime>

bool g_pt = true;
float g_scale = 1.0f;
SDL_Window* g_window = nullptr;
SDL_Renderer* g_renderer = nullptr;
int g_page = 0;
bool g_focus_first = false;

std::string local_time_text(std::time_t t, const char* format, const char* fallback) {
    std::tm tm{};
    char buf[64];
    if (!localtime_r(&t, &tm) || std::strftime(buf, sizeof buf, format, &tm) == 0) return fallback;
    return buf;
}
