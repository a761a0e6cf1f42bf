#include <cmath>
#include <tuple>

#include "draw_fixture.h"

namespace {

using kvtest::DrawTest;
using kvtest::logged;
using kvtest::recordedFans;

// n corners round the view's centre, radius rx by ry, wound to face the
// viewer; odd corners at `inner` times the radius.
std::vector<ClipVertex> ring(int n, float rx, float ry, float inner = 1) {
  std::vector<ClipVertex> corners;
  for (int i = 0; i < n; ++i) {
    const float a = 2 * 3.14159265f * i / n, k = (i % 2) ? inner : 1;
    corners.push_back(
        DrawTest::onScreen(320 + k * rx * std::cos(a), 240 - k * ry * std::sin(a), 1000));
  }
  return corners;
}

TEST_F(DrawTest, CornerCountsOutsideTheLimitsAreRefused) {
  auto inside = ring(99, 100, 100), tooMany = ring(100, 100, 100);
  kv3dDrawPolygon(inside.data(), 99);
  ASSERT_EQ(recordedFans().size(), 1u);
  EXPECT_EQ(recordedFans()[0].vertices.size(), 99u);
  kv3dDrawPolygon(tooMany.data(), 100);
  kv3dDrawPolygon(inside.data(), 2);
  kv3dDrawPolygon(inside.data(), 0);
  EXPECT_EQ(recordedFans().size(), 1u);
  EXPECT_TRUE(logged("numverts>=MAX_POLY_VERTS\n"));

  // A 98-pointed star poking through the right edge: each point adds a
  // corner, so clipping would overflow; refused, not written.
  kvtest::recorder().draws.clear();
  kv::headless::clearDebugCapture();
  auto star = ring(98, 700, 210, 200.0f / 700);
  kv3dDrawPolygon(star.data(), 98);
  EXPECT_TRUE(recordedFans().empty());
  EXPECT_TRUE(logged("numverts>=MAX_POLY_VERTS\n"));
}

TEST_F(DrawTest, ProjectionAndSidePlanesFollowTheView) {
  // kx = 512 / 320 = 1.6: x = 300 at z = 1000 is inside the right plane,
  // x = 700 is outside it.
  ClipVertex inside[3] = {corner(300, 0, 1000), corner(250, -50, 1000), corner(250, 50, 1000)};
  ClipVertex outside[3] = {corner(700, 0, 1000), corner(750, -50, 1000), corner(750, 50, 1000)};
  ClipVertex across[3] = {corner(500, -50, 1000), corner(500, 50, 1000), corner(800, 0, 1000)};
  kv3dDoubleSided = 1;
  for (ClipVertex* tri : {inside, outside, across}) kv3dDrawPolygon(tri, 3);
  ASSERT_EQ(recordedFans().size(), 2u);
  ASSERT_EQ(recordedFans()[0].vertices.size(), 3u);
  // Projected: 320 + 250 * 0.512, 240 + 50 * 0.512, 1 / z.
  const auto v = recordedFans()[0].vertices[1];
  for (auto [got, want] :
       {std::pair(v.sx, 448.0f), {v.sy, 265.6f}, {v.sz, 0.001f}, {v.rhw, 0.001f}})
    EXPECT_FLOAT_EQ(got, want);
  EXPECT_EQ(recordedFans()[1].vertices.size(), 4u);  // clipped to the edge: a corner more
  for (const auto& v : recordedFans()[1].vertices) EXPECT_LE(v.sx, 640.001f);
}

TEST_F(DrawTest, NearClipPutsCornersOnThePlaneAndCarriesFlaggedAttributes) {
  const ClipVertex quad[4] = {corner(-10, 0, 5, 0, 0), corner(10, 0, 5, 256, 0),
                              corner(10, 0, 25, 256, 256), corner(-10, 0, 25, 0, 256)};
  ClipVertex out[MAX_POLY_VERTS];
  // Texture coordinates are interpolated only under KV_RF_TEXTURE; otherwise
  // a made corner keeps one of its ends' values.
  for (int32_t flags : {KV_RF_COLOR, KV_RF_TEXTURE}) {
    kvSetRenderFlags(flags);
    ASSERT_EQ(kv3dClipNear(quad, out, 4), 4);
    int onPlane = 0;
    for (int i = 0; i < 4; ++i) {
      EXPECT_GE(out[i].z, 10.0f);
      if (out[i].z == 10.0f) {
        ++onPlane;
        if (flags == KV_RF_TEXTURE)
          EXPECT_FLOAT_EQ(out[i].v, 64.0f);
        else
          EXPECT_TRUE(out[i].v == 0.0f || out[i].v == 256.0f) << out[i].v;
      }
    }
    EXPECT_EQ(onPlane, 2);
  }
  const ClipVertex behind[3] = {corner(0, 0, 1), corner(1, 0, 2), corner(0, 1, 3)};
  EXPECT_EQ(kv3dClipNear(behind, out, 3), 0);

  // A made corner's alpha follows the colour under KV_RF_COLOR alone.
  ClipVertex tri[3] = {corner(-10, 0, 0), corner(10, 0, 20), corner(0, 10, 20)};
  tri[0].alpha = 0;
  tri[1].alpha = tri[2].alpha = 200;
  kvSetRenderFlags(KV_RF_COLOR | KV_RF_ADDITIVE);
  ASSERT_EQ(kv3dClipNear(tri, out, 3), 4);
  for (int i = 0; i < 4; ++i)  // made corners only: the others keep 0 or 200
    EXPECT_FLOAT_EQ(out[i].z == 10.0f ? out[i].alpha : 100.0f, 100.0f) << i;

  // Every corner between near and near + 0.1: dropped whole.
  ClipVertex sliver[3] = {corner(0, 0, 10.05f), corner(1, 0, 10.02f), corner(0, 1, 10.08f)};
  kv3dDoubleSided = 1;
  kv3dDrawPolygon(sliver, 3);
  EXPECT_TRUE(recordedFans().empty());
}

TEST_F(DrawTest, BackFacesAndLinesAreCulledUnlessDoubleSided) {
  const ClipVertex a = onScreen(300, 200), b = onScreen(300, 210), c = onScreen(310, 200),
                   d = onScreen(305, 205), e = onScreen(310, 210);
  ClipVertex front[3] = {a, b, c}, back[3] = {a, c, b}, line[3] = {a, d, e};
  for (ClipVertex* tri : {front, back, line}) kv3dDrawPolygon(tri, 3);
  EXPECT_EQ(recordedFans().size(), 1u);
  kv3dDoubleSided = 1;
  kv3dDrawPolygon(back, 3);
  EXPECT_EQ(recordedFans().size(), 2u);
}

TEST_F(DrawTest, DiffuseAndTextureCoordinatesFollowTheFlags) {
  ClipVertex c{0, 0, 1, 0, 0, 255.0f, 128.5f, 0.0f, 64.0f, 0};
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
  EXPECT_EQ(std::tuple(fans[0].vertices[0].tu, fans[0].vertices[0].tv, fans[1].vertices[0].tu),
            std::tuple(0.5f, 1.0f, 0.0f));

  std::vector<ClipVertex> many(129, corner(0, 0, 10));
  EXPECT_LT(kvDrawFan(129, many.data()), 0);
  EXPECT_LT(kvDrawFanDepth(2, many.data()), 0);
  EXPECT_EQ(recordedFans().size(), 2u);
  EXPECT_TRUE(logged("kvDrawFan: cannot draw 129 corners\n"));
}

TEST_F(DrawTest, StoredTriangleAndRectangleMoveAndStayMoved) {
  const ClipVertex a = corner(10, 20, 2, 0, 0), b = corner(30, 20, 2, 64, 0),
                   c = corner(10, 40, 2, 0, 64);
  kvSetTriangle(&a, &b, &c);
  kvSetRenderFlags(KV_RF_TEXTURE);
  kvDrawTriangleAt(110, 20, 0, 0);
  kvDrawTriangleAt(110, 20, 0, 0);  // moving again to the same place changes nothing
  const ClipVertex r1 = corner(0, 0, 1, 0, 0), r2 = corner(50, 30, 4, 256, 128);
  kvSetRectangle(&r1, &r2);
  kvDrawRectangleAt(100, 100, 0, 0);
  const auto fans = recordedFans();
  ASSERT_EQ(fans.size(), 3u);
  for (int i = 0; i < 2; ++i) {
    const auto& t = fans[i].vertices;
    EXPECT_EQ(std::tuple(t[0].sx, t[1].sx, t[2].sy, t[1].tu, t[0].sz),
              std::tuple(110.0f, 130.0f, 40.0f, 0.25f, 0.5f));
  }
  const auto& q = fans[2].vertices;
  ASSERT_EQ(q.size(), 4u);
  EXPECT_EQ(std::tuple(q[1].sx, q[1].sy, q[1].sz, q[2].sz, q[3].sx, q[3].tv),
            std::tuple(150.0f, 100.0f, 1.0f, 0.25f, 100.0f, 0.5f));
}

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
  for (int trial = 0; trial < 2000; ++trial) {
    // A regular polygon on a random plane through a random centre.
    const int n = 3 + trial % 10;
    const float cx = random(-3000, 3000), cy = random(-3000, 3000), cz = random(-500, 3000);
    const float radius = random(10, 2500);
    const float u[3] = {random(-1, 1), random(-1, 1), random(-1, 1)};
    const float w[3] = {random(-1, 1), random(-1, 1), random(-1, 1)};
    std::vector<ClipVertex> polygon;
    for (int i = 0; i < n; ++i) {
      const float a = 2 * 3.14159265f * i / n;
      const float c = std::cos(a) * radius, s = std::sin(a) * radius;
      polygon.push_back(corner(cx + c * u[0] + s * w[0], cy + c * u[1] + s * w[1],
                               cz + c * u[2] + s * w[2], random(0, 256), random(0, 256)));
    }
    kv3dDrawPolygon(polygon.data(), n);
  }
  EXPECT_GT(recordedFans().size(), 100u);
  for (const auto& fan : recordedFans())
    for (const auto& v : fan.vertices) {
      EXPECT_TRUE(v.sx >= -0.5f && v.sx <= 640.5f && v.sy >= -0.5f && v.sy <= 480.5f)
          << v.sx << "," << v.sy;
      EXPECT_TRUE(v.sz > 0.0f && v.sz <= 0.1f) << v.sz;
    }
}

}  // namespace
