// A peer to hold the fast device against: Mesa's llvmpipe, reached through
// EGL without a display (or a window system) and OpenGL 3.3, on one thread.
// It draws the benchmark's scenes as the device draws them: screen-space
// vertices with 1/w, a 16-bit RGB565 target with a 32-bit float depth
// buffer, greater-or-equal depth test, the texture modulated by the
// Gouraud colour, perspective-correct.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/raster/raster.h"

namespace kv::bench {

class Peer {
 public:
  virtual ~Peer() = default;
  // Triangles (three vertices each) drawn into a cleared depth buffer, with
  // every draw finished before it returns.
  virtual void draw(const std::vector<raster::Vertex>& triangles) = 0;
  virtual std::string renderer() const = 0;
};

// The peer with a 640 x 480 target and the given 16-bit ARGB1555 texture,
// or null with why in `error` (no EGL, no llvmpipe).
std::unique_ptr<Peer> startPeer(const raster::Texture& texture, raster::Filter filter,
                                std::string& error);

}  // namespace kv::bench
