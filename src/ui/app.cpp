#include "ui/app.h"

#include <SDL3/SDL.h>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <utility>
#include <imgui.h>
#include <imgui_impl_sdl3.h>
#include <imgui_impl_sdlrenderer3.h>
#include <imgui_internal.h>

#include "capture/capture.h"
#include "controls/key_capture.h"
#include "controls/page_controls.h"
#include "core/entry.h"
#include "core/globals.h"
#include "core/instance.h"
#include "core/paths.h"
#include "core/runner.h"
#include "core/settings.h"
#include "core/wake.h"
#include "desktop/steam.h"
#include "desktop/support_report.h"
#include "discovery/eboot_check.h"
#include "discovery/folder.h"
#include "discovery/game_info.h"
#include "discovery/gpu.h"
#include "discovery/scan.h"
#include "discovery/shared.h"
#include "launch/game_process.h"
#include "launch/last_run.h"
#include "launch/play.h"
#include "ui/chrome.h"
#include "ui/folder_browser.h"
#include "ui/images.h"
#include "ui/layers.h"
#include "ui/pacing.h"
#include "ui/pages.h"
#include "ui/theme.h"
#include "core/toast.h"

float g_log_scroll = 0;
bool g_exact_frames = false;
int g_frames_shown = 0;
bool g_layout_pass = false;

