#pragma once

// Opens the system folder dialog for a folder setting; returns at once.
// key must live for the whole process (pass a string literal).
void pick_folder(const char* key);

// The dialog's completion callback (SDL_DialogFileCallback): queues the
// first chosen path under the key given as userdata. Any thread.
void folder_picked(void* userdata, const char* const* filelist, int filter);

// Frame-loop drain, UI thread, g_shared.mutex held by the caller: stores every
// queued pick in order, checks game and sound folders, empties the queue.
void apply_folder_picks();
