#pragma once
// The Log page's work besides drawing; other pages open folders through it.
#include <filesystem>
#include <string>

// Opens a folder in the desktop's file manager, creating it first.
void open_folder(const std::filesystem::path& path);
// The file:// address of a path: every byte but the unreserved ones and '/'
// percent-encoded.
std::string file_url(const std::filesystem::path& path);
// The whole game log as one text, each line ended by a line feed, with each
// NUL byte shown as U+2400.
std::string log_text_for_copy();
