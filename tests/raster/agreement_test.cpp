// The fast device held against the reference on seeded random scenes of
// textured, lit, blended, depth-tested fans.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/raster/compare.h"
#include "tests/raster/canvas.h"

namespace kv::raster::testing {
namespace {

struct TextureData {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> palette;
  Texture texture;
};

// Smooth gradients with a few flat blocks of the key colour: neighbouring
// texels differ by a few units, so a coordinate that rounds the other way
// moves a pixel by little, while the key shows as clean holes.
TextureData makeTexture(std::mt19937& rng, TextureFormat format) {
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

// A convex fan of 3..7 corners around a centre, corners at their own depths
// so that fans cut through each other.
std::vector<Vertex> makeFan(std::mt19937& rng, int width, int height) {
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  const int n = 3 + rng() % 5;
  const float cx = unit(rng) * width, cy = unit(rng) * height;
  const float radius = 4 + unit(rng) * 120;
  const float start = unit(rng) * 6.2832f;
  std::vector<Vertex> f;
  for (int i = 0; i < n; ++i) {
    const float a = start + 6.2832f * i / n;
    const float z = 1.0f + unit(rng) * 9.0f;
    const uint32_t argb = (uint32_t(64 + rng() % 192) << 24) | (rng() & 0xFFFFFF);
    f.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a), 1.0f / z, 1.0f / z, argb,
                 unit(rng) * 3 - 1, unit(rng) * 3 - 1});
  }
  return f;
}

State makeState(std::mt19937& rng, const Texture* texture) {
  State s;
  s.texture = rng() % 5 ? texture : nullptr;
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
  return s;
}

// A seeded scene of 60 fans over the four texture formats, drawn from scratch.
void render(Rasterizer& r, uint32_t seed, Canvas& c) {
  std::mt19937 rng(seed);
  std::vector<TextureData> textures;
  for (int f = 0; f < 4; ++f) textures.push_back(makeTexture(rng, TextureFormat(f)));
  auto color = c.color();
  auto depth = c.depth();
  r.clear(&color, 0x203040, &depth, 0.0f, {0, 0, c.width, c.height});
  for (int i = 0; i < 60; ++i) {
    const std::vector<Vertex> fan = makeFan(rng, c.width, c.height);
    const State s = makeState(rng, &textures[rng() % 4].texture);
    r.drawFan(color, &depth, s, fan.data(), int(fan.size()));
  }
}

// Colours may round differently by one unit; on an RGB565 target such a unit
// can cross to the next 5-bit level, a step of 8. Beyond that, the only
// pixels allowed to differ more are nearest-texel picks where a coordinate
// lies within single-precision rounding of a texel edge: a handful a frame.
TEST(AgreementTest, FastMatchesTheReferenceOnRandomScenes) {
  constexpr int W = 320, H = 240;
  auto reference = makeReference();
  auto fast = makeFast();
  for (ColorFormat format : {ColorFormat::RGB565, ColorFormat::XRGB8888}) {
    const int tolerance = format == ColorFormat::RGB565 ? 8 : 2;
    for (uint32_t seed = 1; seed <= 12; ++seed) {
      Canvas a(W, H, format), b(W, H, format);
      render(*reference, seed, a);
      render(*fast, seed, b);
      const FrameDifference d = compareTargets(a.color(), b.color(), tolerance);
      EXPECT_GE(d.identicalFraction(), 0.999) << "seed " << seed;
      EXPECT_LE(d.overTolerance, d.pixels / 10000)
          << "seed " << seed << " worst at " << d.worstX << "," << d.worstY << " by " << d.maxDelta;
      EXPECT_TRUE(b.guardsIntact());
    }
  }
}

TEST(AgreementTest, ComparisonCountsDifferences) {
  Canvas a(4, 2, ColorFormat::RGB565), b(4, 2, ColorFormat::RGB565);
  uint16_t* pb = reinterpret_cast<uint16_t*>(b.colorBuf.row(1));
  pb[2] = 0x0001;  // blue 0 -> 8: off by 8
  pb[3] = 0x0020;  // green 0 -> 4
  const FrameDifference d = compareTargets(a.color(), b.color(), 4);
  EXPECT_EQ(d.pixels, 8);
  EXPECT_EQ(d.identical, 6);
  EXPECT_EQ(d.overTolerance, 1);
  EXPECT_EQ(d.maxDelta, 8);
  EXPECT_EQ(d.worstX, 2);
  EXPECT_EQ(d.worstY, 1);
  Canvas other(4, 3, ColorFormat::RGB565);
  EXPECT_EQ(compareTargets(a.color(), other.color(), 4).pixels, 0);
}

}  // namespace
}  // namespace kv::raster::testing
