#include "platform/d3d/window_gl.h"

namespace kv::d3d {

namespace {
WindowGl* registered = nullptr;
}

void setWindowGl(WindowGl* gl) { registered = gl; }
WindowGl* windowGl() { return registered; }

}  // namespace kv::d3d
