#pragma once
// The player's message line in the footer: one text at a time, the newest
// replacing the older, until its time is up. UI thread only.
#include <string>

extern std::string g_toast;
extern double g_toast_until;

double now_seconds();   // SDL ticks / 1000
void toast(const std::string& text, double seconds);
