#include "core/globals.h"

bool g_pt = true;
float g_scale = 1.0f;
SDL_Window* g_window = nullptr;
SDL_Renderer* g_renderer = nullptr;
int g_page = 0;
bool g_focus_first = false;
