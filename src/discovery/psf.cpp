#include "discovery/psf.h"

#include <cstring>

#include "core/bytes.h"

namespace {

constexpr uint32_t PSF_MAGIC = 0x46535000;
constexpr uint16_t FMT_U32 = 0x0404;
constexpr size_t HEADER_SIZE = 20;
constexpr size_t ENTRY_SIZE = 16;

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

}  // namespace

std::map<std::string, std::string> parse_psf(const uint8_t* data, size_t size) {
    std::map<std::string, std::string> out;
    if (data == nullptr || size < HEADER_SIZE || load_le32(data) != PSF_MAGIC) return out;
    const uint32_t key_table = load_le32(data + 8);
    const uint32_t data_table = load_le32(data + 12);
    const uint32_t count = load_le32(data + 16);
    const uint64_t n = size;

    // The entry count comes from the file: the loop ends as soon as an entry
    // would not fit, so a huge count costs nothing.
    for (uint64_t i = 0; i < count; ++i) {
        if (n < HEADER_SIZE + ENTRY_SIZE * (i + 1)) break;
        const uint8_t* e = data + HEADER_SIZE + ENTRY_SIZE * i;
        const uint16_t key_offset = le16(e);
        const uint16_t fmt = le16(e + 2);
        const uint32_t data_len = load_le32(e + 4);
        const uint32_t data_offset = load_le32(e + 12);
        const uint32_t k = key_table + key_offset;    // wraps like the console's reader
        const uint32_t d = data_table + data_offset;
        if (uint64_t(k) >= n) continue;
        if (uint64_t(d) + data_len > n) continue;

        // A key without its NUL ends at the end of the buffer.
        const void* nul = std::memchr(data + k, 0, size - k);
        size_t key_len = nul ? size_t(static_cast<const uint8_t*>(nul) - (data + k)) : size - k;
        std::string key(reinterpret_cast<const char*>(data + k), key_len);

        std::string value;
        if (fmt == FMT_U32) {
            value = uint64_t(d) + 4 > n ? "0" : std::to_string(load_le32(data + d));
        } else {
            const void* end = std::memchr(data + d, 0, data_len);
            size_t len = end ? size_t(static_cast<const uint8_t*>(end) - (data + d)) : data_len;
            value.assign(reinterpret_cast<const char*>(data + d), len);
        }
        out[key] = std::move(value);
    }
    return out;
}
