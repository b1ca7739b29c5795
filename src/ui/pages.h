#pragma once
// One function per page, drawn every frame inside the page area.

void page_play(float height);
void page_game();
void page_display();
void page_controls();
void page_advanced();
void page_log();

#include <filesystem>
#include <string>

// Opens a folder in the desktop's file manager, creating it first.
void open_folder(const std::filesystem::path& path);
// The whole game log as one text, each line ended by a line feed.
std::string log_text_for_copy();
