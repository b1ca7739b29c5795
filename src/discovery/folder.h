#pragma once
#include <string>

// How the folder choice in progress is being made.
enum class FolderWay { none, dialog, browser };

// The one folder choice in progress; at most one at a time. UI thread.
struct FolderChoice {
    const char* key = nullptr;   // the setting being chosen; null when none
    FolderWay way = FolderWay::none;
};
extern FolderChoice g_folder_choice;

// Starts choosing a folder for a folder setting and returns at once: on a
// handheld in the launcher's own browser, elsewhere in the system dialog
// (the browser when that fails). Nothing new opens while a choice is open.
// key must live for the whole process (pass a string literal).
void pick_folder(const char* key);

// The dialog's completion callback (SDL_DialogFileCallback): queues the
// first chosen path under the key given as userdata; an error (no list)
// hands the choice to the browser. Any thread.
void folder_picked(void* userdata, const char* const* filelist, int filter);

// UI thread, once per frame: ends the choice when the dialog has answered,
// or turns it to the browser when the dialog failed.
void follow_folder_dialog();

// Queues a folder chosen in the browser, as the dialog's answers are queued.
void queue_folder_pick(const char* key, const std::string& path);

// The browser was closed (after its pick, if any, was queued).
void end_folder_choice();

// Where a choice for key starts: the setting's folder when it is one, else home.
std::string folder_start(const char* key);

// Shutdown: ends a system dialog the launcher opened that is still showing
// (SDL runs it as a child process, which would outlive the launcher).
void close_folder_dialog();

// Frame-loop drain, UI thread, g_shared.mutex held by the caller: stores every
// queued pick in order, checks game and sound folders, empties the queue.
void apply_folder_picks();
