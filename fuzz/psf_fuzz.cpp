// libFuzzer target: param.sfo comes from a folder the player picks, so the
// reader must hold up against any bytes at all.
#include <cstddef>
#include <cstdint>

#include "discovery/psf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto keys = parse_psf(data, size);
    // Touch every byte of the result so a bad string shows up here.
    size_t total = 0;
    for (const auto& [k, v] : keys) total += k.size() + v.size();
    (void)total;
    return 0;
}
