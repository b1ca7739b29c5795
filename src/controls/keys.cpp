#include "controls/keys.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "core/atomic_file.h"
#include "core/globals.h"
#include "core/paths.h"
#include "core/port.h"
#include "core/settings.h"

const KeyInput KEY_INPUTS[KEY_INPUT_COUNT] = {
    {"move_up", "W", "Andar para frente", "Move forward"},
    {"move_down", "S", "Andar para trás", "Move back"},
    {"move_left", "A", "Andar para a esquerda", "Move left"},
    {"move_right", "D", "Andar para a direita", "Move right"},
    {"look_up", "Up", "Câmera para cima", "Camera up"},
    {"look_down", "Down", "Câmera para baixo", "Camera down"},
    {"look_left", "Left", "Câmera para a esquerda", "Camera left"},
    {"look_right", "Right", "Câmera para a direita", "Camera right"},
    {"cross", "Space", "\u2715", "\u2715"},
    {"circle", "Left Shift", "\u25CB", "\u25CB"},
    {"square", "E", "\u25A1", "\u25A1"},
    {"triangle", "Q", "\u25B3", "\u25B3"},
    {"l1", "1", "L1", "L1"},
    {"r1", "3", "R1", "R1"},
    {"l2", "R", "L2", "L2"},
    {"r2", "F", "R2", "R2"},
    {"l3", "Z", "L3", "L3"},
    {"r3", "C", "R3", "R3"},
    {"options", "Return", "Options", "Options"},
    {"touchpad", "Tab", "Touchpad (esquerda)", "Touchpad (left)"},
    {"touchpad_right", "Backspace", "Touchpad (direita)", "Touchpad (right)"},
    {"up", "I", "Direcional \u2191", "D-pad \u2191"},
    {"down", "K", "Direcional \u2193", "D-pad \u2193"},
    {"left", "J", "Direcional \u2190", "D-pad \u2190"},
    {"right", "L", "Direcional \u2192", "D-pad \u2192"},
};

namespace {

constexpr const char* BLOCK_MARKER = "# key bindings (launcher)";

bool is_binding_key(const std::string& s) { return s.size() >= 4 && s.compare(0, 4, "key.") == 0; }

}  // namespace

std::string key_of(const KeyInput& input) {
    auto it = S.map.find(std::string("key.") + input.id);
    return it != S.map.end() ? it->second : std::string(input.default_key);
}

std::string rebuild_port_ini(const std::string& old_text) {
    std::string out;
    // Lines end at line feeds; a carriage return stays part of its line, and a
    // last line without a line feed gets one.
    size_t pos = 0;
    while (pos < old_text.size()) {
        size_t end = old_text.find('\n', pos);
        if (end == std::string::npos) end = old_text.size();
        std::string line = old_text.substr(pos, end - pos);
        pos = end + 1;
        if (is_binding_key(line) || line == BLOCK_MARKER) continue;
        out += line;
        out += '\n';
    }

    std::string block;
    for (const auto& [key, value] : S.map) {
        if (!is_binding_key(key)) continue;
        block += key;
        block += '=';
        block += value;
        block += '\n';
    }
    if (!block.empty()) {
        out += BLOCK_MARKER;
        out += '\n';
        out += block;
    }
    return out;
}

bool write_key_bindings(std::string* note) {
    if (note) note->clear();
    std::filesystem::path file = g_data / PORT_INI;
    std::string old_text;
    // Only a file that is really missing counts as empty: one that exists but
    // cannot be read holds the game's own settings, which a rewrite would drop.
    // A FIFO or a device is never opened (it could block the start for good).
    ReadStatus status = read_regular_file(file, old_text);
    if (status != ReadStatus::ok && status != ReadStatus::missing) {
        if (note)
            *note = tr("quor.ini could not be read; it was left as it is and the game starts with the key bindings it holds.",
                       "Não foi possível ler o quor.ini; ele ficou como estava e o jogo inicia com as teclas que ele contém.");
        return false;
    }
    // A player who keeps the file elsewhere behind a link keeps the link: the
    // new text replaces the file it points at (made when it is missing).
    bool in_place = false;
    bool ok = write_file_atomic(file, rebuild_port_ini(old_text), &in_place);
    if (note && !ok)
        *note = tr("quor.ini could not be written; the game starts with the key bindings it already had.",
                   "Não foi possível gravar o quor.ini; o jogo inicia com as teclas que ele já tinha.");
    else if (note && in_place)
        *note = tr("quor.ini's folder does not accept new files, so quor.ini was rewritten in place.",
                   "A pasta do quor.ini não aceita arquivos novos, então o quor.ini foi regravado no próprio lugar.");
    return ok;
}
