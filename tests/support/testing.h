#pragma once
// Small helpers shared by the test executables.
#include <filesystem>
#include <string>

// A fresh directory under /tmp, removed with everything in it at scope end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Writes data to path (binary, truncating), creating missing parent folders.
// Fails the current test when the file cannot be written.
void write_file(const std::filesystem::path& path, const std::string& data);

// The whole file, or an empty string when it cannot be read.
std::string read_text(const std::filesystem::path& path);

// Settings store S back to exactly the default table, g_dirty cleared.
void reset_settings();
