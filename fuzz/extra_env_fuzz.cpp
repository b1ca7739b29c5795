// extra_env is typed by the player; whatever it holds, the game gets a
// well-formed environment that still streams its output as UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/settings.h"
#include "fuzz_check.h"
#include "launch/environment.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    S.map.clear();
    for (const auto& d : DEFAULTS) S.set(d.key, d.value);
    S.set("extra_env", std::string(reinterpret_cast<const char*>(data), size));
    EnvList env = build_game_environment({"HOME=/home/player", "PATH=/usr/bin"});
    int unbuffered = 0, encoding = 0;
    for (const std::string& e : env) {
        FUZZ_CHECK(e.find('=') != std::string::npos);
        if (e.rfind("PYTHONUNBUFFERED=", 0) == 0) FUZZ_CHECK(e == "PYTHONUNBUFFERED=1" && ++unbuffered == 1);
        if (e.rfind("PYTHONIOENCODING=", 0) == 0) FUZZ_CHECK(e == "PYTHONIOENCODING=utf-8" && ++encoding == 1);
    }
    FUZZ_CHECK(unbuffered == 1 && encoding == 1);
    return 0;
}
