#include <gtest/gtest.h>

#include <SDL3/SDL.h>
#include <imgui.h>

#include "capture/capture.h"
#include "core/entry.h"
#include "ui/app.h"

namespace {

TEST(Scale, EnvironmentReplacesDisplayScaleWithinSafeBounds) {
    EXPECT_FLOAT_EQ(choose_scale(1.5f, nullptr), 1.5f);
    EXPECT_FLOAT_EQ(choose_scale(0.0f, nullptr), 1.0f);
    EXPECT_FLOAT_EQ(choose_scale(-2.0f, nullptr), 1.0f);
    EXPECT_FLOAT_EQ(choose_scale(1.0f, "2"), 2.0f);
    EXPECT_FLOAT_EQ(choose_scale(1.0f, "1.25x"), 1.25f) << "leading number, rest ignored";
    EXPECT_FLOAT_EQ(choose_scale(1.5f, "0"), 1.5f);
    EXPECT_FLOAT_EQ(choose_scale(1.5f, "-3"), 1.5f);
    EXPECT_FLOAT_EQ(choose_scale(1.5f, "abc"), 1.5f);
    EXPECT_FLOAT_EQ(choose_scale(1.5f, "nan"), 1.5f);
    EXPECT_FLOAT_EQ(choose_scale(1.0f, "1e30"), 4.0f);
    EXPECT_FLOAT_EQ(choose_scale(1.0f, "inf"), 1.0f);
    EXPECT_FLOAT_EQ(choose_scale(1.0f, "0.01"), 0.5f);
}

TEST(WindowSize, ParsedSidesReplaceDefaultsThenScale) {
    int w = 0, h = 0;
    parse_window_size(nullptr, 1.0f, w, h);
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 800);
    parse_window_size("1024x600", 1.5f, w, h);
    EXPECT_EQ(w, 1536);
    EXPECT_EQ(h, 900);
    parse_window_size("1600", 1.0f, w, h);
    EXPECT_EQ(w, 1600);
    EXPECT_EQ(h, 800);
    parse_window_size("junk", 1.0f, w, h);
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 800);
    parse_window_size("0x-5", 1.0f, w, h);
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 800);
    parse_window_size("99999999x99999999", 4.0f, w, h);
    EXPECT_EQ(w, 8192);
    EXPECT_EQ(h, 8192);
    parse_window_size("1001x1001", 0.5f, w, h);
    EXPECT_EQ(w, 500) << "truncated towards zero";
}

TEST(Handheld, SteamVariablesOrGamescope) {
    EXPECT_TRUE(is_handheld("", nullptr, nullptr)) << "set, even empty";
    EXPECT_TRUE(is_handheld(nullptr, "1", nullptr));
    EXPECT_TRUE(is_handheld(nullptr, nullptr, "KDE:gamescope"));
    EXPECT_FALSE(is_handheld(nullptr, nullptr, "Gamescope"));
    EXPECT_FALSE(is_handheld(nullptr, nullptr, "GNOME"));
    EXPECT_FALSE(is_handheld(nullptr, nullptr, nullptr));
    EXPECT_TRUE(want_fullscreen("1", false));
    EXPECT_TRUE(want_fullscreen("auto", true));
    EXPECT_FALSE(want_fullscreen("auto", false));
    EXPECT_FALSE(want_fullscreen("0", true));
    EXPECT_FALSE(want_fullscreen("", true));
    EXPECT_FALSE(want_fullscreen("yes", true));
}

TEST(PageTitles, OutOfRangeIsLog) {
    EXPECT_STREQ(page_title(-1), page_title(5));
    EXPECT_STREQ(page_title(9), page_title(5));
    EXPECT_STRNE(page_title(0), page_title(5));
}

TEST(CaptureScript, ItemsParseLikeStrtolAndMatchByteForByte) {
    auto steps = parse_script("10:pad.rb,40:pad.south,70:Escape,5: Enter,x:Enter,,nocolon,12:Nothing,-3:F5,"
                              "9:type:,20:type:Zoë a:b,c");
    ASSERT_EQ(steps.size(), 6u);
    EXPECT_EQ(steps[5].text, "Zoë a:b") << "typed text runs to the next comma, colons and blanks kept";
    EXPECT_EQ(steps[5].key + steps[5].button, -1) << "neither a key nor a button";
    EXPECT_EQ(steps[0].frame, 10);
    EXPECT_EQ(steps[0].button, SDL_GAMEPAD_BUTTON_RIGHT_SHOULDER);
    EXPECT_EQ(steps[0].key, 0);
    EXPECT_EQ(steps[1].button, SDL_GAMEPAD_BUTTON_SOUTH);
    EXPECT_EQ(steps[2].frame, 70);
    EXPECT_EQ(steps[2].key, ImGuiKey_Escape);
    EXPECT_EQ(steps[2].button, -1);
    EXPECT_EQ(steps[3].frame, 0) << "x:Enter is due at frame 0";
    EXPECT_EQ(steps[3].key, ImGuiKey_Enter);
    EXPECT_EQ(steps[4].frame, -3);
    EXPECT_EQ(steps[4].key, ImGuiKey_F5);
}

TEST(CaptureScript, GuiKeyNamesIncludeGamepadKeys) {
    auto steps = parse_script(" 7:GamepadStart,8:pad.start");
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].frame, 7) << "leading blanks are allowed before the number";
    EXPECT_EQ(steps[0].key, ImGuiKey_GamepadStart);
    EXPECT_EQ(steps[1].button, SDL_GAMEPAD_BUTTON_START);
}

TEST(CaptureSettings, ShotFrameAndPageAreMadeSafe) {
    ShotRequest none = read_shot_request(nullptr, "5");
    EXPECT_FALSE(none.wanted);
    ShotRequest def = read_shot_request("/tmp/x.bmp", nullptr);
    EXPECT_TRUE(def.wanted);
    EXPECT_EQ(def.frame, 30);
    EXPECT_EQ(read_shot_request("/x", "0").frame, 0);
    EXPECT_EQ(read_shot_request("/x", "12abc").frame, 12);
    EXPECT_EQ(read_shot_request("/x", "abc").frame, 0) << "no digits give 0";
    EXPECT_EQ(read_shot_request("/x", "-4").frame, 0) << "never an unreachable frame";
    EXPECT_EQ(parse_start_page("3"), 3);
    EXPECT_EQ(parse_start_page("5"), 5);
    EXPECT_EQ(parse_start_page("6"), 0);
    EXPECT_EQ(parse_start_page("-1"), 0);
    EXPECT_EQ(parse_start_page("99999999999999"), 0);
}

}  // namespace
