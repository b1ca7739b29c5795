#include <gtest/gtest.h>

#include <SDL3/SDL.h>

#include "controls/key_capture.h"
#include "controls/keys.h"
#include "controls/page_controls.h"
#include "core/settings.h"
#include "support/testing.h"

namespace {

const KeyInput& input(const char* id) {
    for (const auto& k : KEY_INPUTS)
        if (std::string(id) == k.id) return k;
    throw std::runtime_error("no such action");
}

SDL_Event key_down(SDL_Scancode sc) {
    SDL_Event ev{};
    ev.type = SDL_EVENT_KEY_DOWN;
    ev.key.scancode = sc;
    ev.key.down = true;
    return ev;
}

class Capture : public ::testing::Test {
protected:
    void SetUp() override {
        reset_settings();
        g_capture_key.clear();
    }
};

TEST_F(Capture, DefaultKeyRemovesTheBinding) {
    S.set("key.move_up", "Up");
    g_capture_key = "move_up";
    finish_capture("W");
    EXPECT_EQ(S.map.count("key.move_up"), 0u);
    EXPECT_EQ(key_row_value(input("move_up")), "W");
    EXPECT_TRUE(g_dirty);
    EXPECT_TRUE(g_capture_key.empty());
}

TEST_F(Capture, NewestBindingWinsAndTheOtherIsUnbound) {
    g_capture_key = "move_up";
    finish_capture("S");
    EXPECT_EQ(key_of(input("move_up")), "S");
    EXPECT_EQ(key_row_value(input("move_up")), "S  *");
    EXPECT_EQ(S.get("key.move_down"), "");
    EXPECT_EQ(S.map.count("key.move_down"), 1u);
    EXPECT_EQ(key_row_value(input("move_down")), "—  *");
}

TEST_F(Capture, EventsRouteToTheCapture) {
    EXPECT_FALSE(capture_event(key_down(SDL_SCANCODE_A))) << "no capture running";
    g_capture_key = "cross";
    EXPECT_TRUE(capture_event(key_down(SDL_SCANCODE_DELETE)));
    EXPECT_EQ(S.get("key.cross"), "");
    EXPECT_EQ(S.map.count("key.cross"), 1u) << "Delete leaves the action unbound";

    g_capture_key = "cross";
    g_dirty = false;
    EXPECT_TRUE(capture_event(key_down(SDL_SCANCODE_ESCAPE)));
    EXPECT_TRUE(g_capture_key.empty());
    EXPECT_FALSE(g_dirty) << "Escape changes nothing";

    g_capture_key = "cross";
    SDL_Event pad{};
    pad.type = SDL_EVENT_GAMEPAD_BUTTON_DOWN;
    pad.gbutton.button = SDL_GAMEPAD_BUTTON_SOUTH;
    EXPECT_TRUE(capture_event(pad));
    EXPECT_EQ(g_capture_key, "cross") << "other pad buttons are ignored";
    pad.gbutton.button = SDL_GAMEPAD_BUTTON_EAST;
    EXPECT_TRUE(capture_event(pad));
    EXPECT_TRUE(g_capture_key.empty());

    g_capture_key = "options";
    EXPECT_TRUE(capture_event(key_down(SDL_SCANCODE_F11)));
    EXPECT_EQ(S.get("key.options"), "F11") << "F11 is captured, not a full-screen toggle";

    g_capture_key = "options";
    SDL_Event up{};
    up.type = SDL_EVENT_KEY_UP;
    EXPECT_TRUE(capture_event(up));
    SDL_Event motion{};
    motion.type = SDL_EVENT_MOUSE_MOTION;
    EXPECT_FALSE(capture_event(motion)) << "mouse events reach the GUI";
    EXPECT_EQ(g_capture_key, "options");
}

TEST_F(Capture, AutoRepeatNeverFinishesACapture) {
    // Enter held on the row arms the capture; its repeats are no answer.
    g_capture_key = "move_up";
    SDL_Event rep = key_down(SDL_SCANCODE_RETURN);
    rep.key.repeat = true;
    EXPECT_TRUE(capture_event(rep)) << "swallowed";
    EXPECT_EQ(g_capture_key, "move_up");
    EXPECT_EQ(S.map.count("key.move_up"), 0u);
    EXPECT_TRUE(capture_event(key_down(SDL_SCANCODE_RETURN)));
    EXPECT_EQ(S.get("key.move_up"), "Return") << "a fresh press of the same key binds it";
}

TEST_F(Capture, UnnamedScancodeKeepsCapturing) {
    g_capture_key = "l1";
    EXPECT_TRUE(capture_event(key_down(static_cast<SDL_Scancode>(SDL_SCANCODE_COUNT - 1))));
    EXPECT_EQ(g_capture_key, "l1");
    EXPECT_EQ(S.map.count("key.l1"), 0u);
}

TEST_F(Capture, UnknownActionOnlyEndsTheCapture) {
    g_capture_key = "nope";
    finish_capture("K");
    EXPECT_TRUE(g_capture_key.empty());
    EXPECT_FALSE(g_dirty);
}

TEST_F(Capture, RestoreDefaultsRemovesEveryBinding) {
    S.set("key.cross", "");
    S.set("key.zzz", "Q");
    S.set("keyboard", "x");
    reset_keys();
    EXPECT_EQ(S.map.count("key.cross"), 0u);
    EXPECT_EQ(S.map.count("key.zzz"), 0u);
    EXPECT_EQ(S.get("keyboard"), "x");
    EXPECT_TRUE(g_dirty);
    g_dirty = false;
    reset_keys();
    EXPECT_TRUE(g_dirty) << "even with nothing to restore";
}

}  // namespace
