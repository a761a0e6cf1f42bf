#include "platform/d3d/gl_context.h"

namespace kv::d3d {
namespace {

constinit GlContext* current = nullptr;

}  // namespace

GlContext* glContext() { return current; }
void setGlContext(GlContext* context) { current = context; }

}  // namespace kv::d3d
