#pragma once
// Wakes the frame loop from any thread when something it shows has changed.
// The loop sleeps while nothing on screen can change; workers and the game's
// supervisor call wake_ui() after handing over their results.
#include <cstdint>

union SDL_Event;

// Pushes one wake-up event unless one is already waiting. Safe from any
// thread at any time: before the loop starts and after it ended it does nothing.
void wake_ui();

// Frame loop only: registers the event type after SDL is up, and withdraws
// it (waiting for pushes in progress) before SDL shuts down.
void wake_open();
void wake_close();
// The registered event type, 0 when closed.
uint32_t wake_event_type();
// The loop hands every event it takes from SDL's queue here first; true for
// the wake-up event, whose removal lets wake_ui push again. Re-arming at any
// other moment loses wake-ups: one pushed before the queue is drained goes
// with the drain while the "queued" mark stays, every later wake_ui then
// pushes nothing, and the loop sleeps with a finished game or new output
// waiting.
bool wake_taken(const SDL_Event& ev);
