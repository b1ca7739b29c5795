// The game's quor.ini holds the player's own lines next to the launcher's
// key-binding block; a rewrite must keep every one of them as it was.
// Input: launcher.ini text (the bindings), a NUL byte, the old quor.ini text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "controls/keys.h"
#include "core/runner.h"
#include "core/settings.h"
#include "fuzz_check.h"

namespace {

const std::string MARKER = "# key bindings (launcher)";

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (std::string_view line : output_lines(text)) lines.emplace_back(line);
    return lines;
}

bool launcher_line(const std::string& line) { return line.rfind("key.", 0) == 0 || line == MARKER; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t nul = input.find('\0');
    std::string ini = nul == std::string::npos ? std::string() : input.substr(0, nul);
    std::string old_text = nul == std::string::npos ? input : input.substr(nul + 1);

    S.map.clear();
    parse_settings_text(S, ini);
    std::string out = rebuild_port_ini(old_text);

    // Every line outside the launcher's block, in order and byte for byte,
    // then the block and nothing else.
    std::string kept;
    for (const std::string& line : lines_of(old_text))
        if (!launcher_line(line)) kept += line + "\n";
    FUZZ_CHECK(out.compare(0, kept.size(), kept) == 0);
    std::vector<std::string> block = lines_of(out.substr(kept.size()));
    if (!block.empty()) {
        FUZZ_CHECK(block.front() == MARKER);
        for (size_t i = 1; i < block.size(); ++i) FUZZ_CHECK(block[i].rfind("key.", 0) == 0);
    }
    FUZZ_CHECK(out.empty() || out.back() == '\n');
    // A second rewrite changes nothing.
    FUZZ_CHECK(rebuild_port_ini(out) == out);
    return 0;
}
