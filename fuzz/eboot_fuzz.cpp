// The executable check's output is Python's: the answer word, or a
// traceback that may quote paths and source lines holding anything.
#include <cstddef>
#include <cstdint>
#include <string>

#include "discovery/eboot_check.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string out(reinterpret_cast<const char*>(data), size);
    int state = classify_eboot_output(out);
    FUZZ_CHECK(state == 1 || state == 0 || state == -2);
    // An answer needs a line that is its word; a word inside a longer line
    // (a traceback, a path) never answers.
    std::string framed = "\n" + out + "\n";
    auto has_line = [&](const std::string& word) {
        return framed.find("\n" + word + "\n") != std::string::npos ||
               framed.find("\n" + word + "\r\n") != std::string::npos;
    };
    FUZZ_CHECK((state == 1) == has_line("SUPPORTED"));
    if (state == 0) FUZZ_CHECK(has_line("OTHER"));
    if (state == -2) FUZZ_CHECK(!has_line("OTHER"));
    return 0;
}
