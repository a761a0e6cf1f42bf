// An RGB565 pixel widened to 8 bits a channel, the one rule every part of the
// platform reads 16-bit pixels by: the rasterizers blending and comparing, the
// display stand-in converting between display depths, the headless host
// capturing frames. It includes nothing and belongs to no layer, so each of
// those may include it without depending on another.
#pragma once

#include <cstdint>

namespace kv {

// Channel widening by bit replication, so that full scale stays full scale.
inline uint32_t expand5(uint32_t c) { return (c << 3) | (c >> 2); }
inline uint32_t expand6(uint32_t c) { return (c << 2) | (c >> 4); }

// 0x00RRGGBB from an RGB565 pixel (bits above 15 are ignored).
inline uint32_t rgbFrom565(uint32_t pixel) {
  return expand5((pixel >> 11) & 0x1F) << 16 | expand6((pixel >> 5) & 0x3F) << 8 |
         expand5(pixel & 0x1F);
}

}  // namespace kv