namespace {

constexpr float MIN_SCALE = 0.5f;
constexpr float MAX_SCALE = 4.0f;
constexpr int MAX_WINDOW_SIDE = 8192;

const char* const FONT_PATHS_SYSTEM[] = {
    "/usr/share/fonts/dejavu-sans-fonts/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/TTF/DejaVuSans.ttf",
};

void load_font() {
    ImGuiIO& io = ImGui::GetIO();
    std::vector<fs::path> candidates = {g_exe_dir / "fonts" / "DejaVuSans.ttf",
                                        g_port / "gpu" / "third_party" / "fonts" / "DejaVuSans.ttf"};
    for (const char* p : FONT_PATHS_SYSTEM) candidates.emplace_back(p);
    ImFontConfig cfg;
    cfg.Flags |= ImFontFlags_NoLoadError;
    for (const auto& p : candidates) {
        if (!is_file(p)) continue;
        if (io.Fonts->AddFontFromFileTTF(p.c_str(), FONT_BASE, &cfg)) return;
    }
    io.Fonts->AddFontDefault();
}

// The window's gradient. A GPU, and Mesa's software OpenGL, paint it fastest
// as one opaque shape straight through the renderer (paint_background); SDL's
// own software renderer fills such a shape pixel by pixel, so there it is a
// layer copied each frame.
bool gradient_as_layer() {
    const char* name = g_renderer ? SDL_GetRendererName(g_renderer) : nullptr;
    return !name || std::strcmp(name, SDL_SOFTWARE_RENDERER) == 0;
}

void draw_background(float w, float h) {
    if (!gradient_as_layer()) return;
    ImDrawList* bg = ImGui::GetBackgroundDrawList();
    auto gradient = [&](ImDrawList* dl) {
        dl->AddRectFilledMultiColor(ImVec2(0, 0), ImVec2(w, h), BG_TOP, BG_TOP, BG_BOTTOM, BG_BOTTOM);
    };
    const int tw = static_cast<int>(std::ceil(w)), th = static_cast<int>(std::ceil(h));
    if (SDL_Texture* t = layer_texture(g_background_layer, std::to_string(tw) + "x" + std::to_string(th), tw, th, gradient))
        bg->AddImage(ImTextureRef(reinterpret_cast<ImTextureID>(t)), ImVec2(0, 0),
                     ImVec2(static_cast<float>(tw), static_cast<float>(th)));
    else
        gradient(bg);
}

// Starts the frame's picture: the gradient where the renderer paints it, else
// the plain colour the layer covers.
void paint_background() {
    SDL_SetRenderDrawColor(g_renderer, 14, 20, 27, 255);
    int w = 0, h = 0;
    if (gradient_as_layer() || !SDL_GetCurrentRenderOutputSize(g_renderer, &w, &h)) {
        SDL_RenderClear(g_renderer);
        return;
    }
    auto color = [](ImU32 c) {
        ImVec4 v = ImGui::ColorConvertU32ToFloat4(c);
        return SDL_FColor{v.x, v.y, v.z, 1.0f};
    };
    const float fw = static_cast<float>(w), fh = static_cast<float>(h);
    const SDL_Vertex v[4] = {{{0, 0}, color(BG_TOP), {0, 0}},
                             {{fw, 0}, color(BG_TOP), {0, 0}},
                             {{fw, fh}, color(BG_BOTTOM), {0, 0}},
                             {{0, fh}, color(BG_BOTTOM), {0, 0}}};
    const int index[6] = {0, 1, 2, 0, 2, 3};
    SDL_BlendMode blend = SDL_BLENDMODE_NONE;
    SDL_GetRenderDrawBlendMode(g_renderer, &blend);
    SDL_SetRenderDrawBlendMode(g_renderer, SDL_BLENDMODE_NONE);
    if (!SDL_RenderGeometry(g_renderer, nullptr, v, 4, index, 6)) SDL_RenderClear(g_renderer);
    SDL_SetRenderDrawBlendMode(g_renderer, blend);
}

// Page switches from the keyboard or a pad: the player navigates without a
// mouse, so the focus on the new page's first row must show and react at once
// (a hidden navigation cursor swallows the first activate press).
void go_page_by_keys(int page) {
    go_page(page);
    ImGui::SetNavCursorVisible(true);
}

// The state of the GUI as the previous frame left it, taken before the new
// frame handles this frame's keys (an Escape leaves a text field during the
// new frame, and must not count as a free Escape as well).
struct GuiBefore {
    bool keys_held = false;    // a key capture ran in this turn
    bool item_active = false;  // a widget (a text field) was being used
};

// Enter, Space or the keypad's Enter pressed down in this frame's input.
bool activate_key_queued() {
    for (const ImGuiInputEvent& e : ImGui::GetCurrentContext()->InputEventsQueue)
        if (e.Type == ImGuiInputEventType_Key && e.Key.Down &&
            (e.Key.Key == ImGuiKey_Enter || e.Key.Key == ImGuiKey_KeypadEnter || e.Key.Key == ImGuiKey_Space))
            return true;
    return false;
}

void hotkeys(const GuiBefore& before) {
    if (before.keys_held || !g_capture_key.empty()) return;
    ImGuiIO& io = ImGui::GetIO();
    if (ImGui::IsKeyPressed(ImGuiKey_GamepadL1, false)) go_page_by_keys((g_page + 5) % PAGE_COUNT);
    if (!io.WantTextInput && ImGui::IsKeyPressed(ImGuiKey_PageUp, false)) go_page_by_keys((g_page + 5) % PAGE_COUNT);
    if (ImGui::IsKeyPressed(ImGuiKey_GamepadR1, false)) go_page_by_keys((g_page + 1) % PAGE_COUNT);
    if (!io.WantTextInput && ImGui::IsKeyPressed(ImGuiKey_PageDown, false)) go_page_by_keys((g_page + 1) % PAGE_COUNT);
    // A pad alone has no window to close: its east button on the Play page
    // asks to quit (a press that brings the player back here does not).
    if (g_page != 0)
        quit_press_reset();
    else if (ImGui::IsKeyPressed(ImGuiKey_GamepadFaceRight, false) && !before.item_active && !ImGui::IsAnyItemActive() &&
             !ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId) && !folder_browser_open()) {
        quit_press(now_seconds());
        // The press also cancelled the GUI's focus: the Play button takes it
        // back, so a player who stays can press Play at once.
        g_focus_first = true;
        ImGui::SetNavCursorVisible(true);
    }
    if ((ImGui::IsKeyPressed(ImGuiKey_GamepadFaceRight, false) || ImGui::IsKeyPressed(ImGuiKey_Escape, false)) &&
        !before.item_active && !ImGui::IsAnyItemActive() && !ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId) && g_page != 0)
        go_page_by_keys(0);
    if (ImGui::IsKeyPressed(ImGuiKey_GamepadStart, false) || ImGui::IsKeyPressed(ImGuiKey_F5, false)) press_play();
    if (g_page == 5) {
        if (ImGui::IsKeyDown(ImGuiKey_GamepadRStickDown)) g_log_scroll += 1;
        if (ImGui::IsKeyDown(ImGuiKey_GamepadRStickUp)) g_log_scroll -= 1;
    }
}

