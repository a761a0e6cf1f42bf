// What a device draws with. A software back end draws into the surfaces'
// memory through a rasterizer; another may keep the pixels elsewhere (a GL
// framebuffer) and then answers for them through the surfaces' keeper hook.
#pragma once

#include <memory>

#include "platform/ddraw/objects.h"
#include "platform/raster/raster.h"

namespace kv::d3d {

// The surfaces one clear or draw goes to, with their memory as the
// rasterizers see it. zBuffer is null (and depth unset) without a live one.
struct DrawTarget {
  ddraw::Surface* surface;
  ddraw::Surface* zBuffer;
  raster::ColorTarget color;
  raster::DepthTarget depth;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // rect is in target pixels, already clipped to the viewport.
  virtual void clear(const DrawTarget& target, bool color, uint32_t argb, bool depth,
                     float depthValue, const raster::Rect& rect) = 0;
  // One fan; state.texture describes `texture`'s memory (both null untextured).
  virtual void drawFan(const DrawTarget& target, const raster::State& state,
                       ddraw::Surface* texture, const raster::Vertex* vertices, int count) = 0;
  // The scene is over: work held back for speed may go now.
  virtual void endScene() {}
};

// A back end over one of the software rasterizers.
std::unique_ptr<Backend> makeSoftwareBackend(std::unique_ptr<raster::Rasterizer> rasterizer);

}  // namespace kv::d3d
