// The host with a real window, over SDL2.
#pragma once

#include <memory>

#include "platform/host/host.h"

namespace kv::sdl {

// A host on the display, or null (with the reason on stderr) when no display
// can be opened or no window can be created on it.
std::unique_ptr<host::Host> open();

}  // namespace kv::sdl
