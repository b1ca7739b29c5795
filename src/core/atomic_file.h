#pragma once
#include <filesystem>
#include <string>

// Replaces path with data through a temporary file in the same folder and a
// rename, so readers see either the old or the new file, never a half one.
// On any failure the old file is left untouched and false is returned.
bool write_file_atomic(const std::filesystem::path& path, const std::string& data);

// Reads a whole file. Returns false when it cannot be opened or read.
bool read_file(const std::filesystem::path& path, std::string& out);