double display_refresh() {
    const SDL_DisplayMode* mode = SDL_GetCurrentDisplayMode(SDL_GetDisplayForWindow(g_window));
    return mode && mode->refresh_rate > 0 ? mode->refresh_rate : 60.0;
}

// Held keys and buttons repeat and drag without new events, and a text
// field's cursor blinks: the GUI must keep drawing then. The pad counts only
// while it drives the launcher, not while it plays the game.
bool input_held() {
    ImGuiIO& io = ImGui::GetIO();
    if (io.WantTextInput || ImGui::IsAnyMouseDown()) return true;
    for (int k = ImGuiKey_NamedKey_BEGIN; k < ImGuiKey_GamepadStart; ++k)
        if (ImGui::IsKeyDown(static_cast<ImGuiKey>(k))) return true;
    if (io.ConfigFlags & ImGuiConfigFlags_NavEnableGamepad)
        for (int k = ImGuiKey_GamepadStart; k <= ImGuiKey_GamepadRStickDown; ++k)
            if (ImGui::IsKeyDown(static_cast<ImGuiKey>(k))) return true;
    return false;
}

// The local clock's next turn of the minute, on the tick clock.
double clock_turn(double now) {
    timespec wall{};
    clock_gettime(CLOCK_REALTIME, &wall);
    std::tm tm{};
    time_t secs = wall.tv_sec;
    long offset = localtime_r(&secs, &tm) ? tm.tm_gmtoff : 0;
    return next_minute(now, static_cast<double>(wall.tv_sec) + static_cast<double>(wall.tv_nsec) / 1e9, offset);
}

bool window_out_of_sight() {
    return (SDL_GetWindowFlags(g_window) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED | SDL_WINDOW_OCCLUDED)) != 0;
}

PaceInput pace_input(const PaceState& st, bool every_frame, double refresh, double clock) {
    PaceInput in;
    in.now = now_seconds();
    in.every_frame = every_frame;
    in.hidden = window_out_of_sight();
    SDL_PumpEvents();
    // SDL leaves its end-of-poll marker in the queue at times; it is no event.
    in.woken = SDL_HasEvents(SDL_EVENT_FIRST, SDL_EVENT_POLL_SENTINEL - 1) ||
               SDL_HasEvents(SDL_EVENT_POLL_SENTINEL + 1, SDL_EVENT_LAST);
    // A late picture fading in is an animation: drawn every frame until done.
    in.busy = input_held() || banner_alpha(in.now) < 1;
    in.next_change = picture_deadline(st.last_start, g_toast_until, clock);
    if (g_game.running.load() && g_game.stop_time > 0) in.next_tick = g_game.stop_time + STOP_KILL_DELAY + 0.01;
    in.refresh = refresh;
    return in;
}

// Sleeps until a turn is due; returns that turn's input. slept tells whether
// it waited at all.
PaceInput wait_for_turn(const PaceState& st, bool every_frame, double refresh, double clock, bool& slept) {
    slept = false;
    for (;;) {
        PaceInput in = pace_input(st, every_frame, refresh, clock);
        Pace p = decide_pace(st, in);
        if (p.draw) return in;
        slept = true;
        if (in.woken) {
            // Events wait for the next frame slot: vsync is not pacing us.
            SDL_DelayNS(static_cast<Uint64>(std::max(0.0, p.wait) * 1e9));
        } else {
            Sint32 ms = p.wait == NEVER ? -1 : static_cast<Sint32>(std::min(std::ceil(p.wait * 1000), 1e9));
            SDL_WaitEventTimeout(nullptr, ms);
        }
    }
}

