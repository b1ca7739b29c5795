// libFuzzer target: shortcuts.vdf belongs to Steam and may hold anything, so
// the reader must hold up against any bytes, and whatever it accepts must be
// written back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "desktop/vdf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    auto entries = parse_vdf(bytes);
    if (entries && write_vdf(*entries) != bytes) std::abort();

    // Adding the launcher's entry and taking it away again gives back the
    // file it started from.
    SteamShortcut sc = launcher_shortcut("/opt/quor/launcher/quor-launcher", "/tmp/quor-pc.png");
    if (size == 0 || shortcuts_have(bytes, sc)) return 0;
    auto added = shortcuts_with(bytes, sc);
    if (!added) return 0;
    if (!shortcuts_have(*added, sc)) std::abort();
    auto removed = shortcuts_without(*added, sc);
    if (!removed || *removed != bytes) std::abort();
    return 0;
}
