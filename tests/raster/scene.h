// Seeded random scenes for holding one device against another: textures of
// the four formats, and convex fans with the render states the kit sets.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "platform/raster/raster.h"

namespace kv::raster::testing {

struct TextureData {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> palette;
  Texture texture;
};

// Smooth gradients with a few flat blocks of the key colour (texel value 0):
// neighbouring texels differ by a few units, so a coordinate that rounds the
// other way moves a pixel by little, while the key shows as clean holes.
inline TextureData gradientTexture(std::mt19937& rng, TextureFormat format) {
  const int w = 8 << (rng() % 4), h = 8 << (rng() % 4);
  TextureData t;
  t.palette.assign(256, 0xFF000000u);
  for (uint32_t i = 1; i < 256; ++i) t.palette[i] |= (i << 16) | ((255 - i) << 8) | (i / 2);
  const int bytes = format == TextureFormat::Palette8 ? 1 : 2;
  t.bytes.resize(size_t(w) * h * bytes);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double fx = double(x) / w, fy = double(y) / h;
      const bool hole = ((x / 4) % 5 == 2) && ((y / 4) % 3 == 1);
      const uint32_t i = uint32_t(31 * fx), j = uint32_t(31 * fy);  // 5-bit ramps
      const uint32_t gradient[] = {1 + uint32_t(254 * fx), 0x8000 | (i << 10) | (j << 5) | 16,
                                   ((8 + j / 4) << 12) | ((i / 2) << 8) | ((j / 2) << 4) | 8,
                                   (i << 11) | (uint32_t(63 * fy) << 5) | (31 - i)};
      const uint32_t v = hole ? 0 : gradient[int(format)];
      std::memcpy(&t.bytes[(size_t(y) * w + x) * bytes], &v, bytes);
    }
  }
  t.texture = {t.bytes.data(), w * bytes, w, h, format, t.palette.data()};
  return t;
}

// `corners` corners around a centre, each at its own depth (1/z for z in
// 1..10) so that fans cut through each other; colours with an alpha of at
// least `minAlpha`, texture coordinates from `uvLow` over `uvSpan`.
struct FanCorners {
  int corners;
  float cx, cy, radius;
  uint32_t minAlpha = 0;
  float uvLow = -1, uvSpan = 3;
};

inline std::vector<Vertex> fanAround(std::mt19937& rng, const FanCorners& f) {
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  const float start = unit(rng) * 6.2832f;
  std::vector<Vertex> fan;
  for (int i = 0; i < f.corners; ++i) {
    const float a = start + 6.2832f * i / f.corners;
    const float z = 1.0f + unit(rng) * 9.0f;
    uint32_t argb = rng();
    if (f.minAlpha != 0) {
      const uint32_t alpha = f.minAlpha + argb % (256 - f.minAlpha);
      argb = alpha << 24 | (rng() & 0xFFFFFF);
    }
    fan.push_back({f.cx + f.radius * std::cos(a), f.cy + f.radius * std::sin(a), 1.0f / z, 1.0f / z,
                   argb, f.uvLow + unit(rng) * f.uvSpan, f.uvLow + unit(rng) * f.uvSpan});
  }
  return fan;
}

// A scene as the kit draws it: one gradient texture of each format, then
// fans of 3..7 corners with the states the kit sets (textured or not, either
// filter, the colour key, both blend modes or none, the depth test), dithered.
struct KitScene {
  struct Fan {
    std::vector<Vertex> corners;
    State state;  // without its texture
    int texture;  // index into textures, or -1
  };
  std::vector<TextureData> textures;
  std::vector<Fan> fans;

  State stateOf(const Fan& fan) const {
    State s = fan.state;
    s.texture = fan.texture >= 0 ? &textures[fan.texture].texture : nullptr;
    return s;
  }
};

inline KitScene kitScene(uint32_t seed, int width, int height, int fans = 60) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  KitScene scene;
  for (int f = 0; f < 4; ++f) scene.textures.push_back(gradientTexture(rng, TextureFormat(f)));
  for (int i = 0; i < fans; ++i) {
    KitScene::Fan fan;
    const int corners = 3 + rng() % 5;
    const float cx = unit(rng) * width, cy = unit(rng) * height;
    const float radius = 4 + unit(rng) * (float(width) * 3 / 8);
    fan.corners = fanAround(rng, {corners, cx, cy, radius, 64});
    const int texture = rng() % 4;
    State& s = fan.state;
    fan.texture = rng() % 5 ? texture : -1;
    s.perspective = rng() % 2;
    s.filter = rng() % 2 ? Filter::Bilinear : Filter::Nearest;
    s.colorKeyEnable = rng() % 3 == 0;
    s.alphaOp = rng() % 2 ? AlphaOp::Modulate : AlphaOp::SelectDiffuse;
    s.colorOp = rng() % 4 ? ColorOp::Modulate : ColorOp::SelectTexture;
    const uint32_t blend = rng() % 4;  // source alpha with its inverse, source alpha plus one, none
    s.blendEnable = blend < 2;
    if (blend == 1) s.dstBlend = BlendFactor::One;
    s.depthEnable = rng() % 4 != 0;
    s.dither = true;
    scene.fans.push_back(std::move(fan));
  }
  return scene;
}

}  // namespace kv::raster::testing
