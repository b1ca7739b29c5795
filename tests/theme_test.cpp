// The launcher's look and its basic rows, driven through a real Dear ImGui
// context (no window): geometry, keyboard and mouse input, settings writes.
#include <gtest/gtest.h>

#include <imgui.h>
#include <imgui_internal.h>

#include <filesystem>
#include <functional>
#include <string>

#include "core/globals.h"
#include "core/settings.h"
#include "support/gui.h"
#include "support/testing.h"
#include "ui/theme.h"

namespace {

// One GUI context with the launcher's font size and style; every frame draws
// the body inside a full-display "main" window like the launcher's.
class ThemeTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_settings();
        g_pt = false;
    }
};

RowGeom layout_in_frame(Gui& gui, const char* help, const char* label) {
    RowGeom g;
    gui.frame([&] { g = row_layout(help, label); });
    return g;
}

}  // namespace

TEST_F(ThemeTest, RowWithoutHelpIsSixtyScaledPixelsHigh) {
    for (float scale : {1.0f, 1.5f}) {
        Gui gui(scale);
        RowGeom g = layout_in_frame(gui, nullptr, "Frame rate");
        EXPECT_FLOAT_EQ(g.height, 60 * scale) << "scale " << scale;
        EXPECT_FLOAT_EQ(g.max.y - g.min.y, g.height);
        EXPECT_FLOAT_EQ(g.width, 1280);
        // An empty help text counts as none.
        EXPECT_FLOAT_EQ(layout_in_frame(gui, "", nullptr).height, 60 * scale);
    }
}

TEST_F(ThemeTest, HelpTextAddsItsWrappedHeight) {
    Gui gui;
    RowGeom one = layout_in_frame(gui, "Shown under the label.", "Label");
    // 2 x 12 padding + label line + one help line at 0.84 x 19 + 4 gap.
    EXPECT_NEAR(one.height, 24 + 19 + 0.84f * 19 + 4, 0.5f);

    std::string long_help;
    for (int i = 0; i < 60; ++i) long_help += "word ";
    RowGeom many = layout_in_frame(gui, long_help.c_str(), "Label");
    int lines = static_cast<int>((many.height - 24 - 19 - 4) / (0.84f * 19) + 0.5f);
    EXPECT_GE(lines, 2);
    EXPECT_NEAR(many.height, 24 + 19 + lines * 0.84f * 19 + 4, 0.5f);
}

TEST_F(ThemeTest, ControlColumnWidensForShortLabelsWithoutHelp) {
    Gui gui;
    float label_w = 0;
    RowGeom wide;
    gui.frame([&] {
        label_w = ImGui::CalcTextSize("Go").x;
        wide = row_layout(nullptr, "Go");
    });
    // The label column is just 24 wider than the label.
    EXPECT_NEAR(wide.text_width, label_w + 24, 0.01f);
    EXPECT_GT(wide.max.x - 18 - wide.control_x, 0.44f * wide.width);

    // With help the column stays at 440 (less than 44 % of 1280).
    RowGeom helped = layout_in_frame(gui, "help", "Go");
    EXPECT_FLOAT_EQ(helped.max.x - 18 - helped.control_x, 440);
    EXPECT_FLOAT_EQ(helped.text_width, 1280 - 440 - 54);
    // Without a label (toggle and text rows) as well.
    EXPECT_FLOAT_EQ(layout_in_frame(gui, nullptr, nullptr).text_width, 1280 - 440 - 54);
}

TEST_F(ThemeTest, NarrowColumnUsesFortyFourPercent) {
    Gui gui(1.0f, ImVec2(700, 500));
    RowGeom g = layout_in_frame(gui, "help", "Label");
    EXPECT_FLOAT_EQ(g.max.x - 18 - g.control_x, 0.44f * 700);
    // A long label on a narrow band keeps the 44 % column.
    std::string label(200, 'W');
    RowGeom l = layout_in_frame(gui, nullptr, label.c_str());
    EXPECT_FLOAT_EQ(l.max.x - 18 - l.control_x, 0.44f * 700);
}

