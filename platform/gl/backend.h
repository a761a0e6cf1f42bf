// The hardware device's back end: clears and fans drawn by OpenGL into a
// framebuffer that stands for the render target and its z-buffer.
#pragma once

#include <memory>

#include "platform/d3d/backend.h"

namespace kv::gl {

class Context;

// Null (logged) when the context cannot be used or the framebuffer made.
std::unique_ptr<d3d::Backend> makeBackend(Context& context);

}  // namespace kv::gl
