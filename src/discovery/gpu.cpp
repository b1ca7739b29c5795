#include "discovery/gpu.h"


#include "core/paths.h"
#include "core/port.h"
#include "core/runner.h"
#include "core/wake.h"
#include "core/worker.h"
#include "discovery/shared.h"

GpuResult parse_gpu_output(const std::string& out, int code) {
    GpuResult r;
    for (std::string_view line : output_lines(out)) {
        if (line.substr(0, 5) == "GPU: ") {
            std::string name(line.substr(5));
            size_t live = name.find(": live");
            if (live != std::string::npos) name.resize(live);
            // Drop the driver and API version parts.
            for (int i = 0; i < 2; ++i) {
                size_t comma = name.rfind(", ");
                if (comma != std::string::npos) name.resize(comma);
            }
            r.name = std::move(name);
            break;
        }
    }
    r.state = !r.name.empty() ? 1 : code == 0 ? 3 : 2;
    return r;
}

GpuResult probe_gpu(const fs::path& tool) {
    if (!is_file(tool)) return {"", 3};
    RunResult run = run_capture({tool.string(), GPU_PROBE_ARG}, "");
    return parse_gpu_output(run.output, run.code);
}

static void gpu_worker(fs::path tool) {
    GpuResult r = probe_gpu(tool);
    std::lock_guard<std::mutex> lock(g_shared.mutex);
    g_shared.gpu_name = std::move(r.name);
    g_shared.gpu_state = r.state;
    wake_ui();
}

void detect_gpu() {
    fs::path tool = g_exe_dir / GPU_PROBE;
    if (start_worker([tool] { gpu_worker(tool); })) return;
    // No thread to spare: the ready check says the card was not checked.
    std::lock_guard<std::mutex> lock(g_shared.mutex);
    g_shared.gpu_state = 3;
}
