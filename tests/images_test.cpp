// PNG decoding into RGBA surfaces, cropping pictures, the window icon and the
// cached banner, with real files and a real SDL renderer.
#include <gtest/gtest.h>

#include <SDL3/SDL.h>

#include <cstdint>
#include <thread>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "core/atomic_file.h"
#include "core/globals.h"
#include "core/paths.h"
#include "core/picture.h"
#include "core/settings.h"
#include "support/testing.h"
#include "ui/banner_cache.h"
#include "ui/images.h"
#include "ui/layers.h"
#include "core/toast.h"

namespace fs = std::filesystem;

namespace {

uint32_t crc32(const std::string& data) {
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return c ^ 0xFFFFFFFFu;
}

void put32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

void chunk(std::string& png, const char* type, const std::string& data) {
    put32(png, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    png += body;
    put32(png, crc32(body));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string zlib_stored(const std::string& raw) {
    std::string z = "\x78\x01";
    size_t pos = 0;
    do {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        bool last = pos + n == raw.size();
        z += static_cast<char>(last ? 1 : 0);
        z += static_cast<char>(n & 0xFF);
        z += static_cast<char>(n >> 8);
        z += static_cast<char>(~n & 0xFF);
        z += static_cast<char>((~n >> 8) & 0xFF);
        z += raw.substr(pos, n);
        pos += n;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (unsigned char ch : raw) {
        a = (a + ch) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);
    return z;
}

// rows: raw scanline bytes without the filter byte (filter 0 is added).
std::string make_png(int w, int h, int depth, int color_type, const std::vector<std::string>& rows,
                     const std::string& palette = "") {
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    put32(ihdr, static_cast<uint32_t>(w));
    put32(ihdr, static_cast<uint32_t>(h));
    ihdr += static_cast<char>(depth);
    ihdr += static_cast<char>(color_type);
    ihdr += std::string(3, '\0');
    chunk(png, "IHDR", ihdr);
    if (!palette.empty()) chunk(png, "PLTE", palette);
    std::string raw;
    for (const std::string& r : rows) raw += '\0' + r;
    chunk(png, "IDAT", zlib_stored(raw));
    chunk(png, "IEND", "");
    return png;
}

std::string rgb_png(int w, int h, unsigned char r, unsigned char g, unsigned char b) {
    std::string row;
    for (int x = 0; x < w; ++x) row += {static_cast<char>(r), static_cast<char>(g), static_cast<char>(b)};
    return make_png(w, h, 8, 2, std::vector<std::string>(h, row));
}

std::vector<unsigned char> rgba(std::initializer_list<int> v) { return {v.begin(), v.end()}; }

Picture solid(int w, int h, std::initializer_list<unsigned char> pixel) {
    Picture img{w, h, {}};
    for (int i = 0; i < w * h; ++i) img.rgba.insert(img.rgba.end(), pixel);
    return img;
}

class ImagesTest : public ::testing::Test {
protected:
    void SetUp() override { reset_settings(); }
};

}  // namespace

TEST_F(ImagesTest, PaletteGreyAndSixteenBitBecomeRgba8) {
    TempDir dir;
    // Palette: two entries, pixels 1 then 0.
    std::string palette = std::string("\x10\x20\x30", 3) + std::string("\xF0\x80\x01", 3);
    write_file(dir / "pal.png", make_png(2, 1, 8, 3, {std::string("\x01\x00", 2)}, palette));
    // Grey 8 bits.
    write_file(dir / "grey.png", make_png(2, 1, 8, 0, {std::string("\x00\x7F", 2)}));
    // RGB 16 bits: one pixel, high bytes carry the value.
    write_file(dir / "deep.png", make_png(1, 1, 16, 2, {std::string("\xFF\xFF\x80\x00\x00\x10", 6)}));
    // Grey with alpha, 8 bits.
    write_file(dir / "ga.png", make_png(1, 1, 8, 4, {std::string("\x40\x80", 2)}));

    struct Case {
        const char* name;
        int w;
        std::vector<unsigned char> expect;
    };
    const Case cases[] = {
        {"pal.png", 2, rgba({0xF0, 0x80, 0x01, 255, 0x10, 0x20, 0x30, 255})},
        {"grey.png", 2, rgba({0, 0, 0, 255, 0x7F, 0x7F, 0x7F, 255})},
        {"deep.png", 1, rgba({0xFF, 0x80, 0x00, 255})},
        {"ga.png", 1, rgba({0x40, 0x40, 0x40, 0x80})},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> pixels;
        SDL_Surface* s = load_png_surface(dir / c.name, pixels);
        ASSERT_NE(s, nullptr) << c.name;
        EXPECT_EQ(s->w, c.w) << c.name;
        EXPECT_EQ(s->h, 1) << c.name;
        EXPECT_EQ(s->pitch, c.w * 4) << c.name;
        EXPECT_EQ(s->format, SDL_PIXELFORMAT_ABGR8888) << c.name;
        EXPECT_EQ(s->pixels, static_cast<void*>(pixels.data())) << c.name;
        EXPECT_EQ(pixels, c.expect) << c.name;
        // The surface reads the same colours through SDL.
        Uint8 r, g, b, a;
        ASSERT_TRUE(SDL_ReadSurfacePixel(s, 0, 0, &r, &g, &b, &a));
        EXPECT_EQ((std::vector<unsigned char>{r, g, b, a}),
                  (std::vector<unsigned char>(c.expect.begin(), c.expect.begin() + 4)))
            << c.name;
        SDL_DestroySurface(s);
    }
}

TEST_F(ImagesTest, NonPngAndMissingFilesGiveNothing) {
    TempDir dir;
    write_file(dir / "icon.png", "this is not a picture");
    // A BMP is a picture, just not a PNG.
    SDL_Surface* bmp_src = SDL_CreateSurface(2, 2, SDL_PIXELFORMAT_RGBA32);
    ASSERT_NE(bmp_src, nullptr);
    ASSERT_TRUE(SDL_SaveBMP(bmp_src, (dir / "pic.bmp").c_str()));
    SDL_DestroySurface(bmp_src);
    // A PNG cut in the middle.
    std::string cut = rgb_png(8, 8, 1, 2, 3);
    write_file(dir / "cut.png", cut.substr(0, cut.size() / 2));

    for (const char* name : {"icon.png", "pic.bmp", "cut.png", "missing.png"}) {
        std::vector<unsigned char> pixels = {1, 2, 3};
        EXPECT_EQ(load_png_surface(dir / name, pixels), nullptr) << name;
        EXPECT_EQ(pixels, rgba({1, 2, 3})) << name;
    }
}

TEST(PictureCrop, CentreCropAndShrinkButNeverEnlarge) {
    // Red, green and blue thirds: a square cut keeps the green middle.
    Picture bands{30, 10, {}};
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 30; ++x) {
            unsigned char c[4] = {0, 0, 0, 255};
            c[x / 10] = 255;
            bands.rgba.insert(bands.rgba.end(), c, c + 4);
        }
    Picture square = fit_crop(bands, 256, 256);
    ASSERT_EQ(square.w, 10);
    ASSERT_EQ(square.h, 10);
    for (size_t i = 0; i < square.rgba.size(); i += 4)
        ASSERT_EQ(std::vector<unsigned char>(square.rgba.begin() + long(i), square.rgba.begin() + long(i) + 4),
                  (std::vector<unsigned char>{0, 255, 0, 255}));
    // A portrait cut of a square icon is as tall as the icon, not stretched.
    Picture portrait = fit_crop(solid(512, 512, {1, 2, 3, 255}), 600, 900);
    EXPECT_EQ(portrait.w, 341);
    EXPECT_EQ(portrait.h, 512);
    Picture hero = fit_crop(solid(2000, 1000, {1, 2, 3, 255}), 1920, 620);
    EXPECT_EQ(hero.w, 1920);
    EXPECT_EQ(hero.h, 620);
    // Shrinking averages, and a see-through pixel lends no colour.
    Picture mixed{2, 2, {255, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 255, 255}};
    EXPECT_EQ(fit_crop(mixed, 1, 1).rgba, (std::vector<unsigned char>{0, 0, 255, 128}));
    EXPECT_TRUE(fit_crop(Picture{}, 10, 10).rgba.empty());
    EXPECT_TRUE(fit_crop(Picture{4, 4, {1, 2, 3}}, 2, 2).rgba.empty()) << "too few pixels for the size";
}

// A real SDL renderer drawing into a surface: textures are created as in the
// launcher, without a window (the offscreen window drags in the system's GL
// driver, whose own allocations would trip the leak checker).
class ImagesWindowTest : public ImagesTest {
protected:
    void SetUp() override {
        ImagesTest::SetUp();
        ASSERT_TRUE(SDL_Init(SDL_INIT_VIDEO)) << SDL_GetError();
        target = SDL_CreateSurface(320, 200, SDL_PIXELFORMAT_RGBA32);
        ASSERT_NE(target, nullptr) << SDL_GetError();
        g_renderer = SDL_CreateSoftwareRenderer(target);
        ASSERT_NE(g_renderer, nullptr) << SDL_GetError();
        g_port = port.path();
    }
    void TearDown() override {
        release_banner();
        release_layer(layer);
        SDL_DestroyRenderer(g_renderer);
        SDL_DestroySurface(target);
        g_renderer = nullptr;
        g_port.clear();
        g_data.clear();
        SDL_Quit();
    }
    SDL_Surface* target = nullptr;
    Layer layer;
    TempDir port;
    TempDir games;
};

TEST_F(ImagesWindowTest, BannerLoadsOncePerGameFolder) {
    fs::path with = games / "with";
    fs::path without = games / "without";
    write_file(with / "sce_sys" / "pic1.png", rgb_png(4, 2, 200, 100, 50));
    fs::create_directories(without / "sce_sys");

    S.set("game_dir", with.string());
    refresh_banner(true);
    ASSERT_NE(g_banner.texture, nullptr);
    EXPECT_EQ(g_banner.w, 4);
    EXPECT_EQ(g_banner.h, 2);
    EXPECT_EQ(g_banner.source, (with / "sce_sys" / "pic1.png").string());
    // The texture holds the picture's colours (byte order included).
    ASSERT_TRUE(SDL_RenderTexture(g_renderer, g_banner.texture, nullptr, nullptr));
    ASSERT_TRUE(SDL_FlushRenderer(g_renderer));
    Uint8 r, g, b, a;
    ASSERT_TRUE(SDL_ReadSurfacePixel(target, 160, 100, &r, &g, &b, &a));
    EXPECT_EQ((std::vector<int>{r, g, b, a}), (std::vector<int>{200, 100, 50, 255}));
    SDL_Texture* first = g_banner.texture;
    refresh_banner(true);
    EXPECT_EQ(g_banner.texture, first);  // unchanged folder: nothing reloaded

    // A folder without the picture: dropped, and not retried when it appears.
    S.set("game_dir", without.string());
    refresh_banner(true);
    EXPECT_EQ(g_banner.texture, nullptr);
    EXPECT_EQ(g_banner.w, 0);
    write_file(without / "sce_sys" / "pic1.png", rgb_png(2, 2, 1, 2, 3));
    refresh_banner(true);
    EXPECT_EQ(g_banner.texture, nullptr);

    // Choosing the folder again after a clear loads it.
    S.set("game_dir", "");
    refresh_banner(true);
    EXPECT_EQ(g_banner.texture, nullptr);
    EXPECT_EQ(g_banner.source, "");
    S.set("game_dir", without.string());
    refresh_banner(true);
    ASSERT_NE(g_banner.texture, nullptr);
    EXPECT_EQ(g_banner.w, 2);

    // Clearing the game folder drops the texture.
    S.set("game_dir", "");
    refresh_banner(true);
    EXPECT_EQ(g_banner.texture, nullptr);
    EXPECT_EQ(g_banner.h, 0);
}

TEST_F(ImagesWindowTest, BrokenBannerIsNotRetried) {
    fs::path dump = games / "dump";
    write_file(dump / "sce_sys" / "pic1.png", "garbage");
    S.set("game_dir", dump.string());
    refresh_banner(true);
    EXPECT_EQ(g_banner.texture, nullptr);
    EXPECT_EQ(g_banner.source, (dump / "sce_sys" / "pic1.png").string());
    write_file(dump / "sce_sys" / "pic1.png", rgb_png(2, 2, 1, 2, 3));
    refresh_banner(true);
    EXPECT_EQ(g_banner.texture, nullptr);
}

// Outside scripted captures the picture decodes on a worker: the page shows
// without it, and it fades in when it comes. A folder left while its picture
// was decoding never wins over the folder chosen since.
TEST_F(ImagesWindowTest, BannerDecodesOffTheUiThreadAndTheNewestFolderWins) {
    fs::path a = games / "a", b = games / "b";
    write_file(a / "sce_sys" / "pic1.png", rgb_png(640, 360, 9, 9, 9));
    write_file(b / "sce_sys" / "pic1.png", rgb_png(6, 3, 1, 2, 3));
    for (int round = 0; round < 5; ++round) {
        release_banner();
        S.set("game_dir", a.string());
        refresh_banner();
        EXPECT_TRUE(g_banner.loading || g_banner.texture);
        g_banner.shown_loading = g_banner.loading;   // as the page does when it draws meanwhile
        S.set("game_dir", b.string());
        refresh_banner();
        g_banner.shown_loading = g_banner.loading;
        ASSERT_TRUE(wait_until([] { refresh_banner(); return !g_banner.loading; }, 10));
        ASSERT_NE(g_banner.texture, nullptr);
        EXPECT_EQ(g_banner.w, 6) << "round " << round;
        // Its late arrival fades in, and the fade ends.
        const double now = now_seconds();
        if (g_banner.shown_loading) EXPECT_LT(banner_alpha(now), 1.0f);
        EXPECT_EQ(banner_alpha(now + BANNER_FADE), 1.0f);
        // A later decode of the folder left behind changes nothing.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        refresh_banner();
        EXPECT_EQ(g_banner.w, 6);
    }
}

TEST_F(ImagesWindowTest, WindowIconFromDumpThenPort) {
    auto icon_width = [] {
        std::vector<unsigned char> pixels;
        SDL_Surface* s = load_window_icon(pixels);
        int w = s ? s->w : 0;
        SDL_DestroySurface(s);
        return w;
    };
    fs::path dump = games / "dump";
    write_file(dump / "sce_sys" / "icon0.png", rgb_png(16, 16, 10, 20, 30));
    write_file(port / "launcher" / "quor.png", rgb_png(8, 8, 1, 1, 1));
    S.set("game_dir", dump.string());
    EXPECT_EQ(icon_width(), 16);
    set_window_icon();

    // A broken dump icon falls back to the port's picture.
    write_file(dump / "sce_sys" / "icon0.png", "broken");
    EXPECT_EQ(icon_width(), 8);
    set_window_icon();

    S.set("game_dir", "");
    EXPECT_EQ(icon_width(), 8);

    // Nothing at all: no icon, and setting it leaves the window alone.
    fs::remove(port / "launcher" / "quor.png");
    EXPECT_EQ(icon_width(), 0);
    set_window_icon();
}

// Settings are saved after every change; the icon is decoded again only when
// the game folder is another one.
TEST_F(ImagesWindowTest, WindowIconIsRefreshedOnlyForANewGameFolder) {
    fs::path a = games / "a", b = games / "b";
    write_file(a / "sce_sys" / "icon0.png", rgb_png(16, 16, 10, 20, 30));
    write_file(b / "sce_sys" / "icon0.png", rgb_png(16, 16, 30, 20, 10));
    S.set("game_dir", a.string());
    set_window_icon();
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(refresh_window_icon());
    S.set("player_name", "typed");
    EXPECT_FALSE(refresh_window_icon());
    S.set("game_dir", b.string());
    EXPECT_TRUE(refresh_window_icon());
    EXPECT_FALSE(refresh_window_icon());
    S.set("game_dir", "");
    EXPECT_TRUE(refresh_window_icon());
}

// What is kept on disk is only ever a layer this launcher wrote for this very
// picture: anything else is ignored and the picture decoded as before.
TEST_F(ImagesTest, KeptLayerFilesRoundTripAndAnythingElseIsRefused) {
    CachedLayer layer{"1280x313|opengl|/g/pic1.png", "/g/pic1.png|13205|1.5", 3, 2, std::string(24, '\x7f')};
    layer.pixels[5] = '\0';
    const std::string bytes = encode_layer_cache(layer);
    CachedLayer back;
    ASSERT_TRUE(decode_layer_cache(std::string(bytes), back));
    EXPECT_EQ(back.key, layer.key);
    EXPECT_EQ(back.identity, layer.identity);
    EXPECT_EQ(back.w, 3);
    EXPECT_EQ(back.h, 2);
    EXPECT_EQ(back.pixels, layer.pixels);

    CachedLayer untouched{"k", "i", 1, 1, "abcd"};
    std::string wide = bytes;
    wide.replace(wide.size() - 24 - 8, 4, std::string("\0\0\x01\0", 4));   // 65536 wide: sizes disagree
    std::string huge = bytes;
    huge.replace(huge.size() - 24 - 8, 8, std::string("\xff\xff\xff\x7f\xff\xff\xff\x7f", 8));
    std::string text_past_end = bytes;
    text_past_end.replace(8, 4, std::string("\xff\xff\0\0", 4));
    for (const std::string& bad : {std::string(), std::string("QUORLYR1"), bytes.substr(0, bytes.size() - 1),
                                   bytes + "x", "QUORLYR2" + bytes.substr(8), wide, huge, text_past_end,
                                   encode_layer_cache(CachedLayer{"k", "i", 0, 0, ""})}) {
        EXPECT_FALSE(decode_layer_cache(std::string(bad), untouched)) << bad.size();
        EXPECT_EQ(untouched.key, "k");
        EXPECT_EQ(untouched.pixels, "abcd");
    }

    // A picture's identity follows its contents' size and time, and there is
    // none for what is not a file.
    TempDir dir;
    write_file(dir / "pic1.png", "one");
    const std::string first = picture_identity(dir / "pic1.png");
    EXPECT_NE(first, "");
    EXPECT_EQ(picture_identity(dir / "pic1.png"), first);
    write_file(dir / "pic1.png", "four");
    EXPECT_NE(picture_identity(dir / "pic1.png"), first);
    EXPECT_EQ(picture_identity(dir / "missing.png"), "");
    EXPECT_EQ(picture_identity(dir.path()), "");
}

// A start after the banner was once drawn shows the kept layer without
// decoding the picture; another size, or another version of the picture,
// brings the picture back.
TEST_F(ImagesWindowTest, KeptBannerStandsInForThePictureUntilItNoLongerFits) {
    TempDir data;
    g_data = data.path();
    fs::path dump = games / "dump";
    write_file(dump / "sce_sys" / "pic1.png", rgb_png(8, 4, 200, 100, 50));
    S.set("game_dir", dump.string());
    refresh_banner(true);
    ASSERT_NE(g_banner.texture, nullptr);
    EXPECT_FALSE(keep_banner_layer(layer));   // nothing drawn yet

    // The banner's layer, drawn from the picture, is kept when asked.
    layer.texture = SDL_CreateTexture(g_renderer, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_TARGET, 5, 3);
    ASSERT_NE(layer.texture, nullptr);
    layer.key = "5x3|software|" + g_banner.source;
    ASSERT_TRUE(SDL_SetRenderTarget(g_renderer, layer.texture));
    SDL_SetRenderDrawColor(g_renderer, 10, 20, 30, 255);
    SDL_RenderClear(g_renderer);
    ASSERT_TRUE(SDL_SetRenderTarget(g_renderer, nullptr));
    ASSERT_TRUE(keep_banner_layer(layer));
    EXPECT_FALSE(keep_banner_layer(layer));   // already there
    std::string bytes;
    ASSERT_TRUE(read_file(banner_cache_file(), bytes));
    CachedLayer kept;
    ASSERT_TRUE(decode_layer_cache(std::move(bytes), kept));
    EXPECT_EQ(kept.key, layer.key);
    EXPECT_EQ(kept.w, 5);
    EXPECT_EQ(kept.h, 3);
    EXPECT_EQ(kept.pixels.substr(0, 3), "\x1e\x14\x0a");   // blue, green, red of 10, 20, 30
    const std::string key = layer.key;
    release_layer(layer);

    // The next start: no decode, the kept layer shows where its key fits.
    release_banner();
    refresh_banner(true);
    EXPECT_EQ(g_banner.texture, nullptr);
    EXPECT_TRUE(g_banner.deferred);
    EXPECT_EQ(adopt_kept_banner(layer, "6x3|software|" + g_banner.source), nullptr);
    release_banner();
    refresh_banner(true);
    SDL_Texture* shown = adopt_kept_banner(layer, key);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(layer.texture, shown);
    EXPECT_EQ(layer.key, key);
    ASSERT_TRUE(SDL_RenderTexture(g_renderer, shown, nullptr, nullptr));
    ASSERT_TRUE(SDL_FlushRenderer(g_renderer));
    Uint8 r, g, b, a;
    ASSERT_TRUE(SDL_ReadSurfacePixel(target, 160, 100, &r, &g, &b, &a));
    EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(adopt_kept_banner(layer, key), nullptr);   // adopted once

    // Another size: the picture itself is decoded.
    want_banner_picture(true);
    EXPECT_FALSE(g_banner.deferred);
    ASSERT_NE(g_banner.texture, nullptr);
    EXPECT_EQ(g_banner.w, 8);

    // Another version of the picture: the kept layer no longer counts.
    write_file(dump / "sce_sys" / "pic1.png", rgb_png(16, 4, 1, 2, 3));
    release_banner();
    refresh_banner(true);
    EXPECT_FALSE(g_banner.deferred);
    ASSERT_NE(g_banner.texture, nullptr);
    EXPECT_EQ(g_banner.w, 16);
}
