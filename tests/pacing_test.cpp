// When the frame loop draws: the pure decision, then the real loop (in this
// process, on SDL's offscreen driver) woken by input, a worker, the game's
// output and end, and a toast running out.
#include <gtest/gtest.h>

#include <SDL3/SDL.h>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "core/globals.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/wake.h"
#include "discovery/folder.h"
#include "launch/game_process.h"
#include "support/testing.h"
#include "ui/app.h"
#include "ui/pacing.h"

// Mesa's drivers and SDL's video subsystem keep a few allocations past
// SDL_Quit; the window tests run the launcher with leak checks off for the
// same reason. Allocations made on this thread while a window lives are
// exempt; everything else is still checked.
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
using WindowLeaksExempt = __lsan::ScopedDisabler;
#else
struct WindowLeaksExempt {};
#endif

namespace fs = std::filesystem;

namespace {

PaceInput at(double now) {
    PaceInput in;
    in.now = now;
    return in;
}

PaceState settled() {
    PaceState st;
    st.settle = 0;
    st.last_start = 0;
    return st;
}

TEST(Pace, DrawsOnlyWhenSomethingCanChange) {
    PaceState st = settled();
    PaceInput in = at(10);
    Pace p = decide_pace(st, in);
    EXPECT_FALSE(p.draw);
    EXPECT_EQ(p.wait, NEVER);

    in.next_change = 15;   // a toast ends, the clock turns
    p = decide_pace(st, in);
    EXPECT_FALSE(p.draw);
    EXPECT_DOUBLE_EQ(p.wait, 5);
    in.next_tick = 12;     // a stop escalates sooner
    EXPECT_DOUBLE_EQ(decide_pace(st, in).wait, 2);
    in.now = 15;
    EXPECT_TRUE(decide_pace(st, in).draw);

    for (auto set : {+[](PaceInput& i) { i.woken = true; }, +[](PaceInput& i) { i.busy = true; },
                     +[](PaceInput& i) { i.every_frame = true; }}) {
        PaceInput one = at(10);
        set(one);
        EXPECT_TRUE(decide_pace(st, one).draw);
    }
    st.settle = 1;
    EXPECT_TRUE(decide_pace(st, at(10)).draw);
}

TEST(Pace, HiddenWindowDrawsOnlyForEventsAndLoopWork) {
    PaceState st;   // settle frames owed, as at start-up
    PaceInput in = at(10);
    in.hidden = true;
    in.busy = true;
    in.next_change = 5;   // already passed: a hidden window shows no clock
    Pace p = decide_pace(st, in);
    EXPECT_FALSE(p.draw);
    EXPECT_EQ(p.wait, NEVER) << "no polling behind a running game";
    in.next_tick = 14;
    EXPECT_DOUBLE_EQ(decide_pace(st, in).wait, 4);
    in.now = 14;
    EXPECT_TRUE(decide_pace(st, in).draw);
    in.now = 10;
    in.woken = true;
    EXPECT_TRUE(decide_pace(st, in).draw);
}

TEST(Pace, AnEventBuysSettleFramesThenTheLoopSleeps) {
    PaceState st = settled();
    PaceInput in = at(1);
    in.woken = true;
    int frames = 0;
    for (double t = 1; decide_pace(st, in).draw && frames < 100; t += 0.016) {
        note_frame(st, in, t, false);
        in = at(t + 0.016);
        ++frames;
    }
    EXPECT_EQ(frames, SETTLE_FRAMES);
}

TEST(Pace, IgnoredVsyncIsNoticedAndFramesAreHeldToTheRefreshRate) {
    const double period = 1.0 / 60;
    // Honoured vsync: back-to-back frames a period apart, never throttled.
    PaceState honoured = settled();
    for (int i = 1; i <= 50; ++i) {
        PaceInput in = at(i * period);
        in.busy = true;
        note_frame(honoured, in, in.now, false);
    }
    EXPECT_TRUE(honoured.vsync_ok);

    // Frames after a sleep, and a settle burst, say nothing about vsync.
    PaceState st = settled();
    for (int i = 1; i <= 50; ++i) note_frame(st, at(i * 0.002), i * 0.002, true);
    for (int i = 1; i < QUICK_FRAMES_LIMIT; ++i) note_frame(st, at(1 + i * 0.002), 1 + i * 0.002, false);
    EXPECT_TRUE(st.vsync_ok);
    // But even then a wake-up (the game's next line) right after a frame
    // waits for nearly a period: a stream of them never outruns the display.
    PaceInput woken = at(st.last_start + 0.002);
    woken.woken = true;
    Pace soon = decide_pace(st, woken);
    EXPECT_FALSE(soon.draw);
    EXPECT_NEAR(soon.wait, 0.9 * period - 0.002, 1e-9);
    woken.now = st.last_start + 0.9 * period;
    EXPECT_TRUE(decide_pace(st, woken).draw);

    // Held input drawing as fast as the renderer goes: vsync is ignored.
    double t = 2;
    for (int i = 0; i < QUICK_FRAMES_LIMIT + 1; ++i, t += 0.002) note_frame(st, at(t), t, false);
    EXPECT_FALSE(st.vsync_ok);
    PaceInput in = at(st.last_start + 0.004);
    in.woken = true;
    Pace p = decide_pace(st, in);
    EXPECT_FALSE(p.draw);
    EXPECT_NEAR(p.wait, period - 0.004, 1e-9);
    in.refresh = 0;   // unknown: 60 Hz
    EXPECT_NEAR(decide_pace(st, in).wait, period - 0.004, 1e-9);
    in.refresh = 144;
    in.now = st.last_start + 1.0 / 144;
    EXPECT_TRUE(decide_pace(st, in).draw);
    // Scripted capture is never held back.
    PaceInput script = at(st.last_start);
    script.every_frame = true;
    EXPECT_TRUE(decide_pace(st, script).draw);
}

TEST(Pace, AToastThatRanOutSinceTheLastFrameIsStillDue) {
    // Last frame at 10 showed a toast lasting until 12: due just after 12,
    // and still due when the loop looks again at 13.
    EXPECT_NEAR(picture_deadline(10, 12, 70), 12.02, 1e-9);
    PaceState st = settled();
    st.last_start = 10;
    PaceInput in = at(13);
    in.next_change = picture_deadline(st.last_start, 12, 70);
    EXPECT_TRUE(decide_pace(st, in).draw);
    // Once a frame after its end was drawn, the toast asks for nothing more.
    EXPECT_EQ(picture_deadline(12.5, 12, 70), 70);
    EXPECT_EQ(picture_deadline(12.5, 12, NEVER), NEVER);
}

TEST(Pace, NextMinuteFollowsTheLocalClock) {
    EXPECT_NEAR(next_minute(100, 120.5, 0), 100 + 59.5 + 0.02, 1e-9);
    // A zone half an hour off UTC turns its minutes at the same instants;
    // one 30 seconds off (none exist, but the sum must hold) would not.
    EXPECT_NEAR(next_minute(100, 120.5, 1800), 100 + 59.5 + 0.02, 1e-9);
    EXPECT_NEAR(next_minute(100, 120.5, -30), 100 + 29.5 + 0.02, 1e-9);
    EXPECT_NEAR(next_minute(0, 59.999, 0), 0.001 + 0.02, 1e-6);
}

// ---- the real loop ------------------------------------------------------------

bool log_mentions(const std::string& part) {
    for (const auto& l : log_lines())
        if (l.find(part) != std::string::npos) return true;
    return false;
}

// Workers call wake_ui at any moment, also while the loop is draining SDL's
// queue; whatever the interleaving, once the loop has taken every event the
// next wake_ui must queue one, or the loop sleeps through a game's end.
TEST(Wake, EveryCallAfterTheQueueWasDrainedQueuesAWakeUp) {
    ASSERT_TRUE(SDL_Init(SDL_INIT_EVENTS));
    wake_open();
    // Two of the loop's turns: SDL ends a turn's polling at its marker, and
    // what was pushed behind the marker comes out in the next one.
    auto drain = [] {
        int taken = 0;
        SDL_Event ev;
        for (int turn = 0; turn < 2; ++turn)
            while (SDL_PollEvent(&ev)) taken += wake_taken(ev);
        return taken;
    };
    wake_ui();
    wake_ui();   // coalesced with the first
    SDL_Event first;
    ASSERT_TRUE(SDL_PollEvent(&first));
    EXPECT_TRUE(wake_taken(first));
    wake_ui();   // lands while the loop is still draining
    EXPECT_EQ(drain(), 1);
    for (int i = 0; i < 3; ++i) {
        wake_ui();
        EXPECT_TRUE(SDL_HasEvent(wake_event_type())) << "a wake-up was lost after drain " << i;
        EXPECT_EQ(drain(), 1);
    }
    SDL_Event other{};
    other.type = wake_event_type() + 1;
    EXPECT_FALSE(wake_taken(other));
    wake_close();
    wake_ui();   // after the loop: nothing reaches SDL
    EXPECT_FALSE(SDL_HasEvents(SDL_EVENT_FIRST, SDL_EVENT_LAST));
    SDL_Quit();
}

// The frame count the loop reports through QUOR_LAUNCHER_STATS.
int frames_in(const fs::path& stats) {
    std::ifstream in(stats);
    std::string word;
    int n = -1;
    in >> word >> n;
    return word == "frames" ? n : -1;
}

class Loop : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEO_DRIVER", "offscreen", 1);
        // SDL's own renderer: Mesa's threads would race among themselves
        // under ThreadSanitizer, and pacing does not depend on the renderer.
        setenv("SDL_RENDER_DRIVER", "software", 1);
        setenv("QUOR_LAUNCHER_STATS", stats.c_str(), 1);
        setenv("QUOR_LAUNCHER_SIZE", "1024x640", 1);
        setenv("QUOR_LAUNCHER_SCALE", "1", 1);
        for (const char* v : {"QUOR_LAUNCHER_SHOT", "QUOR_LAUNCHER_SCRIPT", "QUOR_LAUNCHER_PAGE",
                              "QUOR_LAUNCHER_VPAD", "QUOR_LAUNCHER_LOG", "QUOR_LAUNCHER_FRAMES"})
            unsetenv(v);
        g_port = QUOR_STAGED_PORT;
        g_exe_dir = g_port / "launcher";
        g_data = dir / "data";
        fs::create_directories(g_data);
        setenv("HOME", (dir / "home").c_str(), 1);
        reset_settings();
        S.set("setup_done", "1");
        g_page = 0;
        g_pt = false;
        g_log.clear();
    }

    void TearDown() override {
        for (const char* v : {"QUOR_DEMO_INTERVAL", "QUOR_DEMO_EXIT", "QUOR_DEMO_WHEN"}) unsetenv(v);
    }

    // The stand-in game, started by a scripted F5: a status line every
    // interval seconds, exit with code after when seconds.
    void play_demo(const char* interval, const char* code, const char* when) {
        fs::path dump = dir / "dump";
        write_file(dump / "eboot.bin", "x");
        S.set("game_dir", dump.string());
        setenv("QUOR_LAUNCHER_SCRIPT", "3:F5", 1);
        setenv("QUOR_DEMO_INTERVAL", interval, 1);
        setenv("QUOR_DEMO_EXIT", code, 1);
        setenv("QUOR_DEMO_WHEN", when, 1);
    }

    int frames() const { return frames_in(stats); }

    // Waits until no frame has been drawn for a whole second; false when the
    // loop never comes to rest within the limit.
    bool wait_idle(double limit = 15) {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit);
        int last = frames();
        for (;;) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            int now = frames();
            // The GPU probe answers from a child process some time after start.
            if (now == last && now > 0 && !has_children(getpid())) return true;
            if (std::chrono::steady_clock::now() > end) return false;
            last = now;
        }
    }

    // Runs the launcher's loop on this thread while driver runs beside it;
    // the driver's end closes the window.
    void run(const std::function<void()>& driver) {
        std::thread t([&] {
            driver();
            SDL_Event quit{};
            quit.type = SDL_EVENT_QUIT;
            SDL_PushEvent(&quit);
        });
        int code;
        {
            WindowLeaksExempt exempt;
            code = run_window();
        }
        t.join();
        EXPECT_EQ(code, 0);
    }

    TempDir dir;
    fs::path stats = dir / "stats";
};

