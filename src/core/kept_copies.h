#pragma once
// Copies the launcher keeps a fixed number of (save snapshots, crash copies).
// Their names start with the local time they were made, which a clock set
// back, a daylight-saving change or a move westward can make sort before
// older ones; so each new name also carries a creation number, "<clock>.<n>",
// and copies are ordered by it. Names from before the numbers count as 0,
// older than every numbered one, and among themselves sort by name.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The n of a stem "<anything>.<n>" (decimal digits only), else 0.
std::uint64_t creation_number(std::string_view stem);

// Whether the copy named a was made before the one named b (both stems).
bool made_before(const std::string& a, const std::string& b);

// One more than the highest creation number among stems.
std::uint64_t next_creation_number(const std::vector<std::string>& stems);

// Hidden names of what is being made or deleted: never listed, and what a
// killed launcher left of them is swept away.
inline constexpr const char* PARTIAL_PREFIX = ".partial-";
inline constexpr const char* DELETING_PREFIX = ".deleting-";

// Takes a kept copy out of its folder's listing in one rename, then deletes
// it: a copy that is still listed is always whole, even when the launcher
// is killed half way through the deletion.
void remove_kept_copy(const std::filesystem::path& p);

// Deletes the entries of dir whose names start with one of prefixes.
void sweep_hidden(const std::filesystem::path& dir, const std::vector<std::string>& prefixes);
