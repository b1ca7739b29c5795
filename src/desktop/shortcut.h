#pragma once
#include <filesystem>
#include <string>
#include <system_error>

// Text as a string value of the desktop entry: backslashes doubled. False
// (out empty) when the format cannot hold it: a control byte (line break,
// tab, ...) or bytes that are not UTF-8.
bool desktop_string_value(const std::string& text, std::string& out);
// The Exec value that starts program with no arguments: the path as one
// double-quoted argument (", `, $ and \ escaped, % doubled), then written as
// a string value. False (out empty) for the paths desktop_string_value refuses.
bool desktop_exec_value(const std::string& program, std::string& out);

// The desktop entry's bytes for an Exec and an Icon value as made above.
std::string desktop_entry_text(const std::string& exec, const std::string& icon, bool pt);

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
// reports the outcome by toast. A path the entry cannot hold writes nothing.
// Returns whether it worked.
bool desktop_shortcut();
