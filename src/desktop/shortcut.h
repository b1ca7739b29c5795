#pragma once
#include <string>

// The desktop entry's bytes for a program path and icon path.
std::string desktop_entry_text(const std::string& program, const std::string& icon, bool pt);

// The program the entry starts: $APPIMAGE when set and not empty, else the
// launcher executable.
std::string shortcut_program();

// Writes ~/.local/share/applications/quor-pc.desktop and the icon copy, and
// reports the outcome by toast. Returns whether it worked.
bool desktop_shortcut();
