#pragma once
// Scripted capture: unattended renders, virtual gamepad, timed inputs, shots.
#include <string>
#include <vector>

struct SDL_Joystick;

struct ScriptStep {
    int frame = 0;
    int key = 0;      // GUI key code; 0 for a gamepad or text step
    int button = -1;  // SDL gamepad button; -1 for a key or text step
    std::string text; // typed in the frame, as a keyboard's text input; empty otherwise
};

extern std::vector<ScriptStep> g_script;
extern SDL_Joystick* g_vpad;

// Parses "N:NAME,N:NAME,..." into steps (a name may match both tables);
// "N:type:TEXT" types TEXT, which runs to the next comma.
std::vector<ScriptStep> parse_script(const std::string& text);
void load_script();

// Attaches and opens the virtual pad: "ps5" a DualSense, else an Xbox pad.
void attach_virtual_pad(const std::string& kind);

// Per-frame inputs: pad buttons before the events, keys and typed text
// before NewFrame.
void script_pad_tick(int frame_count);
void script_key_tick(int frame_count);

// The screenshot request read at start-up.
struct ShotRequest {
    bool wanted = false;
    std::string path;
    int frame = 30;
};
ShotRequest read_shot_request(const char* shot, const char* frames);
// Page to start on; out-of-range values give page 0.
int parse_start_page(const char* text);
// Puts the lines of a text file into the game log.
void preload_log(const char* path);

// The last frame a scripted step acts on (its release included); -1 without
// a script. Until then the loop draws every frame, as the steps count frames.
int script_last_frame();

// QUOR_LAUNCHER_STATS names a file rewritten after every presented frame:
// "frames N", the monotonic clock and the process's CPU time at the first
// presented frame, the CPU time after STATS_WARM_FRAMES frames and now, in
// nanoseconds, one "name value" a line. Tests and the benchmark read it.
inline constexpr int STATS_WARM_FRAMES = 10;
void open_frame_stats(const char* path);
void note_presented(int frames);
void close_frame_stats();
