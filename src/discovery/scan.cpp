#include "discovery/scan.h"


#include "core/globals.h"
#include "core/paths.h"
#include "core/port.h"
#include "core/runner.h"
#include "core/settings.h"
#include "core/wake.h"
#include "discovery/game_info.h"
#include "discovery/shared.h"
#include "core/toast.h"
#include "core/worker.h"

ScanResults parse_scan_output(const std::string& out) {
    ScanResults r;
    for (std::string_view line : output_lines(out)) {
        size_t tab = line.find('\t');
        if (tab == std::string_view::npos) continue;
        std::string_view tag = line.substr(0, tab);
        std::string value(line.substr(tab + 1));
        if (tag == "GAME") r.games.push_back(std::move(value));
        else if (tag == "SYS") r.sys_modules.push_back(std::move(value));
        else if (tag == "SAVE") r.saves.push_back(std::move(value));
        else if (tag == "DLC") r.dlc = std::move(value);
    }
    return r;
}

// The manual flag travels with the search to its publication: a request
// accepted after another search published, but before the frame applied it,
// must not change the rules those earlier results are applied by.
static void scan_worker(bool manual, fs::path launcher_dir, fs::path scripts_dir) {
    RunResult run = run_capture({PYTHON, "-I", "-c", SCAN_SCRIPT, launcher_dir.string(), scripts_dir.string()}, "");
    ScanResults r = parse_scan_output(run.output);
    std::lock_guard<std::mutex> lock(g_shared.mutex);
    g_shared.found_games = std::move(r.games);
    g_shared.found_sys_modules = std::move(r.sys_modules);
    g_shared.found_saves = std::move(r.saves);
    g_shared.found_dlc = std::move(r.dlc);
    g_shared.scan_manual = manual;
    g_shared.scan_busy = false;
    g_shared.scan_done = true;
    wake_ui();
}

void start_scan(bool manual) {
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        if (g_shared.scan_busy) return;
        g_shared.scan_busy = true;
    }
    fs::path launcher_dir = g_port / PORT_LAUNCHER_DIR, scripts_dir = g_port / PORT_SCRIPTS_DIR;
    if (!start_worker([=] { scan_worker(manual, launcher_dir, scripts_dir); })) {
        // No thread to spare: the row can be pressed again.
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        g_shared.scan_busy = false;
    }
}

bool sound_ready() {
    std::string dir = S.get("sys_modules");
    if (dir.empty()) return false;
    return is_file(fs::path(dir) / "libSceNgs2.sprx") && is_file(fs::path(dir) / "libSceUlt.sprx");
}

void apply_scan_results() {
    Shared& sh = g_shared;
    if (!sh.scan_done) return;
    sh.scan_done = false;
    int n = 0;
    bool sound_applied = false;
    if (!sh.found_games.empty() && (sh.scan_manual || !game_info(S.get("game_dir")).ok)) {
        S.set("game_dir", sh.found_games.front());
        S.set("setup_done", "1");
        n = 1;
    }
    if (!sh.found_sys_modules.empty() && (sh.scan_manual || !sound_ready())) {
        S.set("sys_modules", sh.found_sys_modules.front());
        sound_applied = true;
        ++n;
    }
    bool dlc_applied = false;
    if (!sh.found_dlc.empty() && S.get("dlc_dir").empty()) {
        S.set("dlc_dir", sh.found_dlc);
        dlc_applied = true;
    }
    if (n == 0 && !dlc_applied) {
        if (sh.scan_manual)
            toast(tr("Nothing found. Choose the game folder by hand.",
                     "Nada encontrado. Escolha a pasta do jogo à mão."), 5);
        return;
    }
    g_dirty = true;
    std::string game = S.get("game_dir");
    if (game_info(game).ok)
        toast(tr("Game found: ", "Jogo encontrado: ") + game, 7);
    else if (sound_applied)
        toast(tr("Sound modules found.", "Módulos de som encontrados."), 7);
}
