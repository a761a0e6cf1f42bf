// Virtual-key codes to SDL scancodes. Keys are told by their place on the
// keyboard, so the pad keys E, S, D, F sit where the kit expects them on any layout.
#pragma once

#include <SDL.h>

namespace kv::sdl {

// The scancode of a virtual key, or SDL_SCANCODE_UNKNOWN for keys not mapped.
// Shift, Ctrl and Alt (0x10-0x12) answer for either side: see keyHeld.
SDL_Scancode scancodeFor(int virtualKey);
// Whether the key with this virtual-key code is down in SDL's keyboard state.
bool keyHeld(const Uint8* state, int virtualKey);

}  // namespace kv::sdl
