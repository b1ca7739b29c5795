#pragma once
#include <string>
#include <vector>

// Flatpak application id of the shadPS4 emulator.
inline constexpr const char* SHADPS4_FLATPAK_ID = "net.shadps4.shadPS4";

// Runs the port's quor_discovery search; argv[1] is the port's launcher
// folder, argv[2] its scripts folder (which ends up first on the path).
inline constexpr const char* SCAN_SCRIPT =
    "import sys, os\n"
    "from pathlib import Path\n"
    "sys.path.insert(0, sys.argv[1]); sys.path.insert(0, sys.argv[2])\n"
    "import quor_discovery as d\n"
    "d.local_drives = lambda: []\n"
    "h = Path.home(); user = os.environ.get('USER', '')\n"
    "roots = [h/'.local/share/shadPS4', h/'.var/app/net.shadps4.shadPS4/data/shadPS4',\n"
    "         h/'.config/shadPS4', Path('/run/media')/user, Path('/media')/user, Path('/mnt')]\n"
    "found = d.scan(seconds=20.0, depth=5, extra_roots=[str(r) for r in roots if r.is_dir()])\n"
    "for g in found['games']: print('GAME\\t' + str(g['path']))\n"
    "for m in found['sys_modules']: print('SYS\\t' + str(m))\n"
    "for s in found['saves']: print('SAVE\\t' + str(s))\n"
    "if found['games']:\n"
    "    dlc = d.find_dlc_root(str(found['games'][0]['path']))\n"
    "    if dlc: print('DLC\\t' + str(dlc))\n";

struct ScanResults {
    std::vector<std::string> games;
    std::vector<std::string> sys_modules;
    std::vector<std::string> saves;
    std::string dlc;   // the last DLC record; empty when none
};

// Tagged lines "TAG\tvalue"; values are kept byte for byte.
ScanResults parse_scan_output(const std::string& out);

// UI thread: starts a search unless one runs (the request is then dropped).
void start_scan(bool manual);

// Frame-loop drain, UI thread, g_shared.mutex held by the caller: when a
// finished search waits (scan_done), clears it and fills the settings.
void apply_scan_results();

// Both sound modules are regular files in the sys_modules folder.
bool sound_ready();
