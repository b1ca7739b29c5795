// Header, footer and gamepad glyphs: the texts they decide, the gamepad
// families read from real (virtual) SDL gamepads, and the header's tabs.
#include <gtest/gtest.h>

#include <SDL3/SDL.h>
#include <imgui.h>

#include <filesystem>
#include <functional>
#include <string>

#include "core/globals.h"
#include "core/paths.h"
#include "core/settings.h"
#include "support/gui.h"
#include "support/testing.h"
#include "ui/app.h"
#include "ui/chrome.h"
#include "ui/theme.h"

namespace {

float ten_per_byte(const std::string& s) { return 10.0f * static_cast<float>(s.size()); }

class ChromeTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_settings();
        g_pt = false;
        g_page = 0;
        g_family = 0;
        g_pad_name.clear();
    }
    void TearDown() override {
        g_page = 0;
        g_family = 0;
        g_focus_first = false;
    }
};

// Attaches a virtual gamepad with the given USB ids; returns its id or 0.
SDL_JoystickID attach_pad(Uint16 vendor, Uint16 product, const char* name) {
    SDL_VirtualJoystickDesc desc;
    SDL_INIT_INTERFACE(&desc);
    desc.type = SDL_JOYSTICK_TYPE_GAMEPAD;
    desc.naxes = SDL_GAMEPAD_AXIS_COUNT;
    desc.nbuttons = SDL_GAMEPAD_BUTTON_COUNT;
    desc.vendor_id = vendor;
    desc.product_id = product;
    desc.name = name;
    return SDL_AttachVirtualJoystick(&desc);
}

}  // namespace

TEST_F(ChromeTest, GamepadTypesMapToGlyphFamilies) {
    EXPECT_EQ(family_of_type(SDL_GAMEPAD_TYPE_PS3), 1);
    EXPECT_EQ(family_of_type(SDL_GAMEPAD_TYPE_PS4), 1);
    EXPECT_EQ(family_of_type(SDL_GAMEPAD_TYPE_PS5), 1);
    EXPECT_EQ(family_of_type(SDL_GAMEPAD_TYPE_NINTENDO_SWITCH_PRO), 3);
    EXPECT_EQ(family_of_type(SDL_GAMEPAD_TYPE_NINTENDO_SWITCH_JOYCON_PAIR), 3);
    EXPECT_EQ(family_of_type(SDL_GAMEPAD_TYPE_XBOXONE), 2);
    EXPECT_EQ(family_of_type(SDL_GAMEPAD_TYPE_STANDARD), 2);
    EXPECT_EQ(family_of_type(SDL_GAMEPAD_TYPE_UNKNOWN), 2);
    EXPECT_EQ(family_of_type(SDL_GAMEPAD_TYPE_NINTENDO_SWITCH_JOYCON_LEFT), 2);
}

TEST_F(ChromeTest, RefreshReadsTheFirstConnectedPad) {
    ASSERT_TRUE(SDL_Init(SDL_INIT_GAMEPAD)) << SDL_GetError();
    refresh_gamepads();
    EXPECT_EQ(g_family, 0);
    EXPECT_EQ(g_pad_name, "");

    SDL_JoystickID ps = attach_pad(0x054C, 0x0CE6, "DualSense Wireless Controller");
    ASSERT_NE(ps, 0u) << SDL_GetError();
    refresh_gamepads();
    EXPECT_EQ(g_family, 1);
    EXPECT_EQ(g_pad_name, "DualSense Wireless Controller");
    SDL_DetachVirtualJoystick(ps);

    SDL_JoystickID xbox = attach_pad(0x045E, 0x0B12, "Xbox Series X Controller");
    ASSERT_NE(xbox, 0u) << SDL_GetError();
    refresh_gamepads();
    EXPECT_EQ(g_family, 2);
    EXPECT_EQ(g_pad_name, "Xbox Series X Controller");
    SDL_DetachVirtualJoystick(xbox);

    refresh_gamepads();
    EXPECT_EQ(g_family, 0);
    EXPECT_EQ(g_pad_name, "");
    SDL_Quit();
}

TEST_F(ChromeTest, PadNameIsCutAfter27Bytes) {
    EXPECT_EQ(pad_name_label(""), "");
    EXPECT_EQ(pad_name_label(std::string(28, 'x')), std::string(28, 'x'));
    EXPECT_EQ(pad_name_label(std::string(29, 'x')), std::string(27, 'x') + "…");
    EXPECT_EQ(pad_name_label(std::string(40, 'y')), std::string(27, 'y') + "…");
}

