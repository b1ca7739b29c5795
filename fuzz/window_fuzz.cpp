// QUOR_LAUNCHER_SCALE and QUOR_LAUNCHER_SIZE come from the environment, the
// display scale from the desktop: the window must stay a usable size.
// Input: four bytes of display scale (a float), then the two texts split at
// the first NUL byte.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "ui/app.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    float display = 0;
    std::memcpy(&display, data, 4);
    std::string rest(reinterpret_cast<const char*>(data + 4), size - 4);
    size_t nul = rest.find('\0');
    std::string scale_text = rest.substr(0, nul);
    std::string size_text = nul == std::string::npos ? std::string() : rest.substr(nul + 1);

    float scale = choose_scale(display, scale_text.c_str());
    FUZZ_CHECK(std::isfinite(scale) && scale >= 0.5f && scale <= 4.0f);
    int w = 0, h = 0;
    parse_window_size(size_text.c_str(), scale, w, h);
    FUZZ_CHECK(w >= 1 && w <= 8192 && h >= 1 && h <= 8192);
    return 0;
}
