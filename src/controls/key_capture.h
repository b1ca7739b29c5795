#pragma once
#include <string>

union SDL_Event;

// Id of the action whose key is being captured; empty when none.
extern std::string g_capture_key;

// Ends the running capture, storing name ("" = unbound) as the binding.
void finish_capture(const std::string& name);

// Routes an event to the running capture. Returns true when the event was
// consumed and must not reach the GUI.
bool capture_event(const SDL_Event& ev);
// Keeps every keyboard and pad key from the GUI (navigation, rows, hotkeys)
// until it is released. Called before the GUI's frame starts, in every frame
// of a capture and in the frame it ends.
void hold_gui_keys();
// The routing itself, without touching the GUI's key state.
bool route_capture_event(const SDL_Event& ev);
