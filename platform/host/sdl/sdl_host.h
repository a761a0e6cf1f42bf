// The host with a real window, over SDL2.
#pragma once

#include <memory>
#include <string>

#include "platform/host/host.h"

namespace kv::sdl {

struct OpenOptions {
  // Where F12 writes screenshots; empty: the working directory at the time.
  std::string screenshotDir;
};

// A host on the display, or null (with the display and the reason in one line
// on stderr) when no display can be opened or no window can be created on it.
std::unique_ptr<host::Host> open(const OpenOptions& options = {});

}  // namespace kv::sdl
