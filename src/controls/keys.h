#pragma once
#include <string>

struct KeyInput {
    const char* id;
    const char* default_key;
    const char* label_pt;
    const char* label_en;
};

inline constexpr int KEY_INPUT_COUNT = 25;
extern const KeyInput KEY_INPUTS[KEY_INPUT_COUNT];

std::string key_of(const KeyInput& input);

// The new quor.ini text: the game's lines kept, the launcher's block rebuilt.
std::string rebuild_port_ini(const std::string& old_text);

// Rewrites the launcher's block of quor.ini. Returns false when the file was
// left as it was (an existing file that cannot be read or is not a regular
// file, or the write failed). *note gets a line for the game log when the
// player should know what happened to the file, else stays empty.
bool write_key_bindings(std::string* note = nullptr);
