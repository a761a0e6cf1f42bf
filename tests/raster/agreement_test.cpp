// The fast device held against the reference on seeded random scenes of
// textured, lit, blended, depth-tested fans.
#include <gtest/gtest.h>

#include "platform/raster/compare.h"
#include "tests/raster/canvas.h"
#include "tests/raster/scene.h"

namespace kv::raster::testing {
namespace {

// A seeded kit scene drawn from scratch.
void render(Rasterizer& r, uint32_t seed, Canvas& c) {
  const KitScene scene = kitScene(seed, c.width, c.height);
  auto color = c.color();
  auto depth = c.depth();
  r.clear(&color, 0x203040, &depth, 0.0f, {0, 0, c.width, c.height});
  for (const KitScene::Fan& fan : scene.fans)
    r.drawFan(color, &depth, scene.stateOf(fan), fan.corners.data(), int(fan.corners.size()));
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
