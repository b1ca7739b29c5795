#include "core/toast.h"

#include <SDL3/SDL_timer.h>

std::string g_toast;
double g_toast_until = 0;

double now_seconds() { return static_cast<double>(SDL_GetTicks()) / 1000.0; }

void toast(const std::string& text, double seconds) {
    g_toast = text;
    g_toast_until = now_seconds() + seconds;
}
