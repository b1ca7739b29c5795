#pragma once
// Keeps two launchers on one data folder from stepping on each other: one
// window per data folder, and one game at a time, whether a window or
// --play started it. Both are advisory locks on files in the data folder,
// which the system drops when their holder ends, however it ends.
#include <atomic>
#include <filesystem>

inline constexpr const char* WINDOW_LOCK = ".quor-window.lock";
inline constexpr const char* GAME_LOCK = ".quor-game.lock";

// The window's lock, held for the life of the process (-1 when another
// launcher's window holds it, or it cannot be taken at all: see *held_elsewhere).
int take_window_lock(const std::filesystem::path& data, bool* held_elsewhere);

// The lock of a game run; -1 when a game from this data folder runs
// elsewhere. inherit: the descriptor survives exec, so the game itself
// holds it (--play replaces the launcher with the game). A folder where no
// lock file can be made gives a descriptor of /dev/null: nothing to guard.
int take_game_lock(const std::filesystem::path& data, bool inherit);
void release_lock(int fd);
// Whether a game started from this data folder runs in another process.
bool game_running_elsewhere(const std::filesystem::path& data);

// The window that holds the lock listens for a second start, which asks it
// to come to the front: listen_for_raise starts a detached worker that sets
// g_raise_requested (and wakes the frame loop) for every such request;
// ask_window_to_raise is the second start's side, false when nobody listens.
extern std::atomic<bool> g_raise_requested;
bool listen_for_raise(const std::filesystem::path& data);
bool ask_window_to_raise(const std::filesystem::path& data);

// "The game is already running from another launcher." and "The launcher is
// already open", in the UI language.
const char* game_running_elsewhere_text();
const char* launcher_open_text();
