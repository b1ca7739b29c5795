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
// The file:// address of a path: every byte but the unreserved ones and '/'
// percent-encoded.
std::string file_url(const std::filesystem::path& path);
// The whole game log as one text, each line ended by a line feed, with each
// NUL byte shown as U+2400.
std::string log_text_for_copy();
// Deletes the shader cache unless a game runs; returns whether it did.
bool clear_shader_cache();

#include <vector>
// The game's save folder in the user folder.
std::filesystem::path save_destination();
// Save folders an import may take, best first (scan results, then shadPS4's).
std::vector<std::filesystem::path> save_candidates(const std::vector<std::string>& found_saves);
// Copies the first candidate into the save folder through a scratch copy,
// keeping the old saves as .bak (older backups as .bak-YYYYMMDD-HHMMSS).
// Refused while the game runs; a source equal to the saves changes nothing.
// Reports by toast and returns whether the saves now match the source.
bool import_save(const std::vector<std::string>& found_saves);

struct Snapshot;
// Puts a save snapshot back (the current saves become a snapshot first).
// Refused while the game runs; reports by toast and returns whether it worked.
bool restore_save_snapshot(const Snapshot& snapshot);
