// The OpenGL context a device that draws with OpenGL works in. The Direct3D
// stand-in owns this interface; a host that can make a context on its window
// implements it and registers it, so the stand-in never includes a host.
#pragma once

#include <cstdint>

namespace kv::d3d {

class GlContext {
 public:
  virtual ~GlContext() = default;

  // Makes the context current on the calling thread; false when it is gone.
  virtual bool makeCurrent() = 0;
  // Shows what was drawn into the default framebuffer.
  virtual void swapBuffers() = 0;
  // The address of an OpenGL entry point, or null when the driver lacks it.
  virtual void* procAddress(const char* name) = 0;
  // The default framebuffer's size in pixels (it may differ from the window's
  // size in screen units).
  virtual void drawableSize(int32_t& width, int32_t& height) = 0;
};

// The host's context, or null when the host has none (headless, or no OpenGL
// on the display). The host keeps ownership; it registers null before the
// context goes.
GlContext* glContext();
void setGlContext(GlContext* context);

}  // namespace kv::d3d
