#include <cmath>

#include "draw_fixture.h"

namespace {

using kvtest::DrawTest;
using kvtest::recordedFans;

// A hand-made model: quads facing the viewer (-z), one material, no pivots
// unless a test adds them.
struct TestModel {
  std::vector<Vector> vertices, normals, faceNormals;
  std::vector<Face> faces;
  std::vector<uint8_t> faceColours;
  std::vector<Pivot> pivots;
  Material material{};
  Model model{};

  void quad(float x, float y, float z, float size) {
    const auto first = static_cast<uint16_t>(vertices.size());
    // Counter-clockwise as the viewer sees it.
    vertices.insert(vertices.end(),
                    {{x, y, z}, {x + size, y, z}, {x + size, y + size, z}, {x, y + size, z}});
    normals.insert(normals.end(), 4, Vector{0, 0, -1});
    Face f{};
    f.cornerCount = 4;
    for (int i = 0; i < 4; ++i) f.vertexIndex[i] = static_cast<uint16_t>(first + i);
    faces.push_back(f);
    faceNormals.push_back({0, 1, 0});
    faceColours.insert(faceColours.end(), {10, 20, 30, 0});
  }
  // One pivot at `position` binding the first four vertices.
  void pivot(Vector position) {
    Pivot q{};
    q.scale = {1, 1, 1};
    q.position = position;
    q.boundVertexCount = 4;
    pivots.push_back(q);
  }
  Model* finish(int32_t shading) {
    const auto faceCount = static_cast<int32_t>(faces.size());
    material = Material{nullptr, {0, 0, 0, 255}, KV_RF_COLOR, faceCount};
    model = Model{static_cast<int32_t>(vertices.size()),
                  vertices.data(),
                  faceCount,
                  faces.data(),
                  1,
                  &material,
                  static_cast<uint32_t>(pivots.size()),
                  pivots.empty() ? nullptr : pivots.data(),
                  shading,
                  normals.data(),
                  faceNormals.data(),
                  nullptr,
                  faceColours.data()};
    return &model;
  }
};

// The diffuse of a corner lit at full strength by the test's light.
constexpr uint32_t kFullyLit = 209u << 16 | 119u << 8 | 79u;

class RenderTest : public DrawTest {
 protected:
  void SetUp() override {
    DrawTest::SetUp();
    ASSERT_EQ(kv3dInitWorkBuffers(100), 1);
    light = kv3dCreateLight(1024, 0, 200, 100, 50, 10, 20, 30);  // straight overhead
    ASSERT_NE(light, nullptr);
    kv3dSetLight(light);
    kv3dIdentityMatrix(&identity);
  }
  LightTable* light = nullptr;
  Matrix identity;
};

TEST_F(RenderTest, FacesWhollyBeyondFarOrBeforeNearAreDropped) {
  kv3dSetFarZ(5000);
  TestModel t, partly;
  t.quad(-10, -10, 6000, 20);  // all beyond far
  t.quad(-10, -10, 5, 20);     // all before near
  t.quad(-10, -10, 500, 20);   // in view
  kv3dDrawModel(&identity, t.finish(KV_SHADING_NONE));
  EXPECT_EQ(recordedFans().size(), 1u);
  // One corner beyond far: drawn whole, with no far clipping.
  partly.quad(-10, -10, 4000, 20);
  partly.vertices[2].z = 7000;
  kv3dDrawModel(&identity, partly.finish(KV_SHADING_NONE));
  ASSERT_EQ(recordedFans().size(), 2u);
  EXPECT_EQ(recordedFans()[1].vertices.size(), 4u);
}

TEST_F(RenderTest, ModelsLargerThanTheWorkBuffersAreRefusedNotWrittenPast) {
  ASSERT_EQ(kv3dInitWorkBuffers(7), 1);  // two quads need 8 entries
  TestModel t;
  t.quad(-10, -10, 500, 20);
  t.quad(-10, 15, 500, 20);
  kv3dDrawModel(&identity, t.finish(KV_SHADING_GOURAUD));
  EXPECT_TRUE(recordedFans().empty());
  EXPECT_TRUE(kvtest::logged("the work buffers hold 7"));
  ASSERT_EQ(kv3dInitWorkBuffers(8), 1);
  kv3dDrawModel(&identity, &t.model);
  EXPECT_EQ(recordedFans().size(), 2u);
}

TEST_F(RenderTest, ShadingDecidesTheCornerColour) {
  TestModel t;
  t.quad(-10, -10, 500, 20);
  // A normal facing -z reads row 16, column 31 of the table; realtime flat
  // shading lights by the face normal, which points up.
  const int cell = 16 * 64 + 31;
  const std::pair<int32_t, uint32_t> cases[] = {
      {KV_SHADING_NONE, 0xFFFFFFFFu},
      {KV_SHADING_FACE_COLOURS, 0xFF0A141Eu},
      {KV_SHADING_GOURAUD,
       0xFF000000u | light->red[cell] << 16 | light->green[cell] << 8 | light->blue[cell]},
      {KV_SHADING_FLAT, 0xFF000000u | kFullyLit}};
  for (const auto& [shading, diffuse] : cases) {
    kvtest::recorder().draws.clear();
    kv3dDrawModel(&identity, t.finish(shading));
    ASSERT_EQ(recordedFans().size(), 1u) << shading;
    EXPECT_EQ(recordedFans()[0].vertices[0].diffuse, diffuse) << shading;
  }
  // Shadings beyond 9 (and below 0) are not drawn at all.
  kvtest::recorder().draws.clear();
  Placement p{};
  kv3dDrawModel(&identity, t.finish(12));
  kv3dDrawModelAt(&identity, t.finish(12), &p);
  kv3dDrawModel(&identity, t.finish(-1));
  EXPECT_TRUE(recordedFans().empty());
}

TEST_F(RenderTest, ZeroPlacementDrawsWhatTheWorldModelDraws) {
  TestModel t;
  t.quad(-30, -10, 700, 40);
  t.quad(10, 5, 300, 15);
  Placement zero{};
  for (int32_t shading : {KV_SHADING_NONE, KV_SHADING_GOURAUD, KV_SHADING_FACE_COLOURS}) {
    kvtest::recorder().draws.clear();
    kv3dDrawModel(&identity, t.finish(shading));
    kv3dDrawModelAt(&identity, t.finish(shading), &zero);
    const auto& fans = recordedFans();
    ASSERT_EQ(fans.size(), 4u);
    for (size_t i = 0; i < 2; ++i)
      EXPECT_EQ(0, std::memcmp(fans[i].vertices.data(), fans[i + 2].vertices.data(),
                               fans[i].vertices.size() * sizeof(kv3d::FanVertex)));
  }
}

TEST_F(RenderTest, ChildStoredBeforeItsParentGetsTheParentsMatrix) {
  TestModel t;
  t.quad(-10, -10, 0, 20);
  t.pivot({5, 0, 0});
  t.pivot({0, 0, 1000});
  t.pivots[1].boundVertexCount = 0;
  t.pivots[0].parent = &t.pivots[1];
  kv3dPosePivots(&identity, t.pivots.data(), 2, nullptr);
  EXPECT_FLOAT_EQ(t.pivots[0].viewMatrix.m[12], 5);
  EXPECT_FLOAT_EQ(t.pivots[0].viewMatrix.m[14], 1000);
  EXPECT_EQ(t.pivots[0].evaluated, 1);

  kv3dDrawModel(&identity, t.finish(KV_SHADING_PIVOTS + KV_SHADING_NONE));
  ASSERT_EQ(recordedFans().size(), 1u);
  EXPECT_FLOAT_EQ(recordedFans()[0].vertices[0].sx, (5 - 10) * 512 / 1000.0f + 320);
}

TEST_F(RenderTest, PivotLightingTurnsNormalsWithThePose) {
  TestModel t;
  t.quad(-10, -10, 0, 20);
  for (Vector& n : t.normals) n = {0, 1, 0};  // up: overhead light, full strength
  t.pivot({0, 0, 500});
  kv3dDrawModel(&identity, t.finish(KV_SHADING_PIVOTS + KV_SHADING_GOURAUD));
  t.pivots[0].angles[2] = 2048;  // half a turn about Z: the normals point down, in the dark
  kv3dDrawModel(&identity, t.finish(KV_SHADING_PIVOTS + KV_SHADING_GOURAUD));
  const auto& fans = recordedFans();
  ASSERT_EQ(fans.size(), 2u);
  EXPECT_EQ(fans[0].vertices[0].diffuse & 0xFFFFFF, kFullyLit);
  EXPECT_EQ(fans[1].vertices[0].diffuse & 0xFFFFFF, 10u << 16 | 20u << 8 | 30u);
}

TEST_F(RenderTest, ShadowsAreFlatTwoSidedAndOneColour) {
  TestModel t;
  t.quad(-10, -10, 0, 20);
  for (Vector& v : t.vertices) v = {v.x, 50, v.y};  // lying flat, 50 above the floor
  Matrix view;
  const Vector eye{0, 100, -500};
  kv3dViewMatrix(&view, 0, 0, 0, &eye);
  kv3dDrawShadow(&view, t.finish(KV_SHADING_NONE), 1024, 0, 1, 2, 3, 256 + 4, 0.0f);
  kv3dDrawShadow(&view, &t.model, 0, 0, 1, 2, 3, 4, 0.0f);  // a horizontal light: nothing
  const auto& fans = recordedFans();
  ASSERT_EQ(fans.size(), 1u);
  EXPECT_EQ(fans[0].flags, KV_RF_ZBUFFER | KV_RF_COLOR);
  EXPECT_EQ(fans[0].vertices[0].diffuse, 0x04010203u);
  // Light overhead: every corner drops straight onto y = 0, 100 below the eye.
  for (const auto& v : fans[0].vertices) EXPECT_NEAR(v.sy, 240 + 100 * 512 * v.sz, 1e-3);
}

}  // namespace
