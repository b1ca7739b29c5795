// Choice and folder rows: the pure decisions (current entry, stepping,
// shortening) and the rows themselves under real Dear ImGui input.
#include <gtest/gtest.h>

#include <imgui.h>
#include <imgui_internal.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/globals.h"
#include "core/settings.h"
#include "core/toast.h"
#include "support/gui.h"
#include "support/testing.h"
#include "ui/rows.h"
#include "ui/theme.h"

namespace {

const Opt MODES[] = {
    {"a", "Primeiro", "First"},
    {"b", "Segundo", "Second"},
    {"c", "Terceiro", "Third"},
};

const Opt RESOLUTIONS[] = {
    {"", "Nativa", "Native"},
    {"1280x720", "1280 × 720", "1280 × 720"},
    {"1920x1080", "1920 × 1080", "1920 × 1080"},
};

// Every byte is 10 pixels wide, so room is counted in bytes.
float ten_per_byte(const std::string& s) { return 10.0f * static_cast<float>(s.size()); }

class RowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_settings();
        g_pt = false;
    }
};

}  // namespace

TEST_F(RowsTest, StepWrapsAtBothEnds) {
    EXPECT_EQ(choice_step(1, +1, 3), 2);
    EXPECT_EQ(choice_step(2, +1, 3), 0);
    EXPECT_EQ(choice_step(0, -1, 3), 2);
    EXPECT_EQ(choice_step(0, -1, 1), 0);
}

TEST_F(RowsTest, ItemsFollowLanguageThenExtraNames) {
    std::vector<std::string> extra = {"Pad A"};
    auto en = choice_items(MODES, 3, &extra, false);
    ASSERT_EQ(en.size(), 4u);
    EXPECT_EQ(en[0].label, "First");
    EXPECT_EQ(en[3].value, "Pad A");
    EXPECT_EQ(en[3].label, "Pad A");
    EXPECT_EQ(choice_items(MODES, 3, nullptr, true)[2].label, "Terceiro");
}

TEST_F(RowsTest, CurrentIndexOfKnownAndUnknownValues) {
    auto items = choice_items(MODES, 3, nullptr, false);
    bool appended = true;
    EXPECT_EQ(choice_current_index(items, "b", false, &appended), 1);
    EXPECT_FALSE(appended);

    // Unknown without extra names: first entry shown, list unchanged.
    EXPECT_EQ(choice_current_index(items, "1366x768", false, &appended), 0);
    EXPECT_FALSE(appended);
    EXPECT_EQ(items.size(), 3u);

    // Unknown with extra names: kept as its own entry.
    std::vector<std::string> pads = {"Pad A"};
    auto with_pads = choice_items(MODES, 3, &pads, false);
    EXPECT_EQ(choice_current_index(with_pads, "Old Pad", true, &appended), 4);
    EXPECT_TRUE(appended);
    EXPECT_EQ(with_pads.back().value, "Old Pad");
    EXPECT_EQ(with_pads.back().label, "Old Pad");

    // An empty stored value is never appended.
    auto again = choice_items(MODES, 3, &pads, false);
    EXPECT_EQ(choice_current_index(again, "", true, &appended), 0);
    EXPECT_FALSE(appended);
    EXPECT_EQ(again.size(), 4u);

    // The last match wins.
    std::vector<ChoiceItem> dup = {{"x", "1"}, {"y", "2"}, {"x", "3"}};
    EXPECT_EQ(choice_current_index(dup, "x", false), 2);
}

TEST_F(RowsTest, ShortenEndCutsBytesAndAddsEllipsis) {
    // "ABCDEFGHIJ" is 100 wide. First pass: 6 bytes + "…" (3 bytes) = 90.
    EXPECT_EQ(shorten_end("ABCDEFGHIJ", 100, ten_per_byte), "ABCDEFGHIJ");
    EXPECT_EQ(shorten_end("ABCDEFGHIJ", 95, ten_per_byte), "ABCDEF…");
    // Later passes remove one more byte each (the previous "…" goes too).
    EXPECT_EQ(shorten_end("ABCDEFGHIJ", 85, ten_per_byte), "ABCDE…");
    EXPECT_EQ(shorten_end("ABCDEFGHIJ", 75, ten_per_byte), "ABCD…");
    // Never shorter than 4 bytes.
    EXPECT_EQ(shorten_end("ABCDEFGHIJ", 1, ten_per_byte), "A…");
    EXPECT_EQ(shorten_end("ABCD", 1, ten_per_byte), "ABCD");
    // A cut never falls inside a character (the old cut left half an "í").
    EXPECT_EQ(shorten_end("Saída 1080p", 60, ten_per_byte), "Sa…");
    EXPECT_EQ(shorten_end("Ação rápida", 120, ten_per_byte), "Ação r…");
}

