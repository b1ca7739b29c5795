#include "ui/images.h"

#include <SDL3/SDL.h>

#include <cstdio>
#include <chrono>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

#include "core/globals.h"
#include "core/paths.h"
#include "core/port.h"
#include "core/settings.h"
#include "core/wake.h"
#include "discovery/shared.h"
#include "ui/toast.h"

Texture g_banner;

bool decode_png(const std::filesystem::path& path, std::vector<unsigned char>& pixels, int& w, int& h) {
    FILE* f = std::fopen(path.c_str(), "rbe");   // close-on-exec: helpers must not inherit it
    if (!f) return false;
    int dw = 0, dh = 0, channels = 0;
    unsigned char* data = stbi_load_from_file(f, &dw, &dh, &channels, 4);
    std::fclose(f);
    if (!data) return false;
    if (dw <= 0 || dh <= 0) {
        stbi_image_free(data);
        return false;
    }
    size_t bytes = static_cast<size_t>(dw) * static_cast<size_t>(dh) * 4;
    pixels.assign(data, data + bytes);
    stbi_image_free(data);
    w = dw;
    h = dh;
    return true;
}

SDL_Surface* load_png_surface(const std::filesystem::path& path, std::vector<unsigned char>& pixels) {
    std::vector<unsigned char> decoded;
    int w = 0, h = 0;
    if (!decode_png(path, decoded, w, h)) return nullptr;
    SDL_Surface* surface = SDL_CreateSurfaceFrom(w, h, SDL_PIXELFORMAT_ABGR8888, decoded.data(), w * 4);
    if (!surface) return nullptr;
    // The vector's buffer moves with it, so the surface keeps pointing at it.
    pixels = std::move(decoded);
    return surface;
}

SDL_Surface* load_window_icon(std::vector<unsigned char>& pixels) {
    SDL_Surface* surface = nullptr;
    std::string game_dir = S.get("game_dir");
    if (!game_dir.empty()) {
        fs::path icon = fs::path(game_dir) / "sce_sys" / "icon0.png";
        if (is_file(icon)) surface = load_png_surface(icon, pixels);
    }
    if (!surface) surface = load_png_surface(g_port / PORT_LAUNCHER_DIR / PORT_ICON, pixels);
    return surface;
}

namespace {
// The game folder the window icon was last made for (UI thread only).
std::string g_icon_game_dir;
bool g_icon_set = false;
}  // namespace

void set_window_icon() {
    g_icon_game_dir = S.get("game_dir");
    g_icon_set = true;
    std::vector<unsigned char> pixels;
    SDL_Surface* surface = load_window_icon(pixels);
    if (!surface) return;   // keep whatever icon the window has
    if (g_window) SDL_SetWindowIcon(g_window, surface);
    SDL_DestroySurface(surface);
}

bool refresh_window_icon() {
    if (g_icon_set && S.get("game_dir") == g_icon_game_dir) return false;
    set_window_icon();
    return true;
}

void release_banner() {
    if (g_banner.texture) SDL_DestroyTexture(g_banner.texture);
    g_banner.texture = nullptr;
    g_banner.w = 0;
    g_banner.h = 0;
    g_banner.source.clear();
    g_banner.loading = false;
    g_banner.shown_loading = false;
    g_banner.fade_start = -1e9;
}

namespace {

void upload_banner(std::vector<unsigned char>& pixels, int w, int h) {
    if (!g_renderer || pixels.empty()) return;
    SDL_Surface* surface = SDL_CreateSurfaceFrom(w, h, SDL_PIXELFORMAT_ABGR8888, pixels.data(), w * 4);
    if (!surface) return;
    g_banner.texture = SDL_CreateTextureFromSurface(g_renderer, surface);
    if (g_banner.texture) {
        g_banner.w = w;
        g_banner.h = h;
    }
    SDL_DestroySurface(surface);
}

// Decodes on a detached worker; the result is published only while the UI
// still wants that file, so a slow decode of a folder left meanwhile never
// replaces the current one.
void decode_banner(std::string path) {
    std::vector<unsigned char> pixels;
    int w = 0, h = 0;
    if (!decode_png(path, pixels, w, h)) pixels.clear();
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        if (g_shared.banner_wanted != path) return;
        g_shared.banner_pixels = std::move(pixels);
        g_shared.banner_w = w;
        g_shared.banner_h = h;
        g_shared.banner_done = true;
    }
    wake_ui();
}

}  // namespace

void refresh_banner(bool wait) {
    std::string game_dir = S.get("game_dir");
    std::string candidate = game_dir.empty() ? std::string() : (fs::path(game_dir) / "sce_sys" / "pic1.png").string();
    if (candidate != g_banner.source) {
        release_banner();
        g_banner.source = candidate;
        {
            std::lock_guard<std::mutex> lock(g_shared.mutex);
            g_shared.banner_wanted = candidate;
            g_shared.banner_done = false;
            g_shared.banner_pixels.clear();
        }
        if (candidate.empty() || !is_file(candidate)) return;
        g_banner.loading = true;
        if (!wait) {
            try {
                std::thread(decode_banner, candidate).detach();
            } catch (const std::system_error&) {
                wait = true;   // no thread to be had: decode here
            }
        }
        if (wait) decode_banner(candidate);
    }
    if (!g_banner.loading || !g_renderer) return;
    std::vector<unsigned char> pixels;
    int w = 0, h = 0;
    auto take = [&] {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        if (!g_shared.banner_done) return false;
        pixels = std::move(g_shared.banner_pixels);
        w = g_shared.banner_w;
        h = g_shared.banner_h;
        g_shared.banner_done = false;
        g_shared.banner_pixels.clear();
        return true;
    };
    bool taken = take();
    if (!taken && !wait) return;
    // A scripted frame waits for the decode begun at start-up; one that has
    // not reported within 10 s is done again here.
    for (int i = 0; i < 10000 && !taken; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        taken = take();
    }
    if (!taken) {
        decode_banner(g_banner.source);
        take();
    }
    g_banner.loading = false;
    upload_banner(pixels, w, h);
    // A picture that comes after its page was already shown fades in.
    if (g_banner.texture && g_banner.shown_loading) g_banner.fade_start = now_seconds();
}

float banner_alpha(double now) {
    double t = (now - g_banner.fade_start) / BANNER_FADE;
    return t >= 1 ? 1.0f : t <= 0 ? 0.0f : static_cast<float>(t);
}