TEST_F(ThemeTest, ToUpperHandlesPortugueseLetters) {
    EXPECT_EQ(to_upper("Desempenho"), "DESEMPENHO");
    EXPECT_EQ(to_upper("Opções"), "OPÇÕES");
    EXPECT_EQ(to_upper("Resolução"), "RESOLUÇÃO");
    EXPECT_EQ(to_upper("áàâãçéêíóôõúü"), "ÁÀÂÃÇÉÊÍÓÔÕÚÜ");
    // Outside the table: unchanged, and already upper-case text is left alone.
    EXPECT_EQ(to_upper("año è ï"), "AñO è ï");
    EXPECT_EQ(to_upper("ÇÃ 60 FPS & 4k"), "ÇÃ 60 FPS & 4K");
    EXPECT_EQ(to_upper(""), "");
}

TEST_F(ThemeTest, ToggleRowFlipsOnClick) {
    Gui gui;
    RowGeom g;
    auto body = [&] {
        g = row_layout(nullptr, nullptr);
        toggle_row("fps60", "60 FPS", nullptr);
    };
    gui.frame(body);
    ImVec2 mid((g.min.x + g.max.x) / 2, (g.min.y + g.max.y) / 2);

    S.map.erase("fps60");
    g_dirty = false;
    gui.click(mid, body);
    EXPECT_EQ(S.get("fps60"), "1");  // absent reads as off
    EXPECT_TRUE(g_dirty);

    gui.click(ImVec2(g.min.x + 5, g.min.y + 5), body);  // anywhere on the band
    EXPECT_EQ(S.get("fps60"), "0");

    S.set("fps60", "true");  // anything but "1" is off
    gui.click(mid, body);
    EXPECT_EQ(S.get("fps60"), "1");
}

TEST_F(ThemeTest, FirstRowTakesFocusOnceAndKeyboardActivates) {
    Gui gui;
    int first = 0, second = 0;
    ImGuiID first_id = 0, second_id = 0;
    auto body = [&] {
        if (action_row("a", "First", nullptr, "›")) ++first;
        ImGui::PushID("a");
        first_id = ImGui::GetID("row");
        ImGui::PopID();
        if (action_row("b", "Second", "with help", "›")) ++second;
        ImGui::PushID("b");
        second_id = ImGui::GetID("row");
        ImGui::PopID();
    };
    g_focus_first = true;
    gui.frame(body);
    EXPECT_FALSE(g_focus_first);
    gui.frame(body);
    gui.frame(body);
    EXPECT_EQ(GImGui->NavId, first_id);

    // Arrow keys move the focus and show the cursor; it is not pulled back.
    gui.tap(ImGuiKey_DownArrow, body);
    gui.frame(body);
    EXPECT_EQ(GImGui->NavId, second_id);
    EXPECT_TRUE(nav_cursor_visible());
    gui.tap(ImGuiKey_Enter, body);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    gui.tap(ImGuiKey_UpArrow, body);
    gui.tap(ImGuiKey_Space, body);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}

TEST_F(ThemeTest, MouseClickHidesNavigationCursor) {
    Gui gui;
    RowGeom g;
    int hits = 0;
    auto body = [&] {
        g = row_layout(nullptr, "Row");
        if (action_row("a", "Row", nullptr, "›")) ++hits;
    };
    g_focus_first = true;
    gui.frame(body);
    gui.tap(ImGuiKey_DownArrow, body);
    EXPECT_TRUE(nav_cursor_visible());
    gui.click(ImVec2(g.min.x + 30, g.min.y + 30), body);
    EXPECT_EQ(hits, 1);
    EXPECT_FALSE(nav_cursor_visible());
}

TEST_F(ThemeTest, GamepadMovesAndSouthActivatesToggle) {
    Gui gui;
    S.set("hud", "0");
    S.set("vsync", "0");
    auto body = [&] {
        toggle_row("hud", "HUD", "Shows the overlay");
        toggle_row("vsync", "Vsync", nullptr);
    };
    g_focus_first = true;
    gui.frame(body);
    gui.frame(body);
    gui.tap(ImGuiKey_GamepadDpadDown, body);
    gui.frame(body);
    gui.tap(ImGuiKey_GamepadFaceDown, body);
    EXPECT_EQ(S.get("hud"), "0");
    EXPECT_EQ(S.get("vsync"), "1");
    EXPECT_TRUE(g_dirty);
}

