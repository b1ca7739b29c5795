#pragma once
// Little-endian 32-bit integers in byte strings: Steam's shortcut lists, the
// dump's param.sfo and the launcher's kept banner all store them so.
#include <cstdint>
#include <string>

inline uint32_t load_le32(const void* at) {
    const auto* p = static_cast<const unsigned char*>(at);
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline std::string le32_bytes(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}
