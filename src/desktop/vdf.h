#pragma once
// Steam's binary key-value format, as used by shortcuts.vdf. Reading keeps
// every entry in file order with its exact bytes, so writing an unchanged
// tree gives back the very same file.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum VdfType : uint8_t {
    VDF_MAP = 0x00,
    VDF_STRING = 0x01,
    VDF_INT32 = 0x02,
    VDF_FLOAT = 0x03,
    VDF_POINTER = 0x04,
    VDF_COLOR = 0x06,
    VDF_UINT64 = 0x07,
    VDF_END = 0x08,
    VDF_INT64 = 0x0A,
};

struct VdfNode {
    uint8_t type = VDF_MAP;
    std::string key;
    // VDF_STRING: the text without its NUL; numbers: their little-endian
    // bytes as read; maps: empty.
    std::string value;
    std::vector<VdfNode> children;   // VDF_MAP only
};

// The entries of the file's outer map. nullopt when the bytes are not one
// complete map: unknown type, missing terminator, data after the end, or
// nesting deeper than any real file has.
std::optional<std::vector<VdfNode>> parse_vdf(const std::string& bytes);
// The file for a list of outer entries; the inverse of parse_vdf.
std::string write_vdf(const std::vector<VdfNode>& entries);

// First child whose key matches, ignoring ASCII case as Steam does; null
// when there is none.
const VdfNode* vdf_find(const VdfNode& map, const std::string& key);
VdfNode* vdf_find(VdfNode& map, const std::string& key);
// Sets a string or 32-bit field, changing it in place when present (its key
// keeps its spelling) and appending it otherwise.
void vdf_set_string(VdfNode& map, const std::string& key, const std::string& value);
void vdf_set_int(VdfNode& map, const std::string& key, uint32_t value);
// The value of a 32-bit field (0 when absent or of another type).
uint32_t vdf_int(const VdfNode& node);

VdfNode vdf_string(const std::string& key, const std::string& value);
VdfNode vdf_int32(const std::string& key, uint32_t value);
VdfNode vdf_map(const std::string& key);

// The fields the launcher owns in its entry; the others keep what Steam or
// the player put there.
struct SteamShortcut {
    std::string app_name;
    std::string exe;         // quoted, as Steam stores it
    std::string start_dir;   // quoted
    std::string icon;
};

uint32_t crc32_bytes(const std::string& data);
// The id Steam gives a non-Steam shortcut: CRC-32 of Exe then AppName, top
// bit set. Grid artwork is named after it.
uint32_t shortcut_appid(const std::string& exe, const std::string& app_name);
// The entry for a program path and an icon path: "Veltrane", both quoted.
SteamShortcut launcher_shortcut(const std::string& program, const std::string& icon);

// shortcuts.vdf edits on whole-file bytes. An empty text stands for a
// missing file. nullopt: the bytes are not a shortcuts file and must be left
// alone. Entries other than ours, and the fields of ours the launcher does
// not own, keep their bytes and order.
std::optional<std::string> shortcuts_with(const std::string& bytes, const SteamShortcut& sc);
std::optional<std::string> shortcuts_without(const std::string& bytes, const SteamShortcut& sc);
bool shortcuts_have(const std::string& bytes, const SteamShortcut& sc);