TEST_F(RowsTest, ShortenFrontKeepsTheFolderName) {
    const std::string path = "/home/player/games/CUSA00000";  // 28 bytes
    EXPECT_EQ(shorten_front(path, 280, ten_per_byte), path);
    // "…" + tail must fit 150: 15 bytes, of which the ellipsis takes 3.
    EXPECT_EQ(shorten_front(path, 150, ten_per_byte), "…es/CUSA00000");
    EXPECT_EQ(shorten_front(path, 279, ten_per_byte), "…" + path.substr(4));
    EXPECT_EQ(shorten_front(path, 0, ten_per_byte), "…0000");
    EXPECT_EQ(shorten_front("/jogos/Ação/CUSA", 120, ten_per_byte), "…ão/CUSA") << "not inside the ã";
}

TEST_F(RowsTest, ArrowKeysStepAndWrapWhileFocusStays) {
    Gui gui;
    S.set("mode", "b");
    auto body = [&] {
        choice_row("mode", MODES, 3, "Mode", nullptr, nullptr);
        toggle_row("other", "Other", nullptr);
    };
    gui.focus_first_row(body);
    EXPECT_EQ(S.get("mode"), "b");
    g_dirty = false;

    gui.tap(ImGuiKey_RightArrow, body);
    EXPECT_EQ(S.get("mode"), "c");
    EXPECT_TRUE(g_dirty);
    gui.tap(ImGuiKey_RightArrow, body);
    EXPECT_EQ(S.get("mode"), "a");
    gui.tap(ImGuiKey_LeftArrow, body);
    EXPECT_EQ(S.get("mode"), "c");
    gui.tap(ImGuiKey_GamepadDpadLeft, body);
    EXPECT_EQ(S.get("mode"), "b");
    gui.tap(ImGuiKey_GamepadLStickRight, body);
    EXPECT_EQ(S.get("mode"), "c");

    // The focus never left the choice row: activation steps it forward and
    // the toggle below was not touched.
    gui.tap(ImGuiKey_Enter, body);
    EXPECT_EQ(S.get("mode"), "a");
    EXPECT_EQ(S.get("other"), "");
}

TEST_F(RowsTest, HeldArrowRepeats) {
    Gui gui;
    S.set("mode", "a");
    int steps = 0;
    std::string last = "a";
    auto body = [&] {
        choice_row("mode", MODES, 3, "Mode", nullptr, nullptr);
        toggle_row("other", "Other", nullptr);
        if (S.get("mode") != last) {
            ++steps;
            last = S.get("mode");
        }
    };
    gui.focus_first_row(body);
    ImGui::GetIO().AddKeyEvent(ImGuiKey_LeftArrow, true);
    for (int i = 0; i < 60; ++i) gui.frame(body);  // one second held
    ImGui::GetIO().AddKeyEvent(ImGuiKey_LeftArrow, false);
    gui.frame(body);
    EXPECT_GE(steps, 5);
    gui.tap(ImGuiKey_Space, body);
    EXPECT_EQ(S.get("other"), "");  // still on the choice row
}

TEST_F(RowsTest, UnknownValueIsKeptUntilStepped) {
    Gui gui;
    S.set("output_res", "1366x768");
    g_dirty = false;
    auto body = [&] { choice_row("output_res", RESOLUTIONS, 3, "Resolution", "Help", nullptr); };
    gui.focus_first_row(body);
    gui.frame(body);
    EXPECT_EQ(S.get("output_res"), "1366x768");
    EXPECT_FALSE(g_dirty);
    gui.tap(ImGuiKey_RightArrow, body);
    EXPECT_EQ(S.get("output_res"), "1280x720");  // the second entry
    EXPECT_TRUE(g_dirty);
}

