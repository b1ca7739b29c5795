// The GPU probe's output comes from a graphics driver; its exit code is the
// input's first byte, read as signed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "discovery/gpu.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    int code = static_cast<int8_t>(data[0]);
    std::string out(reinterpret_cast<const char*>(data + 1), size - 1);
    GpuResult r = parse_gpu_output(out, code);
    FUZZ_CHECK(r.state == 1 || r.state == 2 || r.state == 3);
    FUZZ_CHECK((r.state == 1) == !r.name.empty());
    FUZZ_CHECK(r.name.find('\n') == std::string::npos);
    FUZZ_CHECK(r.name.find(": live") == std::string::npos);
    FUZZ_CHECK(out.find(r.name) != std::string::npos);
    return 0;
}
