#include <gtest/gtest.h>

#include "core/globals.h"
#include "core/paths.h"
#include "ui/page_play.h"
#include "ui/theme.h"
#include "support/testing.h"

namespace {

TEST(PlayBanner, HeightIsBoundedAndScaled) {
    EXPECT_FLOAT_EQ(banner_height(300, 1), 200);
    EXPECT_FLOAT_EQ(banner_height(2000, 1), 420);
    EXPECT_FLOAT_EQ(banner_height(600, 1), 276);
    // A low page area (900 x 560 at scale 1.5 and 2) keeps 88 s for the Play button.
    EXPECT_FLOAT_EQ(banner_height(320, 1.5f), 188);
    EXPECT_FLOAT_EQ(banner_height(320, 2), 144);
    EXPECT_FLOAT_EQ(banner_height(100, 2), 0);
    // Its title shrinks to fit, and subtitle lines give way before it does.
    struct Row { float H, scale; int lines, shown; bool full; };
    for (Row r : {Row{200, 1, 2, 2, true}, Row{420, 2, 2, 2, true}, Row{144, 2, 2, 1, false}, Row{60, 1, 1, 0, false}}) {
        BannerText t = banner_text(r.H, r.scale, r.lines, 19 * r.scale);
        EXPECT_EQ(t.sub_lines, r.shown) << r.H;
        EXPECT_EQ(t.title_size == 2.4f * 19 * r.scale, r.full) << r.H;
        EXPECT_GE(t.title_size, 0.8f * 19 * r.scale) << r.H;
        EXPECT_TRUE(t.title_y >= 0 && t.title_y + t.title_size + (t.sub_lines ? 6 * r.scale + 19 * r.scale * t.sub_lines : 0) <= r.H) << r.H;
    }
}

TEST(PlayButton, LabelKeepsItsContrastInEveryState) {
    // The label spans the middle 40 % of the button's gradient.
    for (bool running : {false, true})
        for (bool ok : {false, true})
            for (bool lit : {false, true}) {
                PlayLook look = play_look(running, ok, lit, false);
                for (float t : {0.3f, 0.7f}) {
                    ImU32 behind = blend_over((look.top & ~IM_COL32_A_MASK) | (ImU32(255 * (1 - t)) << IM_COL32_A_SHIFT),
                                              look.bottom);
                    EXPECT_GE(contrast_ratio(look.ink, behind), 4.5f) << look.label << " lit " << lit << " at " << t;
                }
            }
}

TEST(PlayBanner, BackgroundUnderTheBannerFollowsTheWindowGradient) {
    EXPECT_EQ(gradient_at(0, 800), BG_TOP);
    EXPECT_EQ(gradient_at(800, 800), BG_BOTTOM);
    EXPECT_EQ(gradient_at(-5, 800), BG_TOP);
    EXPECT_EQ(gradient_at(900, 800), BG_BOTTOM);
    EXPECT_EQ(gradient_at(10, 0), BG_TOP) << "no display height yet";
    ImU32 mid = gradient_at(400, 800);
    auto ch = [](ImU32 c, int shift) { return static_cast<int>((c >> shift) & 0xFF); };
    for (int shift : {IM_COL32_R_SHIFT, IM_COL32_G_SHIFT, IM_COL32_B_SHIFT})
        EXPECT_NEAR(ch(mid, shift), (ch(BG_TOP, shift) + ch(BG_BOTTOM, shift)) / 2.0, 0.6);
}

TEST(PlayBanner, CropCutsSidesEquallyAndTopLess) {
    // A picture twice as wide as the band's shape loses a quarter each side.
    Crop wide = banner_crop(400, 100, 800, 100);
    EXPECT_FLOAT_EQ(wide.uv0.x, 0.25f);
    EXPECT_FLOAT_EQ(wide.uv1.x, 0.75f);
    EXPECT_FLOAT_EQ(wide.uv0.y, 0.0f);
    EXPECT_FLOAT_EQ(wide.uv1.y, 1.0f);
    // A tall one: half the height is excess, 35 % of it above.
    Crop tall = banner_crop(100, 100, 100, 200);
    EXPECT_FLOAT_EQ(tall.uv0.x, 0.0f);
    EXPECT_FLOAT_EQ(tall.uv1.x, 1.0f);
    EXPECT_FLOAT_EQ(tall.uv0.y, 0.5f * 0.35f);
    EXPECT_FLOAT_EQ(tall.uv1.y, 0.5f * 0.35f + 0.5f);
    Crop none = banner_crop(100, 100, 0, 0);
    EXPECT_FLOAT_EQ(none.uv1.x, 1.0f);
}

TEST(PlayBanner, HillsKeepTheirShapeAtAnyWidth) {
    // Heights depend only on the point index, so 48 segments always repeat
    // the same silhouette; each stays within its amplitude above the base.
    for (int layer = 0; layer < 3; ++layer)
        for (int k = 0; k <= 48; ++k) {
            float y = hill_y(layer, k, 100, 10);
            EXPECT_LE(y, 100.0f);
            EXPECT_GE(y, 90.0f);
        }
    EXPECT_NE(hill_y(0, 3, 100, 10), hill_y(1, 3, 100, 10));
}

TEST(PlaySummary, EveryPartInBothLanguages) {
    Settings s;
    s.set("fps60", "1");
    s.set("af16", "1");
    s.set("neo", "1");
    s.set("fullscreen", "1");
    s.set("upscaler", "fsr1");
    s.set("output_res", "1920x1080");
    EXPECT_EQ(play_summary(s, false), "60 FPS  ·  1920 × 1080  ·  FSR 1  ·  16x AF  ·  PS4 Pro  ·  fullscreen");
    EXPECT_EQ(play_summary(s, true), "60 FPS  ·  1920 × 1080  ·  FSR 1  ·  AF 16x  ·  PS4 Pro  ·  tela cheia");
    Settings t;
    t.set("output_res", "native");
    t.set("upscaler", "bilinear");
    EXPECT_EQ(play_summary(t, false), "30 FPS (as on PS4)  ·  native  ·  bilinear  ·  window");
    EXPECT_EQ(play_summary(t, true), "30 FPS (como no PS4)  ·  native  ·  bilinear  ·  janela");
    t.set("output_res", "3440x1440");
    EXPECT_NE(play_summary(t, false).find("3440 × 1440"), std::string::npos);
}

TEST(PlaySummary, NarrowRoomBreaksBetweenPartsNeverMidWord) {
    auto bytes = [](const std::string& t) { return 10.0f * static_cast<float>(t.size()); };
    const std::string line = "60 FPS  ·  1920 × 1080  ·  FSR 1  ·  16x AF  ·  window";
    EXPECT_EQ(break_at_separators(line, 1000, bytes), std::vector<std::string>{line});
    // 300 holds 30 bytes; the first two parts take 24 (the dot and the sign
    // are two bytes each), a third would make 35.
    std::vector<std::string> lines = break_at_separators(line, 300, bytes);
    EXPECT_EQ(lines, (std::vector<std::string>{"60 FPS  ·  1920 × 1080", "FSR 1  ·  16x AF  ·  window"}));
    // A part too wide on its own ends in "…" at a character boundary.
    lines = break_at_separators("Port nativo para Linux  ·  escolha a pasta", 110, bytes);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Port nat…");
    EXPECT_EQ(lines[1], "escolha …");
}

TEST(ReadyCheck, GameLineFollowsCheckAndMetadata) {
    GameInfo none;
    EXPECT_EQ(game_check(none, 1, false).text, "✗  Game folder not set (Game & saves)");
    EXPECT_EQ(game_check(none, 1, false).color, ERR);
    // A folder that is gone (a removed card) is named; one without a dump is not "gone".
    EXPECT_EQ(game_check(none, 1, false, "/run/media/deck/SD/dump").text,
              "✗  Game folder not found: /run/media/deck/SD/dump");
    EXPECT_EQ(game_check(none, 1, true, "/run/media/deck/SD/dump").text,
              "✗  Pasta do jogo não encontrada: /run/media/deck/SD/dump");
    EXPECT_EQ(game_check(none, 1, false, "/").text, "✗  Game folder not set (Game & saves)");
    GameInfo eu{true, "CUSA00000", "01.01", "Veltrane"};
    GameInfo old{true, "CUSA00000", "01.00", "Veltrane"};
    EXPECT_EQ(game_check(eu, -1, false).color, OK) << "known metadata is trusted while checking";
    EXPECT_EQ(game_check(eu, -2, true).text, "✓  CUSA00000 versão 01.01: todos os modos");
    EXPECT_EQ(game_check(eu, 0, false).color, WARN) << "a check that says other wins";
    EXPECT_EQ(game_check(old, -1, false).text, "•  CUSA00000 version 01.00: checking…");
    EXPECT_EQ(game_check(old, -1, false).color, MUTED);
    EXPECT_EQ(game_check(old, 0, false).text, "⚠  CUSA00000 version 01.00: the modes (60 FPS, AF) target EU 1.01");
    EXPECT_EQ(game_check(old, -2, false).color, WARN);
    EXPECT_EQ(game_check(old, 1, false).text, "✓  CUSA00000 version 01.01: every mode");
}

TEST(ReadyCheck, DlcCountsFoldersWithMetadata) {
    TempDir dir;
    EXPECT_EQ(count_dlc(""), 0);
    EXPECT_EQ(count_dlc((dir / "missing").string()), 0);
    write_file(dir / "dlc/CUSA00000/a/sce_sys/param.sfo", "x");
    write_file(dir / "dlc/CUSA00000/b/sce_sys/param.sfo", "x");
    write_file(dir / "dlc/CUSA00000/c/readme", "x");
    write_file(dir / "dlc/top/sce_sys/param.sfo", "x");
    EXPECT_EQ(count_dlc((dir / "dlc").string()), 2) << "the addcont layout's title folder is searched";
    write_file(dir / "flat/one/sce_sys/param.sfo", "x");
    EXPECT_EQ(count_dlc((dir / "flat").string()), 1);
    EXPECT_EQ(dlc_check(2, false).text, "✓  DLC: 2 installed");
    EXPECT_EQ(dlc_check(0, true).text, "•  Sem DLC");
}

TEST(ReadyCheck, GpuLines) {
    EXPECT_EQ(gpu_check(0, "", false).text, "•  Checking the graphics card…");
    EXPECT_EQ(gpu_check(1, "Card X", false).text, "✓  Card X");
    EXPECT_EQ(gpu_check(2, "", true).color, ERR);
    EXPECT_EQ(gpu_check(7, "", false).text, "•  Graphics card not checked");
    EXPECT_EQ(sound_check(false, false).color, WARN);
    EXPECT_EQ(saves_check(true, true).text, "✓  Saves encontrados");
}

}  // namespace
