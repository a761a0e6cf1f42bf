// The few X11 matters SDL leaves open: whether a window manager runs, the
// window's standing as an ordinary top-level window, and why a display cannot
// be used. Elsewhere (Wayland) these answer as a managed desktop would.
#pragma once

#include <SDL.h>

#include <string>

namespace kv::sdl {

// True when a window manager looks after the window's screen (or it is not X11).
bool hasWindowManager(SDL_Window* window);
// Drops WM_TRANSIENT_FOR, which would have window managers treat the render
// window as a dialog of the root window.
void makeOrdinaryTopLevel(SDL_Window* window);
// Why the X display named (DISPLAY's value) cannot show the demo, or "" when
// it can: no server answers there, or its colours are fewer than 16 bits.
std::string x11DisplayProblem(const std::string& name);

}  // namespace kv::sdl
