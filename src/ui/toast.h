#pragma once
#include <string>

extern std::string g_toast;
extern double g_toast_until;

double now_seconds();   // SDL ticks / 1000
void toast(const std::string& text, double seconds);