TEST_F(RowsTest, UnknownExtraNameDropsOnceSteppedAway) {
    Gui gui;
    const Opt AUTO[] = {{"", "Automático", "Automatic"}};
    std::vector<std::string> pads = {"Pad A"};
    S.set("pad", "Old Pad");
    auto body = [&] { choice_row("pad", AUTO, 1, "Gamepad", nullptr, &pads); };
    gui.focus_first_row(body);
    EXPECT_EQ(S.get("pad"), "Old Pad");
    gui.tap(ImGuiKey_RightArrow, body);  // wraps to the first entry
    EXPECT_EQ(S.get("pad"), "");
    gui.tap(ImGuiKey_LeftArrow, body);  // the list is back to two entries
    EXPECT_EQ(S.get("pad"), "Pad A");
    gui.tap(ImGuiKey_LeftArrow, body);
    EXPECT_EQ(S.get("pad"), "");
}

TEST_F(RowsTest, ClickOnLeftEdgeStepsBackElsewhereForward) {
    Gui gui;
    S.set("mode", "b");
    RowGeom g;
    auto body = [&] {
        g = row_layout(nullptr, "Mode");
        choice_row("mode", MODES, 3, "Mode", nullptr, nullptr);
        toggle_row("other", "Other", nullptr);
    };
    gui.frame(body);
    float mid_y = (g.min.y + g.max.y) / 2;
    gui.click(ImVec2(g.control_x + 20, mid_y), body);
    EXPECT_EQ(S.get("mode"), "a");
    gui.click(ImVec2(g.max.x - 60, mid_y), body);  // on the value text
    EXPECT_EQ(S.get("mode"), "b");
    gui.click(ImVec2(g.control_x + 45, mid_y), body);
    EXPECT_EQ(S.get("mode"), "c");

    // Keyboard activation steps forward even with the pointer resting on
    // the back zone.
    ImGui::GetIO().AddMousePosEvent(g.control_x + 20, mid_y);
    gui.focus_first_row(body);
    gui.tap(ImGuiKey_Enter, body);
    EXPECT_EQ(S.get("mode"), "a");
}

TEST_F(RowsTest, DeleteClearsFocusedFolderRow) {
    Gui gui;
    S.set("dlc_dir", "/games/dlc");
    auto body = [&] {
        folder_row("dlc_dir", "DLC", nullptr, nullptr);
        folder_row("sys_modules", "Sound modules", "Firmware modules", nullptr);
    };
    S.set("sys_modules", "/games/modules");
    gui.focus_first_row(body);
    g_dirty = false;
    // The first press only asks; the second one within a few seconds clears.
    gui.tap(ImGuiKey_Delete, body);
    EXPECT_EQ(S.get("dlc_dir"), "/games/dlc");
    EXPECT_FALSE(g_dirty);
    EXPECT_EQ(g_toast, "Press Delete again to clear");
    gui.tap(ImGuiKey_Delete, body);
    EXPECT_EQ(S.get("dlc_dir"), "");
    EXPECT_TRUE(g_dirty);
    EXPECT_EQ(S.get("sys_modules"), "/games/modules");  // only the focused row

    // Nothing to clear: no change, no save pending.
    g_dirty = false;
    gui.tap(ImGuiKey_Delete, body);
    EXPECT_EQ(S.get("dlc_dir"), "");
    EXPECT_FALSE(g_dirty);

    // The gamepad's left face button clears as well, asking first.
    gui.tap(ImGuiKey_DownArrow, body);
    gui.tap(ImGuiKey_GamepadFaceLeft, body);
    EXPECT_EQ(S.get("sys_modules"), "/games/modules");
    EXPECT_EQ(g_toast, "Press X again to clear");
    gui.tap(ImGuiKey_GamepadFaceLeft, body);
    EXPECT_EQ(S.get("sys_modules"), "");
    EXPECT_TRUE(g_dirty);
}
