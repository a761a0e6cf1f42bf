// Garbage in: nothing is written outside the target, nothing is read outside
// the texture (the Asan build checks the reads), and every call returns.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

#include "platform/host/headless/headless.h"
#include "tests/raster/canvas.h"

namespace kv::raster::testing {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class RobustnessTest : public ::testing::TestWithParam<Device> {
 protected:
  void SetUp() override { kv::headless::install(); }
  std::unique_ptr<Rasterizer> r = GetParam().make();
};

TEST_P(RobustnessTest, BadPositionsDrawNothingAndStayInside) {
  const uint16_t texels[4] = {0x1234, 0x5678, 0x9ABC, 0xDEF0};
  const Texture tex{texels, 4, 2, 2, TextureFormat::RGB565, nullptr};
  const Vertex fans[][3] = {
      {vtx(kNaN, 1, ~0u), vtx(10, 1, ~0u), vtx(5, 9, ~0u)},
      {vtx(1, 1, ~0u), vtx(kInf, 1, ~0u), vtx(5, 9, ~0u)},
      {vtx(1, 1, ~0u), vtx(10, -kInf, ~0u), vtx(5, 9, ~0u)},
      {vtx(1, 1, ~0u), vtx(1e9f, 1, ~0u), vtx(5, 9, ~0u)},
      {vtx(-1e9f, -1e9f, ~0u), vtx(1e9f, -1e9f, ~0u), vtx(0, 1e9f, ~0u)},
      {vtx(3, 3, ~0u), vtx(3, 3, ~0u), vtx(3, 3, ~0u)},    // a point
      {vtx(1, 1, ~0u), vtx(5, 5, ~0u), vtx(9, 9, ~0u)},    // collinear
      {vtx(1, 4, ~0u), vtx(9, 4, ~0u), vtx(12, 4, ~0u)},   // flat line on a row of centres
  };
  for (bool textured : {false, true}) {
    Canvas c(12, 10, ColorFormat::RGB565);
    auto color = c.color();
    auto depth = c.depth();
    State s;
    s.depthEnable = true;
    s.texture = textured ? &tex : nullptr;
    s.perspective = true;
    for (const auto& f : fans) r->drawFan(color, &depth, s, f, 3);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 12; ++x) ASSERT_EQ(c.pixel(x, y), 0u) << x << "," << y;
    EXPECT_TRUE(c.guardsIntact());
  }
}

// Fans whose every float is either a plausible value or arbitrary bits, under
// random states: the guards around the targets must survive (and, under Asan,
// no texel may be read from outside its texture).
TEST_P(RobustnessTest, RandomGarbageStaysInside) {
  std::mt19937 rng(11);
  auto anyFloat = [&](float plausible) {
    if (rng() % 3) return plausible;
    const uint32_t bits = static_cast<uint32_t>(rng());
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  };
  uint32_t palette[256] = {};
  const uint16_t texels[8 * 4] = {};
  const Texture textures[] = {{texels, 16, 8, 4, TextureFormat::ARGB1555, nullptr},
                              {texels, 8, 8, 4, TextureFormat::Palette8, palette}};
  for (ColorFormat format : {ColorFormat::RGB565, ColorFormat::XRGB8888}) {
    Canvas c(23, 19, format);
    auto color = c.color();
    auto depth = c.depth();
    for (int fan = 0; fan < 3000; ++fan) {
      Vertex f[6];
      for (Vertex& v : f) {
        v = {anyFloat(float(int(rng() % 60) - 20)), anyFloat(float(int(rng() % 60) - 20)),
             anyFloat(0.5f), anyFloat(1.0f / float(1 + rng() % 9)), static_cast<uint32_t>(rng()),
             anyFloat(float(rng() % 100) / 7), anyFloat(float(rng() % 100) / 7)};
      }
      State s;
      s.texture = rng() % 4 ? &textures[rng() % 2] : nullptr;
      s.perspective = rng() % 2;
      s.filter = rng() % 2 ? Filter::Bilinear : Filter::Nearest;
      s.colorKeyEnable = rng() % 2;
      s.blendEnable = rng() % 2;
      s.srcBlend = BlendFactor(rng() % 4);
      s.dstBlend = BlendFactor(rng() % 4);
      s.depthEnable = rng() % 2;
      s.depthCompare = DepthCompare(rng() % 5);
      s.dither = rng() % 2;
      r->drawFan(color, &depth, s, f, 3 + int(rng() % 4));
    }
    EXPECT_TRUE(c.guardsIntact());
  }
}

