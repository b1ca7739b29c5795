// QUOR_LAUNCHER_SCRIPT: "N:NAME,..." from the environment of a capture run.
#include <cstddef>
#include <cstdint>
#include <string>

#include "capture/capture.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<ScriptStep> steps = parse_script(text);
    size_t items = 1;
    for (char c : text) items += c == ',';
    // A name matches at most a pad button and a key.
    FUZZ_CHECK(steps.size() <= 2 * items);
    // Each step is one thing: a key, a pad button or text to type.
    for (const ScriptStep& s : steps) FUZZ_CHECK((s.key != 0) + (s.button != -1) + !s.text.empty() == 1);
    return 0;
}
