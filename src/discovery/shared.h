#pragma once
#include <mutex>
#include <string>
#include <vector>

struct FolderPick {
    std::string key;
    std::string path;
};

// Everything background work hands to the UI thread, under one mutex.
struct Shared {
    std::mutex mutex;
    std::string gpu_name;
    int gpu_state = 0;
    std::string eboot_key;
    int eboot_state = -1;
    std::string eboot_folder;   // the game folder eboot_key names
    bool eboot_busy = false;    // an executable check runs (at most one)
    bool scan_busy = false;
    bool scan_done = false;
    bool scan_manual = false;   // the published results' search was asked for by the player
    std::vector<std::string> found_games;
    std::vector<std::string> found_sys_modules;
    std::vector<std::string> found_saves;
    std::string found_dlc;
    std::vector<FolderPick> picks;
};

// Lives for the whole process: detached workers may outlast the frame loop.
extern Shared& g_shared;
