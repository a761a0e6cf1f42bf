// Owned colour and depth buffers for rasterizer tests, with guard bytes around
// each so that a write outside the target shows.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/raster/raster.h"

namespace kv::raster::testing {

// width x height cells of `cell` bytes; a spare stretch at each row's end and
// whole rows above and below hold the guard byte.
struct Guarded {
  static constexpr uint8_t kGuard = 0xA5;
  static constexpr int kRows = 4;
  int used, pitch, rows;
  std::vector<uint8_t> bytes;

  Guarded(int w, int h, int cell)
      : used(w * cell),
        pitch(w * cell + 8),
        rows(h),
        bytes(size_t(pitch) * (h + 2 * kRows), kGuard) {
    for (int y = 0; y < h; ++y) std::memset(row(y), 0, size_t(used));
  }
  uint8_t* row(int y) { return &bytes[size_t(y + kRows) * pitch]; }
  bool intact() const {
    for (size_t i = 0; i < bytes.size(); ++i) {
      const size_t r = i / pitch;
      const bool inside = r >= kRows && r < size_t(kRows + rows) && int(i % pitch) < used;
      if (!inside && bytes[i] != kGuard) return false;
    }
    return true;
  }
};

struct Canvas {
  int width, height;
  ColorFormat format;
  int bpp;
  Guarded colorBuf, depthBuf;

  Canvas(int w, int h, ColorFormat f = ColorFormat::XRGB8888)
      : width(w),
        height(h),
        format(f),
        bpp(f == ColorFormat::RGB565 ? 2 : 4),
        colorBuf(w, h, bpp),
        depthBuf(w, h, 4) {}

  ColorTarget color() { return {colorBuf.row(0), colorBuf.pitch, width, height, format}; }
  DepthTarget depth() {
    return {reinterpret_cast<uint32_t*>(depthBuf.row(0)), depthBuf.pitch, width, height};
  }
  uint32_t pixel(int x, int y) {
    uint32_t v = 0;
    std::memcpy(&v, colorBuf.row(y) + x * bpp, size_t(bpp));
    return v;
  }
  uint32_t rgb(int x, int y) { return pixel(x, y) & 0xFFFFFF; }
  float depthAt(int x, int y) {
    float f;
    std::memcpy(&f, depthBuf.row(y) + x * 4, 4);
    return f;
  }
  bool guardsIntact() const { return colorBuf.intact() && depthBuf.intact(); }
};

inline Vertex vtx(float x, float y, uint32_t argb = 0xFFFFFFFF, float u = 0, float v = 0,
                  float z = 0.5f, float rhw = 1.0f) {
  return {x, y, z, rhw, argb, u, v};
}

// A factory of one rasterizer, for parameterised suites.
struct Device {
  const char* label;
  std::unique_ptr<Rasterizer> (*make)();
};
inline const Device kDevices[] = {{"Reference", makeReference}, {"Fast", makeFast}};

}  // namespace kv::raster::testing
