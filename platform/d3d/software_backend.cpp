// The software devices' back end: clears and fans go to a rasterizer drawing
// into the surfaces' memory. A rasterizer may hold fans and clears back and
// draw them later on several threads; while it does, the back end keeps the
// surfaces they read and write, so that anything reaching their memory (a
// lock, a blit, a flip, a texture load, the surface going) first has them drawn.
#include <algorithm>
#include <vector>

#include "platform/d3d/backend.h"

namespace kv::d3d {

namespace {

class SoftwareBackend final : public Backend, ddraw::PixelKeeper {
 public:
  explicit SoftwareBackend(std::unique_ptr<raster::Rasterizer> rasterizer)
      : rasterizer_(std::move(rasterizer)) {
    kept_.reserve(8);
  }
  ~SoftwareBackend() override { letGo(); }

  void clear(const DrawTarget& target, bool color, uint32_t argb, bool depth, float depthValue,
             const raster::Rect& rect) override {
    // The rasterizer may keep the clear with the pending fans.
    keep(target.surface);
    keep(target.zBuffer);
    rasterizer_->clear(color ? &target.color : nullptr, argb,
                       depth && target.zBuffer != nullptr ? &target.depth : nullptr, depthValue,
                       rect);
  }

  void drawFan(const DrawTarget& target, const raster::State& state, ddraw::Surface* texture,
               const raster::Vertex* vertices, int count) override {
    keep(target.surface);
    keep(target.zBuffer);
    keep(texture);
    rasterizer_->drawFan(target.color, target.zBuffer != nullptr ? &target.depth : nullptr, state,
                         vertices, count);
  }

  void endScene() override { letGo(); }

 private:
  void keep(ddraw::Surface* surface) {
    if (surface == nullptr || surface->keeper() == this) return;
    surface->setKeeper(this);
    kept_.push_back(surface);
  }
  // Draws what is pending and hands the surfaces back.
  void letGo() {
    rasterizer_->finish();
    while (!kept_.empty()) kept_.back()->setKeeper(nullptr);  // release() takes it off
  }

  // PixelKeeper
  void writeBack(ddraw::Surface&) override { rasterizer_->finish(); }
  void release(ddraw::Surface& surface) override {
    rasterizer_->finish();  // before the memory goes or another keeper takes it
    kept_.erase(std::remove(kept_.begin(), kept_.end(), &surface), kept_.end());
  }

  std::unique_ptr<raster::Rasterizer> rasterizer_;
  std::vector<ddraw::Surface*> kept_;  // surfaces the pending fans use
};

}  // namespace

std::unique_ptr<Backend> makeSoftwareBackend(std::unique_ptr<raster::Rasterizer> rasterizer) {
  if (rasterizer == nullptr) return nullptr;
  return std::make_unique<SoftwareBackend>(std::move(rasterizer));
}

}  // namespace kv::d3d
