#pragma once
// The Advanced page's work besides drawing.

// Deletes the shader cache unless a game runs; returns whether it did.
bool clear_shader_cache();
