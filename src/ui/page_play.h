#pragma once
// Decisions of the Play page, free of drawing.
#include <imgui.h>
#include <functional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "discovery/game_info.h"

struct Check {
    ImU32 color;
    std::string text;
};

// The banner's height for a page area of page_height: it leaves room for
// the Play button below it, so the button never starts out of sight.
float banner_height(float page_height, float scale);

// Where the title and subtitle go in a banner H high (pixels, from the
// band's top): the title's font size in pixels (0: no room for it), its top,
// and how many of the subtitle's sub_lines lines of line pixels fit. Low
// banners get a smaller title, and lose subtitle lines before it does.
struct BannerText {
    float title_size = 0;
    float title_y = 0;
    int sub_lines = 0;
};
BannerText banner_text(float H, float scale, int sub_lines, float line);

// The big button for the game's state; lit: hovered or showing the focus.
// ink, the label's colour, keeps 4.5:1 against the gradient behind it.
struct PlayLook {
    const char* label;
    ImU32 top, bottom, ink;
};
PlayLook play_look(bool running, bool ok, bool lit, bool pt);

// The window's background gradient (BG_TOP at 0, BG_BOTTOM at height) at y.
ImU32 gradient_at(float y, float height);

// Texture rectangle that covers a W x H band with a tw x th picture without
// distortion: excess cut equally at the sides, 35 % of it at the top.
struct Crop {
    ImVec2 uv0, uv1;
};
Crop banner_crop(float W, float H, float tw, float th);

// y of hill layer i (0..2) at point k (0..48); base is that layer's base line.
float hill_y(int layer, int k, float base, float amplitude);

std::string play_summary(const Settings& s, bool pt);

// Breaks a line of "  ·  "-separated parts into lines no wider than room,
// between parts; a part too wide alone ends with "…".
std::vector<std::string> break_at_separators(const std::string& text, float room,
                                             const std::function<float(const std::string&)>& measure);

// game_dir: the setting, to tell a folder that is gone (a removed card)
// from none chosen.
Check game_check(const GameInfo& info, int eboot_state, bool pt, const std::string& game_dir = "");
int count_dlc(const std::string& dlc_dir);
Check dlc_check(int n, bool pt);
Check sound_check(bool ready, bool pt);
Check saves_check(bool found, bool pt);
Check gpu_check(int gpu_state, const std::string& gpu_name, bool pt);

// The five lines of the ready check, from the dump's metadata, the settings,
// the disk and g_shared.
std::vector<Check> ready_checks(const GameInfo& info);
