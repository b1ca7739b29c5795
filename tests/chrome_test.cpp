// Header, footer and gamepad glyphs: the texts they decide, the gamepad
// families read from real (virtual) SDL gamepads, and the header's tabs.
#include <gtest/gtest.h>

#include <SDL3/SDL.h>
#include <imgui.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>

#include "core/globals.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/toast.h"
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

    // Two pads: the glyphs follow the one last pressed, while it stays.
    ps = attach_pad(0x054C, 0x0CE6, "DualSense Wireless Controller");
    xbox = attach_pad(0x045E, 0x0B12, "Xbox Series X Controller");
    refresh_gamepads();
    EXPECT_EQ(g_family, 1);
    pad_pressed(xbox);
    EXPECT_EQ(g_pad_name, "Xbox Series X Controller");
    refresh_gamepads();
    EXPECT_EQ(g_family, 2) << "another pad's arrival keeps the one in hand";
    SDL_DetachVirtualJoystick(xbox);
    refresh_gamepads();
    EXPECT_EQ(g_family, 1);
    SDL_DetachVirtualJoystick(ps);
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
    // A toast wraps to a second line between words instead.
    using Lines = std::vector<std::string>;
    EXPECT_EQ(wrap_status("Press again to quit", 110, ten_per_byte), (Lines{"Press again", "to quit"}));
    EXPECT_EQ(wrap_status("Save imported from /a/very/long/path", 150, ten_per_byte),
              (Lines{"Save imported", "from /a/very…"}));
    EXPECT_EQ(wrap_status("/one/long/word", 60, ten_per_byte), (Lines{"/one/l", "ong…"}));
}

