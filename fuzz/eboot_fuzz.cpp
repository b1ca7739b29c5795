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
    // An answer needs its word somewhere in the output.
    if (state == 1) FUZZ_CHECK(out.find("SUPPORTED") != std::string::npos);
    if (state == 0) FUZZ_CHECK(out.find("OTHER") != std::string::npos);
    return 0;
}
