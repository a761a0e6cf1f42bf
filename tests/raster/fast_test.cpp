// The fast device's pictures do not depend on how it is run: the same scene
// gives the same bytes on one thread or many, and on every instruction set
// the machine offers.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/raster/fast/spans.h"
#include "tests/raster/canvas.h"
#include "tests/raster/scene.h"

namespace kv::raster::testing {
namespace {

// Noise texels, so that any texel picked differently shows.
TextureData noiseTexture(std::mt19937& rng, TextureFormat format, bool tightPitch) {
  const int w = 4 << (rng() % 5), h = 4 << (rng() % 5);
  const int bytes = format == TextureFormat::Palette8 ? 1 : 2;
  const int pitch = tightPitch ? w * bytes : w * bytes + 6;  // a pitch off the power of two
  TextureData t;
  t.palette.resize(256);
  for (uint32_t& p : t.palette) p = rng();
  t.bytes.resize(size_t(pitch) * h);
  for (uint8_t& b : t.bytes) b = uint8_t(rng());
  t.texture = {t.bytes.data(), pitch, w, h, format, t.palette.data()};
  return t;
}

State randomState(std::mt19937& rng, const Texture* texture) {
  State s;
  s.texture = rng() % 6 ? texture : nullptr;
  s.perspective = rng() % 2;
  s.filter = rng() % 2 ? Filter::Bilinear : Filter::Nearest;
  s.colorKeyEnable = rng() % 4 == 0;
  s.colorKey = rng() & 0xFF;
  s.colorOp = static_cast<ColorOp>(rng() % 3);
  s.alphaOp = static_cast<AlphaOp>(rng() % 3);
  s.blendEnable = rng() % 3 == 0;
  s.srcBlend = static_cast<BlendFactor>(rng() % 4);
  s.dstBlend = static_cast<BlendFactor>(rng() % 4);
  s.depthEnable = rng() % 5 != 0;
  s.depthWrite = rng() % 4 != 0;
  s.depthCompare = rng() % 3 ? DepthCompare::GreaterEqual : static_cast<DepthCompare>(rng() % 5);
  s.dither = rng() % 4 != 0;
  s.shadeMode = rng() % 5 ? ShadeMode::Gouraud : ShadeMode::Flat;
  return s;
}

// A fan of 3..8 corners, large or small; a third of them centred on a corner
// of the tile grid the device bins into, so that they straddle tile edges.
std::vector<Vertex> randomFan(std::mt19937& rng, int width, int height) {
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  const int n = 3 + rng() % 6;
  float cx = unit(rng) * width, cy = unit(rng) * height;
  if (rng() % 3 == 0) {
    cx = float(64 * (rng() % 6)) + unit(rng) - 0.5f;
    cy = float(32 * (rng() % 8)) + unit(rng) - 0.5f;
  }
  const float radius = rng() % 3 ? 2 + unit(rng) * 20 : 20 + unit(rng) * 200;
  return fanAround(rng, {n, cx, cy, radius, 0, -2, 4});
}

// A seeded scene: fans with changing textures and states, enough of them
// that a threaded device hands batches over mid-scene; halfway the targets
// are read as a lock would read them (the device draws what is pending
// first) and a texture is rewritten before the rest is drawn. Palettes
// change without that: the fans drawn before keep the old colours.
void drawScene(Rasterizer& r, uint32_t seed, Canvas& c, std::vector<uint8_t>* midScene = nullptr) {
  std::mt19937 rng(seed);
  std::vector<TextureData> textures;
  for (int f = 0; f < 8; ++f) textures.push_back(noiseTexture(rng, TextureFormat(f % 4), f < 4));
  auto color = c.color();
  auto depth = c.depth();
  // A depth buffer cleared alone first, as a scene without a colour clear
  // starts: the threaded device lays its bands out for it.
  r.clear(nullptr, 0, &depth, 0.5f, {0, 0, c.width, c.height});
  r.clear(&color, 0x203040, &depth, 0.0f, {0, 0, c.width, c.height});
  constexpr int kFans = 400;
  for (int i = 0; i < kFans; ++i) {
    if (i == kFans / 2) {
      r.finish();
      if (midScene) *midScene = c.colorBuf.bytes;
      for (uint8_t& b : textures[rng() % 8].bytes) b = uint8_t(b * 7 + 1);
    }
    if (i % 50 == 25) {
      for (uint32_t& p : textures[(rng() % 2) * 4].palette) p = p * 5 + 3;
    }
    if (i % 70 == 35) {  // clears between fans, of part of the target or all of it
      const int x = int(rng() % c.width) - 8, y = int(rng() % c.height) - 8;
      const Rect rect = i == 315 ? Rect{0, 0, c.width, c.height}
                                 : Rect{x, y, x + int(rng() % 90), y + int(rng() % 90)};
      const bool withColor = i != 105, withDepth = !withColor || rng() % 2;
      r.clear(withColor ? &color : nullptr, uint32_t(rng()), withDepth ? &depth : nullptr,
              0.01f * float(rng() % 100), rect);
    }
    const std::vector<Vertex> fan = randomFan(rng, c.width, c.height);
    const State s = randomState(rng, &textures[rng() % 8].texture);
    r.drawFan(color, rng() % 8 ? &depth : nullptr, s, fan.data(), int(fan.size()));
  }
  r.finish();
}

struct Picture {
  std::vector<uint8_t> color, depth, midScene;
  bool operator==(const Picture&) const = default;
};

Picture render(Rasterizer& r, uint32_t seed, int w, int h, ColorFormat format) {
  Canvas c(w, h, format);
  Picture p;
  drawScene(r, seed, c, &p.midScene);
  EXPECT_TRUE(c.guardsIntact());
  p.color = c.colorBuf.bytes;
  p.depth = c.depthBuf.bytes;
  return p;
}

TEST(FastDeviceTest, PicturesDoNotDependOnTheThreadCount) {
  const struct { int w, h; } sizes[] = {{320, 240}, {131, 67}, {5, 40}};
  for (const auto& size : sizes) {
    for (ColorFormat format : {ColorFormat::RGB565, ColorFormat::XRGB8888}) {
      for (uint32_t seed = 1; seed <= 4; ++seed) {
        auto single = makeFast(1);
        const Picture expected = render(*single, seed, size.w, size.h, format);
        for (int threads : {2, 3, 7}) {
          auto fast = makeFast(threads);
          EXPECT_TRUE(render(*fast, seed, size.w, size.h, format) == expected)
              << size.w << "x" << size.h << " seed " << seed << " on " << threads << " threads";
        }
      }
    }
  }
}

TEST(FastDeviceTest, PendingFansAreDrawnBeforeAClearAndOnFinish) {
  auto fast = makeFast(2);
  Canvas c(100, 50);
  auto color = c.color();
  const Vertex fan[4] = {vtx(0, 0, 0xFFFF0000), vtx(100, 0, 0xFFFF0000), vtx(100, 50, 0xFFFF0000),
                         vtx(0, 50, 0xFFFF0000)};
  fast->drawFan(color, nullptr, State{}, fan, 4);
  fast->clear(&color, 0x0000FF, nullptr, 0, {0, 0, 50, 50});  // the fan first, then the clear
  fast->drawFan(color, nullptr, State{}, fan, 3);             // the upper right half
  fast->finish();
  EXPECT_EQ(c.rgb(10, 40), 0x0000FFu);
  EXPECT_EQ(c.rgb(40, 10), 0xFF0000u);
  EXPECT_EQ(c.rgb(90, 40), 0xFF0000u);
}

// A fan is drawn with the texture and palette it came with, however the
// caller changes them afterwards without reading the targets: the device
// layer fills one texture description anew for every draw, and a palette
// can change while fans that use it are pending.
TEST(FastDeviceTest, FansKeepTheTextureAndPaletteTheyCameWith) {
  for (int threads : {1, 3}) {
    uint8_t texels[2] = {7, 9};
    std::vector<uint32_t> palette(256, 0xFFFF0000);
    palette[9] = 0xFF00FF00;
    Texture texture{&texels[0], 1, 1, 1, TextureFormat::Palette8, palette.data()};
    State s;
    s.texture = &texture;
    s.colorOp = ColorOp::SelectTexture;
    auto fast = makeFast(threads);
    Canvas c(90, 40);
    auto color = c.color();
    auto square = [&](float x) {
      const Vertex fan[4] = {vtx(x, 0), vtx(x + 30, 0), vtx(x + 30, 40), vtx(x, 40)};
      fast->drawFan(color, nullptr, s, fan, 4);
    };
    square(0);
    palette[7] = 0xFF0000FF;
    square(30);
    texture.texels = &texels[1];  // the same description, another texture
    square(60);
    fast->finish();
    EXPECT_EQ(c.rgb(15, 20), 0xFF0000u) << threads << " threads";
    EXPECT_EQ(c.rgb(45, 20), 0x0000FFu) << threads << " threads";
    EXPECT_EQ(c.rgb(75, 20), 0x00FF00u) << threads << " threads";
  }
}

TEST(FastDeviceTest, PicturesDoNotDependOnTheInstructionSet) {
  std::vector<int64_t> targets;
  for (int64_t t = hwy::SupportedTargets(); t != 0; t &= t - 1) targets.push_back(t & -t);
  ASSERT_FALSE(targets.empty());
  const int64_t best = targets.front();  // the lowest bit is the best target
  std::set<std::string> ran;  // a target the loops were not built for falls back to another
  for (ColorFormat format : {ColorFormat::RGB565, ColorFormat::XRGB8888}) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
      hwy::SetSupportedTargetsForTest(best);
      auto fast = makeFast(1);
      const Picture expected = render(*fast, seed, 200, 150, format);
      for (int64_t target : targets) {
        hwy::SetSupportedTargetsForTest(target);
        ran.insert(fast::spanTargetName());
        EXPECT_TRUE(render(*fast, seed, 200, 150, format) == expected)
            << fast::spanTargetName() << " seed " << seed;
      }
    }
  }
  hwy::SetSupportedTargetsForTest(0);
  // Every machine has its best target and the plain one.
  EXPECT_GE(ran.size(), targets.size() > 1 ? 2u : 1u);
  std::string names;
  for (const std::string& n : ran) names += n + " ";
  std::printf("instruction sets compared: %s\n", names.c_str());
}

