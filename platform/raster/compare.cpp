#include "platform/raster/compare.h"

#include <algorithm>
#include <cstdlib>

#include "platform/raster/pixel.h"

namespace kv::raster {
namespace {

Argb pixelAt(const ColorTarget& t, int x, int y) {
  const uint8_t* row = static_cast<const uint8_t*>(t.pixels) + static_cast<intptr_t>(y) * t.pitch;
  if (t.format == ColorFormat::RGB565) {
    uint16_t p;
    std::memcpy(&p, row + 2 * x, 2);
    return unpack565(p);
  }
  uint32_t p;
  std::memcpy(&p, row + 4 * x, 4);
  return unpackArgb(p);
}

}  // namespace

FrameDifference compareTargets(const ColorTarget& a, const ColorTarget& b, int tolerance) {
  FrameDifference d;
  if (a.width != b.width || a.height != b.height || a.format != b.format || !a.pixels ||
      !b.pixels) {
    return d;
  }
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      const Argb p = pixelAt(a, x, y), q = pixelAt(b, x, y);
      const int delta = std::max({std::abs(int(p.r) - int(q.r)), std::abs(int(p.g) - int(q.g)),
                                  std::abs(int(p.b) - int(q.b))});
      ++d.pixels;
      if (delta == 0) ++d.identical;
      if (delta > tolerance) ++d.overTolerance;
      if (delta > d.maxDelta) d.maxDelta = delta, d.worstX = x, d.worstY = y;
    }
  }
  return d;
}

}  // namespace kv::raster
