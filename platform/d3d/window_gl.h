// The GL context of the program's window, for a device that draws with GL.
// The Direct3D stand-in owns this interface so that it never names a host: a
// host whose window has a GL context implements it and registers it, and the
// device draws into that context on the program's thread and shows its frames
// through it without reading them back.
#pragma once

#include <cstdint>

namespace kv::d3d {

// A picture a device drew into a texture of the window's context: row 0 of
// the texture is the picture's top row (as in the surfaces' memory). `left`,
// `top`, `width`, `height` name the part shown, in texels.
struct GlFrame {
  uint32_t texture;
  int32_t textureWidth, textureHeight;
  int32_t left, top, width, height;
};

class WindowGl {
 public:
  virtual ~WindowGl() = default;
  // Makes the window's context current on the calling thread; false when it
  // cannot be used.
  virtual bool makeCurrent() = 0;
  // Shows the frame in the window, scaled as the memory frames are. The host
  // keeps a copy of its own, so the texture may change once this returns.
  virtual void present(const GlFrame& frame) = 0;
  // Counts the times the host drew with the context itself: a device that
  // sets its state once sets it again when this has moved.
  virtual uint64_t hostDraws() const = 0;
};

// The window's context, registered by the host that made it (null: none).
void setWindowGl(WindowGl* gl);
WindowGl* windowGl();

}  // namespace kv::d3d