TEST_F(ChromeTest, StatusLineShowsToastThenGameStateThenVersion) {
    ImU32 color = 0;
    EXPECT_EQ(footer_status_text("Saved.", 10.0, 9.0, true, true, &color), "Saved.");
    EXPECT_EQ(color, TEXT);
    // An expired toast gives way to the game state.
    EXPECT_EQ(footer_status_text("Saved.", 10.0, 10.0, true, false, &color), "● Preparing the game…");
    EXPECT_EQ(color, OK);
    EXPECT_EQ(footer_status_text("", 0, 10.0, true, true, &color), "● The game is running");
    EXPECT_EQ(footer_status_text("", 0, 10.0, false, false, &color), "v0.60.6-revo26  ·  native Linux port");
    EXPECT_EQ(color, MUTED);
    g_pt = true;
    EXPECT_EQ(footer_status_text("", 0, 10.0, false, false), "v0.60.6-revo26  ·  port nativo para Linux");
    EXPECT_EQ(footer_status_text("", 0, 10.0, true, true), "● O jogo está rodando");
    EXPECT_EQ(footer_status_text("", 0, 10.0, true, false), "● Preparando o jogo…");
}

TEST_F(ChromeTest, StatusIsShortenedFromTheEnd) {
    EXPECT_EQ(shorten_status("Short", 100, ten_per_byte), "Short");
    EXPECT_EQ(shorten_status("Saves imported: 12", 150, ten_per_byte), "Saves import…");
    EXPECT_EQ(shorten_status("Saves imported: 12", 0, ten_per_byte), "S…");
}

TEST_F(ChromeTest, FooterHintsFollowPageAndGame) {
    auto play = footer_hints(0, false);
    ASSERT_EQ(play.size(), 2u);
    EXPECT_EQ(std::string(play[0].key_label), "Enter");
    EXPECT_EQ(std::string(play[1].key_label), "F5");
    EXPECT_EQ(std::string(play[1].text), "Play");

    auto other = footer_hints(3, true);
    ASSERT_EQ(other.size(), 3u);
    EXPECT_EQ(other[1].glyph, Glyph::East);
    EXPECT_EQ(std::string(other[1].key_label), "Esc");
    EXPECT_EQ(std::string(other[1].text), "Back");
    EXPECT_EQ(other[2].glyph, Glyph::StartButton);
    EXPECT_EQ(std::string(other[2].text), "Stop");
    g_pt = true;
    EXPECT_EQ(std::string(footer_hints(1, true)[2].text), "Parar");
    EXPECT_EQ(std::string(footer_hints(1, false)[0].text), "Selecionar");
}

TEST_F(ChromeTest, ChipLabelsAndWidthsFollowTheFamily) {
    EXPECT_STREQ(glyph_label(Glyph::StartButton, 1), "Options");
    EXPECT_STREQ(glyph_label(Glyph::StartButton, 3), "+");
    EXPECT_STREQ(glyph_label(Glyph::StartButton, 2), "Menu");
    EXPECT_STREQ(glyph_label(Glyph::ViewButton, 3), "−");
    EXPECT_STREQ(glyph_label(Glyph::LeftShoulder, 0), "LB");
    EXPECT_STREQ(glyph_label(Glyph::RightShoulder, 1), "R1");

    Gui gui;
    gui.frame([] {
        ImDrawList* dl = ImGui::GetWindowDrawList();
        g_family = 3;
        EXPECT_FLOAT_EQ(draw_glyph(dl, ImVec2(0, 0), Glyph::StartButton, 26), 1.35f * 26);  // "+" is narrow
        EXPECT_FLOAT_EQ(draw_glyph(dl, ImVec2(0, 0), Glyph::South, 26), 26);
        g_family = 1;
        float options = draw_glyph(dl, ImVec2(0, 0), Glyph::StartButton, 26);
        EXPECT_GT(options, 1.35f * 26);
        EXPECT_FLOAT_EQ(options, glyph_width(Glyph::StartButton, 26));
        EXPECT_FLOAT_EQ(draw_glyph(dl, ImVec2(0, 0), Glyph::North, 26), 26);
    });
}

TEST_F(ChromeTest, HeaderTabClickSwitchesPageAndSaves) {
    TempDir dir;
    g_data = dir.path();
    Gui gui;
    auto body = [] {
        draw_header();
        draw_footer();
    };
    gui.frame(body);

    // Tabs start after the title: find the Controls tab from the title widths.
    float x = 0;
    gui.frame([&] {
        push_font(0.86f);
        x = 28 + text_width("VELTRANE") + 36;
        ImGui::PopFont();
        for (int i = 0; i < 3; ++i) x += text_width(page_title(i)) + 30;
        x += text_width(page_title(3)) / 2;
    });

    // The current page's tab does nothing.
    g_page = 3;
    g_dirty = true;
    gui.click(ImVec2(x, 32), body);
    EXPECT_EQ(g_page, 3);
    EXPECT_FALSE(g_focus_first);
    EXPECT_TRUE(g_dirty);

    // Another page's tab switches and saves pending settings.
    g_page = 0;
    gui.click(ImVec2(x, 32), body);
    EXPECT_EQ(g_page, 3);
    EXPECT_TRUE(g_focus_first);
    EXPECT_FALSE(g_dirty);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "launcher.ini"));
    g_data.clear();
}
