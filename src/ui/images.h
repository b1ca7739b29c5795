#pragma once
// PNG loading for the window icon and the Play page's banner.
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/picture.h"
#include "ui/layers.h"

struct SDL_Surface;
struct SDL_Texture;

// What the banner's decode worker hands to the UI thread, all under mutex:
// the file the UI wants now, and its finished decode (empty pixels when it
// could not be read). Decodes of any other file are dropped by their worker.
// With a kept layer made from this very file, the layer comes instead
// (cached) and the picture is not decoded.
struct BannerHandOver {
    std::mutex mutex;
    std::string wanted;
    Picture picture;
    std::string identity;
    CachedLayer cached;
    bool done = false;
};

// The cached banner. The destructor leaves the SDL texture alone: it runs
// after SDL has shut down; release_banner() destroys it before that.
struct Texture {
    SDL_Texture* texture = nullptr;
    int w = 0;
    int h = 0;
    std::string source;   // image path it was made for; empty without a game folder
    std::string identity;        // the file's version it came from (picture_identity)
    CachedLayer cached;          // a layer kept from that version, until shown or found not to fit
    bool deferred = false;       // the kept layer stood in: the picture is not decoded yet
    std::string kept_key;        // the key of the layer on disk, as adopted or last kept
    bool loading = false;        // source is being decoded off the UI thread
    bool shown_loading = false;  // a frame was drawn while it was
    double fade_start = -1e9;    // when the picture arrived late, to fade it in
    // The only part a decode worker touches; it holds its own reference, as
    // it may still publish while the process exits and g_banner is gone.
    std::shared_ptr<BannerHandOver> hand_over = std::make_shared<BannerHandOver>();
};

// Seconds a picture that arrives after its page was shown takes to fade in.
inline constexpr double BANNER_FADE = 0.25;

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
// Brings g_banner in step with game_dir; loads at most once per folder. A
// 1920x1080 picture takes tens of milliseconds to decode: that runs on a
// worker (which takes the layer kept at the last start instead when it was
// made from the same file), and the texture is made in the first call after it finished
// (wait: that call waits for it, as scripted captures need every frame
// exact). Without a renderer it only starts the decode, so start-up can
// begin it before the window exists.
void refresh_banner(bool wait = false);
// The picture itself, where a kept layer stood in and the banner must now be
// drawn anew (another size): starts its decode (wait: as refresh_banner).
void want_banner_picture(bool wait);
// Makes layer show the kept layer when that was made for key; the texture,
// or null (the kept pixels are dropped either way).
SDL_Texture* adopt_kept_banner(Layer& layer, const std::string& key);
// Keeps layer, drawn from the decoded picture, in the data folder for the
// next start unless that very layer is already there. True when written.
bool keep_banner_layer(const Layer& layer);
// The picture's opacity now: below 1 while a late picture fades in.
float banner_alpha(double now);
// Destroys the banner texture and its layer; call before the renderer goes.
void release_banner();