TEST_F(ChromeTest, TheEastButtonQuitsOnlyWhenPressedTwiceInTime) {
    g_quit_requested = false;
    EXPECT_FALSE(quit_press(10));
    EXPECT_EQ(g_toast, "Press again to quit");
    EXPECT_TRUE(quit_press(10 + QUIT_CONFIRM_SECONDS - 0.5));
    EXPECT_TRUE(std::exchange(g_quit_requested, false));
    g_pt = true;
    EXPECT_FALSE(quit_press(20));
    EXPECT_EQ(g_toast, "Pressione de novo para sair");
    EXPECT_FALSE(quit_press(20 + QUIT_CONFIRM_SECONDS + 0.5)) << "too late: it asks again";
    quit_press_reset();
    EXPECT_FALSE(quit_press(25) || g_quit_requested) << "the player went elsewhere in between";
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

    // What the pad does on the focused row, and the way out on the Play page.
    struct Row { int page; RowKind row; bool pad; std::string shown; };
    const Row rows[] = {
        {1, RowKind::Toggle, true, "Alternar|Voltar|Jogar"},
        {1, RowKind::FolderSet, false, "Mudar|Limpar|Voltar|Jogar"},
        {4, RowKind::Text, true, "Digitar|Voltar|Jogar"},
        {4, RowKind::Typing, true, "Pronto|Jogar"},
        {0, RowKind::Button, true, "Selecionar|Sair|Jogar"},
        {0, RowKind::Toggle, false, "Alternar|Jogar"},
    };
    for (const Row& r : rows) {
        std::string shown;
        for (const FooterHint& h : footer_hints(r.page, false, r.row, r.pad))
            shown += (shown.empty() ? "" : "|") + std::string(h.text);
        EXPECT_EQ(shown, r.shown);
    }
    auto set = footer_hints(1, false, RowKind::FolderSet, true);
    EXPECT_TRUE(set[1].glyph == Glyph::West && std::string(set[1].key_label) == "Del");
    // A narrow footer drops Play, then Clear, then Back; the row's own hint stays.
    const std::vector<float> w = {100, 100, 100, 100};
    EXPECT_EQ(fit_hints(set, w, 500, 150), std::vector<bool>({true, true, true, false}));
    EXPECT_EQ(fit_hints(set, w, 500, 250), std::vector<bool>({true, false, true, false}));
    EXPECT_EQ(fit_hints(set, w, 50, 0), std::vector<bool>({true, false, false, false}));
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

TEST_F(ChromeTest, TabsFitTheirRoomFullGapThenNarrowerThenScrolled) {
    const std::vector<float> w = {40, 100, 100, 60, 80, 30};  // 410 in all
    TabStrip all = fit_tabs(w, 0, 410 + 6 * 30, 1, 10);
    EXPECT_FLOAT_EQ(all.gap, 30);
    EXPECT_EQ(all.first, 0);
    EXPECT_EQ(all.last, 5);
    EXPECT_FALSE(all.scrolled);

    TabStrip tight = fit_tabs(w, 3, 410 + 6 * 20, 1, 10);
    EXPECT_FLOAT_EQ(tight.gap, 20);
    EXPECT_EQ(tight.last, 5);

    // 250 wide: arrows take 10 at each end, 230 hold tabs with 14 gaps.
    TabStrip left = fit_tabs(w, 0, 250, 1, 10);
    EXPECT_TRUE(left.scrolled);
    EXPECT_EQ(left.first, 0);
    EXPECT_EQ(left.last, 1);  // 54 + 114; a third tab would need 114 more
    TabStrip right = fit_tabs(w, 5, 250, 1, 10);
    EXPECT_EQ(right.last, 5);
    EXPECT_EQ(right.first, 3);  // 74 + 94 + 44 = 212 <= 230; with tab 2, 326
    // A tab wider than the whole room is still the one shown.
    TabStrip alone = fit_tabs(w, 2, 50, 1, 10);
    EXPECT_EQ(alone.first, 2);
    EXPECT_EQ(alone.last, 2);
}

TEST_F(ChromeTest, TabsAndChipsEndBeforeTheClockAtEverySizeAndScale) {
    struct Size {
        float scale, w;
    };
    // The smallest window at scales 1 to 2, a Steam Deck screen, and wider.
    for (Size size : {Size{1, 900}, Size{1, 1280}, Size{1.5f, 900}, Size{1.5f, 1536}, Size{2, 900}, Size{2, 1280}}) {
        Gui gui(size.scale, ImVec2(size.w, 560));
        const float s = size.scale;
        for (bool pt : {false, true})
            for (int family : {0, 1, 2})
                for (int page = 0; page < PAGE_COUNT; ++page) {
                    g_pt = pt;
                    g_family = family;
                    g_page = page;
                    gui.frame([&] {
                        HeaderLayout L = header_layout(size.w, "23:59");
                        std::string where = "scale " + std::to_string(s) + " width " + std::to_string(size.w) +
                                            (pt ? " pt" : " en") + " family " + std::to_string(family) + " page " +
                                            std::to_string(page);
                        ASSERT_EQ(L.tab_x.size(), size_t(PAGE_COUNT));
                        EXPECT_GE(L.tab_x[page], L.tabs_x) << "the current tab shows: " << where;
                        float prev_end = L.tabs_x;
                        for (int i = 0; i < PAGE_COUNT; ++i) {
                            if (L.tab_x[i] < 0) continue;
                            EXPECT_GE(L.tab_x[i], prev_end) << where;
                            prev_end = L.tab_x[i] + L.tab_w[i];
                        }
                        if (L.more_x >= 0) {
                            EXPECT_GE(L.more_x, prev_end) << where;
                            prev_end = L.more_x + text_width("›");
                        }
                        if (family != 0) EXPECT_LE(prev_end, L.rb_x) << where;
                        EXPECT_LT(prev_end, L.clock_x - 10 * s) << where;
                        EXPECT_LE(L.end_x, L.clock_x) << where;
                        push_font(0.86f);
                        float title_end = 28 * s + text_width("VELTRANE");
                        ImGui::PopFont();
                        EXPECT_GT(family != 0 ? L.lb_x : L.tabs_x, title_end) << where;
                    });
                }
        g_pt = false;
        g_family = 0;
        g_page = 0;
        // Where everything fits, the tabs keep their full 30 s gaps.
        if (size.scale == 1 && size.w == 1280)
            gui.frame([&] { EXPECT_FLOAT_EQ(header_layout(size.w, "23:59").strip.gap, 30); });
    }
}