TEST_P(RobustnessTest, TrianglesReachingFarOffTheTargetAreClipped) {
  // Corners far beyond every side, but within the accepted range: the target
  // is covered once, and nothing beyond it is touched.
  Canvas c(33, 17);
  auto color = c.color();
  State s;
  s.blendEnable = true;
  s.srcBlend = s.dstBlend = BlendFactor::One;
  const Vertex f[4] = {vtx(-60000, -50000, 0x01), vtx(60000, -50000, 0x01),
                       vtx(60000, 50000, 0x01), vtx(-60000, 50000, 0x01)};
  r->drawFan(color, nullptr, s, f, 4);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 33; ++x) ASSERT_EQ(c.rgb(x, y), 1u) << x << "," << y;
  EXPECT_TRUE(c.guardsIntact());
}

TEST_P(RobustnessTest, WildTextureCoordinatesStayInsideTheTexture) {
  // A 1x1 texture and an 8x2 one, against coordinates that are huge, infinite,
  // NaN, or divided by a zero or negative rhw.
  const uint16_t one = 0xF800;
  const uint8_t indices[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  uint32_t palette[256] = {};
  palette[1] = 0xFF00FF00;
  const Texture tiny{&one, 2, 1, 1, TextureFormat::RGB565, nullptr};
  const Texture wide{indices, 8, 8, 2, TextureFormat::Palette8, palette};
  const float wild[] = {1e30f, -1e30f, kInf, -kInf, kNaN, 3e9f, -0.0f};
  for (const Texture* tex : {&tiny, &wide}) {
    for (Filter filter : {Filter::Nearest, Filter::Bilinear}) {
      for (bool perspective : {false, true}) {
        for (float w : wild) {
          Canvas c(8, 8);
          auto color = c.color();
          State s;
          s.texture = tex;
          s.filter = filter;
          s.perspective = perspective;
          s.colorOp = ColorOp::SelectTexture;
          const Vertex f[4] = {{0, 0, 0.5f, 1, ~0u, w, 0}, {8, 0, 0.5f, 0, ~0u, 1, w},
                               {8, 8, 0.5f, -1, ~0u, w, w}, {0, 8, 0.5f, 1, ~0u, 0, 1}};
          r->drawFan(color, nullptr, s, f, 4);
          // Whatever texel was chosen, it came from the texture.
          const uint32_t texel = tex == &tiny ? 0xFF0000u : 0x00FF00u;
          for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) ASSERT_EQ(c.rgb(x, y), texel);
          EXPECT_TRUE(c.guardsIntact());
        }
      }
    }
  }
}

TEST_P(RobustnessTest, RefusedDescriptionsAreLoggedAndNothingIsDrawnThroughThem) {
  Canvas c(8, 8);
  auto color = c.color();
  const Vertex f[3] = {vtx(0, 0, 0xFFFFFFFF), vtx(8, 0, 0xFFFFFFFF), vtx(0, 8, 0xFFFFFFFF)};
  State s;
  r->drawFan(color, nullptr, s, nullptr, 3);
  r->drawFan(color, nullptr, s, f, 2);
  r->drawFan(color, nullptr, s, f, -5);
  EXPECT_EQ(c.rgb(1, 1), 0u);

  ColorTarget narrowPitch = color;
  narrowPitch.pitch = 8;
  r->drawFan(narrowPitch, nullptr, s, f, 3);
  ColorTarget noPixels = color;
  noPixels.pixels = nullptr;
  r->drawFan(noPixels, nullptr, s, f, 3);
  r->clear(&noPixels, 0xFFFFFF, nullptr, 0, {0, 0, 8, 8});
  EXPECT_EQ(c.rgb(1, 1), 0u);
  EXPECT_NE(kv::headless::debugCapture().find("raster: colour target refused (width 8, height 8, pitch 8)\n"),
            std::string::npos);

  // A texture whose sides are not powers of two is refused; the fan is drawn untextured.
  const uint16_t texels[9] = {};
  const Texture odd{texels, 6, 3, 3, TextureFormat::RGB565, nullptr};
  s.texture = &odd;
  r->drawFan(color, nullptr, s, f, 3);
  EXPECT_EQ(c.rgb(1, 1), 0xFFFFFFu);
  EXPECT_NE(kv::headless::debugCapture().find("raster: texture refused (width 3, height 3, pitch 6)\n"),
            std::string::npos);

  // A depth target that cannot hold its rows: drawn without depth.
  DepthTarget depth = c.depth();
  depth.pitch = 4;
  s.texture = nullptr;
  s.depthEnable = true;
  r->drawFan(color, &depth, s, f, 3);
  EXPECT_TRUE(c.guardsIntact());
}

INSTANTIATE_TEST_SUITE_P(Devices, RobustnessTest, ::testing::ValuesIn(kDevices),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kv::raster::testing
