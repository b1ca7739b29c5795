#include "ui/banner_cache.h"

#include <SDL3/SDL.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>

#include "core/bytes.h"
#include "core/paths.h"

namespace {

constexpr char MAGIC[8] = {'Q', 'U', 'O', 'R', 'L', 'Y', 'R', '1'};
constexpr uint32_t MAX_SIDE = 16384;
constexpr uint32_t MAX_TEXT = 64 * 1024;

bool get32(std::string_view& in, uint32_t& v) {
    if (in.size() < 4) return false;
    v = load_le32(in.data());
    in.remove_prefix(4);
    return true;
}

bool get_text(std::string_view& in, std::string& s) {
    uint32_t n = 0;
    if (!get32(in, n) || n > MAX_TEXT || in.size() < n) return false;
    s.assign(in.data(), n);
    in.remove_prefix(n);
    return true;
}

}  // namespace

std::string picture_identity(const std::filesystem::path& picture) {
    struct stat st{};
    if (::stat(picture.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return picture.string() + "|" + std::to_string(st.st_size) + "|" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

std::string encode_layer_cache(const CachedLayer& layer) {
    std::string out(MAGIC, sizeof MAGIC);
    out += le32_bytes(static_cast<uint32_t>(layer.identity.size())) + layer.identity;
    out += le32_bytes(static_cast<uint32_t>(layer.key.size())) + layer.key;
    out += le32_bytes(static_cast<uint32_t>(layer.w)) + le32_bytes(static_cast<uint32_t>(layer.h));
    out += layer.pixels;
    return out;
}

bool decode_layer_cache(std::string&& bytes, CachedLayer& out) {
    std::string_view in(bytes);
    if (in.size() < sizeof MAGIC || std::memcmp(in.data(), MAGIC, sizeof MAGIC) != 0) return false;
    in.remove_prefix(sizeof MAGIC);
    CachedLayer got;
    uint32_t w = 0, h = 0;
    if (!get_text(in, got.identity) || !get_text(in, got.key) || !get32(in, w) || !get32(in, h)) return false;
    if (w == 0 || h == 0 || w > MAX_SIDE || h > MAX_SIDE) return false;
    if (in.size() != static_cast<size_t>(w) * h * 4) return false;
    got.w = static_cast<int>(w);
    got.h = static_cast<int>(h);
    // The pixels stay where they were read: no second copy of a few megabytes.
    bytes.erase(0, bytes.size() - in.size());
    got.pixels = std::move(bytes);
    out = std::move(got);
    return true;
}

std::filesystem::path banner_cache_file() { return g_data.empty() ? fs::path() : g_data / "banner.cache"; }

SDL_Texture* texture_from_layer(SDL_Renderer* renderer, const CachedLayer& layer) {
    if (layer.w <= 0 || layer.h <= 0 || layer.pixels.size() != static_cast<size_t>(layer.w) * layer.h * 4) return nullptr;
    SDL_Texture* tex = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STATIC, layer.w, layer.h);
    if (!tex) return nullptr;
    if (!SDL_UpdateTexture(tex, nullptr, layer.pixels.data(), layer.w * 4)) {
        SDL_DestroyTexture(tex);
        return nullptr;
    }
    SDL_SetTextureScaleMode(tex, SDL_SCALEMODE_NEAREST);
    SDL_SetTextureBlendMode(tex, SDL_BLENDMODE_NONE);
    return tex;
}

bool read_layer(SDL_Renderer* renderer, SDL_Texture* texture, CachedLayer& out) {
    SDL_Texture* before = SDL_GetRenderTarget(renderer);
    SDL_Surface* read = nullptr;
    if (SDL_SetRenderTarget(renderer, texture)) read = SDL_RenderReadPixels(renderer, nullptr);
    SDL_SetRenderTarget(renderer, before);
    if (!read) return false;
    bool ok = read->w > 0 && read->h > 0;
    if (ok) {
        out.w = read->w;
        out.h = read->h;
        out.pixels.resize(static_cast<size_t>(read->w) * static_cast<size_t>(read->h) * 4);
        ok = SDL_ConvertPixels(read->w, read->h, read->format, read->pixels, read->pitch, SDL_PIXELFORMAT_XRGB8888,
                               out.pixels.data(), read->w * 4);
    }
    SDL_DestroySurface(read);
    return ok;
}