// Slivers a few pixels wide and many rows tall, as the cans' sides are: the
// demo's loops shade such rows two at a time. Some end at the right edge,
// where rows cannot be paired, and some are a column or less wide.
std::vector<Vertex> sliver(std::mt19937& rng, int width, int height) {
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  const float x = rng() % 4 == 0 ? float(width) - unit(rng) * 10 : unit(rng) * float(width - 12);
  const float y = unit(rng) * float(height - 40), w = unit(rng) * 12, h = 8 + unit(rng) * 30;
  std::vector<Vertex> fan;
  for (const auto& [dx, dy] : {std::pair{0.0f, 0.0f}, {w, 0.3f * h}, {0.4f * w, h}}) {
    const float z = 1.0f + unit(rng) * 9.0f;
    fan.push_back({x + dx, y + dy, 1.0f / z, 1.0f / z, uint32_t(rng()), unit(rng) * 4 - 2,
                   unit(rng) * 4 - 2});
  }
  return fan;
}

// The demo's own loops (dithered 565, texel x diffuse, no key) must shade
// exactly as the general ones do. A colour key that no texel matches sends
// the same fans through the general loops, so the two pictures must agree
// byte for byte, wraps at every texture edge included.
TEST(FastDeviceTest, TheDemosLoopsShadeLikeTheGeneralOnes) {
  std::mt19937 rng(11);
  for (TextureFormat format : {TextureFormat::ARGB1555, TextureFormat::RGB565,
                               TextureFormat::ARGB4444, TextureFormat::Palette8}) {
    const TextureData t = noiseTexture(rng, format, true);
    const uint32_t mask = colorKeyMask(format);
    std::set<uint32_t> used;
    const int bytes = format == TextureFormat::Palette8 ? 1 : 2;
    for (size_t i = 0; i + bytes <= t.bytes.size(); i += bytes) {
      uint32_t v = 0;
      std::memcpy(&v, &t.bytes[i], bytes);
      used.insert(v & mask);
    }
    uint32_t absent = 0;
    while (used.contains(absent & mask)) ++absent;
    ASSERT_LE(absent, mask);
    std::vector<std::vector<Vertex>> fans;
    for (int i = 0; i < 24; ++i)
      fans.push_back(fanAround(rng, {3 + int(rng() % 5), float(rng() % 160), float(rng() % 120),
                                     10.0f + float(rng() % 90), 0, -3, 7}));
    for (int i = 0; i < 48; ++i) fans.push_back(sliver(rng, 160, 120));
    auto draw = [&](bool keyed, Filter filter) {
      Canvas c(160, 120, ColorFormat::RGB565);
      auto fast = makeFast(1);
      auto color = c.color();
      auto depth = c.depth();
      fast->clear(&color, 0x203040, &depth, 0.0f, {0, 0, c.width, c.height});
      for (size_t i = 0; i < fans.size(); ++i) {
        const State s{.texture = &t.texture,
                      .perspective = i % 2 == 0,
                      .filter = filter,
                      .colorKeyEnable = keyed,
                      .colorKey = absent,
                      .depthEnable = true,
                      .dither = true};
        fast->drawFan(color, &depth, s, fans[i].data(), int(fans[i].size()));
      }
      fast->finish();
      return c.colorBuf.bytes;
    };
    // On every instruction set: each pairs rows as short as its half step.
    for (int64_t targets = hwy::SupportedTargets(); targets != 0; targets &= targets - 1) {
      hwy::SetSupportedTargetsForTest(targets & -targets);
      for (Filter filter : {Filter::Nearest, Filter::Bilinear}) {
        EXPECT_TRUE(draw(false, filter) == draw(true, filter))
            << "format " << int(format) << " filter " << int(filter) << " on "
            << fast::spanTargetName();
      }
    }
    hwy::SetSupportedTargetsForTest(0);
  }
}

}  // namespace
}  // namespace kv::raster::testing
