#include "capture/capture.h"

#include <SDL3/SDL.h>
#include <climits>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <cstdlib>
#include <string_view>
#include <imgui.h>

#include "core/atomic_file.h"
#include "core/runner.h"
#include "launch/game_process.h"

std::vector<ScriptStep> g_script;
SDL_Joystick* g_vpad = nullptr;

namespace {

struct PadName {
    const char* name;
    int button;
};

const PadName PAD[] = {
    {"pad.south", SDL_GAMEPAD_BUTTON_SOUTH},
    {"pad.east", SDL_GAMEPAD_BUTTON_EAST},
    {"pad.west", SDL_GAMEPAD_BUTTON_WEST},
    {"pad.north", SDL_GAMEPAD_BUTTON_NORTH},
    {"pad.lb", SDL_GAMEPAD_BUTTON_LEFT_SHOULDER},
    {"pad.rb", SDL_GAMEPAD_BUTTON_RIGHT_SHOULDER},
    {"pad.start", SDL_GAMEPAD_BUTTON_START},
    {"pad.up", SDL_GAMEPAD_BUTTON_DPAD_UP},
    {"pad.down", SDL_GAMEPAD_BUTTON_DPAD_DOWN},
    {"pad.left", SDL_GAMEPAD_BUTTON_DPAD_LEFT},
    {"pad.right", SDL_GAMEPAD_BUTTON_DPAD_RIGHT},
};

constexpr std::string_view TYPE_PREFIX = "type:";

// strtol's reading, clamped into int so absurd frame numbers stay harmless.
int read_int(const char* s) {
    long v = std::strtol(s, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

}  // namespace

std::vector<ScriptStep> parse_script(const std::string& text) {
    std::vector<ScriptStep> steps;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        std::string item = text.substr(start, comma - start);
        start = comma + 1;
        size_t colon = item.find(':');
        if (item.empty() || colon == std::string::npos) continue;
        int frame = read_int(item.substr(0, colon).c_str());
        std::string name = item.substr(colon + 1);
        if (name.rfind(TYPE_PREFIX, 0) == 0) {
            if (name.size() > TYPE_PREFIX.size()) steps.push_back({frame, 0, -1, name.substr(TYPE_PREFIX.size())});
            continue;
        }
        for (const auto& p : PAD)
            if (name == p.name) steps.push_back({frame, 0, p.button, {}});
        for (int k = ImGuiKey_NamedKey_BEGIN; k < ImGuiKey_NamedKey_END; ++k)
            if (name == ImGui::GetKeyName(static_cast<ImGuiKey>(k))) steps.push_back({frame, k, -1, {}});
    }
    return steps;
}

void load_script() {
    if (const char* s = std::getenv("QUOR_LAUNCHER_SCRIPT")) g_script = parse_script(s);
}

void attach_virtual_pad(const std::string& kind) {
    SDL_VirtualJoystickDesc desc;
    SDL_INIT_INTERFACE(&desc);
    desc.type = SDL_JOYSTICK_TYPE_GAMEPAD;
    desc.naxes = SDL_GAMEPAD_AXIS_COUNT;
    desc.nbuttons = SDL_GAMEPAD_BUTTON_COUNT;
    if (kind == "ps5") {
        desc.vendor_id = 0x054C;
        desc.product_id = 0x0CE6;
        desc.name = "DualSense Wireless Controller";
    } else {
        desc.vendor_id = 0x045E;
        desc.product_id = 0x0B12;
        desc.name = "Xbox Series X Controller";
    }
    SDL_JoystickID id = SDL_AttachVirtualJoystick(&desc);
    if (id != 0) g_vpad = SDL_OpenJoystick(id);
}

void script_pad_tick(int frame_count) {
    if (!g_vpad) return;
    for (const auto& s : g_script) {
        if (s.button < 0) continue;
        if (frame_count == s.frame) SDL_SetJoystickVirtualButton(g_vpad, s.button, true);
        if (s.frame <= INT_MAX - 3 && frame_count == s.frame + 3)
            SDL_SetJoystickVirtualButton(g_vpad, s.button, false);
    }
}

void script_key_tick(int frame_count) {
    ImGuiIO& io = ImGui::GetIO();
    for (const auto& s : g_script) {
        if (s.button >= 0) continue;
        // Text reaches the GUI the way SDL's text-input events bring a
        // keyboard's (or Steam's on-screen keyboard's) characters.
        if (!s.text.empty()) {
            if (frame_count == s.frame) io.AddInputCharactersUTF8(s.text.c_str());
            continue;
        }
        if (frame_count == s.frame) io.AddKeyEvent(static_cast<ImGuiKey>(s.key), true);
        if (s.frame <= INT_MAX - 2 && frame_count == s.frame + 2)
            io.AddKeyEvent(static_cast<ImGuiKey>(s.key), false);
    }
}

ShotRequest read_shot_request(const char* shot, const char* frames) {
    ShotRequest r;
    if (!shot) return r;
    r.wanted = true;
    r.path = shot;
    if (frames) r.frame = read_int(frames);
    // A frame that is never reached would leave an unattended run hanging
    // forever; a negative request takes the first frame instead.
    if (r.frame < 0) r.frame = 0;
    return r;
}

int parse_start_page(const char* text) {
    if (!text) return 0;
    int p = read_int(text);
    return (p >= 0 && p <= 5) ? p : 0;
}

void preload_log(const char* path) {
    if (!path) return;
    std::string text;
    if (!read_file(path, text)) return;
    for (std::string_view line : output_lines(text)) g_log.add(std::string(line));
}

int script_last_frame() {
    int last = -1;
    for (const auto& s : g_script) {
        int release = s.frame <= INT_MAX - 3 ? s.frame + 3 : INT_MAX;
        if (release > last) last = release;
    }
    return last;
}

namespace {

int g_stats_fd = -1;
long long g_first_ns = 0;
long long g_first_cpu_ns = 0;
long long g_warm_cpu_ns = 0;

long long clock_ns(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

}  // namespace

void open_frame_stats(const char* path) {
    if (!path || !*path) return;
    g_stats_fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

void note_presented(int frames) {
    if (g_stats_fd < 0) return;
    long long cpu = clock_ns(CLOCK_PROCESS_CPUTIME_ID);
    if (frames == 1) {
        g_first_ns = clock_ns(CLOCK_MONOTONIC);
        g_first_cpu_ns = cpu;
    }
    // Start-up work (font atlas, first textures) is over after a few frames.
    if (frames == STATS_WARM_FRAMES) g_warm_cpu_ns = cpu;
    char buf[256];
    int n = std::snprintf(buf, sizeof buf, "frames %d\nfirst_ns %lld\nfirst_cpu_ns %lld\nwarm_cpu_ns %lld\ncpu_ns %lld\n",
                          frames, g_first_ns, g_first_cpu_ns, g_warm_cpu_ns, cpu);
    // The numbers only grow, so each rewrite covers the last one whole and a
    // reader never sees an empty file.
    if (n > 0) {
        ssize_t w = ::pwrite(g_stats_fd, buf, static_cast<size_t>(n), 0);
        (void)w;
    }
}

void close_frame_stats() {
    if (g_stats_fd >= 0) ::close(g_stats_fd);
    g_stats_fd = -1;
}
