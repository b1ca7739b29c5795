#pragma once
#include <mutex>
#include <string>
#include <vector>

struct FolderPick {
    std::string key;
    std::string path;
};

// A static layer's picture as drawn once: the layer's key (what it shows and
// at which size), the picture file it came from (picture_identity) and w*h
// rows of 4 bytes, XRGB8888.
struct CachedLayer {
    std::string key;
    std::string identity;
    int w = 0, h = 0;
    std::string pixels;
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
    // The Play page's picture, decoded off the UI thread: the file the UI
    // wants now, and its finished decode (RGBA rows; empty when it could not
    // be read). Decodes of any other file are dropped by their worker.
    // With a kept layer made from this very file, the layer comes instead
    // (banner_cached) and the picture is not decoded.
    std::string banner_wanted;
    std::vector<unsigned char> banner_pixels;
    int banner_w = 0, banner_h = 0;
    std::string banner_identity;
    CachedLayer banner_cached;
    bool banner_done = false;
    // The toast of a finished Add to Steam (or Remove) press.
    std::string steam_message;
    bool steam_done = false;
};

// Lives for the whole process: detached workers may outlast the frame loop.
extern Shared& g_shared;
