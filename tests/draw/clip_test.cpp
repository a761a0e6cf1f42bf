#include <cmath>

#include "draw_fixture.h"

namespace {

using kvtest::DrawTest;
using kvtest::recordedFans;

// A regular polygon of n corners around the view's centre, wound to face the
// viewer.
std::vector<ClipVertex> regularPolygon(int n, float radius, float z) {
  std::vector<ClipVertex> corners;
  for (int i = 0; i < n; ++i) {
    const float a = 2 * 3.14159265f * i / n;
    corners.push_back(DrawTest::onScreen(320 + radius * std::cos(a), 240 - radius * std::sin(a), z));
  }
  return corners;
}

TEST_F(DrawTest, CornerLimitIsNinetyNine) {
  auto inside = regularPolygon(99, 100, 1000);
  kv3dDrawPolygon(inside.data(), 99);
  ASSERT_EQ(recordedFans().size(), 1u);
  EXPECT_EQ(recordedFans()[0].vertices.size(), 99u);

  auto tooMany = regularPolygon(100, 100, 1000);
  kv3dDrawPolygon(tooMany.data(), 100);
  EXPECT_EQ(recordedFans().size(), 1u);
  EXPECT_NE(kv::headless::debugCapture().find("numverts>=MAX_POLY_VERTS\n"), std::string::npos);
}

TEST_F(DrawTest, ClippingThatWouldOverflowIsRefusedNotWritten) {
  // A 98-corner star whose points poke through the right edge: each point
  // adds a corner, which only a non-convex polygon can do.
  std::vector<ClipVertex> star;
  for (int i = 0; i < 98; ++i) {
    const float a = 2 * 3.14159265f * i / 98;
    const float r = (i % 2) ? 200 : 700;
    star.push_back(onScreen(320 + r * std::cos(a), 240 - r * 0.3f * std::sin(a), 1000));
  }
  kv3dDrawPolygon(star.data(), 98);
  EXPECT_TRUE(recordedFans().empty());
  EXPECT_NE(kv::headless::debugCapture().find("numverts>=MAX_POLY_VERTS\n"), std::string::npos);
}

TEST_F(DrawTest, FewerThanThreeCornersDrawNothing) {
  ClipVertex two[2] = {corner(0, 0, 100), corner(10, 0, 100)};
  kv3dDrawPolygon(two, 2);
  kv3dDrawPolygon(two, 0);
  EXPECT_TRUE(recordedFans().empty());
}

TEST_F(DrawTest, SidePlanesFollowProjectionAndView) {
  // kx = 512 / 320 = 1.6: x = 300 at z = 1000 is inside the right plane,
  // x = 700 is outside it.
  ClipVertex inside[3] = {corner(300, 0, 1000), corner(250, -50, 1000), corner(250, 50, 1000)};
  kv3dDoubleSided = 1;
  kv3dDrawPolygon(inside, 3);
  ASSERT_EQ(recordedFans().size(), 1u);
  EXPECT_EQ(recordedFans()[0].vertices.size(), 3u);

  ClipVertex outside[3] = {corner(700, 0, 1000), corner(750, -50, 1000), corner(750, 50, 1000)};
  kv3dDrawPolygon(outside, 3);
  EXPECT_EQ(recordedFans().size(), 1u);

  // Straddling the right edge: clipped to it, one corner more.
  ClipVertex across[3] = {corner(500, -50, 1000), corner(500, 50, 1000), corner(800, 0, 1000)};
  kv3dDrawPolygon(across, 3);
  ASSERT_EQ(recordedFans().size(), 2u);
  const auto fan = recordedFans()[1].vertices;
  EXPECT_EQ(fan.size(), 4u);
  for (const auto& v : fan) EXPECT_LE(v.sx, 640.001f);
}

TEST_F(DrawTest, NearPlaneHasAMargin) {
  // Every corner between near and near + 0.1: dropped whole.
  ClipVertex sliver[3] = {corner(0, 0, 10.05f), corner(1, 0, 10.02f), corner(0, 1, 10.08f)};
  kv3dDoubleSided = 1;
  kv3dDrawPolygon(sliver, 3);
  EXPECT_TRUE(recordedFans().empty());
}

TEST_F(DrawTest, NearClipPutsCornersOnThePlaneAndCarriesFlaggedAttributes) {
  const ClipVertex quad[4] = {corner(-10, 0, 5, 0, 0), corner(10, 0, 5, 256, 0),
                              corner(10, 0, 25, 256, 256), corner(-10, 0, 25, 0, 256)};
  ClipVertex out[MAX_POLY_VERTS];
  kvSetRenderFlags(KV_RF_COLOR);
  ASSERT_EQ(kv3dClipNear(quad, out, 4), 4);
  int onPlane = 0;
  for (int i = 0; i < 4; ++i) {
    EXPECT_GE(out[i].z, 10.0f);
    if (out[i].z == 10.0f) {  // a new corner
      ++onPlane;
      EXPECT_TRUE(out[i].v == 0.0f || out[i].v == 256.0f)
          << "texture coordinates are not interpolated without KV_RF_TEXTURE";
    }
  }
  EXPECT_EQ(onPlane, 2);

  kvSetRenderFlags(KV_RF_TEXTURE);
  ASSERT_EQ(kv3dClipNear(quad, out, 4), 4);
  for (int i = 0; i < 4; ++i) {
    if (out[i].z == 10.0f) {
      EXPECT_FLOAT_EQ(out[i].v, 64.0f);
    }
  }

  const ClipVertex behind[3] = {corner(0, 0, 1), corner(1, 0, 2), corner(0, 1, 3)};
  EXPECT_EQ(kv3dClipNear(behind, out, 3), 0);
}

TEST_F(DrawTest, ClippedCornerAlphaFollowsTheColour) {
  ClipVertex a = corner(-10, 0, 0), b = corner(10, 0, 20), c = corner(0, 10, 20);
  a.alpha = 0;
  b.alpha = c.alpha = 200;
  const ClipVertex tri[3] = {a, b, c};
  ClipVertex out[MAX_POLY_VERTS];
  kvSetRenderFlags(KV_RF_COLOR | KV_RF_ADDITIVE);
  const int32_t n = kv3dClipNear(tri, out, 3);
  ASSERT_EQ(n, 4);
  for (int i = 0; i < n; ++i) {
    if (out[i].z == 10.0f) {
      EXPECT_FLOAT_EQ(out[i].alpha, 100.0f);
    }
  }
}

TEST_F(DrawTest, BackFacesAreCulledUnlessDoubleSided) {
  ClipVertex front[3] = {onScreen(300, 200), onScreen(300, 210), onScreen(310, 200)};
  kv3dDrawPolygon(front, 3);
  EXPECT_EQ(recordedFans().size(), 1u);

  ClipVertex back[3] = {onScreen(300, 200), onScreen(310, 200), onScreen(300, 210)};
  kv3dDrawPolygon(back, 3);
  EXPECT_EQ(recordedFans().size(), 1u);
  ClipVertex line[3] = {onScreen(300, 200), onScreen(305, 205), onScreen(310, 210)};
  kv3dDrawPolygon(line, 3);
  EXPECT_EQ(recordedFans().size(), 1u);

  kv3dDoubleSided = 1;
  ClipVertex back2[3] = {onScreen(300, 200), onScreen(310, 200), onScreen(300, 210)};
  kv3dDrawPolygon(back2, 3);
  EXPECT_EQ(recordedFans().size(), 2u);
}

TEST_F(DrawTest, ProjectionAndDepthOfSubmittedCorners) {
  ClipVertex tri[3] = {corner(100, 50, 1000), corner(100, -50, 1000), corner(200, 50, 1000)};
  kv3dDoubleSided = 1;
  kv3dDrawPolygon(tri, 3);
  ASSERT_EQ(recordedFans().size(), 1u);
  const auto v = recordedFans()[0].vertices[0];
  EXPECT_FLOAT_EQ(v.sx, 371.2f);
  EXPECT_FLOAT_EQ(v.sy, 214.4f);
  EXPECT_FLOAT_EQ(v.sz, 0.001f);
  EXPECT_FLOAT_EQ(v.rhw, 0.001f);
}

TEST_F(DrawTest, DiffuseAndTextureCoordinatesFollowTheFlags) {
  ClipVertex c = corner(0, 0, 1);
  c.r = 255.0f;
  c.g = 128.5f;
  c.b = 0.0f;
  c.alpha = 64.0f;
  EXPECT_EQ(kv3d::cornerDiffuse(c, KV_RF_COLOR), 0x40FF8000u);
  EXPECT_EQ(kv3d::cornerDiffuse(c, KV_RF_ALPHA), 0x40FFFFFFu);
  EXPECT_EQ(kv3d::cornerDiffuse(c, 0), 0xFFFFFFFFu);
  c.alpha = 256.0f + 7.0f;  // only the low byte counts
  EXPECT_EQ(kv3d::cornerDiffuse(c, KV_RF_COLOR) >> 24, 7u);
  c.r = NAN;  // garbage never reaches undefined conversions
  EXPECT_EQ((kv3d::cornerDiffuse(c, KV_RF_COLOR) >> 16) & 0xFF, 0u);

  ClipVertex fan[3] = {corner(0, 0, 10, 128, 256), corner(1, 0, 10), corner(0, 1, 10)};
  kvSetRenderFlags(KV_RF_TEXTURE);
  kvDrawFan(3, fan);
  kvSetRenderFlags(0);
  kvDrawFan(3, fan);
  const auto fans = recordedFans();
  ASSERT_EQ(fans.size(), 2u);
  EXPECT_FLOAT_EQ(fans[0].vertices[0].tu, 0.5f);
  EXPECT_FLOAT_EQ(fans[0].vertices[0].tv, 1.0f);
  EXPECT_EQ(fans[1].vertices[0].tu, 0.0f);
}

TEST_F(DrawTest, FanSizesTheSubmissionCannotHoldAreRefused) {
  std::vector<ClipVertex> many(129, corner(0, 0, 10));
  EXPECT_LT(kvDrawFan(129, many.data()), 0);
  EXPECT_LT(kvDrawFanDepth(2, many.data()), 0);
  EXPECT_TRUE(recordedFans().empty());
  EXPECT_NE(kv::headless::debugCapture().find("kvDrawFan: cannot draw 129 corners\n"),
            std::string::npos);
}

TEST_F(DrawTest, StoredTriangleAndRectangleMoveAndStayMoved) {
  const ClipVertex a = corner(10, 20, 2, 0, 0), b = corner(30, 20, 2, 64, 0),
                   c = corner(10, 40, 2, 0, 64);
  kvSetTriangle(&a, &b, &c);
  kvSetRenderFlags(KV_RF_TEXTURE);
  kvDrawTriangleAt(110, 20, 0, 0);
  kvDrawTriangleAt(110, 20, 0, 0);
  auto fans = recordedFans();
  ASSERT_EQ(fans.size(), 2u);
  for (const auto& fan : fans) {
    EXPECT_FLOAT_EQ(fan.vertices[0].sx, 110);
    EXPECT_FLOAT_EQ(fan.vertices[1].sx, 130);
    EXPECT_FLOAT_EQ(fan.vertices[2].sy, 40);
    EXPECT_FLOAT_EQ(fan.vertices[1].tu, 0.25f);
    EXPECT_FLOAT_EQ(fan.vertices[0].sz, 0.5f);
  }

  const ClipVertex r1 = corner(0, 0, 1, 0, 0), r2 = corner(50, 30, 4, 256, 128);
  kvSetRectangle(&r1, &r2);
  kvDrawRectangleAt(100, 100, 0, 0);
  fans = recordedFans();
  ASSERT_EQ(fans.size(), 3u);
  const auto& q = fans[2].vertices;
  ASSERT_EQ(q.size(), 4u);
  EXPECT_FLOAT_EQ(q[1].sx, 150);
  EXPECT_FLOAT_EQ(q[1].sy, 100);
  EXPECT_FLOAT_EQ(q[1].sz, 1.0f);
  EXPECT_FLOAT_EQ(q[2].sz, 0.25f);
  EXPECT_FLOAT_EQ(q[3].sx, 100);
  EXPECT_FLOAT_EQ(q[3].tv, 0.5f);
}

}  // namespace

