// Inside the polygon drawer: the device vertex and how a corner becomes one.
// Shared with the tests, which check the packing without a device.
#pragma once

#include <cstdint>

#include "kvKIT.h"
#include "kvf3D/Math.h"

namespace kv3d {

// The transformed, lit vertex the device draws: XYZRHW | DIFFUSE | TEX1.
struct FanVertex {
  float sx, sy, sz, rhw;
  uint32_t diffuse;  // ARGB
  float tu, tv;
};
static_assert(sizeof(FanVertex) == 28, "the device reads 28-byte vertices");
constexpr DWORD kFanVertexFormat = 0x144;
// The most corners one submission takes.
constexpr int32_t kFanCapacity = 128;

// The low 8 bits of a truncated channel value.
inline uint32_t channelByte(float value) { return static_cast<uint32_t>(truncate(value)) & 0xFFu; }

// The vertex colour the render flags select for a corner.
inline uint32_t cornerDiffuse(const ClipVertex& c, int32_t flags) {
  if (flags & KV_RF_COLOR)
    return channelByte(c.alpha) << 24 | channelByte(c.r) << 16 | channelByte(c.g) << 8 |
           channelByte(c.b);
  if (flags & KV_RF_ALPHA) return channelByte(c.alpha) << 24 | 0x00FFFFFFu;
  return 0xFFFFFFFFu;
}

// A projected corner at the given device depth (the kit's 1/z, or a depth of
// the caller's); texture coordinates only under KV_RF_TEXTURE, else 0.
inline FanVertex fanVertex(const ClipVertex& c, float depth, int32_t flags) {
  const bool textured = (flags & KV_RF_TEXTURE) != 0;
  return {c.x,
          c.y,
          depth,
          depth,
          cornerDiffuse(c, flags),
          textured ? c.u / 256.0f : 0.0f,
          textured ? c.v / 256.0f : 0.0f};
}

}  // namespace kv3d
