#pragma once
// The support report: one plain-text file in the data folder with what
// whoever helps a player needs (versions, system, session, graphics card,
// pads, ready check, settings, the game's environment, the last run, the
// crash copies), and nothing that says who the player is.
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "core/settings.h"

namespace fs = std::filesystem;

struct PadFact {
    std::string name;
    std::string type;       // SDL's name for the gamepad type ("ps5", "xboxone", …)
    bool glyphs = false;    // the footer's button pictures follow this one
};

// What the report says about the session and the checks; the window fills
// the part only it knows, --report leaves it empty (no window).
struct ReportFacts {
    bool pt = false;
    std::time_t now = 0;
    // Paths, settings and environments, as the thread that owns them sees them.
    fs::path exe_dir, port, data;
    Settings settings;
    bool settings_unreadable = false;
    std::vector<std::string> inherited;     // the launcher's own environment
    std::vector<std::string> environment;   // what the game would receive
    bool game_running = false;
    // The window's facts.
    bool window = false;
    std::string video_driver, renderer;
    int display_w = 0, display_h = 0;
    float refresh = 0, display_scale = 0, ui_scale = 1;
    int window_w = 0, window_h = 0;
    bool fullscreen = false;
    std::vector<PadFact> pads;
    // The ready check as the Play page shows it, and the probe's verdict.
    std::vector<std::string> ready;
    int gpu_state = 0;
    std::string gpu_name;
    // The probe's own output when it was run for this report; run while the
    // report is built when probe_ran is false.
    bool probe_ran = false;
    int probe_code = -1;
    std::string probe_output;
};

// The facts every caller gathers alike, on the thread that owns the settings.
ReportFacts report_facts_here();

// Runs the GPU probe, giving up after seconds (the probe can hang in a
// broken driver). code: the probe's exit status, 124 when it was given up,
// -1 when it could not be started.
struct ProbeRun {
    int code = -1;
    std::string output;
};
ProbeRun run_gpu_probe(const fs::path& tool, int seconds);

// Who the player is, left out of the report: each home path is written as
// "~" (only where a path ends or goes on with '/'), each user or host name
// and the player's name as "<user>", "<host>", "<player>" (names shorter
// than three bytes only as whole words), Steam's account folders' numbers
// and every 17-digit 7656119… id as "<steam-id>" (whole numbers only).
struct Identity {
    std::vector<std::string> homes;
    std::vector<std::string> users;
    std::string host;
    std::string player_name;
    std::vector<std::string> steam_ids;
};
std::string redact_report(const std::string& text, const Identity& who);

// The identity of this process's user: HOME and the passwd entry's home
// (with their real paths), USER, LOGNAME, the passwd name and the home's
// last part, the host name, Steam's account ids under the homes.
Identity identity_here(const ReportFacts& facts);

// The report's text, redacted (reads the system's files; worker threads).
std::string support_report_text(const ReportFacts& facts);

struct ReportOutcome {
    bool ok = false;
    fs::path path;
    std::string text;
    std::string message;   // the toast: where it went, or why it could not be written
};
// Builds the report and writes it to the data folder as
// support-report-YYYYMMDD-HHMMSS.txt (local time), through a temporary file.
ReportOutcome write_support_report(const ReportFacts& facts);

// ---- the Advanced page's rows (UI thread) ---------------------------------

// Writes the report on a worker; with copy its text also goes to the
// clipboard. A press while one is at work does nothing.
void support_report_pressed(const ReportFacts& facts, bool copy);
bool support_report_busy();
// The text of the last report written in this run (empty before one).
const std::string& last_support_report_text();
const std::string& last_support_report_name();
// Each frame: a finished report's toast (and clipboard). True when there was one.
bool take_support_report();
