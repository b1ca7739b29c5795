// The PC search's output is whatever the port's Python module and the paths
// on this machine make of it: tagged lines mixed with warnings and tracebacks.
#include <cstddef>
#include <cstdint>
#include <string>

#include "discovery/scan.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string out(reinterpret_cast<const char*>(data), size);
    ScanResults r = parse_scan_output(out);
    size_t total = r.dlc.size();
    for (const auto* list : {&r.games, &r.sys_modules, &r.saves})
        for (const std::string& v : *list) {
            FUZZ_CHECK(v.find('\n') == std::string::npos);
            total += v.size();
        }
    FUZZ_CHECK(r.dlc.find('\n') == std::string::npos);
    FUZZ_CHECK(total <= out.size());
    return 0;
}
