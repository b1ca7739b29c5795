#pragma once
// Pictures as plain pixels, shared by the window's images and the artwork
// handed to Steam: decoded from PNG, cut to another shape, encoded again.
// Nothing here touches SDL, so any thread may use it.
#include <filesystem>
#include <string>
#include <vector>

// An 8-bit RGBA picture: w*h pixels, rows top to bottom, bytes red, green,
// blue, alpha (straight alpha).
struct Picture {
    int w = 0, h = 0;
    std::vector<unsigned char> rgba;
};

// Decodes a PNG of any colour type and depth into out; false (out unchanged)
// when the file cannot be opened or decoded.
bool decode_png(const std::filesystem::path& path, Picture& out);
// The centre of src cut to the aspect tw:th, shrunk to at most tw × th by
// averaging; never enlarged. Empty when src holds too few pixels for its size.
Picture fit_crop(const Picture& src, int tw, int th);
// The PNG file's bytes; empty when img's size and pixels disagree.
std::string encode_png(const Picture& img);
