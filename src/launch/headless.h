#pragma once

// Starts the game without a window: argv[first..argc-1] go to the starter.
// Replaces the process on success; returns the exit status on failure
// (1 without a game folder, 127 when python3 cannot be started).
int play_without_window(int argc, char** argv, int first);
