#include "launch/headless.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

#include "controls/keys.h"
#include "core/globals.h"
#include "core/instance.h"
#include "core/paths.h"
#include "core/port.h"
#include "core/settings.h"
#include "discovery/game_info.h"
#include "launch/environment.h"
#include "launch/snapshots.h"

int play_without_window(int argc, char** argv, int first) {
    if (!game_info(S.get("game_dir")).ok) {
        std::fprintf(stderr, "%s\n",
                     tr("Choose the game folder in the launcher first.",
                        "Escolha a pasta do jogo no lançador primeiro."));
        return 1;
    }

    // Held by the game itself once python3 replaces this process: no other
    // launcher starts a game on these saves or swaps them under it.
    if (take_game_lock(g_data, true) < 0) {
        std::fprintf(stderr, "%s\n", game_running_elsewhere_text());
        return 1;
    }
    sweep_leftovers(false);

    // A failed write leaves the old bindings; the game still starts.
    std::string ini_note;
    write_key_bindings(&ini_note);
    if (!ini_note.empty()) std::fprintf(stderr, "%s\n", ini_note.c_str());

    if (S.on("save_snapshots")) {
        std::string line = snapshot_before_start(save_folder(), snapshots_dir(), std::time(nullptr), g_pt);
        if (!line.empty()) std::fprintf(stderr, "%s\n", line.c_str());
    }

    EnvList env = game_environment();
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::string script = (g_port / PORT_STARTER).string();
    std::vector<char*> args;
    args.push_back(const_cast<char*>(PYTHON));
    args.push_back(script.data());
    for (int i = first; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);

    if (chdir(g_data.c_str()) != 0) {
        // The starter finds itself by its full path; the data folder is only
        // where relative output lands, so a missing one does not stop it.
    }
    execvpe(PYTHON, args.data(), envp.data());
    std::fprintf(stderr, "python3: %s\n", std::strerror(errno));
    return 127;
}
