#pragma once
// Static layers: parts of the picture that change only with the window's
// size or scale (the background gradient, the Play page's banner) are drawn
// once into a texture and then copied each frame. A software renderer fills
// a full-window gradient pixel by pixel every frame; a copy is a blit.
#include <functional>
#include <string>

struct SDL_Texture;
struct ImDrawList;

// A static layer's picture as drawn once: the layer's key (what it shows and
// at which size), the picture file it came from (picture_identity) and w*h
// rows of 4 bytes, XRGB8888.
struct CachedLayer {
    std::string key;
    std::string identity;
    int w = 0, h = 0;
    std::string pixels;
};

struct Layer {
    SDL_Texture* texture = nullptr;
    std::string key;    // what the texture shows; empty when none
    int draws = 0;      // times it was drawn, for tests
};

// The layer's texture of w x h pixels showing key, drawn by draw (in the
// texture's own coordinates, through the GUI's draw list and renderer
// backend, so it looks as if drawn in the frame) when the key changed.
// Null until the window's first frame is presented (unless the layer
// already shows key) and when the renderer cannot draw into textures: the
// caller then draws directly. Call between NewFrame and Render.
SDL_Texture* layer_texture(Layer& layer, const std::string& key, int w, int h,
                           const std::function<void(ImDrawList*)>& draw);
// Forgets the texture (renderer reset, shutdown).
void release_layer(Layer& layer);

extern Layer g_background_layer;
extern Layer g_banner_layer;
// Both, before the renderer goes or after it lost its render targets.
void release_layers();