// Within the page area (screen rows top to bottom), scrolls the row that has
// just taken the focus wholly into view, however it got it (a d-pad move, a
// click, a page's first row): clear of the footer, and from its top where it
// is taller than the area. Once it is in view the player's own scrolling is
// left alone.
void keep_focus_in_view(float top, float bottom, bool page_changed) {
    static ImGuiID shown = 0;
    const FocusedBand& f = g_focused_band;
    if (f.id == 0 || (f.id == shown && !page_changed)) return;
    const float margin = 8 * g_scale;
    float dy = 0;
    if (f.min.y < top || f.max.y - f.min.y > bottom - top - 2 * margin)
        dy = f.min.y - top - margin;
    else if (f.max.y > bottom - margin)
        dy = f.max.y - bottom + margin;
    if (dy < -0.5f || dy > 0.5f)
        ImGui::SetScrollY(std::max(0.0f, ImGui::GetScrollY() + dy));
    else
        shown = f.id;
}

void draw_frame() {
    ImGuiIO& io = ImGui::GetIO();
    const float s = g_scale;
    const float W = io.DisplaySize.x, D = io.DisplaySize.y;
    const float H = 64 * s, F = 56 * s;
    draw_background(W, D);

    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(W, D));
    ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                             ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse |
                             ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
                             ImGuiWindowFlags_NoBringToFrontOnFocus;
    ImGui::Begin("main", nullptr, flags);
    g_focused_row = RowKind::None;
    g_focused_band = {};
    draw_header();

    const float P = std::max(0.0f, D - H - F);
    ImGui::SetCursorPos(ImVec2(0, H));
    // Every page opens at its top, whatever the page before was scrolled to
    // (the tabs and page keys above may have switched it this frame).
    static int scrolled_page = -1;
    const bool page_changed = g_page != scrolled_page;
    if (page_changed) ImGui::SetNextWindowScroll(ImVec2(0, 0));
    scrolled_page = g_page;
    if (ImGui::BeginChild("page", ImVec2(W, P), ImGuiChildFlags_NavFlattened)) {
        if (g_page == 0) {
            page_play(P);
        } else {
            const float cw = std::max(1.0f, std::min(1000 * s, W - 96 * s));
            const float x = (W - cw) / 2;
            const float sp = ImGui::GetStyle().ItemSpacing.y;
            const float title_size = ImGui::GetStyle().FontSizeBase * 1.7f;
            // The Log column takes what the page area has left below the
            // title, less the gap after it, so the area itself never scrolls.
            // Where that would not even hold the buttons and a few lines (a
            // large scale in a small window) the title and gaps give way.
            const float log_least = (14 + 6 + 16 + 20) * s + 3 * sp + ImGui::GetFrameHeight() +
                                    4 * 0.82f * ImGui::GetFontSize();
            const float title_block = 18 * s + title_size * g_scale + 2 * sp;
            const bool log_tight = g_page == 5 && P - title_block - 28 * s - sp < log_least;
            ImGui::SetCursorPosX(x);
            ImGui::BeginGroup();
            if (!log_tight) {
                ImGui::Dummy(ImVec2(0, 18 * s));
                ImGui::PushFont(nullptr, title_size);
                ImGui::TextUnformatted(page_title(g_page));
                ImGui::PopFont();
            }
            const float log_h = ImGui::GetContentRegionAvail().y - (log_tight ? 0 : 28 * s + sp);
            ImVec2 size = g_page == 5 ? ImVec2(cw, std::max(1.0f, log_h)) : ImVec2(cw, 0);
            ImGuiChildFlags cf = ImGuiChildFlags_NavFlattened | (g_page == 5 ? 0 : ImGuiChildFlags_AutoResizeY);
            if (ImGui::BeginChild("column", size, cf)) {
                switch (g_page) {
                case 1: page_game(); break;
                case 2: page_display(); break;
                case 3: page_controls(); break;
                case 4: page_advanced(); break;
                default: page_log(); break;
                }
            }
            ImGui::EndChild();
            if (!log_tight) ImGui::Dummy(ImVec2(0, 28 * s));
            ImGui::EndGroup();
        }
        keep_focus_in_view(H, H + P, page_changed);
    }
    ImGui::EndChild();
    draw_footer();
    ImGui::End();
    draw_capture_overlay();
    draw_folder_browser();
}

