#include "controls/key_capture.h"

#include <SDL3/SDL.h>
#include <imgui.h>
#include <imgui_internal.h>

#include "controls/keys.h"
#include "core/settings.h"

std::string g_capture_key;

void finish_capture(const std::string& name) {
    const KeyInput* found = nullptr;
    for (const auto& k : KEY_INPUTS)
        if (g_capture_key == k.id) found = &k;
    if (!found) {
        g_capture_key.clear();
        return;
    }
    std::string key = std::string("key.") + found->id;
    if (name == found->default_key)
        S.map.erase(key);
    else
        S.set(key, name);
    if (!name.empty()) {
        // A key drives one action only: the newest binding wins.
        for (const auto& other : KEY_INPUTS) {
            if (&other == found) continue;
            if (key_of(other) == name) S.set(std::string("key.") + other.id, "");
        }
    }
    g_dirty = true;
    g_capture_key.clear();
}

namespace {

// The key that started the capture went down in the GUI, and its release was
// swallowed; forget it so the GUI does not see it as held afterwards.
void release_gui_keys() {
    if (ImGui::GetCurrentContext()) ImGui::GetIO().ClearInputKeys();
}

}  // namespace

void hold_gui_keys() {
    if (!ImGui::GetCurrentContext()) return;
    // The platform backend reads pad buttons by polling, so swallowing their
    // events is not enough. A lock until release also covers the button that
    // ends the capture and is still held in the frames after it.
    for (int k = ImGuiKey_NamedKey_BEGIN; k < ImGuiKey_NamedKey_END; ++k) {
        ImGuiKey key = static_cast<ImGuiKey>(k);
        if (ImGui::IsMouseKey(key)) continue;  // the mouse works as usual
        ImGui::SetKeyOwner(key, ImGuiKeyOwner_Any, ImGuiInputFlags_LockUntilRelease);
    }
}

bool capture_event(const SDL_Event& ev) {
    if (g_capture_key.empty()) return false;
    bool consumed = route_capture_event(ev);
    if (g_capture_key.empty()) release_gui_keys();
    return consumed;
}

bool route_capture_event(const SDL_Event& ev) {
    switch (ev.type) {
    case SDL_EVENT_KEY_DOWN: {
        // Auto-repeat of the Enter or Space that armed the capture, still
        // held, is not the player's answer.
        if (ev.key.repeat) return true;
        SDL_Scancode sc = ev.key.scancode;
        if (sc == SDL_SCANCODE_ESCAPE) {
            g_capture_key.clear();
        } else if (sc == SDL_SCANCODE_DELETE) {
            finish_capture("");
        } else {
            const char* name = SDL_GetScancodeName(sc);
            if (name && *name) finish_capture(name);
        }
        return true;
    }
    case SDL_EVENT_GAMEPAD_BUTTON_DOWN:
        if (ev.gbutton.button == SDL_GAMEPAD_BUTTON_EAST) g_capture_key.clear();
        return true;
    case SDL_EVENT_KEY_UP:
    case SDL_EVENT_TEXT_INPUT:
    case SDL_EVENT_GAMEPAD_BUTTON_UP:
        return true;
    default:
        return false;
    }
}
