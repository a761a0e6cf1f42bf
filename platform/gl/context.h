// The one GL context the hardware device draws with: OpenGL 3.3 core (or
// later). Beside a window that has a GL context of its own (the host
// registers it: platform/d3d/window_gl.h) the device draws in that context on
// the program's thread and shows its frames without reading them back.
// Otherwise the context is made through EGL without a window (Mesa's
// surfaceless platform, else the default display), on a thread of its own: a
// window drawn through another GL (the host's renderer, through GLX) holds the
// program's thread, and one thread cannot hold contexts of both kinds. Frames
// then reach the screen through the surfaces' memory.
#pragma once

#include <memory>
#include <string>
#include <type_traits>

#include "platform/d3d/window_gl.h"

namespace kv::gl {

class Context {
 public:
  virtual ~Context() = default;

  // Runs f with the context current, on its thread, and waits for it (at once
  // when called from that thread); false when the context cannot run work.
  // Nothing is allocated: f is referred to, not copied.
  template <class F>
  bool run(F&& f) {
    using Fn = std::remove_reference_t<F>;
    return execute({[](void* fn) { (*static_cast<Fn*>(fn))(); }, &f});
  }

  struct Task {
    void (*call)(void*);
    void* fn;
  };
  virtual bool execute(const Task& task) = 0;
  // GL_RENDERER and GL_VERSION as the driver gives them.
  virtual const std::string& renderer() const = 0;
  virtual const std::string& version() const = 0;
  // GL 4.5 or ARB_clip_control: depth can map to [0, 1] without a rescale.
  virtual bool hasClipControl() const = 0;
  // The window whose context this is, or null for a context of its own.
  virtual d3d::WindowGl* window() const { return nullptr; }
};

// Starts a context; null (and the reason logged) when GL cannot start here.
std::unique_ptr<Context> startContext();

// The process's context, started on first use; null while GL cannot start.
// Tests may put a starter of their own in place (null restores the real one).
Context* sharedContext();
using ContextStarter = std::unique_ptr<Context> (*)();
void setContextStarter(ContextStarter starter);

// A renderer that draws on the CPU (llvmpipe, softpipe, swrast) does not make
// a machine one with a graphics card.
bool isSoftwareRenderer(const std::string& renderer);

}  // namespace kv::gl
