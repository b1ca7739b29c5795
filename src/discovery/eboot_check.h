#pragma once
#include <string>

// Asks the port's own modules whether eboot.bin is the supported build.
// argv[1] is the port's scripts folder, argv[2] the executable.
inline constexpr const char* EBOOT_CHECK_SCRIPT =
    "import sys; sys.path.insert(0, sys.argv[1])\n"
    "from prepare import parse_self\n"
    "from quor_modes import is_supported\n"
    "try:\n"
    "    elf, _h, ph, _s, _m = parse_self(open(sys.argv[2], 'rb').read())\n"
    "except Exception:\n"
    "    print('UNREADABLE'); raise SystemExit\n"
    "print('SUPPORTED' if is_supported(elf, ph) else 'OTHER')\n";

// Identity of folder/eboot.bin: "folder|size|mtime ticks"; empty when it is
// not a readable regular file.
std::string eboot_check_key(const std::string& folder);

// 1 supported, 0 other build, -2 unreadable or no answer; only a whole line
// that is the word counts.
int classify_eboot_output(const std::string& out);

// UI thread, every frame with a valid game folder: starts a background check
// when eboot.bin changed since the last one; while one runs, the running
// worker checks the newest file next instead.
void check_eboot(const std::string& folder);