namespace {

// Random convex polygons anywhere around the viewer: whatever survives the
// clippers lands inside the view and in front of the near plane.
TEST_F(DrawTest, ClippedPolygonsStayInsideTheView) {
  uint32_t seed = 12345;
  auto random = [&seed](float lo, float hi) {
    seed = seed * 1664525u + 1013904223u;
    return lo + (hi - lo) * static_cast<float>(seed >> 8) / static_cast<float>(1 << 24);
  };
  kv3dDoubleSided = 1;
  kvSetRenderFlags(KV_RF_COLOR | KV_RF_TEXTURE);
  size_t drawn = 0;
  for (int trial = 0; trial < 2000; ++trial) {
    // A regular polygon on a random plane through a random centre.
    const int n = 3 + trial % 10;
    const float cx = random(-3000, 3000), cy = random(-3000, 3000), cz = random(-500, 3000);
    const float radius = random(10, 2500);
    const float ux = random(-1, 1), uy = random(-1, 1), uz = random(-1, 1);
    const float vx = random(-1, 1), vy = random(-1, 1), vz = random(-1, 1);
    std::vector<ClipVertex> polygon;
    for (int i = 0; i < n; ++i) {
      const float a = 2 * 3.14159265f * i / n;
      const float c = std::cos(a) * radius, s = std::sin(a) * radius;
      polygon.push_back(corner(cx + c * ux + s * vx, cy + c * uy + s * vy, cz + c * uz + s * vz,
                               random(0, 256), random(0, 256)));
    }
    kv3dDrawPolygon(polygon.data(), n);
  }
  for (const auto& fan : recordedFans()) {
    ++drawn;
    for (const auto& v : fan.vertices) {
      EXPECT_GE(v.sx, -0.5f);
      EXPECT_LE(v.sx, 640.5f);
      EXPECT_GE(v.sy, -0.5f);
      EXPECT_LE(v.sy, 480.5f);
      EXPECT_GT(v.sz, 0.0f);
      EXPECT_LE(v.sz, 1.0f / 10.0f);
    }
  }
  EXPECT_GT(drawn, 100u);
}

}  // namespace
