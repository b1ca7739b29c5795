#pragma once
// PNG loading for the window icon and the Play page's banner.
#include <filesystem>
#include <string>
#include <vector>

struct SDL_Surface;
struct SDL_Texture;

// The cached banner. The destructor leaves the SDL texture alone: it runs
// after SDL has shut down; release_banner() destroys it before that.
struct Texture {
    SDL_Texture* texture = nullptr;
    int w = 0;
    int h = 0;
    std::string source;   // image path it was made for; empty without a game folder
};

extern Texture g_banner;

// Decodes a PNG as 8-bit RGBA into pixels and returns a surface borrowing
// that memory (destroy it before touching pixels). Null when the file cannot
// be opened or decoded; pixels is then unchanged.
SDL_Surface* load_png_surface(const std::filesystem::path& path, std::vector<unsigned char>& pixels);

// Window icon from the dump's icon0.png, else the port's quor.png.
void set_window_icon();
// Sets the window icon again only when game_dir changed since it was last
// set (decoding a PNG at every settings save would stall typing). Returns
// whether it did.
bool refresh_window_icon();
// The picture set_window_icon would use (a surface over pixels), or null.
SDL_Surface* load_window_icon(std::vector<unsigned char>& pixels);
// Brings g_banner in step with game_dir; loads at most once per folder.
void refresh_banner();
// Destroys the banner texture; call before the renderer goes.
void release_banner();
