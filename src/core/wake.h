#pragma once
// Wakes the frame loop from any thread when something it shows has changed.
// The loop sleeps while nothing on screen can change; workers and the game's
// supervisor call wake_ui() after handing over their results.
#include <cstdint>

// Pushes one wake-up event unless one is already waiting. Safe from any
// thread at any time: before the loop starts and after it ended it does nothing.
void wake_ui();

// Frame loop only: registers the event type after SDL is up, and withdraws
// it (waiting for pushes in progress) before SDL shuts down.
void wake_open();
void wake_close();
// The registered event type, 0 when closed.
uint32_t wake_event_type();
// Called by the loop before it takes over the workers' results: a wake-up
// pushed after this reaches the next turn.
void wake_taken();
