// Steam's shortcuts.vdf belongs to Steam and may hold anything: the reader
// must hold up against any bytes, whatever it accepts must be written back
// unchanged, and adding then removing the launcher's entry must give back
// the very file it started from.
#include <cstddef>
#include <cstdint>
#include <string>

#include "desktop/vdf.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    auto entries = parse_vdf(bytes);
    if (entries) FUZZ_CHECK(write_vdf(*entries) == bytes);

    SteamShortcut sc = launcher_shortcut("/opt/quor/launcher/quor-launcher", "/tmp/quor-pc.png");
    auto added = shortcuts_with(bytes, sc);
    if (!added) return 0;
    FUZZ_CHECK(shortcuts_have(*added, sc));
    FUZZ_CHECK(shortcuts_with(*added, sc) == added);   // a second press changes nothing
    auto removed = shortcuts_without(*added, sc);
    FUZZ_CHECK(removed.has_value());
    FUZZ_CHECK(!shortcuts_have(*removed, sc));
    if (size > 0 && !shortcuts_have(bytes, sc)) FUZZ_CHECK(*removed == bytes);
    return 0;
}
