// The software devices' back end: clears and fans go straight to a rasterizer
// drawing into the surfaces' memory.
#include "platform/d3d/backend.h"

namespace kv::d3d {

namespace {

class SoftwareBackend final : public Backend {
 public:
  explicit SoftwareBackend(std::unique_ptr<raster::Rasterizer> rasterizer)
      : rasterizer_(std::move(rasterizer)) {}

  void clear(const DrawTarget& target, bool color, uint32_t argb, bool depth, float depthValue,
             const raster::Rect& rect) override {
    rasterizer_->clear(color ? &target.color : nullptr, argb,
                       depth && target.zBuffer != nullptr ? &target.depth : nullptr, depthValue,
                       rect);
  }

  void drawFan(const DrawTarget& target, const raster::State& state, ddraw::Surface*,
               const raster::Vertex* vertices, int count) override {
    rasterizer_->drawFan(target.color, target.zBuffer != nullptr ? &target.depth : nullptr, state,
                         vertices, count);
  }

 private:
  std::unique_ptr<raster::Rasterizer> rasterizer_;
};

}  // namespace

std::unique_ptr<Backend> makeSoftwareBackend(std::unique_ptr<raster::Rasterizer> rasterizer) {
  if (rasterizer == nullptr) return nullptr;
  return std::make_unique<SoftwareBackend>(std::move(rasterizer));
}

}  // namespace kv::d3d
