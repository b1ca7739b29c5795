// Static layers drawn once into a texture must look exactly as if drawn in
// the frame, translucent shades included, and be redrawn only when their key
// changes. Real SDL renderers on the offscreen driver.
#include <gtest/gtest.h>

#include <SDL3/SDL.h>
#include <imgui.h>
#include <imgui_impl_sdl3.h>
#include <imgui_impl_sdlrenderer3.h>

#include "core/globals.h"
#include "ui/app.h"
#include "ui/layers.h"

// Mesa's drivers and SDL's video subsystem keep a few allocations past
// SDL_Quit; the window tests run the launcher with leak checks off for the
// same reason. Allocations made on this thread while a window lives are
// exempt; everything else is still checked.
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
using WindowLeaksExempt = __lsan::ScopedDisabler;
#else
struct WindowLeaksExempt {};
#endif

namespace {

constexpr int W = 320, H = 200;

// An opaque gradient under a translucent one, like the banner's picture and shades.
void scene(ImDrawList* dl, ImVec2 at) {
    ImVec2 end(at.x + W, at.y + H);
    dl->AddRectFilledMultiColor(at, end, IM_COL32(200, 40, 40, 255), IM_COL32(40, 200, 40, 255),
                                IM_COL32(40, 40, 200, 255), IM_COL32(200, 200, 40, 255));
    dl->AddRectFilledMultiColor(at, ImVec2(at.x + 0.65f * W, end.y), IM_COL32(10, 20, 30, 200), IM_COL32(10, 20, 30, 0),
                                IM_COL32(10, 20, 30, 0), IM_COL32(10, 20, 30, 200));
}

class Layers : public ::testing::TestWithParam<const char*> {
protected:
    WindowLeaksExempt exempt;
    void SetUp() override {
        g_frames_shown = 0;
        ASSERT_TRUE(SDL_Init(SDL_INIT_VIDEO)) << SDL_GetError();
        window = SDL_CreateWindow("layers", W, H, 0);
        ASSERT_NE(window, nullptr);
        g_renderer = SDL_CreateRenderer(window, GetParam());
        if (!g_renderer) GTEST_SKIP() << GetParam() << " renderer unavailable: " << SDL_GetError();
        ImGui::CreateContext();
        ImGui::GetIO().IniFilename = nullptr;
        ImGui_ImplSDL3_InitForSDLRenderer(window, g_renderer);
        ImGui_ImplSDLRenderer3_Init(g_renderer);
    }
    void TearDown() override {
        release_layer(layer);
        if (ImGui::GetCurrentContext()) {
            ImGui_ImplSDLRenderer3_Shutdown();
            ImGui_ImplSDL3_Shutdown();
            ImGui::DestroyContext();
        }
        if (g_renderer) SDL_DestroyRenderer(g_renderer);
        g_renderer = nullptr;
        if (window) SDL_DestroyWindow(window);
        SDL_Quit();
    }

    // One frame whose background list gets body; returns the rendered pixels.
    SDL_Surface* frame(const std::function<void(ImDrawList*)>& body) {
        ImGui_ImplSDLRenderer3_NewFrame();
        ImGui_ImplSDL3_NewFrame();
        ImGui::NewFrame();
        body(ImGui::GetBackgroundDrawList());
        ImGui::Render();
        SDL_SetRenderDrawColor(g_renderer, 14, 20, 27, 255);
        SDL_RenderClear(g_renderer);
        ImGui_ImplSDLRenderer3_RenderDrawData(ImGui::GetDrawData(), g_renderer);
        SDL_Surface* s = SDL_RenderReadPixels(g_renderer, nullptr);
        SDL_RenderPresent(g_renderer);
        ++g_frames_shown;   // as the frame loop counts them
        return s;
    }

    SDL_Window* window = nullptr;
    Layer layer;
};

TEST_P(Layers, CachedPictureMatchesTheDirectOneAndIsDrawnOncePerKey) {
    SDL_Surface* direct = frame([&](ImDrawList* dl) {
        EXPECT_EQ(layer_texture(layer, "a", W, H, [](ImDrawList*) {}), nullptr) << "the first frame waits for a layer";
        scene(dl, ImVec2(0, 0));
    });
    auto cached_frame = [&](const std::string& key) {
        return frame([&](ImDrawList* dl) {
            SDL_Texture* t = layer_texture(layer, key, W, H, [](ImDrawList* l) { scene(l, ImVec2(0, 0)); });
            ASSERT_NE(t, nullptr);
            dl->AddImage(ImTextureRef(reinterpret_cast<ImTextureID>(t)), ImVec2(0, 0), ImVec2(W, H));
        });
    };
    SDL_Surface* cached = cached_frame("a");
    ASSERT_TRUE(direct && cached);
    int worst = 0;
    for (int y = 0; y < H; y += 7)
        for (int x = 0; x < W; x += 7) {
            Uint8 r1, g1, b1, a1, r2, g2, b2, a2;
            SDL_ReadSurfacePixel(direct, x, y, &r1, &g1, &b1, &a1);
            SDL_ReadSurfacePixel(cached, x, y, &r2, &g2, &b2, &a2);
            worst = std::max({worst, std::abs(r1 - r2), std::abs(g1 - g2), std::abs(b1 - b2)});
        }
    EXPECT_LE(worst, 2) << "the cached layer looks different";
    SDL_DestroySurface(direct);
    SDL_DestroySurface(cached);

    for (const char* key : {"a", "a", "b", "b", "a"}) SDL_DestroySurface(cached_frame(key));
    EXPECT_EQ(layer.draws, 3) << "drawn once per change of key";
    release_layer(layer);
    SDL_DestroySurface(cached_frame("a"));
    EXPECT_EQ(layer.draws, 4) << "a released layer is drawn again";
}

// Mesa's software OpenGL threads race among themselves under ThreadSanitizer;
// that renderer is checked in the other builds.
#if defined(__SANITIZE_THREAD__)
INSTANTIATE_TEST_SUITE_P(Renderers, Layers, ::testing::Values("software"));
#else
INSTANTIATE_TEST_SUITE_P(Renderers, Layers, ::testing::Values("software", "opengl"));
#endif

}  // namespace