// Windows that size themselves to their content (the Play page's column)
// are hidden in their first frame, and a page's scroll bar follows its
// content one frame late: the first picture would lack the Play button,
// and everything right of the column would move when the scroll bar comes.
// These GUI frames, before any input and never rendered, settle the layout.
constexpr int LAYOUT_PASSES = 2;

void settle_first_layout() {
    g_layout_pass = true;
    for (int i = 0; i < LAYOUT_PASSES; ++i) {
        ImGui_ImplSDLRenderer3_NewFrame();
        ImGui_ImplSDL3_NewFrame();
        ImGui::NewFrame();
        draw_frame();
        ImGui::EndFrame();
    }
    g_layout_pass = false;
}

}  // namespace

float choose_scale(float display_scale, const char* env_scale) {
    float scale = display_scale > 0 && std::isfinite(display_scale) ? display_scale : 1.0f;
    if (env_scale) {
        char* end = nullptr;
        double v = std::strtod(env_scale, &end);
        // Zero, negative or unreadable values would make every size collapse;
        // they keep the display's scale. Absurd ones are held to a usable range.
        if (end != env_scale && std::isfinite(v) && v > 0)
            scale = static_cast<float>(std::clamp(v, double(MIN_SCALE), double(MAX_SCALE)));
    }
    return std::clamp(scale, MIN_SCALE, MAX_SCALE);
}

void parse_window_size(const char* env_size, float scale, int& w, int& h) {
    w = 1280;
    h = 800;
    if (env_size) {
        int a = 0, b = 0;
        int n = std::sscanf(env_size, "%dx%d", &a, &b);
        // Sizes that are not positive keep the default of their side.
        if (n >= 1 && a > 0) w = std::min(a, MAX_WINDOW_SIDE);
        if (n >= 2 && b > 0) h = std::min(b, MAX_WINDOW_SIDE);
    }
    w = std::clamp(static_cast<int>(static_cast<float>(w) * scale), 1, MAX_WINDOW_SIDE);
    h = std::clamp(static_cast<int>(static_cast<float>(h) * scale), 1, MAX_WINDOW_SIDE);
}


bool want_fullscreen(const std::string& setting, bool handheld) {
    if (setting == "1") return true;
    if (setting == "auto") return handheld;
    return false;
}

const char* page_title(int index) {
    switch (index) {
    case 0: return tr("Play", "Jogar");
    case 1: return tr("Game & saves", "Jogo e saves");
    case 2: return tr("Display & FPS", "Imagem e FPS");
    case 3: return tr("Controls", "Controles");
    case 4: return tr("Advanced", "Avançado");
    default: return tr("Log", "Registro");
    }
}

void press_play() {
    if (play_pressed() == PlayOutcome::started && S.on("close_on_play") && g_window) SDL_HideWindow(g_window);
}

bool game_end_tick() {
    std::optional<RunEnd> end = take_run_end();
    if (!end) return false;
    release_run_lock();
    RunEndNote note = run_end_note(*end, g_pt);
    if (!note.text.empty()) toast(note.text, note.seconds);
    // It may have been hidden at Play.
    if (g_window) {
        SDL_ShowWindow(g_window);
        SDL_RaiseWindow(g_window);
    }
    return true;
}

