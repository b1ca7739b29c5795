// launcher.ini is a text file the player may edit by hand, and quor.ini's
// QUOR_ lines are imported from it on a first start.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/settings.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);

    Settings loaded;
    parse_settings_text(loaded, text);
    // What was loaded is saved and loaded again unchanged: a setting never
    // turns into another one, or into several, on the next start.
    Settings again;
    parse_settings_text(again, settings_text(loaded));
    FUZZ_CHECK(again.map == loaded.map);

    Settings imported;
    import_port_ini(imported, text);
    FUZZ_CHECK(imported.map.size() <= 2);
    return 0;
}
