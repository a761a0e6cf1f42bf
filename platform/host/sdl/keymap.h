// Virtual-key codes to SDL scancodes. Keys are told by their place on the
// keyboard, so the pad keys E, S, D, F sit where the kit expects them on any layout.
#pragma once

#include <SDL.h>

namespace kv::sdl {

// The scancode of a virtual key, or SDL_SCANCODE_UNKNOWN for keys not mapped.
// Shift, Ctrl and Alt (0x10-0x12) answer for either side: see scancodesFor.
SDL_Scancode scancodeFor(int virtualKey);
// The keys that answer for a virtual key (both sides for Shift, Ctrl and Alt):
// writes up to two scancodes and returns how many.
int scancodesFor(int virtualKey, SDL_Scancode codes[2]);

}  // namespace kv::sdl
