#pragma once
// The Play page's banner as last drawn, kept on disk. Decoding a 1920x1080
// pic1.png, turning it into a texture and drawing the banner from it is most
// of what the launcher does before its first picture; the banner composed at
// the window's size is a fifth of those pixels and needs no decoding. The
// picture itself is decoded only when the banner must be drawn anew (another
// size, another picture, another renderer).
#include <filesystem>
#include <string>
#include <string_view>

#include "ui/layers.h"

struct SDL_Renderer;
struct SDL_Texture;

// Larger files are not layers this launcher wrote.
inline constexpr size_t KEPT_LAYER_LIMIT = 64u << 20;

// What identifies one version of a picture file: its path, size and change
// time. Empty when it is not a readable regular file.
std::string picture_identity(const std::filesystem::path& picture);

// The file's bytes for layer; layer.pixels holds w*h rows of 4 bytes.
std::string encode_layer_cache(const CachedLayer& layer);
// Reads what encode_layer_cache wrote (bytes is consumed). False, with out
// untouched, for anything else: another format, a cut or padded file, sizes
// out of range.
bool decode_layer_cache(std::string&& bytes, CachedLayer& out);

// Where the banner's layer is kept: in the data folder.
std::filesystem::path banner_cache_file();

// A static texture (XRGB8888, drawn 1:1 and opaque, as a layer) holding
// layer's pixels; null when the renderer cannot make one.
SDL_Texture* texture_from_layer(SDL_Renderer* renderer, const CachedLayer& layer);
// Reads a render-target texture back into out's size and pixels (XRGB8888).
bool read_layer(SDL_Renderer* renderer, SDL_Texture* texture, CachedLayer& out);
