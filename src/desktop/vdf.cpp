#include "desktop/vdf.h"

#include <algorithm>
#include <filesystem>

#include "core/bytes.h"

namespace fs = std::filesystem;

namespace {

// Real files nest three levels (shortcuts, entry, tags); a bound keeps a
// hostile file from exhausting the stack.
constexpr int MAX_DEPTH = 32;

size_t fixed_size(uint8_t type) {
    switch (type) {
        case VDF_INT32:
        case VDF_FLOAT:
        case VDF_POINTER:
        case VDF_COLOR: return 4;
        case VDF_UINT64:
        case VDF_INT64: return 8;
        default: return 0;
    }
}

struct Reader {
    const std::string& in;
    size_t pos = 0;

    bool cstring(std::string& out) {
        size_t end = in.find('\0', pos);
        if (end == std::string::npos) return false;
        out.assign(in, pos, end - pos);
        pos = end + 1;
        return true;
    }

    // Entries up to and including the map's end byte.
    bool map(std::vector<VdfNode>& out, int depth) {
        if (depth > MAX_DEPTH) return false;
        for (;;) {
            if (pos >= in.size()) return false;
            uint8_t type = static_cast<uint8_t>(in[pos++]);
            if (type == VDF_END) return true;
            VdfNode node;
            node.type = type;
            if (!cstring(node.key)) return false;
            if (type == VDF_MAP) {
                if (!map(node.children, depth + 1)) return false;
            } else if (type == VDF_STRING) {
                if (!cstring(node.value)) return false;
            } else if (size_t n = fixed_size(type)) {
                if (in.size() - pos < n) return false;
                node.value.assign(in, pos, n);
                pos += n;
            } else {
                return false;   // a type whose length we cannot know
            }
            out.push_back(std::move(node));
        }
    }
};

void write_entries(std::string& out, const std::vector<VdfNode>& entries) {
    for (const VdfNode& n : entries) {
        out += static_cast<char>(n.type);
        out += n.key;
        out += '\0';
        if (n.type == VDF_MAP) {
            write_entries(out, n.children);
        } else if (n.type == VDF_STRING) {
            out += n.value;
            out += '\0';
        } else {
            out += n.value;
        }
    }
    out += static_cast<char>(VDF_END);
}

bool same_key(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

std::optional<std::vector<VdfNode>> parse_vdf(const std::string& bytes) {
    Reader r{bytes};
    std::vector<VdfNode> entries;
    if (!r.map(entries, 0) || r.pos != bytes.size()) return std::nullopt;
    return entries;
}

std::string write_vdf(const std::vector<VdfNode>& entries) {
    std::string out;
    write_entries(out, entries);
    return out;
}

const VdfNode* vdf_find(const VdfNode& map, const std::string& key) {
    for (const VdfNode& n : map.children)
        if (same_key(n.key, key)) return &n;
    return nullptr;
}

VdfNode* vdf_find(VdfNode& map, const std::string& key) {
    for (VdfNode& n : map.children)
        if (same_key(n.key, key)) return &n;
    return nullptr;
}

void vdf_set_string(VdfNode& map, const std::string& key, const std::string& value) {
    VdfNode* n = vdf_find(map, key);
    if (!n) {
        map.children.push_back(vdf_string(key, value));
        return;
    }
    n->type = VDF_STRING;
    n->value = value;
    n->children.clear();
}

void vdf_set_int(VdfNode& map, const std::string& key, uint32_t value) {
    VdfNode* n = vdf_find(map, key);
    if (!n) {
        map.children.push_back(vdf_int32(key, value));
        return;
    }
    n->type = VDF_INT32;
    n->value = le32_bytes(value);
    n->children.clear();
}

uint32_t vdf_int(const VdfNode& node) {
    if (node.type != VDF_INT32 || node.value.size() != 4) return 0;
    return load_le32(node.value.data());
}

VdfNode vdf_string(const std::string& key, const std::string& value) {
    VdfNode n;
    n.type = VDF_STRING;
    n.key = key;
    n.value = value;
    return n;
}

VdfNode vdf_int32(const std::string& key, uint32_t value) {
    VdfNode n;
    n.type = VDF_INT32;
    n.key = key;
    n.value = le32_bytes(value);
    return n;
}

VdfNode vdf_map(const std::string& key) {
    VdfNode n;
    n.type = VDF_MAP;
    n.key = key;
    return n;
}

// shortcuts.vdf

namespace {

constexpr const char* APP_NAME = "Veltrane";

std::string unquote(const std::string& s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
    return s;
}

// The top-level "shortcuts" map, or null when the file is something else.
VdfNode* shortcuts_root(std::vector<VdfNode>& entries) {
    for (VdfNode& n : entries) {
        if (n.type == VDF_MAP && same_key(n.key, "shortcuts")) return &n;
    }
    return nullptr;
}

// An entry is ours when it starts our program or carries our id; a path the
// player quoted differently still counts.
bool is_ours(const VdfNode& entry, const SteamShortcut& sc) {
    if (entry.type != VDF_MAP) return false;
    if (const VdfNode* exe = vdf_find(entry, "Exe"))
        if (exe->type == VDF_STRING && unquote(exe->value) == unquote(sc.exe)) return true;
    if (const VdfNode* id = vdf_find(entry, "appid"))
        if (id->type == VDF_INT32 && vdf_int(*id) == shortcut_appid(sc.exe, sc.app_name)) return true;
    return false;
}

// The parsed file, a fresh one for empty bytes, or nullopt for bytes that
// are not a shortcuts file.
std::optional<std::vector<VdfNode>> load_shortcuts(const std::string& bytes) {
    if (bytes.empty()) return std::vector<VdfNode>{vdf_map("shortcuts")};
    auto entries = parse_vdf(bytes);
    if (!entries || !shortcuts_root(*entries)) return std::nullopt;
    return entries;
}

VdfNode new_entry(const std::string& key, const SteamShortcut& sc) {
    VdfNode e = vdf_map(key);
    e.children = {
        vdf_int32("appid", shortcut_appid(sc.exe, sc.app_name)),
        vdf_string("AppName", sc.app_name),
        vdf_string("Exe", sc.exe),
        vdf_string("StartDir", sc.start_dir),
        vdf_string("icon", sc.icon),
        vdf_string("ShortcutPath", ""),
        vdf_string("LaunchOptions", ""),
        vdf_int32("IsHidden", 0),
        vdf_int32("AllowDesktopConfig", 1),
        vdf_int32("AllowOverlay", 1),
        vdf_int32("OpenVR", 0),
        vdf_int32("Devkit", 0),
        vdf_string("DevkitGameID", ""),
        vdf_int32("DevkitOverrideAppID", 0),
        vdf_int32("LastPlayTime", 0),
        vdf_string("FlatpakAppID", ""),
        vdf_map("tags"),
    };
    return e;
}

// One past the highest numeric key, so a new entry never takes a used name.
std::string next_key(const VdfNode& root) {
    unsigned long long next = 0;
    for (const VdfNode& n : root.children) {
        if (n.key.empty() || n.key.size() > 9) continue;
        if (!std::all_of(n.key.begin(), n.key.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
        next = std::max(next, std::stoull(n.key) + 1);
    }
    return std::to_string(next);
}

}  // namespace

uint32_t crc32_bytes(const std::string& data) {
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return c ^ 0xFFFFFFFFu;
}

uint32_t shortcut_appid(const std::string& exe, const std::string& app_name) {
    return crc32_bytes(exe + app_name) | 0x80000000u;
}

SteamShortcut launcher_shortcut(const std::string& program, const std::string& icon) {
    SteamShortcut sc;
    sc.app_name = APP_NAME;
    sc.exe = "\"" + program + "\"";
    sc.start_dir = "\"" + fs::path(program).parent_path().string() + "\"";
    sc.icon = icon;
    return sc;
}

std::optional<std::string> shortcuts_with(const std::string& bytes, const SteamShortcut& sc) {
    auto entries = load_shortcuts(bytes);
    if (!entries) return std::nullopt;
    VdfNode* root = shortcuts_root(*entries);
    for (VdfNode& e : root->children) {
        if (!is_ours(e, sc)) continue;
        vdf_set_int(e, "appid", shortcut_appid(sc.exe, sc.app_name));
        vdf_set_string(e, "AppName", sc.app_name);
        vdf_set_string(e, "Exe", sc.exe);
        vdf_set_string(e, "StartDir", sc.start_dir);
        vdf_set_string(e, "icon", sc.icon);
        return write_vdf(*entries);
    }
    root->children.push_back(new_entry(next_key(*root), sc));
    return write_vdf(*entries);
}

std::optional<std::string> shortcuts_without(const std::string& bytes, const SteamShortcut& sc) {
    if (bytes.empty()) return std::string();
    auto entries = load_shortcuts(bytes);
    if (!entries) return std::nullopt;
    VdfNode* root = shortcuts_root(*entries);
    // The other entries keep their names: Steam renumbers them itself when it
    // next saves, and their bytes stay exactly as the player's Steam left them.
    std::erase_if(root->children, [&](const VdfNode& e) { return is_ours(e, sc); });
    return write_vdf(*entries);
}

bool shortcuts_have(const std::string& bytes, const SteamShortcut& sc) {
    if (bytes.empty()) return false;
    auto entries = load_shortcuts(bytes);
    if (!entries) return false;
    const VdfNode* root = shortcuts_root(*entries);
    return std::any_of(root->children.begin(), root->children.end(), [&](const VdfNode& e) { return is_ours(e, sc); });
}
