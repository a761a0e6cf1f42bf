// The host with a real window, over SDL2.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/host/host.h"

namespace kv::sdl {

struct OpenOptions {
  // Given the presented frame (0x00RRGGBB, row 0 first) when the user presses
  // F12; the launcher writes it. Null: F12 does nothing.
  std::function<void(const uint32_t* rgb, int width, int height)> screenshot;
  // Escape counts as held from this loop iteration on (reads of Escape count
  // the iterations); 0: never.
  int64_t escapeFromIteration = 0;
  // Frames are drawn through a GL 3.3 context of the window, which a GL
  // device then draws in; false, or a window without one, leaves them to
  // SDL's renderer.
  bool windowGl = true;
};

// A host on the display, or null (with the display and the reason in one line
// on stderr) when no display can be opened or no window can be created on it.
std::unique_ptr<host::Host> open(const OpenOptions& options = {});

}  // namespace kv::sdl
