#pragma once
// The Controls page's own pieces, outside the page function itself.
#include <string>

struct KeyInput;
// The value text of an action's row: its key or "—", "  *" when changed.
std::string key_row_value(const KeyInput& input);
// Every binding back to its default.
void reset_keys();
// The overlay that asks for the key, in front of everything.
void draw_capture_overlay();
