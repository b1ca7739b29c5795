#include <gtest/gtest.h>

#include <SDL3/SDL.h>
#include <imgui.h>
#include <imgui_internal.h>

#include "core/globals.h"
#include "launch/game_process.h"
#include "ui/app.h"
#include "ui/page_log.h"
#include "ui/pages.h"
#include "ui/theme.h"
#include "core/toast.h"
#include "support/gui.h"
#include "support/testing.h"

namespace {

ImGuiWindow* log_area() {
    for (ImGuiWindow* w : ImGui::GetCurrentContext()->Windows)
        if (std::string(w->Name).find("/log_") != std::string::npos) return w;
    return nullptr;
}

class LogPage : public ::testing::Test {
protected:
    void SetUp() override {
        g_log.clear();
        g_log_scroll = 0;
        g_pt = false;
    }
    void add_lines(int n, int from = 0) {
        for (int i = 0; i < n; ++i) g_log.add("line " + std::to_string(from + i));
    }
    std::function<void()> page = [] { page_log(); };
};

TEST_F(LogPage, NewOutputIsFollowedOnlyWhileTheViewIsAtTheBottom) {
    Gui gui;
    add_lines(200);
    for (int i = 0; i < 3; ++i) gui.frame(page);
    ImGuiWindow* w = log_area();
    ASSERT_NE(w, nullptr);
    ASSERT_GT(w->ScrollMax.y, 0);
    EXPECT_NEAR(w->Scroll.y, w->ScrollMax.y, 2) << "the view starts at the end";

    add_lines(20, 200);
    for (int i = 0; i < 3; ++i) gui.frame(page);
    EXPECT_NEAR(w->Scroll.y, w->ScrollMax.y, 2) << "new lines keep the last one visible";

    // Scrolled up: new lines leave the view where it is.
    g_log_scroll = -10;
    gui.frame(page);
    gui.frame(page);
    float held = w->Scroll.y;
    EXPECT_LT(held, w->ScrollMax.y - 2);
    add_lines(20, 220);
    for (int i = 0; i < 3; ++i) gui.frame(page);
    EXPECT_FLOAT_EQ(w->Scroll.y, held);

    // Back at the bottom, following resumes.
    g_log_scroll = 1000;
    gui.frame(page);
    gui.frame(page);
    add_lines(5, 240);
    for (int i = 0; i < 3; ++i) gui.frame(page);
    EXPECT_NEAR(w->Scroll.y, w->ScrollMax.y, 2);
    EXPECT_FALSE(g_log.changed) << "drawing clears the change flag";
}

TEST_F(LogPage, ScrollRequestMovesByWholeSmallLinesOnce) {
    Gui gui;
    add_lines(300);
    for (int i = 0; i < 3; ++i) gui.frame(page);
    ImGuiWindow* w = log_area();
    ASSERT_NE(w, nullptr);
    g_log_scroll = -20;
    gui.frame(page);
    gui.frame(page);
    float y0 = w->Scroll.y;
    g_log_scroll = 3;
    gui.frame(page);
    EXPECT_FLOAT_EQ(g_log_scroll, 0) << "consumed once";
    gui.frame(page);
    float step = ImGui::GetStyle().ItemSpacing.y + FONT_BASE * 0.82f;
    EXPECT_NEAR(w->Scroll.y - y0, 3 * step, 3.0f) << "font sizes are rounded to whole pixels";
}

TEST_F(LogPage, CopyTakesEveryLineWithItsLineEnd) {
    EXPECT_EQ(log_text_for_copy(), "");
    g_log.add("a");
    g_log.add("");
    g_log.add("ç ✓");
    EXPECT_EQ(log_text_for_copy(), "a\n\nç ✓\n");
    // The clipboard takes a C string: a NUL must not end the copy.
    g_log.add(std::string("x\0y\0\0z", 6));
    EXPECT_EQ(log_text_for_copy(), "a\n\nç ✓\nx\u2400y\u2400\u2400z\n");
}

TEST(FileUrl, EverythingButUnreservedBytesIsEncoded) {
    EXPECT_EQ(file_url("/home/a_b-c.d~e/F9"), "file:///home/a_b-c.d~e/F9");
    EXPECT_EQ(file_url("/jogos/#1 100%?"), "file:///jogos/%231%20100%25%3F");
    EXPECT_EQ(file_url("/Área/+;=\\\xff"), "file:///%C3%81rea/%2B%3B%3D%5C%FF");
}

}  // namespace

namespace {

TEST_F(LogPage, ButtonsStayInsideANarrowColumn) {
    // 900 pixels wide at scale 2: the column is 708 wide.
    Gui gui(2.0f, ImVec2(900, 560));
    g_pt = true;
    auto body = [] {
        ImGui::BeginChild("column", ImVec2(708, 320));
        page_log();
        ImGui::EndChild();
    };
    gui.frame(body);
    gui.frame(body);
    ImGuiWindow* column = nullptr;
    for (ImGuiWindow* w : ImGui::GetCurrentContext()->Windows)
        if (std::string(w->Name).find("/column_") != std::string::npos && std::string(w->Name).find("/log_") == std::string::npos)
            column = w;
    ASSERT_NE(column, nullptr);
    EXPECT_LE(column->ContentSize.x, column->Size.x) << "a button reaches past the column";
    g_pt = false;
}

}  // namespace
