#include <gtest/gtest.h>

#include <SDL3/SDL.h>
#include <imgui.h>
#include <imgui_internal.h>
#include <utime.h>

#include "core/globals.h"
#include "launch/game_process.h"
#include "launch/last_run.h"
#include "ui/app.h"
#include "ui/page_log.h"
#include "ui/pages.h"
#include "ui/theme.h"
#include "core/toast.h"
#include "support/gui.h"
#include "support/testing.h"

namespace fs = std::filesystem;

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

namespace {

TEST(LastRun, TheTailIsReadBoundedAndCutLikeTheLiveLog) {
    TempDir dir;
    std::string many;
    for (int i = 0; i < 7000; ++i) many += "line " + std::to_string(i) + "\n";
    struct Case { std::string text; size_t max_bytes; std::vector<std::string> first_last; std::optional<int> code; bool whole; };
    const Case cases[] = {
        {"a\r\nb\n[exit code 139]\n", RUN_TAIL_BYTES, {"a", "[exit code 139]"}, 139, true},
        {"a\nhalf a line", RUN_TAIL_BYTES, {"a", "half a line"}, std::nullopt, true},
        {"no line end[exit code -1]\n", RUN_TAIL_BYTES, {"no line end[exit code -1]", "no line end[exit code -1]"}, -1, true},
        {many + "[exit code 0]\n", RUN_TAIL_BYTES, {"line 1001", "[exit code 0]"}, 0, false},
        // Only the end is read; the line the read starts in is not shown.
        {many + "[exit code 0]\n", 40, {"line 6998", "[exit code 0]"}, 0, false},
        {std::string(10000, 'x') + "\n", RUN_TAIL_BYTES, {std::string(4096, 'x') + LOG_CUT_MARK, std::string(4096, 'x') + LOG_CUT_MARK}, std::nullopt, true},
    };
    for (const Case& c : cases) {
        write_file(dir / "last_run.log", c.text);
        RunLogTail t = read_run_log_tail(dir / "last_run.log", LOG_MAX_LINES, c.max_bytes);
        ASSERT_EQ(t.status, ReadStatus::ok);
        ASSERT_FALSE(t.lines.empty());
        EXPECT_EQ(std::vector<std::string>({t.lines.front(), t.lines.back()}), c.first_last) << c.text.substr(0, 30);
        EXPECT_EQ(t.exit_code, c.code);
        EXPECT_EQ(t.whole, c.whole);
    }
    // 2 GB, nearly all of it a hole: only the end is read.
    fs::resize_file(dir / "last_run.log", uintmax_t(2) << 30);
    unsigned long long before = bytes_read_by_process();
    EXPECT_EQ(read_run_log_tail(dir / "last_run.log").status, ReadStatus::ok);
    EXPECT_LE(bytes_read_by_process() - before, RUN_TAIL_BYTES + 65536);
    // Something that is not a regular file is never opened (the window test runs them).
    fs::create_symlink("/dev/zero", dir / "zero");
    EXPECT_EQ(read_run_log_tail(dir / "zero").status, ReadStatus::unreadable);
    EXPECT_EQ(read_run_log_tail(dir / "missing").status, ReadStatus::missing);
}

TEST(LastRun, ExitCodeLinesAndLabelsInBothLanguages) {
    for (const char* line : {"[exit code ]", "[exit code 1x]", "[exit code 99999999999]", "[exit code 139] ", "exit code 1", ""})
        EXPECT_EQ(exit_code_of_line(line), std::nullopt) << line;
    EXPECT_EQ(exit_code_of_line("[exit code 139]"), 139);
    std::tm tm{0, 5, 14, 10, 11, 126, 0, 0, -1};   // 2026-12-10 14:05, local time
    const std::time_t t = std::mktime(&tm);
    EXPECT_EQ(previous_run_label(t, 139, false), "Previous run, 2026-12-10 14:05 (exit code 139)");
    EXPECT_EQ(previous_run_label(t, 139, true), "Execução anterior, 10/12/2026 14:05 (código de saída 139)");
    EXPECT_EQ(previous_run_label(t, std::nullopt, true), "Execução anterior, 10/12/2026 14:05");
    // The newest crash copy by creation number, not by name; hidden and other names do not count.
    TempDir dir;
    for (const char* name : {"2026-12-09_10-00-00_139.10.log", "2026-12-10_10-00-00_1.9.log", ".partial-x.log", "notes.txt"})
        write_file(dir / name, "x\n");
    fs::create_directory(dir / "dir.log");
    utimbuf times{t, t};
    ASSERT_EQ(::utime((dir / "2026-12-09_10-00-00_139.10.log").c_str(), &times), 0);
    CrashCopies c = list_crash_copies(dir.path());
    EXPECT_EQ(c.count, 2u);
    EXPECT_EQ(c.newest.filename(), "2026-12-09_10-00-00_139.10.log");
    EXPECT_EQ(crash_copies_text(c, false), "2 crash copies, the newest from 2026-12-10 14:05");
    EXPECT_EQ(crash_copies_text(c, true), "2 cópias de falhas, a mais nova de 10/12/2026 14:05");
}

TEST_F(LogPage, TheStartUpReadFillsOnlyAnUntouchedLogAndCopyNamesTheRun) {
    TempDir dir;
    write_file(dir / "last_run.log", "boot\nSegmentation fault\n[exit code 139]\n");
    write_file(dir / "crashes/2026-12-10_14-05-00_139.1.log", "x\n");
    struct Case { const char* preloaded; bool running; bool shown; };
    for (Case c : {Case{"QUOR_LAUNCHER_LOG", false, false}, Case{nullptr, true, false}, Case{nullptr, false, true}}) {
        g_log.clear();
        if (c.preloaded) g_log.add(c.preloaded);
        g_log.changed = false;   // as drawn
        g_game.running = c.running;
        read_last_run_at_start(dir.path());
        EXPECT_TRUE(wait_until([&] { return shown_crash_copies(dir.path()).count == 1; }, 5));
        g_game.running = false;
        EXPECT_EQ(log_has("[exit code 139]"), c.shown);
        EXPECT_EQ(shown_previous_run().rfind("Previous run, ", 0) == 0, c.shown);
    }
    EXPECT_EQ(log_text_for_copy().substr(log_text_for_copy().find('\n')), "\nboot\nSegmentation fault\n[exit code 139]\n");
    g_log.add("— the game exited (code 0) —");
    EXPECT_EQ(shown_previous_run(), "") << "the log holds other lines now";
    // A new crash copy is listed again, off this thread.
    write_file(dir / "crashes/2026-12-10_15-00-00_139.2.log", "x\n");
    EXPECT_TRUE(wait_until([&] { return shown_crash_copies(dir.path()).count == 2; }, 5));
}

}  // namespace
