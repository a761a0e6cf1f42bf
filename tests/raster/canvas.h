// Owned colour and depth buffers for rasterizer tests, with a guard band of
// known bytes around each so that a write outside the target shows.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/raster/raster.h"

namespace kv::raster::testing {

inline constexpr uint8_t kGuard = 0xA5;
inline constexpr int kGuardRows = 4;

struct Canvas {
  int width, height;
  ColorFormat format;
  int pitch;  // a few spare bytes at the end of each row, also guarded
  std::vector<uint8_t> colorBytes;
  std::vector<uint32_t> depthCells;  // guard rows above and below
  int depthPitchCells;

  Canvas(int w, int h, ColorFormat f = ColorFormat::XRGB8888)
      : width(w), height(h), format(f), pitch(w * (f == ColorFormat::RGB565 ? 2 : 4) + 8),
        colorBytes(static_cast<size_t>(pitch) * (h + 2 * kGuardRows), kGuard),
        depthCells(static_cast<size_t>(w + 4) * (h + 2 * kGuardRows), 0xA5A5A5A5u),
        depthPitchCells(w + 4) {
    for (int y = 0; y < h; ++y) {
      std::memset(rowBytes(y), 0, static_cast<size_t>(w) * bytesPerPixel());
      std::memset(&depthCells[static_cast<size_t>(y + kGuardRows) * depthPitchCells], 0,
                  static_cast<size_t>(w) * 4);
    }
  }

  int bytesPerPixel() const { return format == ColorFormat::RGB565 ? 2 : 4; }
  uint8_t* rowBytes(int y) { return &colorBytes[static_cast<size_t>(y + kGuardRows) * pitch]; }

  ColorTarget color() { return {rowBytes(0), pitch, width, height, format}; }
  DepthTarget depth() {
    return {&depthCells[static_cast<size_t>(kGuardRows) * depthPitchCells], depthPitchCells * 4,
            width, height};
  }

  uint32_t pixel(int x, int y) {
    uint32_t v = 0;
    std::memcpy(&v, rowBytes(y) + x * bytesPerPixel(), bytesPerPixel());
    return v;
  }
  uint32_t rgb(int x, int y) { return pixel(x, y) & 0xFFFFFF; }
  float depthAt(int x, int y) {
    float f;
    std::memcpy(&f, &depthCells[static_cast<size_t>(y + kGuardRows) * depthPitchCells + x], 4);
    return f;
  }

  // True when every byte outside the width x height picture is still the guard.
  bool guardsIntact() const {
    const int used = width * bytesPerPixel();
    for (size_t row = 0; row < colorBytes.size() / pitch; ++row) {
      const bool inside = row >= kGuardRows && row < size_t(kGuardRows + height);
      for (int b = inside ? used : 0; b < pitch; ++b) {
        if (colorBytes[row * pitch + b] != kGuard) return false;
      }
    }
    for (size_t row = 0; row < depthCells.size() / depthPitchCells; ++row) {
      const bool inside = row >= kGuardRows && row < size_t(kGuardRows + height);
      for (int c = inside ? width : 0; c < depthPitchCells; ++c) {
        if (depthCells[row * depthPitchCells + c] != 0xA5A5A5A5u) return false;
      }
    }
    return true;
  }
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
