#include "core/entry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <mutex>
#include <thread>

#include "core/globals.h"
#include "core/instance.h"
#include "core/paths.h"
#include "core/port.h"
#include "core/runner.h"
#include "core/settings.h"
#include "desktop/support_report.h"
#include "discovery/eboot_check.h"
#include "discovery/game_info.h"
#include "discovery/gpu.h"
#include "discovery/shared.h"
#include "launch/headless.h"
#include "launch/snapshots.h"
#include "ui/app.h"
#include "ui/page_play.h"
#include "core/toast.h"

bool choose_portuguese(const std::string& ui_language, const char* lc_all,
                       const char* lc_messages, const char* lang) {
    if (!ui_language.empty()) return ui_language == "pt";
    const char* v = nullptr;
    if (lc_all && *lc_all)
        v = lc_all;
    else if (lc_messages && *lc_messages)
        v = lc_messages;
    else if (lang)
        v = lang;
    return v && std::strncmp(v, "pt", 2) == 0;
}

bool is_handheld(const char* steam_deck, const char* steam_gamepad_ui, const char* xdg_desktop) {
    if (steam_deck || steam_gamepad_ui) return true;
    return xdg_desktop && std::strstr(xdg_desktop, "gamescope") != nullptr;
}

int find_play_switch(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (argv[i] && std::strcmp(argv[i], "--play") == 0) return i;
    return -1;
}

namespace {

// "--report" counts before "--play" only: after it, words are the game's.
bool report_switch(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (!argv[i] || std::strcmp(argv[i], "--play") == 0) return false;
        if (std::strcmp(argv[i], "--report") == 0) return true;
    }
    return false;
}

constexpr int REPORT_PROBE_SECONDS = 20;
constexpr int REPORT_EBOOT_WAIT_MS = 20000;

// The support report without a window: the two checks the window runs in
// the background run here first, so the ready check reads as it would there.
int report_without_window() {
    ReportFacts f = report_facts_here();
    const std::string game_dir = S.get("game_dir");
    const GameInfo info = game_info(game_dir);
    if (info.ok) check_eboot(game_dir);
    const fs::path tool = g_exe_dir / GPU_PROBE;
    GpuResult gpu{"", 3};
    if (is_file(tool)) {
        ProbeRun run = run_gpu_probe(tool, REPORT_PROBE_SECONDS);
        f.probe_ran = true;
        f.probe_code = run.code;
        f.probe_output = run.output;
        // Given up or never started: that says nothing about the card.
        if (run.code != -1 && run.code != 124 && run.code != 137) gpu = parse_gpu_output(run.output, run.code);
    }
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        g_shared.gpu_name = gpu.name;
        g_shared.gpu_state = gpu.state;
    }
    for (int waited = 0; info.ok && waited < REPORT_EBOOT_WAIT_MS; waited += 20) {
        {
            std::lock_guard<std::mutex> lock(g_shared.mutex);
            if (!g_shared.eboot_busy) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (const Check& c : ready_checks(info)) f.ready.push_back(c.text);
    f.gpu_state = gpu.state;
    f.gpu_name = gpu.name;
    ReportOutcome o = write_support_report(f);
    end_helpers();
    if (!o.ok) {
        std::fprintf(stderr, "%s\n", o.message.c_str());
        return 1;
    }
    std::printf("%s\n", o.path.c_str());
    return 0;
}

}  // namespace

int launcher_main(int argc, char** argv) {
    find_paths();
    load_settings();
    g_pt = choose_portuguese(S.get("ui_language"), std::getenv("LC_ALL"),
                             std::getenv("LC_MESSAGES"), std::getenv("LANG"));
    if (report_switch(argc, argv)) return report_without_window();
    int play = find_play_switch(argc, argv);
    if (play >= 0) {
        if (g_settings_unreadable) std::fprintf(stderr, "%s\n", settings_unreadable_text());
        return play_without_window(argc, argv, play + 1);
    }
    // One window per data folder: a second start brings the first to the front.
    bool open_elsewhere = false;
    int window_lock = take_window_lock(g_data, &open_elsewhere);
    if (open_elsewhere) {
        if (ask_window_to_raise(g_data)) return 0;
        std::fprintf(stderr, "%s\n", launcher_open_text());
        return 1;
    }
    if (window_lock >= 0) {
        // What a killed launcher left, while no other one can be at work here.
        int game_lock = take_game_lock(g_data, false);
        if (game_lock >= 0) sweep_leftovers(true);
        release_lock(game_lock);
        listen_for_raise(g_data);
    }
    if (g_settings_unreadable) toast(settings_unreadable_text(), 8);
    return run_window();
}
