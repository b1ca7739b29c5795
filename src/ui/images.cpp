#include "ui/images.h"

#include <SDL3/SDL.h>

#include <cstdio>
#include <chrono>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/atomic_file.h"
#include "core/globals.h"
#include "core/paths.h"
#include "core/picture.h"
#include "core/port.h"
#include "core/settings.h"
#include "core/wake.h"
#include "ui/banner_cache.h"
#include "ui/layers.h"
#include "core/toast.h"
#include "core/worker.h"

Texture g_banner;

SDL_Surface* load_png_surface(const std::filesystem::path& path, std::vector<unsigned char>& pixels) {
    Picture decoded;
    if (!decode_png(path, decoded)) return nullptr;
    SDL_Surface* surface =
        SDL_CreateSurfaceFrom(decoded.w, decoded.h, SDL_PIXELFORMAT_ABGR8888, decoded.rgba.data(), decoded.w * 4);
    if (!surface) return nullptr;
    // The vector's buffer moves with it, so the surface keeps pointing at it.
    pixels = std::move(decoded.rgba);
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
    g_banner.identity.clear();
    g_banner.cached = CachedLayer();
    g_banner.deferred = false;
    g_banner.kept_key.clear();
    g_banner.loading = false;
    g_banner.shown_loading = false;
    g_banner.fade_start = -1e9;
    // Its layer showed that picture.
    release_layer(g_banner_layer);
}

namespace {

void upload_banner(Picture& picture) {
    if (!g_renderer || picture.rgba.empty()) return;
    SDL_Surface* surface =
        SDL_CreateSurfaceFrom(picture.w, picture.h, SDL_PIXELFORMAT_ABGR8888, picture.rgba.data(), picture.w * 4);
    if (!surface) return;
    g_banner.texture = SDL_CreateTextureFromSurface(g_renderer, surface);
    if (g_banner.texture) {
        g_banner.w = picture.w;
        g_banner.h = picture.h;
    }
    SDL_DestroySurface(surface);
}

// Runs on a detached worker. A layer kept from this very file stands in for
// the picture, which is then not decoded; the result is published only while
// the UI still wants that file, so a slow decode of a folder left meanwhile
// never replaces the current one.
void load_banner(const std::shared_ptr<BannerHandOver>& out, std::string path, fs::path kept_file, bool use_kept) {
    const std::string identity = picture_identity(path);
    CachedLayer kept;
    bool have_kept = false;
    if (use_kept && !identity.empty()) {
        std::string bytes;
        have_kept = read_regular_file(kept_file, bytes, KEPT_LAYER_LIMIT) == ReadStatus::ok &&
                    decode_layer_cache(std::move(bytes), kept) && kept.identity == identity;
    }
    Picture picture;
    if (!have_kept && !decode_png(path, picture)) picture = Picture();
    {
        std::lock_guard<std::mutex> lock(out->mutex);
        if (out->wanted != path) return;
        out->picture = std::move(picture);
        out->identity = identity;
        out->cached = have_kept ? std::move(kept) : CachedLayer();
        out->done = true;
    }
    wake_ui();
}

// From now on only a load of path is taken; anything published before is dropped.
void want_banner_file(const std::string& path) {
    BannerHandOver& in = *g_banner.hand_over;
    std::lock_guard<std::mutex> lock(in.mutex);
    in.wanted = path;
    in.done = false;
    in.picture = Picture();
    in.cached = CachedLayer();
}

// Starts load_banner for g_banner.source, here when wait or no thread is to be had.
void start_banner_load(bool use_kept, bool wait) {
    g_banner.loading = true;
    want_banner_file(g_banner.source);
    const std::shared_ptr<BannerHandOver> out = g_banner.hand_over;
    const std::string source = g_banner.source;
    const fs::path kept = banner_cache_file();
    if (!wait && start_worker([=] { load_banner(out, source, kept, use_kept); })) return;
    load_banner(out, source, kept, use_kept);
}

}  // namespace

void refresh_banner(bool wait) {
    std::string game_dir = S.get("game_dir");
    std::string candidate = game_dir.empty() ? std::string() : (fs::path(game_dir) / "sce_sys" / "pic1.png").string();
    if (candidate != g_banner.source) {
        release_banner();
        g_banner.source = candidate;
        want_banner_file(candidate);
        if (candidate.empty() || !is_file(candidate)) return;
        start_banner_load(true, wait);
    }
    if (!g_banner.loading || !g_renderer) return;
    Picture picture;
    BannerHandOver& in = *g_banner.hand_over;
    auto take = [&] {
        std::lock_guard<std::mutex> lock(in.mutex);
        if (!in.done) return false;
        picture = std::move(in.picture);
        g_banner.identity = std::move(in.identity);
        g_banner.cached = std::move(in.cached);
        in.done = false;
        in.picture = Picture();
        in.cached = CachedLayer();
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
        load_banner(g_banner.hand_over, g_banner.source, banner_cache_file(), false);
        take();
    }
    g_banner.loading = false;
    if (!g_banner.cached.pixels.empty()) {
        g_banner.deferred = true;
        return;
    }
    upload_banner(picture);
    // A picture that comes after its page was already shown fades in.
    if (g_banner.texture && g_banner.shown_loading) g_banner.fade_start = now_seconds();
}

void want_banner_picture(bool wait) {
    if (!g_banner.deferred) return;
    g_banner.deferred = false;
    g_banner.cached = CachedLayer();
    start_banner_load(false, wait);
    refresh_banner(wait);
}

SDL_Texture* adopt_kept_banner(Layer& layer, const std::string& key) {
    if (g_banner.cached.pixels.empty() || g_banner.cached.key != key || !g_renderer) return nullptr;
    SDL_Texture* tex = texture_from_layer(g_renderer, g_banner.cached);
    g_banner.cached = CachedLayer();
    if (!tex) return nullptr;
    release_layer(layer);
    layer.texture = tex;
    layer.key = key;
    g_banner.kept_key = key;
    return tex;
}

bool keep_banner_layer(const Layer& layer) {
    // With the picture decoded, the layer is drawn from it (or is the kept
    // one, already on disk).
    if (!layer.texture || !g_banner.texture || layer.key == g_banner.kept_key || !g_renderer ||
        g_banner.identity.empty())
        return false;
    CachedLayer kept;
    if (!read_layer(g_renderer, layer.texture, kept)) return false;
    kept.key = layer.key;
    kept.identity = g_banner.identity;
    g_banner.kept_key = kept.key;
    return write_file_atomic(banner_cache_file(), encode_layer_cache(kept));
}

float banner_alpha(double now) {
    double t = (now - g_banner.fade_start) / BANNER_FADE;
    return t >= 1 ? 1.0f : t <= 0 ? 0.0f : static_cast<float>(t);
}