namespace {

// What the frame loop carries from one turn to the next.
struct WindowLoop {
    ShotRequest shot;
    PaceState pace;
    double clock = NEVER;   // the header's clock turns then
    bool quit_after_game = false;
    int frame_count = 0;
    int script_end = -1;
    SDL_WindowID window_id = 0;
};

// Start-up: the window, the renderer, the GUI and what runs from the start.
// 0 when the loop can run, else the exit status.
int window_start(WindowLoop& loop) {
    loop.shot = read_shot_request(std::getenv("QUOR_LAUNCHER_SHOT"), std::getenv("QUOR_LAUNCHER_FRAMES"));
    g_exact_frames = loop.shot.wanted;
    // The Play page's picture decodes on another core while the window and
    // renderer come up.
    refresh_banner();
    SDL_SetHint(SDL_HINT_APP_NAME, "Veltrane");
    SDL_SetHint(SDL_HINT_APP_ID, "quor-pc");
    // Starting text input opens Steam's on-screen keyboard, in single-line
    // mode so that its Enter ends the edit. SDL's X11 driver asks Steam for
    // it only under a SteamDeck variable; Game Mode on other handhelds has
    // none. The environment still wins where it names SteamDeck itself.
    SDL_SetHint(SDL_HINT_RETURN_KEY_HIDES_IME, "1");
    if (is_handheld(std::getenv("SteamDeck"), std::getenv("SteamGamepadUI"), std::getenv("XDG_CURRENT_DESKTOP"))) {
        SDL_SetHint(SDL_HINT_ENABLE_SCREEN_KEYBOARD, "1");
        SDL_SetHint("SteamDeck", "1");
    }
    if (!SDL_Init(SDL_INIT_VIDEO | SDL_INIT_GAMEPAD)) {
        std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    g_scale = choose_scale(SDL_GetDisplayContentScale(SDL_GetPrimaryDisplay()), std::getenv("QUOR_LAUNCHER_SCALE"));
    bool handheld = is_handheld(std::getenv("SteamDeck"), std::getenv("SteamGamepadUI"),
                                std::getenv("XDG_CURRENT_DESKTOP"));
    bool fullscreen = want_fullscreen(S.get("launcher_fullscreen"), handheld);
    int w = 0, h = 0;
    parse_window_size(std::getenv("QUOR_LAUNCHER_SIZE"), g_scale, w, h);

    SDL_WindowFlags wflags = SDL_WINDOW_RESIZABLE | (fullscreen ? SDL_WINDOW_FULLSCREEN : 0);
    g_window = SDL_CreateWindow("Veltrane", w, h, wflags);
    if (!g_window) {
        std::fprintf(stderr, "SDL_CreateWindow: %s\n", SDL_GetError());
        return 1;
    }
    // Never smaller than the smallest page the layout holds at this scale
    // (450 x 280 before scaling): above scale 2 the header and footer alone
    // would leave no room for the Play button.
    const int min_w = std::min(MAX_WINDOW_SIDE, std::max(900, static_cast<int>(450 * g_scale)));
    const int min_h = std::min(MAX_WINDOW_SIDE, std::max(560, static_cast<int>(280 * g_scale)));
    SDL_SetWindowMinimumSize(g_window, min_w, min_h);
    g_renderer = SDL_CreateRenderer(g_window, nullptr);
    if (!g_renderer) {
        std::fprintf(stderr, "SDL_CreateRenderer: %s\n", SDL_GetError());
        return 1;
    }
    loop.pace.vsync_ok = SDL_SetRenderVSync(g_renderer, 1);

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard | ImGuiConfigFlags_NavEnableGamepad;
    io.IniFilename = nullptr;
    io.ConfigNavCursorVisibleAuto = true;
    load_font();
    ImGui::GetStyle().FontSizeBase = FONT_BASE;
    apply_style();
    ImGui::GetStyle().FontScaleDpi = g_scale;
    ImGui_ImplSDL3_InitForSDLRenderer(g_window, g_renderer);
    ImGui_ImplSDLRenderer3_Init(g_renderer);

    if (const char* vpad = std::getenv("QUOR_LAUNCHER_VPAD"); vpad && *vpad) attach_virtual_pad(vpad);
    ImGui_ImplSDL3_SetGamepadMode(ImGui_ImplSDL3_GamepadMode_AutoAll);
    refresh_gamepads();
    if (!game_info(S.get("game_dir")).ok && S.get("setup_done") != "1") start_scan(false);
    g_focus_first = true;
    // With a pad in hand (a handheld, a couch) the first press must already
    // act on the focused Play button.
    if (g_family != 0) ImGui::SetNavCursorVisible(true);

    load_script();
    if (const char* p = std::getenv("QUOR_LAUNCHER_PAGE")) g_page = parse_start_page(p);
    preload_log(std::getenv("QUOR_LAUNCHER_LOG"));

    wake_open();
    read_last_run_at_start(g_data);
    open_frame_stats(std::getenv("QUOR_LAUNCHER_STATS"));
    loop.script_end = script_last_frame();
    settle_first_layout();
    loop.window_id = SDL_GetWindowID(g_window);
    return 0;
}

// A close of the window or a quit asked from the launcher: now, or, while a
// game runs, once it has ended (hidden meanwhile). True when it quits now.
bool close_requested(WindowLoop& loop) {
    if (!g_game.running.load()) return true;
    SDL_HideWindow(g_window);
    loop.quit_after_game = true;
    return false;
}

// One event taken from SDL's queue; true when it asks the launcher to quit now.
bool window_event(WindowLoop& loop, const SDL_Event& ev) {
    if (wake_taken(ev)) return false;
    if (capture_event(ev)) return false;
    ImGui_ImplSDL3_ProcessEvent(&ev);
    bool close = ev.type == SDL_EVENT_QUIT ||
                 (ev.type == SDL_EVENT_WINDOW_CLOSE_REQUESTED && ev.window.windowID == loop.window_id);
    if (close) return close_requested(loop);
    if (ev.type == SDL_EVENT_GAMEPAD_ADDED || ev.type == SDL_EVENT_GAMEPAD_REMOVED) {
        refresh_gamepads();
    } else if (ev.type == SDL_EVENT_GAMEPAD_BUTTON_DOWN) {
        pad_pressed(ev.gbutton.which);
    } else if (ev.type == SDL_EVENT_RENDER_TARGETS_RESET || ev.type == SDL_EVENT_RENDER_DEVICE_RESET) {
        release_layers();   // their pictures are gone with the renderer's targets
    } else if (ev.type == SDL_EVENT_KEY_DOWN && ev.key.key == SDLK_F11 && !ev.key.repeat) {
        bool is_fs = (SDL_GetWindowFlags(g_window) & SDL_WINDOW_FULLSCREEN) != 0;
        SDL_SetWindowFullscreen(g_window, !is_fs);
    }
    return false;
}

// The loop's work between the events and the GUI frame: worker results,
// saving, the executable check, the run's end. True when the launcher quits.
bool window_chores(WindowLoop& loop) {
    // A second start of the launcher asked for this window.
    if (g_raise_requested.exchange(false)) {
        SDL_ShowWindow(g_window);
        if (SDL_GetWindowFlags(g_window) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(g_window);
        SDL_RaiseWindow(g_window);
    }
    // 5. The pad that plays the game must not also drive the launcher.
    ImGuiIO& io = ImGui::GetIO();
    if (g_game.running.load() && !loop.shot.wanted)
        io.ConfigFlags &= ~ImGuiConfigFlags_NavEnableGamepad;
    else
        io.ConfigFlags |= ImGuiConfigFlags_NavEnableGamepad;
    // 6. Worker results.
    {
        std::lock_guard<std::mutex> lock(g_shared.mutex);
        apply_folder_picks();
        if (g_shared.scan_done) apply_scan_results();
    }
    take_steam_result();
    take_support_report();
    // 7. Save and refresh the icon.
    settle_text_edits(now_seconds());
    if (g_dirty) {
        save_settings();
        if (loop.frame_count > 0) refresh_window_icon();
    }
    // 8. Executable check (from the second frame on: see window_turn).
    if (loop.frame_count > 0) {
        std::string game_dir = S.get("game_dir");
        if (game_info(game_dir).ok) check_eboot(game_dir);
    }
    // 9-10. End of a run, stop escalation.
    bool quit = game_end_tick() && loop.quit_after_game;
    stop_escalation_tick(now_seconds());
    return quit;
}

// One turn of the loop: a wait until something can change, the events, the
// chores and, unless the window is out of sight, one frame. False when the
// loop ends.
bool window_turn(WindowLoop& loop) {
    ImGuiIO& io = ImGui::GetIO();
    ImGuiContext& g = *ImGui::GetCurrentContext();
    // 1. Sleep until something can change on screen. Scripts count
    // frames, so they draw every one.
    bool slept = false;
    const PaceInput turn = wait_for_turn(loop.pace, loop.shot.wanted || loop.frame_count <= loop.script_end,
                                         display_refresh(), loop.clock, slept);
    // 2. Scripted pad input.
    script_pad_tick(loop.frame_count);
    // 3-4. Events.
    bool quit = false;
    GuiBefore before;
    // Also true in the frame whose events end the capture.
    before.keys_held = !g_capture_key.empty();
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) quit = window_event(loop, ev) || quit;
    quit = window_chores(loop) || quit;
    // A hidden window (behind the game it started) shows nothing: its
    // turns, woken by the game's output, do the loop's work and draw
    // nothing. Showing it again wakes the loop, and that turn draws.
    if (!quit && !loop.shot.wanted && loop.frame_count > loop.script_end && window_out_of_sight()) return true;
    // 11. New GUI frame.
    ImGui_ImplSDLRenderer3_NewFrame();
    ImGui_ImplSDL3_NewFrame();
    // A script must act the same on a fast and a slow renderer: the GUI's
    // key repeat and other timers run on a fixed frame time.
    if (loop.shot.wanted) io.DeltaTime = 1.0f / 60;
    script_key_tick(loop.frame_count);
    if (before.keys_held) {
        hold_gui_keys();
    } else if (!g.NavCursorVisible && g.NavId != 0 && g.ActiveId == 0 && activate_key_queued()) {
        // The focus sits on the page's first row from the start, with the
        // cursor hidden for mouse users; a keyboard player's first Enter
        // or Space shows it and acts on that row at once.
        ImGui::SetNavCursorVisible(true);
    }
    before.item_active = ImGui::IsAnyItemActive();
    ImGui::NewFrame();
    // 12-13.
    hotkeys(before);
    draw_frame();
    if (std::exchange(g_quit_requested, false)) quit = close_requested(loop) || quit;
    // 14. Render.
    ImGui::Render();
    paint_background();
    ImGui_ImplSDLRenderer3_RenderDrawData(ImGui::GetDrawData(), g_renderer);
    if (loop.shot.wanted && loop.frame_count == loop.shot.frame) {
        if (SDL_Surface* surf = SDL_RenderReadPixels(g_renderer, nullptr)) {
            SDL_SaveBMP(surf, loop.shot.path.c_str());
            SDL_DestroySurface(surf);
        }
        quit = true;
    }
    SDL_RenderPresent(g_renderer);
    ++loop.frame_count;
    g_frames_shown = loop.frame_count;
    note_presented(loop.frame_count);
    if (loop.frame_count == 1 && !quit) {
        // Once the first picture is out: the icon, which is not part of
        // it, and the GPU probe, a child process competing for the CPU.
        // Here, as turns of a hidden window draw no frame and would
        // repeat anything keyed to the frame count.
        refresh_window_icon();
        detect_gpu();
    }
    note_frame(loop.pace, turn, turn.now, slept);
    loop.clock = clock_turn(turn.now);
    return !quit;
}

// Shutdown, in the reverse order of start-up.
void window_end() {
    if (g_dirty || text_edit_pending()) save_settings();
    if (g_game.running.load()) stop_game();
    // A hung probe or search must not outlive the launcher (the game keeps
    // its own rules above).
    end_helpers();
    close_folder_choice();
    close_frame_stats();
    wake_close();
    ImGui_ImplSDLRenderer3_Shutdown();
    ImGui_ImplSDL3_Shutdown();
    ImGui::DestroyContext();
    // The next start shows the banner without decoding its picture.
    keep_banner_layer(g_banner_layer);
    release_layers();
    release_banner();
    if (g_vpad) SDL_CloseJoystick(g_vpad);
    SDL_DestroyRenderer(g_renderer);
    g_renderer = nullptr;
    SDL_DestroyWindow(g_window);
    g_window = nullptr;
    SDL_Quit();
}

}  // namespace

int run_window() {
    WindowLoop loop;
    if (int status = window_start(loop)) return status;
    while (window_turn(loop)) {
    }
    window_end();
    return 0;
}
