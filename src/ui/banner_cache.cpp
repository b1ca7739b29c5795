#include "ui/banner_cache.h"

#include <SDL3/SDL.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>

#include "core/paths.h"

namespace {

constexpr char MAGIC[8] = {'Q', 'U', 'O', 'R', 'L', 'Y', 'R', '1'};
constexpr uint32_t MAX_SIDE = 16384;
constexpr uint32_t MAX_TEXT = 64 * 1024;

void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

bool get32(std::string_view& in, uint32_t& v) {
    if (in.size() < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(in[i])) << (8 * i);
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
    put32(out, static_cast<uint32_t>(layer.identity.size()));
    out += layer.identity;
    put32(out, static_cast<uint32_t>(layer.key.size()));
    out += layer.key;
    put32(out, static_cast<uint32_t>(layer.w));
    put32(out, static_cast<uint32_t>(layer.h));
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
    SDL_Surface* rows = read->format == SDL_PIXELFORMAT_XRGB8888 ? read : SDL_ConvertSurface(read, SDL_PIXELFORMAT_XRGB8888);
    bool ok = rows != nullptr && rows->w > 0 && rows->h > 0;
    if (ok) {
        out.w = rows->w;
        out.h = rows->h;
        const size_t row = static_cast<size_t>(rows->w) * 4;
        out.pixels.resize(row * static_cast<size_t>(rows->h));
        for (int y = 0; y < rows->h; ++y)
            std::memcpy(out.pixels.data() + row * static_cast<size_t>(y),
                        static_cast<const char*>(rows->pixels) + static_cast<size_t>(rows->pitch) * static_cast<size_t>(y), row);
    }
    if (rows && rows != read) SDL_DestroySurface(rows);
    SDL_DestroySurface(read);
    return ok;
}