TEST_F(ThemeTest, TextRowKeepsValuesOfAnyLengthAndSavesWhenLeft) {
    Gui gui;
    S.set("extra_env", std::string(1500, 'a'));
    g_dirty = false;
    auto body = [&] { text_row("extra_env", "Extra environment", nullptr); };
    g_focus_first = true;  // lands on the field and starts editing
    gui.frame(body);
    gui.frame(body);
    EXPECT_FALSE(g_dirty);  // focusing alone writes nothing
    EXPECT_EQ(S.get("extra_env").size(), 1500u);
    gui.tap(ImGuiKey_End, body);
    gui.tap(ImGuiKey_Backspace, body);
    EXPECT_TRUE(S.get("extra_env") == std::string(1499, 'a')) << S.get("extra_env").size();

    // Multi-byte text past the old 1024-byte buffer stays whole.
    ImGui::GetIO().AddInputCharactersUTF8("ção");
    gui.frame(body);
    EXPECT_TRUE(S.get("extra_env") == std::string(1499, 'a') + "ção") << S.get("extra_env").size();
    EXPECT_FALSE(g_dirty) << "typing alone does not write the file";
    EXPECT_TRUE(text_edit_pending());

    // Leaving the field saves with the next frame.
    gui.tap(ImGuiKey_Enter, body);
    EXPECT_TRUE(g_dirty);
    EXPECT_FALSE(text_edit_pending());
}

TEST_F(ThemeTest, TextRowNeverStoresHalfACharacter) {
    Gui gui;
    // 1022 ASCII bytes then a two-byte letter straddling what once was the
    // field's 1023-byte limit: the whole text survives an edit.
    S.set("player_name", std::string(1022, 'a') + "ção");
    auto body = [&] { text_row("player_name", "Player name", nullptr); };
    g_focus_first = true;
    gui.frame(body);
    gui.frame(body);
    gui.tap(ImGuiKey_End, body);
    ImGui::GetIO().AddInputCharacter('x');
    gui.frame(body);
    EXPECT_TRUE(S.get("player_name") == std::string(1022, 'a') + "çãox") << S.get("player_name").size();
}

TEST_F(ThemeTest, RowsStackTwentyPixelsApart) {
    Gui gui;
    float y1 = 0, y2 = 0, y3 = 0;
    gui.frame([&] {
        y1 = ImGui::GetCursorScreenPos().y;
        toggle_row("a", "A", nullptr);
        y2 = ImGui::GetCursorScreenPos().y;
        text_row("b", "B", nullptr);
        y3 = ImGui::GetCursorScreenPos().y;
    });
    EXPECT_FLOAT_EQ(y2 - y1, 60 + 20);
    EXPECT_FLOAT_EQ(y3 - y2, 60 + 20);
}

namespace {

// Right edge of the text (vertices sampling the font atlas rather than the
// white pixel that filled shapes use) drawn since vertex index from.
float text_right(ImDrawList* dl, int from) {
    const ImVec2 white = ImGui::GetDrawListSharedData()->TexUvWhitePixel;
    float right = -FLT_MAX;
    for (int i = from; i < dl->VtxBuffer.Size; ++i) {
        const ImDrawVert& v = dl->VtxBuffer[i];
        if (v.uv.x != white.x || v.uv.y != white.y) right = std::max(right, v.pos.x);
    }
    return right;
}

}  // namespace

