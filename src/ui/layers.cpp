#include "ui/layers.h"

#include <SDL3/SDL.h>
#include <imgui.h>
#include <imgui_impl_sdlrenderer3.h>

#include "core/globals.h"
#include "ui/app.h"

Layer g_background_layer;
Layer g_banner_layer;

void release_layer(Layer& layer) {
    if (layer.texture) SDL_DestroyTexture(layer.texture);
    layer.texture = nullptr;
    layer.key.clear();
}

void release_layers() {
    release_layer(g_background_layer);
    release_layer(g_banner_layer);
}

SDL_Texture* layer_texture(Layer& layer, const std::string& key, int w, int h,
                           const std::function<void(ImDrawList*)>& draw) {
    if (layer.texture && layer.key == key) return layer.texture;
    // The first picture is drawn directly: drawing into textures first
    // would hold it back.
    if (!g_renderer || w <= 0 || h <= 0 || g_frames_shown == 0) return nullptr;
    release_layer(layer);
    SDL_Texture* tex = SDL_CreateTexture(g_renderer, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_TARGET, w, h);
    if (!tex) return nullptr;
    SDL_SetTextureScaleMode(tex, SDL_SCALEMODE_NEAREST);
    SDL_SetTextureBlendMode(tex, SDL_BLENDMODE_NONE);

    ImDrawList list(ImGui::GetDrawListSharedData());
    list._ResetForNewFrame();
    list.PushClipRect(ImVec2(0, 0), ImVec2(static_cast<float>(w), static_cast<float>(h)));
    draw(&list);
    ImDrawData data;
    data.Valid = true;
    data.DisplayPos = ImVec2(0, 0);
    data.DisplaySize = ImVec2(static_cast<float>(w), static_cast<float>(h));
    data.FramebufferScale = ImVec2(1, 1);
    data.AddDrawList(&list);

    SDL_Texture* target = SDL_GetRenderTarget(g_renderer);
    SDL_BlendMode blend = SDL_BLENDMODE_NONE;
    SDL_GetRenderDrawBlendMode(g_renderer, &blend);
    bool ok = SDL_SetRenderTarget(g_renderer, tex);
    if (ok) {
        SDL_SetRenderDrawColor(g_renderer, 0, 0, 0, 255);
        SDL_RenderClear(g_renderer);
        // Untextured shapes blend with the renderer's draw mode: the shades
        // over the picture are translucent.
        SDL_SetRenderDrawBlendMode(g_renderer, SDL_BLENDMODE_BLEND);
        ImGui_ImplSDLRenderer3_RenderDrawData(&data, g_renderer);
    }
    SDL_SetRenderTarget(g_renderer, target);
    SDL_SetRenderDrawBlendMode(g_renderer, blend);
    if (!ok) {
        SDL_DestroyTexture(tex);
        return nullptr;
    }
    layer.texture = tex;
    layer.key = key;
    ++layer.draws;
    return tex;
}
