#pragma once
#include <string>
#include <vector>

// The one Play action: stops a running game, asks for the game folder when
// none is valid, otherwise saves, writes the bindings and starts the game.
void play_pressed();

// Spawns python3 with quor.py in its own process group and hands it to the
// supervisor. Returns whether the game was started. With save snapshots on
// and saves present, the supervisor thread snapshots them first and spawns
// afterwards; the run counts as started (preparing) at once.
// Refused with a toast while a game from this data folder runs elsewhere.
bool start_game();
// Lets go of the finished run's game lock; the frame loop calls it when it
// handles the run's end.
void release_run_lock();

// The game-log line and the toast for a spawn that failed.
std::string spawn_error_line(int err, bool pt);
void python_missing_toast();

// The spawn itself: argv[0] searched along PATH, exactly env as environment,
// cwd as working directory, stdin from /dev/null, stdout and stderr into one
// close-on-exec pipe, a new process group led by the child. Returns 0 and
// fills read_fd and pid; -1 when the pipe could not be made; else the
// error number of the failed spawn.
int spawn_game_process(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       const std::string& cwd, int& read_fd, int& pid);