TEST_F(ThemeTest, LabelsStopBeforeTheirControl) {
    // A narrow column at scale 1.5, with labels longer than their column.
    Gui gui(1.5f, ImVec2(900, 560));
    g_pt = true;
    const char* label = "Texturas nítidas (filtro anisotrópico 16x)";
    gui.frame([&] {
        ImGui::BeginChild("col", ImVec2(520, 0));
        ImDrawList* dl = ImGui::GetWindowDrawList();
        const float s = g_scale;

        RowGeom g = row_layout(nullptr, nullptr);
        const float switch_x = g.max.x - 18 * s - 48 * s;
        EXPECT_GT(g.min.x + 18 * s + ImGui::CalcTextSize(label).x, switch_x) << "the label would reach the switch";
        int from = dl->VtxBuffer.Size;
        toggle_row("af16", label, nullptr);
        EXPECT_LT(text_right(dl, from), switch_x - 17 * s);

        g = row_layout(nullptr, label);
        const float right_x = g.max.x - 18 * s - text_width("Left Shift  *");
        EXPECT_GT(g.min.x + 18 * s + ImGui::CalcTextSize(label).x, right_x) << "the label would reach the key";
        from = dl->VtxBuffer.Size;
        action_row("move_up", label, nullptr, "Left Shift  *");
        // The key name is the last text drawn: the label ends before it.
        ImGui::EndChild();
        float label_right = -FLT_MAX;
        const ImVec2 white = ImGui::GetDrawListSharedData()->TexUvWhitePixel;
        for (int i = from; i < dl->VtxBuffer.Size; ++i) {
            const ImDrawVert& v = dl->VtxBuffer[i];
            if ((v.uv.x != white.x || v.uv.y != white.y) && v.pos.x < right_x - 1) label_right = std::max(label_right, v.pos.x);
        }
        EXPECT_LT(label_right, right_x - 17 * s);
    });
}

TEST_F(ThemeTest, EveryTextAndControlKeepsItsContrastOnEveryBand) {
    EXPECT_FLOAT_EQ(contrast_ratio(TEXT_HI, IM_COL32_BLACK), 21);
    EXPECT_EQ(blend_over(IM_COL32(255, 255, 255, 51), IM_COL32(0, 0, 0, 255)), IM_COL32(51, 51, 51, 255));
    struct Pair {
        const char* what;
        ImU32 fg, bg;
        float least;   // 4.5 for text, 3 for controls
    };
    std::vector<Pair> pairs;
    for (Band b : {Band::Idle, Band::Hover, Band::Focus}) {
        const ImU32 band = band_color(b);
        const bool lit = b == Band::Focus;
        pairs.push_back({"label, choice value", lit ? TEXT_HI : TEXT, band, 4.5f});
        pairs.push_back({"help, placeholder", on_band(MUTED, b), band, 4.5f});
        pairs.push_back({"missing folder", on_band(ERR, b), band, 4.5f});
        pairs.push_back({"right text, arrows", on_band(lit ? ACCENT_SOFT : MUTED, b), band, 4.5f});
        pairs.push_back({"switch on", on_band(ACCENT, b), band, 3});
        pairs.push_back({"switch off, its edge", on_band(MUTED, b), band, 3});
        pairs.push_back({"text field edge", FRAME_EDGE, band, 3});
    }
    const ImU32 card = blend_over(CARD, BG_TOP);
    for (ImU32 c : {TEXT, MUTED, OK, WARN, ERR, ACCENT_SOFT}) pairs.push_back({"ready check", c, card, 4.5f});
    for (ImU32 c : {TEXT, TEXT_HI, MUTED, OK, ACCENT_SOFT}) pairs.push_back({"header, footer", c, HEADER, 4.5f});
    pairs.push_back({"key cap", IM_COL32(120, 130, 140, 255), HEADER, 3});
    pairs.push_back({"chip label", TEXT_HI, BUTTON_GREY, 4.5f});
    for (ImU32 c : {TEXT, MUTED, ACCENT_SOFT}) pairs.push_back({"page text, headings", c, BG_TOP, 4.5f});
    for (ImU32 c : {SCROLL_GRAB, SCROLL_GRAB_HOVER, SCROLL_GRAB_ACTIVE, FRAME_EDGE})
        pairs.push_back({"scroll bar, button edge", c, BG_TOP, 3});
    for (const Pair& p : pairs) EXPECT_GE(contrast_ratio(p.fg, p.bg), p.least) << p.what;
}
