#pragma once
#include <filesystem>
#include <string>

struct GpuResult {
    std::string name;
    int state = 0;   // 1 found, 2 no usable card, 3 not checked
};

// Reads the probe's "GPU: " line and exit code into a card name and state.
GpuResult parse_gpu_output(const std::string& out, int code);

// Runs the probe tool and waits for it (worker threads only).
GpuResult probe_gpu(const std::filesystem::path& tool);

// Starts the one background probe of this run; returns at once.
void detect_gpu();
