#include "launch/play.h"

#include "controls/keys.h"
#include "core/globals.h"
#include "core/instance.h"
#include "core/paths.h"
#include "core/port.h"
#include "core/settings.h"
#include "core/toast.h"
#include "discovery/folder.h"
#include "discovery/game_info.h"
#include "launch/environment.h"
#include "launch/game_process.h"
#include "launch/snapshots.h"

namespace {

// The game lock of this window's run (UI thread only), held from the start
// to the frame that handles the run's end.
int g_run_lock = -1;

}  // namespace

void release_run_lock() {
    if (g_game.running.load()) return;
    release_lock(g_run_lock);
    g_run_lock = -1;
}

bool start_game() {
    release_run_lock();
    if (g_run_lock < 0 && (g_run_lock = take_game_lock(g_data, false)) < 0) {
        // A game started with --play, or by a launcher whose window was
        // closed, plays on these saves.
        toast(game_running_elsewhere_text(), 6);
        return false;
    }
    RunPlan plan;
    plan.argv = {PYTHON, (g_port / PORT_STARTER).string()};
    plan.env = game_environment();
    plan.cwd = g_data.string();
    plan.dir = g_data;
    plan.pt = g_pt;
    fs::path saves = save_folder();
    if (S.on("save_snapshots") && dir_has_entries(saves)) {
        plan.saves = saves;
        plan.snapshots = snapshots_dir();
    }
    if (begin_run(std::move(plan))) return true;
    release_lock(g_run_lock);
    g_run_lock = -1;
    toast(tr("The game could not be started: the system has no room for another task. Close a program and try again.",
             "Não foi possível iniciar o jogo: o sistema não tem espaço para outra tarefa. Feche um programa e tente de novo."),
          6);
    return false;
}

PlayOutcome play_pressed() {
    if (g_game.running.load()) {
        stop_game();
        return PlayOutcome::stopped;
    }
    if (!game_info(S.get("game_dir")).ok) {
        pick_folder("game_dir");
        return PlayOutcome::asked_for_folder;
    }
    save_settings();
    std::string ini_note;
    write_key_bindings(&ini_note);
    g_log.clear();
    if (!ini_note.empty()) g_log.add(ini_note);
    if (!start_game()) return PlayOutcome::not_started;
    toast(tr("Preparing the game; it opens in its own window…",
             "Preparando o jogo; ele abre na própria janela…"), 6);
    return PlayOutcome::started;
}
