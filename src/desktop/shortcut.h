#pragma once
#include <filesystem>
#include <string>
#include <system_error>

// The desktop entry's bytes for a program path and icon path.
std::string desktop_entry_text(const std::string& program, const std::string& icon, bool pt);

// The program the entry starts: $APPIMAGE when set and not empty, else the
// launcher executable.
std::string shortcut_program();

// The icon the shortcuts show: the dump's icon0.png when a game folder is set
// and has one, else the port's icon; empty when neither exists.
std::filesystem::path shortcut_icon_source();
// Where that icon is copied in the data folder.
std::filesystem::path shortcut_icon_copy();
// Copies the icon source over the copy; ec is the copy's outcome (left as
// it was when there is no source).
void copy_shortcut_icon(std::error_code& ec);

// Writes ~/.local/share/applications/quor-pc.desktop and the icon copy, and
// reports the outcome by toast. Returns whether it worked.
bool desktop_shortcut();
