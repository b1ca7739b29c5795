#include "ui/pacing.h"

#include <algorithm>
#include <cmath>

namespace {

double frame_period(double refresh) { return 1.0 / (refresh > 1 && std::isfinite(refresh) ? refresh : 60.0); }

}  // namespace

Pace decide_pace(const PaceState& st, const PaceInput& in) {
    if (in.every_frame) return {true, 0};
    double deadline = in.hidden ? in.next_tick : std::min(in.next_tick, in.next_change);
    bool wanted = in.woken || in.now >= deadline || (!in.hidden && (in.busy || st.settle > 0));
    if (!wanted) return {false, deadline == NEVER ? NEVER : deadline - in.now};
    // A renderer honouring vsync holds back-to-back frames to the display's
    // rate, but a turn woken after a sleep starts at once, and one whose
    // vsync is quietly ignored (a VM, a remote desktop) would draw at the
    // rate of its wake-ups: a game flooding its output would get hundreds
    // of frames a second. Turns are spaced by at least a period (nearly
    // one while vsync seems honoured, so a frame never misses its vblank).
    double earliest = st.last_start + frame_period(in.refresh) * (st.vsync_ok ? 0.9 : 1.0);
    if (in.now < earliest) return {false, earliest - in.now};
    return {true, 0};
}

void note_frame(PaceState& st, const PaceInput& in, double start, bool slept) {
    const double period = frame_period(in.refresh);
    if (in.woken) st.settle = SETTLE_FRAMES;
    if (st.settle > 0) --st.settle;
    if (st.vsync_ok && !slept && !in.every_frame) {
        if (start - st.last_start < 0.9 * period)
            ++st.quick;
        else
            st.quick = 0;
        if (st.quick >= QUICK_FRAMES_LIMIT) st.vsync_ok = false;
    }
    st.last_start = start;
}

double picture_deadline(double last_frame, double toast_until, double clock_turn) {
    // A little after the end, so the footer no longer shows the toast.
    double toast_end = last_frame < toast_until ? toast_until + 0.02 : NEVER;
    return std::min(toast_end, clock_turn);
}

double next_minute(double now_ticks, double wall_seconds, long utc_offset) {
    double local = wall_seconds + static_cast<double>(utc_offset);
    double into = std::fmod(local, 60.0);
    if (into < 0) into += 60.0;
    // A little after the turn of the minute, so the clock reads the new one.
    return now_ticks + (60.0 - into) + 0.02;
}
