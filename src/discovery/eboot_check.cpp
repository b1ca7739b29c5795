#include "discovery/eboot_check.h"

#include <filesystem>
#include <thread>

#include "core/paths.h"
#include "core/port.h"
#include "core/runner.h"
#include "discovery/shared.h"

std::string eboot_check_key(const std::string& folder) {
    fs::path eboot = fs::path(folder) / "eboot.bin";
    std::error_code ec;
    if (!fs::is_regular_file(eboot, ec) || ec) return {};
    auto size = fs::file_size(eboot, ec);
    if (ec) return {};
    auto mtime = fs::last_write_time(eboot, ec);
    if (ec) return {};
    return folder + "|" + std::to_string(size) + "|" + std::to_string(mtime.time_since_epoch().count());
}

int classify_eboot_output(const std::string& out) {
    if (out.find("SUPPORTED") != std::string::npos) return 1;
    if (out.find("OTHER") != std::string::npos) return 0;
    return -2;
}

static void eboot_worker(std::string key, std::string folder, fs::path scripts) {
    RunResult r = run_capture({PYTHON, "-I", "-c", EBOOT_CHECK_SCRIPT, scripts.string(),
                               (fs::path(folder) / "eboot.bin").string()},
                              "");
    int state = classify_eboot_output(r.output);
    std::lock_guard<std::mutex> lock(g_shared.mutex);
    // A newer eboot.bin replaced this one while the check ran: its answer is stale.
    if (g_shared.eboot_key != key) return;
    g_shared.eboot_state = state;
}

void check_eboot(const std::string& folder) {
    std::string key = eboot_check_key(folder);
    if (key.empty()) return;
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        if (key == g_shared.eboot_key) return;
        g_shared.eboot_key = key;
        g_shared.eboot_state = -1;
    }
    std::thread(eboot_worker, key, folder, g_port / PORT_SCRIPTS_DIR).detach();
}