TEST_F(Loop, IdleDrawsNothingAndInputWakesIt) {
    S.set("af16", "1");
    setenv("QUOR_LAUNCHER_PAGE", "2", 1);
    run([&] {
        ASSERT_TRUE(wait_until([&] { return frames() > 0; }, 20));
        ASSERT_TRUE(wait_idle());
        int before = frames();
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        // The clock's minute may turn once in between.
        EXPECT_LE(frames() - before, 1) << "frames drawn while nothing changed";
        int count = 0;
        SDL_Window** windows = SDL_GetWindows(&count);
        ASSERT_TRUE(windows && count == 1);
        SDL_WindowID id = SDL_GetWindowID(windows[0]);
        SDL_free(windows);
        // Down and back up show the focus on the first row; Enter flips it.
        for (SDL_Keycode key : {SDLK_DOWN, SDLK_UP, SDLK_RETURN}) {
            int seen = frames();
            for (bool down : {true, false}) {
                SDL_Event ev{};
                ev.type = down ? SDL_EVENT_KEY_DOWN : SDL_EVENT_KEY_UP;
                ev.key.windowID = id;
                ev.key.key = key;
                ev.key.scancode = SDL_GetScancodeFromKey(key, nullptr);
                ev.key.down = down;
                SDL_PushEvent(&ev);
            }
            EXPECT_TRUE(wait_until([&] { return frames() > seen; }, 2)) << "no frame after a key press";
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        EXPECT_TRUE(wait_until([&] { return read_text(g_data / "launcher.ini").find("\naf16=0\n") !=
                                            std::string::npos; }, 3))
            << read_text(g_data / "launcher.ini");
        EXPECT_TRUE(wait_idle()) << "the loop went back to sleep";
    });
}

TEST_F(Loop, AFolderDialogAnswerIsTakenWhileIdle) {
    fs::path dump = dir / "dump";
    write_file(dump / "eboot.bin", "x");
    run([&] {
        ASSERT_TRUE(wait_until([&] { return frames() > 0; }, 20));
        ASSERT_TRUE(wait_idle());
        int before = frames();
        // As SDL's dialog thread answers: from another thread, while the loop sleeps.
        const char* files[] = {dump.c_str(), nullptr};
        folder_picked(const_cast<char*>("game_dir"), files, 0);
        EXPECT_TRUE(wait_until([&] { return frames() > before; }, 2));
        EXPECT_TRUE(wait_until([&] { return read_text(g_data / "launcher.ini").find("game_dir=" + dump.string()) !=
                                            std::string::npos; }, 2));
        EXPECT_TRUE(wait_idle());
    });
}

TEST_F(Loop, GameOutputAndEndWakeTheLoopAndTheErrorToastRunsOut) {
    play_demo("1", "3", "3");
    const std::string end = "— the game exited (code 3) —";
    run([&] {
        ASSERT_TRUE(wait_until([&] { return log_mentions("Entering original x86-64 code"); }, 20));
        // Each status line of the running game is drawn, and only then.
        for (int i = 0; i < 2; ++i) {
            size_t lines = log_lines().size();
            int seen = frames();
            ASSERT_TRUE(wait_until([&] { return log_lines().size() > lines; }, 5));
            EXPECT_TRUE(wait_until([&] { return frames() > seen; }, 2)) << "a new game line was not drawn";
        }
        ASSERT_TRUE(wait_until([&] { return log_has(end); }, 10));
        auto ended = std::chrono::steady_clock::now();
        int at_end = frames();
        EXPECT_TRUE(wait_until([&] { return frames() > at_end; }, 2)) << "the game's end was not drawn";
        // The error toast shows for 8 s, then the footer's status line returns.
        std::this_thread::sleep_until(ended + std::chrono::milliseconds(6500));
        int during = frames();
        std::this_thread::sleep_until(ended + std::chrono::milliseconds(7500));
        int late = frames();
        EXPECT_LE(late - during, 1) << "frames drawn while the toast stood still";
        EXPECT_TRUE(wait_until([&] { return frames() > late; }, 3)) << "the toast's end was not drawn";
    });
}

// Behind the game it started, the window draws nothing however much the
// game prints; the game's end shows it again, and that is drawn.
TEST_F(Loop, HiddenBehindTheGameDrawsNothingUntilItEnds) {
    S.set("close_on_play", "1");
    play_demo("0.05", "0", "3");
    run([&] {
        ASSERT_TRUE(wait_until([&] { return log_mentions("Entering original x86-64 code"); }, 20));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        size_t lines = log_lines().size();
        int hidden = frames();
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        EXPECT_GT(log_lines().size(), lines + 5) << "the game printed while hidden";
        EXPECT_EQ(frames(), hidden) << "frames drawn while the window was hidden";
        ASSERT_TRUE(wait_until([&] { return log_has("— the game exited (code 0) —"); }, 10));
        EXPECT_TRUE(wait_until([&] { return frames() > hidden; }, 2)) << "the window shown again was not drawn";
    });
}

}  // namespace
