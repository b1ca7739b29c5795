#pragma once
#include <string>

// Decides the UI language: the ui_language setting, else the locale variables.
// Each getter returns null for an unset variable.
bool choose_portuguese(const std::string& ui_language, const char* lc_all,
                       const char* lc_messages, const char* lang);

// A handheld or Steam's Game Mode: SteamDeck or SteamGamepadUI set (any
// value), or an XDG_CURRENT_DESKTOP holding "gamescope". Null for unset.
bool is_handheld(const char* steam_deck, const char* steam_gamepad_ui, const char* xdg_desktop);

// Index of the first "--play" among argv[1..argc-1], or -1.
int find_play_switch(int argc, char** argv);

// The whole program; main only forwards to it.
int launcher_main(int argc, char** argv);
