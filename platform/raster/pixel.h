// Pixel arithmetic shared by the rasterizers. These functions define what a
// drawn pixel is (texel decoding, the stage-0 combine, blending, dithering and
// packing); the reference calls them directly and the fast rasterizer either
// calls them or reproduces them exactly, so the two differ only where they
// interpolate.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/pixel/rgb565.h"
#include "platform/raster/raster.h"

namespace kv::raster {

// One colour with 8-bit channels.
struct Argb {
  uint32_t a, r, g, b;
};

inline Argb unpackArgb(uint32_t c) {
  return {c >> 24, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF};
}

// round(x / 255) for 0 <= x <= 255 * 255 without a division; above that the
// result is still above 255, which is all a saturating blend needs.
inline uint32_t div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

inline uint32_t expand4(uint32_t c) { return c * 17; }

inline bool isPowerOfTwo(int32_t n) { return n > 0 && (n & (n - 1)) == 0; }

inline int texelBytes(TextureFormat f) { return f == TextureFormat::Palette8 ? 1 : 2; }
inline int pixelBytes(ColorFormat f) { return f == ColorFormat::RGB565 ? 2 : 4; }

// The raw stored value of texel (x, y); x and y must already be wrapped.
inline uint32_t rawTexel(const Texture& t, int x, int y) {
  const uint8_t* row = static_cast<const uint8_t*>(t.texels) + static_cast<intptr_t>(y) * t.pitch;
  if (t.format == TextureFormat::Palette8) return row[x];
  uint16_t v;
  std::memcpy(&v, row + 2 * x, 2);
  return v;
}

// The bits of a raw texel that carry colour; the colour key ignores the rest.
inline uint32_t colorKeyMask(TextureFormat f) {
  switch (f) {
    case TextureFormat::Palette8:
      return 0xFF;
    case TextureFormat::ARGB1555:
      return 0x7FFF;
    case TextureFormat::ARGB4444:
      return 0x0FFF;
    case TextureFormat::RGB565:
      return 0xFFFF;
  }
  return 0xFFFF;
}

inline Argb decodeTexel(const Texture& t, uint32_t raw) {
  switch (t.format) {
    case TextureFormat::Palette8:
      return unpackArgb(t.palette[raw & 0xFF]);
    case TextureFormat::ARGB1555:
      return {(raw & 0x8000) ? 255u : 0u, expand5((raw >> 10) & 31), expand5((raw >> 5) & 31),
              expand5(raw & 31)};
    case TextureFormat::ARGB4444:
      return {expand4(raw >> 12), expand4((raw >> 8) & 15), expand4((raw >> 4) & 15),
              expand4(raw & 15)};
    case TextureFormat::RGB565:
      return unpackArgb(0xFF000000u | rgbFrom565(raw));
  }
  return {255, 0, 0, 0};
}

// Ordered dither: a 4x4 Bayer matrix of thresholds 0..15.
inline constexpr uint8_t kBayer4[4][4] = {
    {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// 8-bit channels to RGB565. Dithering adds up to one step below the next
// level before truncating, so flat areas average to the true colour.
inline uint16_t pack565(uint32_t r, uint32_t g, uint32_t b, bool dither, int x, int y) {
  if (dither) {
    const uint32_t t = kBayer4[y & 3][x & 3];
    r += t >> 1;
    g += t >> 2;
    b += t >> 1;
    if (r > 255) r = 255;
    if (g > 255) g = 255;
    if (b > 255) b = 255;
  }
  return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

inline Argb unpack565(uint32_t p) { return unpackArgb(0xFF000000u | rgbFrom565(p)); }

inline uint32_t blendFactor(BlendFactor f, uint32_t srcAlpha) {
  switch (f) {
    case BlendFactor::Zero:
      return 0;
    case BlendFactor::One:
      return 255;
    case BlendFactor::SrcAlpha:
      return srcAlpha;
    case BlendFactor::InvSrcAlpha:
      return 255 - srcAlpha;
  }
  return 0;
}

// src * fs + dst * fd in 8-bit units, saturated.
inline uint32_t blendChannel(uint32_t s, uint32_t fs, uint32_t d, uint32_t fd) {
  const uint32_t v = div255(s * fs + d * fd);
  return v > 255 ? 255 : v;
}

inline bool depthPasses(DepthCompare c, float incoming, float stored) {
  switch (c) {
    case DepthCompare::Always:
      return true;
    case DepthCompare::GreaterEqual:
      return incoming >= stored;
    case DepthCompare::Greater:
      return incoming > stored;
    case DepthCompare::LessEqual:
      return incoming <= stored;
    case DepthCompare::Less:
      return incoming < stored;
  }
  return false;
}

inline float depthAsFloat(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}
inline uint32_t depthBits(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return bits;
}

// Sub-pixel precision of vertex positions: 1/256 pixel.
inline constexpr int kSubpixelBits = 8;
inline constexpr int kSubpixel = 1 << kSubpixelBits;
// Positions farther than this from the origin are refused: within it every
// edge function of snapped positions is exact in a double and in an int64.
inline constexpr double kMaxCoordinate = 65536.0;

// A position in 1/256 pixel, or false when it is non-finite or out of range.
inline bool snapCoordinate(float v, int64_t& out) {
  if (!(std::fabs(v) <= kMaxCoordinate)) return false;  // also refuses NaN
#if defined(__SSE2__)
  // One conversion in the current rounding mode, as nearbyint rounds, without
  // a library call: six of these start every triangle.
  out = _mm_cvtsd_si64(_mm_set_sd(static_cast<double>(v) * kSubpixel));
#else
  out = static_cast<int64_t>(std::nearbyint(static_cast<double>(v) * kSubpixel));
#endif
  return true;
}

// A float to int conversion that is defined for every input: NaN gives 0,
// out-of-range values clamp.
inline int32_t saturatingToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int32_t>(v);
}

// 8-bit channel from an interpolated value: round to nearest, clamp to 0..255.
inline uint32_t channelFromFloat(double v) {
  if (!(v > 0.0)) return 0;  // also NaN
  if (v >= 254.5) return 255;
  return static_cast<uint32_t>(v + 0.5);
}

// Target and texture checks; each logs what it refuses.
bool validColorTarget(const ColorTarget& t);
bool validDepthTarget(const DepthTarget& t);
bool validTexture(const Texture& t);

}  // namespace kv::raster
