#include "ui/images.h"

#include <SDL3/SDL.h>

#include <cstdio>
#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

#include "core/globals.h"
#include "core/paths.h"
#include "core/port.h"
#include "core/settings.h"

Texture g_banner;

SDL_Surface* load_png_surface(const std::filesystem::path& path, std::vector<unsigned char>& pixels) {
    FILE* f = std::fopen(path.c_str(), "rbe");   // close-on-exec: helpers must not inherit it
    if (!f) return nullptr;
    int w = 0, h = 0, channels = 0;
    unsigned char* data = stbi_load_from_file(f, &w, &h, &channels, 4);
    std::fclose(f);
    if (!data) return nullptr;
    if (w <= 0 || h <= 0) {
        stbi_image_free(data);
        return nullptr;
    }
    size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
    std::vector<unsigned char> decoded(data, data + bytes);
    stbi_image_free(data);
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
}

void refresh_banner() {
    std::string game_dir = S.get("game_dir");
    std::string candidate = game_dir.empty() ? std::string() : (fs::path(game_dir) / "sce_sys" / "pic1.png").string();
    if (candidate == g_banner.source) return;
    release_banner();
    g_banner.source = candidate;
    if (candidate.empty() || !is_file(candidate)) return;
    std::vector<unsigned char> pixels;
    SDL_Surface* surface = load_png_surface(candidate, pixels);
    if (!surface) return;
    if (g_renderer) g_banner.texture = SDL_CreateTextureFromSurface(g_renderer, surface);
    if (g_banner.texture) {
        g_banner.w = surface->w;
        g_banner.h = surface->h;
    }
    SDL_DestroySurface(surface);
}
