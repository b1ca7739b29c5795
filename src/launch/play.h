#pragma once

enum class PlayOutcome {
    stopped,            // a running game was asked to stop
    asked_for_folder,   // no valid game folder: the folder choice opened
    started,            // the run began ("preparing"); its end comes by take_run_end
    not_started,        // refused, with a toast
};

// The one Play action: stops a running game, asks for the game folder when
// none is valid, otherwise saves, writes the bindings and starts the game.
// It never touches the window: the UI hides it on a start when asked to.
PlayOutcome play_pressed();

// Starts the run (snapshot when due, spawn, supervision) on its worker.
// Refused with a toast while a game from this data folder runs elsewhere,
// or when no thread can be had. Returns whether the run began.
bool start_game();

// Lets go of the finished run's game lock; the frame loop calls it when it
// handles the run's end.
void release_run_lock();
