#pragma once
// The Game & saves page's work on the saves, free of drawing.
#include <filesystem>
#include <string>
#include <vector>

struct Snapshot;

// Save folders an import may take, best first (scan results, then shadPS4's).
std::vector<std::filesystem::path> save_candidates(const std::vector<std::string>& found_saves);
// Copies the first candidate into the save folder through a scratch copy,
// keeping the old saves as .bak (older backups as .bak-YYYYMMDD-HHMMSS).
// Refused while the game runs; a source equal to the saves changes nothing.
// Reports by toast and returns whether the saves now match the source.
bool import_save(const std::vector<std::string>& found_saves);
// Puts a save snapshot back (the current saves become a snapshot first).
// Refused while the game runs; reports by toast and returns whether it worked.
bool restore_save_snapshot(const Snapshot& snapshot);
