#include "discovery/eboot_check.h"

#include <filesystem>
#include <string_view>

#include "core/paths.h"
#include "core/port.h"
#include "core/runner.h"
#include "core/wake.h"
#include "core/worker.h"
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
    // Only a line that is the word itself answers: a traceback quotes the
    // script's source and paths, which may hold either word.
    bool supported = false, other = false;
    for (std::string_view line : output_lines(out)) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line == "SUPPORTED") supported = true;
        else if (line == "OTHER") other = true;
    }
    return supported ? 1 : other ? 0 : -2;
}

// One check at a time: a copy in progress changes eboot.bin every frame, and
// a python3 per change would pile up. When the file changed while a check
// ran, the same worker checks the newest one before it ends.
static void eboot_worker(std::string key, std::string folder, fs::path scripts) {
    for (;;) {
        RunResult r = run_capture({PYTHON, "-I", "-c", EBOOT_CHECK_SCRIPT, scripts.string(),
                                   (fs::path(folder) / "eboot.bin").string()},
                                  "");
        int state = classify_eboot_output(r.output);
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        if (g_shared.eboot_key == key) {
            g_shared.eboot_state = state;
            g_shared.eboot_busy = false;
            wake_ui();
            return;
        }
        // A newer eboot.bin replaced this one while the check ran: this
        // answer is stale, the newest file is checked next.
        if (g_shared.eboot_key.empty()) {
            g_shared.eboot_busy = false;
            return;
        }
        key = g_shared.eboot_key;
        folder = g_shared.eboot_folder;
    }
}

void check_eboot(const std::string& folder) {
    std::string key = eboot_check_key(folder);
    if (key.empty()) return;
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        if (key == g_shared.eboot_key) return;
        g_shared.eboot_key = key;
        g_shared.eboot_folder = folder;
        g_shared.eboot_state = -1;
        if (g_shared.eboot_busy) return;
        g_shared.eboot_busy = true;
    }
    fs::path scripts_dir = g_port / PORT_SCRIPTS_DIR;
    if (!start_worker([=] { eboot_worker(key, folder, scripts_dir); })) {
        // No thread to be had: forget the key so a later frame tries again.
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        g_shared.eboot_busy = false;
        g_shared.eboot_key.clear();
    }
}
