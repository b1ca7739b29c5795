#include "discovery/folder.h"

#include <SDL3/SDL.h>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/atomic_file.h"
#include "core/entry.h"
#include "core/globals.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/toast.h"
#include "core/wake.h"
#include "discovery/game_info.h"
#include "discovery/scan.h"
#include "discovery/shared.h"

FolderChoice g_folder_choice;

namespace {

// The system dialog's state, shared with the thread SDL answers on.
enum : int { DIALOG_IDLE, DIALOG_OPEN, DIALOG_FAILED, DIALOG_CLOSED };
std::atomic<int> g_dialog{DIALOG_IDLE};
std::atomic<bool> g_dialog_answered{false};

// A pad cannot drive the desktop's dialog, and under gamescope there is
// often none: handhelds choose in the launcher.
bool browser_first() {
    static const bool handheld =
        is_handheld(std::getenv("SteamDeck"), std::getenv("SteamGamepadUI"), std::getenv("XDG_CURRENT_DESKTOP"));
    return handheld;
}

struct Proc {
    pid_t pid = 0;
    pid_t ppid = 0;
    std::string comm;
    char state = '?';
};

bool read_proc(pid_t pid, Proc& p) {
    std::string stat;
    if (read_regular_file("/proc/" + std::to_string(pid) + "/stat", stat, 4096) != ReadStatus::ok) return false;
    size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 4 > stat.size()) return false;
    p.pid = pid;
    p.comm = stat.substr(open + 1, close - open - 1);
    p.state = stat[close + 2];
    p.ppid = static_cast<pid_t>(std::atol(stat.c_str() + close + 4));
    return true;
}

std::vector<Proc> processes() {
    std::vector<Proc> all;
    DIR* d = opendir("/proc");
    if (!d) return all;
    while (dirent* e = readdir(d)) {
        char* end = nullptr;
        long pid = std::strtol(e->d_name, &end, 10);
        Proc p;
        if (pid > 0 && end && *end == 0 && read_proc(static_cast<pid_t>(pid), p)) all.push_back(std::move(p));
    }
    closedir(d);
    return all;
}

// The dialog SDL started (zenity, a child of the launcher) and whatever it
// started in turn.
std::vector<pid_t> dialog_processes() {
    std::vector<Proc> all = processes();
    std::vector<pid_t> found;
    for (const Proc& p : all)
        if (p.ppid == getpid() && p.comm == "zenity") found.push_back(p.pid);
    for (size_t i = 0; i < found.size(); ++i)
        for (const Proc& p : all)
            if (p.ppid == found[i]) found.push_back(p.pid);
    return found;
}

bool ended(pid_t pid) {
    Proc p;
    return !read_proc(pid, p) || p.state == 'Z' || p.state == 'X';
}

bool all_ended(const std::vector<pid_t>& pids, double seconds) {
    for (int i = 0; i <= static_cast<int>(seconds * 100); ++i) {
        bool left = false;
        for (pid_t pid : pids) left = left || !ended(pid);
        if (!left) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

std::string folder_start(const char* key) {
    std::string current = S.get(key);
    return !current.empty() && is_dir(current) ? current : home_dir().string();
}

void pick_folder(const char* key) {
    if (!key) return;
    if (g_folder_choice.key) {
        // The dialog may sit behind the launcher's window.
        if (g_folder_choice.way == FolderWay::dialog)
            toast(tr("The folder window is open: choose there or close it.",
                     "A janela de pastas está aberta: escolha nela ou feche-a."), 5);
        return;
    }
    g_folder_choice = {key, browser_first() ? FolderWay::browser : FolderWay::dialog};
    if (g_folder_choice.way == FolderWay::browser) return;
    g_dialog_answered = false;
    g_dialog = DIALOG_OPEN;
    std::string start = folder_start(key);
    // May answer at once, on this thread, when no dialog can be shown.
    SDL_ShowOpenFolderDialog(folder_picked, const_cast<char*>(key), g_window, start.c_str(), false);
}

void folder_picked(void* userdata, const char* const* filelist, int /*filter*/) {
    int open = DIALOG_OPEN;
    if (!filelist) {
        // No list is an error (no portal, no zenity, a crash), not a cancel.
        g_dialog.compare_exchange_strong(open, DIALOG_FAILED);
    } else if (userdata && filelist[0] && filelist[0][0]) {
        // Some dialogs (zenity) answer a cancel with one empty path.
        FolderPick pick{static_cast<const char*>(userdata), filelist[0]};
        {
            std::lock_guard<std::mutex> lock(g_shared.mutex);
            g_shared.picks.push_back(std::move(pick));
        }
        g_dialog.compare_exchange_strong(open, DIALOG_IDLE);
    } else {
        g_dialog.compare_exchange_strong(open, DIALOG_IDLE);
    }
    g_dialog_answered = true;
    wake_ui();
}

void follow_folder_dialog() {
    if (g_folder_choice.way != FolderWay::dialog) return;
    int state = g_dialog.load();
    if (state == DIALOG_OPEN) return;
    if (state == DIALOG_FAILED) {
        g_folder_choice.way = FolderWay::browser;
        toast(tr("The system's folder window did not open: choose the folder here.",
                 "A janela de pastas do sistema não abriu: escolha a pasta aqui."), 6);
    } else {
        g_folder_choice = {};
    }
    // Not open any more, so its thread no longer writes the state.
    g_dialog = DIALOG_IDLE;
}

void queue_folder_pick(const char* key, const std::string& path) {
    if (!key || path.empty()) return;
    std::lock_guard<std::mutex> lock(g_shared.mutex);
    g_shared.picks.push_back({key, path});
}

void end_folder_choice() { g_folder_choice = {}; }

void close_folder_dialog() {
    if (g_dialog.exchange(DIALOG_CLOSED) != DIALOG_OPEN) return;
    // SDL has no way to close its dialog; zenity would stay on screen, and
    // its answer would go nowhere. SDL starts it from a thread that blocks
    // SIGTERM, which the dialog inherits: only SIGKILL ends it.
    std::vector<pid_t> pids = dialog_processes();
    for (pid_t pid : pids) kill(pid, SIGKILL);
    all_ended(pids, 0.5);
    // SDL's dialog thread reaps it and answers; let it finish before SDL quits.
    for (int i = 0; i < 50 && !pids.empty() && !g_dialog_answered.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void apply_folder_picks() {
    for (const FolderPick& pick : g_shared.picks) {
        // Settings are stored one per line: such a name cannot be kept safely.
        if (pick.path.find_first_of("\r\n") != std::string::npos) {
            toast(tr("That folder's name has a line break. Rename the folder and choose it again.",
                     "O nome dessa pasta tem uma quebra de linha. Renomeie a pasta e escolha de novo."), 6);
            continue;
        }
        S.set(pick.key, pick.path);
        g_dirty = true;
        if (pick.key == "game_dir") {
            if (game_info(pick.path).ok)
                S.set("setup_done", "1");
            else
                toast(tr("No eboot.bin in that folder. Choose the dump's folder (CUSA00000).",
                         "Não há eboot.bin nessa pasta. Escolha a pasta do dump (CUSA00000)."), 5);
        } else if (pick.key == "sys_modules") {
            if (!sound_ready())
                toast(tr("libSceNgs2.sprx and libSceUlt.sprx are not in that folder.",
                         "libSceNgs2.sprx e libSceUlt.sprx não estão nessa pasta."), 5);
        }
    }
    g_shared.picks.clear();
}
