#include "core/picture.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

bool decode_png(const std::filesystem::path& path, Picture& out) {
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
    out.rgba.assign(data, data + bytes);
    stbi_image_free(data);
    out.w = dw;
    out.h = dh;
    return true;
}

Picture fit_crop(const Picture& src, int tw, int th) {
    Picture out;
    if (tw <= 0 || th <= 0 || src.w <= 0 || src.h <= 0 ||
        src.rgba.size() < static_cast<size_t>(src.w) * static_cast<size_t>(src.h) * 4)
        return out;
    // The largest centred rectangle of the target's shape.
    int64_t cw = src.w, ch = src.h;
    if (int64_t(src.w) * th > int64_t(tw) * src.h)
        cw = std::max<int64_t>(1, (int64_t(src.h) * tw + th / 2) / th);
    else
        ch = std::max<int64_t>(1, (int64_t(src.w) * th + tw / 2) / tw);
    int64_t cx = (src.w - cw) / 2, cy = (src.h - ch) / 2;
    int64_t ow = cw, oh = ch;
    if (cw > tw) {
        ow = tw;
        oh = th;
    }
    out.w = static_cast<int>(ow);
    out.h = static_cast<int>(oh);
    out.rgba.assign(static_cast<size_t>(ow) * static_cast<size_t>(oh) * 4, 0);
    // Box filter over premultiplied colour, so transparent pixels do not
    // bleed their hidden colour into the edges.
    for (int64_t y = 0; y < oh; ++y) {
        int64_t y0 = cy + y * ch / oh, y1 = std::max(y0 + 1, cy + (y + 1) * ch / oh);
        for (int64_t x = 0; x < ow; ++x) {
            int64_t x0 = cx + x * cw / ow, x1 = std::max(x0 + 1, cx + (x + 1) * cw / ow);
            uint64_t r = 0, g = 0, b = 0, a = 0, n = 0;
            for (int64_t sy = y0; sy < y1; ++sy) {
                const unsigned char* p = &src.rgba[(static_cast<size_t>(sy) * src.w + static_cast<size_t>(x0)) * 4];
                for (int64_t sx = x0; sx < x1; ++sx, p += 4) {
                    r += uint64_t(p[0]) * p[3];
                    g += uint64_t(p[1]) * p[3];
                    b += uint64_t(p[2]) * p[3];
                    a += p[3];
                    ++n;
                }
            }
            unsigned char* q = &out.rgba[(static_cast<size_t>(y) * out.w + static_cast<size_t>(x)) * 4];
            if (a > 0) {
                q[0] = static_cast<unsigned char>((r + a / 2) / a);
                q[1] = static_cast<unsigned char>((g + a / 2) / a);
                q[2] = static_cast<unsigned char>((b + a / 2) / a);
            }
            q[3] = static_cast<unsigned char>((a + n / 2) / n);
        }
    }
    return out;
}

std::string encode_png(const Picture& img) {
    std::string out;
    if (img.w <= 0 || img.h <= 0 || img.rgba.size() != static_cast<size_t>(img.w) * static_cast<size_t>(img.h) * 4)
        return out;
    auto sink = [](void* ctx, void* data, int size) {
        static_cast<std::string*>(ctx)->append(static_cast<const char*>(data), static_cast<size_t>(size));
    };
    if (!stbi_write_png_to_func(sink, &out, img.w, img.h, 4, img.rgba.data(), img.w * 4)) out.clear();
    return out;
}
