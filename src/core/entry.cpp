#include "core/entry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/globals.h"
#include "core/instance.h"
#include "core/paths.h"
#include "core/settings.h"
#include "launch/headless.h"
#include "launch/snapshots.h"
#include "ui/app.h"
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

int find_play_switch(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (argv[i] && std::strcmp(argv[i], "--play") == 0) return i;
    return -1;
}

int launcher_main(int argc, char** argv) {
    find_paths();
    load_settings();
    g_pt = choose_portuguese(S.get("ui_language"), std::getenv("LC_ALL"),
                             std::getenv("LC_MESSAGES"), std::getenv("LANG"));
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
