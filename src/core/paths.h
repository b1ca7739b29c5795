#pragma once
#include <filesystem>

namespace fs = std::filesystem;

extern fs::path g_exe_dir;
extern fs::path g_port;
extern fs::path g_data;

void find_paths();
fs::path settings_file();
fs::path home_dir();
fs::path user_dir();
bool is_file(const fs::path& p);
bool is_dir(const fs::path& p);   // directory, links followed, errors give false
bool dir_has_entries(const fs::path& p);

// The savedata folding of user_dir(), as a pure function of the base path.
fs::path fold_savedata(const fs::path& base);
