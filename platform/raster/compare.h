// Holds two pictures of the same size and format against each other, channel
// by channel in 8-bit units (RGB565 widened the way the rasterizers widen it).
// Tests use it to hold the fast device against the reference, on single fans
// and on whole frames.
#pragma once

#include <cstdint>

#include "platform/raster/raster.h"

namespace kv::raster {

struct FrameDifference {
  int64_t pixels = 0;         // pixels compared; 0 when the pictures do not match in shape
  int64_t identical = 0;      // pixels equal in every channel
  int64_t overTolerance = 0;  // pixels with some channel off by more than the tolerance
  int maxDelta = 0;           // largest channel difference seen
  int worstX = -1, worstY = -1;

  double identicalFraction() const { return pixels ? double(identical) / double(pixels) : 0.0; }
};

FrameDifference compareTargets(const ColorTarget& a, const ColorTarget& b, int tolerance);

}  // namespace kv::raster
