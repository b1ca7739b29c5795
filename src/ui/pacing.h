#pragma once
// When the frame loop draws and how long it may sleep. Drawing an unchanged
// picture is wasted battery, so the loop draws only when something can have
// changed: an event (input, window, a worker's wake-up), a deadline (a toast
// ending, the clock's minute, a pending stop), input still settling.
#include <limits>

inline constexpr double NEVER = std::numeric_limits<double>::infinity();
// Frames drawn after any event: the GUI needs them to settle hover, the
// navigation highlight and layouts that size themselves from the last frame.
inline constexpr int SETTLE_FRAMES = 4;
// Frames in a row presented faster than the display allows before the
// renderer's vsync is taken for ignored.
inline constexpr int QUICK_FRAMES_LIMIT = 8;

// What the loop remembers between turns.
struct PaceState {
    int settle = SETTLE_FRAMES;   // frames still owed; the first frames settle too
    double last_start = -NEVER;   // when the last drawn turn began (seconds)
    bool vsync_ok = true;         // the renderer paces presents itself
    int quick = 0;                // frames in a row that came too soon for vsync
};

// What the loop sees at the top of a turn. Times are in seconds on one clock.
struct PaceInput {
    double now = 0;
    bool every_frame = false;   // scripted capture or scripted input pending
    bool hidden = false;        // hidden, minimised or occluded: nothing to show
    bool woken = false;         // an event is waiting (input, window, wake-up)
    bool busy = false;          // a key or button held, a text field being edited
    double next_change = NEVER;   // the picture changes by itself then (toast end, clock)
    double next_tick = NEVER;     // the loop has work then even when hidden (stop escalation)
    double refresh = 60;          // display refresh rate in Hz
};

struct Pace {
    bool draw = false;   // run a turn now
    double wait = 0;     // otherwise sleep until an event or this many seconds (NEVER: no limit)
};

Pace decide_pace(const PaceState& st, const PaceInput& in);

// Book-keeping after a drawn turn that began at start: wakes were served,
// one settle frame spent, and vsync judged from back-to-back frames
// (slept: the loop idled before this turn, so its spacing says nothing).
void note_frame(PaceState& st, const PaceInput& in, double start, bool slept);

// When the picture next changes by itself, for a frame last drawn at
// last_frame: the end of a toast that frame still showed, or the clock's
// turn (clock_turn, from next_minute at that frame), whichever comes first.
double picture_deadline(double last_frame, double toast_until, double clock_turn);

// Seconds on the tick clock at which the wall clock's next minute begins,
// given the wall time in seconds since the epoch and its UTC offset.
double next_minute(double now_ticks, double wall_seconds, long utc_offset);
