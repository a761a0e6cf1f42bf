#include <cmath>

#include "draw_fixture.h"

namespace {

using kvtest::DrawTest;
using kvtest::recordedFans;

// A hand-made model: quads facing the viewer (-z) at the given depths, one
// material, no pivots unless a test adds them.
struct TestModel {
  std::vector<Vector> vertices;
  std::vector<Face> faces;
  std::vector<Vector> normals;
  std::vector<Vector> faceNormals;
  std::vector<uint8_t> faceColours;
  Material material{};
  std::vector<Pivot> pivots;
  Model model{};

  void quad(float x, float y, float z, float size) {
    const uint16_t first = static_cast<uint16_t>(vertices.size());
    // Counter-clockwise as the viewer sees it, so the front faces -z.
    vertices.push_back({x, y, z});
    vertices.push_back({x + size, y, z});
    vertices.push_back({x + size, y + size, z});
    vertices.push_back({x, y + size, z});
    for (int i = 0; i < 4; ++i) normals.push_back({0, 0, -1});
    Face f{};
    f.cornerCount = 4;
    for (int i = 0; i < 4; ++i) f.vertexIndex[i] = static_cast<uint16_t>(first + i);
    faces.push_back(f);
    faceNormals.push_back({0, 1, 0});
    faceColours.insert(faceColours.end(), {10, 20, 30, 0});
  }

  Model* finish(int32_t shading) {
    material.colour[3] = 255;
    material.renderFlags = KV_RF_COLOR;
    material.faceCount = static_cast<int32_t>(faces.size());
    model.vertexCount = static_cast<int32_t>(vertices.size());
    model.vertices = vertices.data();
    model.faceCount = static_cast<int32_t>(faces.size());
    model.faces = faces.data();
    model.materialCount = 1;
    model.materials = &material;
    model.shading = shading;
    model.vertexNormals = normals.data();
    model.faceNormals = faceNormals.data();
    model.faceColours = faceColours.data();
    model.pivotCount = static_cast<uint32_t>(pivots.size());
    model.pivots = pivots.empty() ? nullptr : pivots.data();
    return &model;
  }
};

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
  TestModel t;
  t.quad(-10, -10, 6000, 20);  // all beyond far
  t.quad(-10, -10, 5, 20);     // all before near
  t.quad(-10, -10, 500, 20);   // in view
  kv3dDrawModel(&identity, t.finish(KV_SHADING_NONE));
  EXPECT_EQ(recordedFans().size(), 1u);

  // One corner beyond far: drawn whole, with no far clipping.
  TestModel partly;
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
  EXPECT_NE(kv::headless::debugCapture().find("the work buffers hold 7"), std::string::npos);
  ASSERT_EQ(kv3dInitWorkBuffers(8), 1);
  kv3dDrawModel(&identity, &t.model);
  EXPECT_EQ(recordedFans().size(), 2u);
}

TEST_F(RenderTest, ShadingDecidesTheCornerColour) {
  TestModel unshaded, precalculated, lit, flat;
  for (TestModel* t : {&unshaded, &precalculated, &lit, &flat}) t->quad(-10, -10, 500, 20);
  kv3dDrawModel(&identity, unshaded.finish(KV_SHADING_NONE));
  kv3dDrawModel(&identity, precalculated.finish(KV_SHADING_FACE_COLOURS));
  kv3dDrawModel(&identity, lit.finish(KV_SHADING_GOURAUD));
  // Realtime flat shading draws too, lit per face: the face normal points up.
  kv3dDrawModel(&identity, flat.finish(KV_SHADING_FLAT));
  const auto fans = recordedFans();
  ASSERT_EQ(fans.size(), 4u);
  EXPECT_EQ(fans[0].vertices[0].diffuse, 0xFFFFFFFFu);
  EXPECT_EQ(fans[1].vertices[0].diffuse, 0xFF0A141Eu);
  // A normal facing -z reads row 16, column 31 of the table.
  const int cell = 16 * 64 + 31;
  EXPECT_EQ(fans[2].vertices[0].diffuse, 0xFF000000u | light->red[cell] << 16 |
                                             light->green[cell] << 8 | light->blue[cell]);
  EXPECT_EQ(fans[3].vertices[0].diffuse, 0xFF000000u | 209u << 16 | 119u << 8 | 79u);

  // Shadings beyond 9 (and below 0) are not drawn at all.
  Placement p{};
  kv3dDrawModel(&identity, unshaded.finish(12));
  kv3dDrawModelAt(&identity, unshaded.finish(12), &p);
  kv3dDrawModel(&identity, unshaded.finish(-1));
  EXPECT_EQ(recordedFans().size(), 4u);
}

TEST_F(RenderTest, ZeroPlacementDrawsWhatTheWorldModelDraws) {
  TestModel t;
  t.quad(-30, -10, 700, 40);
  t.quad(10, 5, 300, 15);
  Placement zero{};
  for (int32_t shading : {KV_SHADING_NONE, KV_SHADING_GOURAUD, KV_SHADING_FACE_COLOURS}) {
    kvtest::recorder().draws.clear();
    kv3dDrawModel(&identity, t.finish(shading));
    const auto world = recordedFans();
    kvtest::recorder().draws.clear();
    kv3dDrawModelAt(&identity, t.finish(shading), &zero);
    const auto placed = recordedFans();
    ASSERT_EQ(world.size(), placed.size());
    for (size_t i = 0; i < world.size(); ++i)
      EXPECT_EQ(0, std::memcmp(world[i].vertices.data(), placed[i].vertices.data(),
                               world[i].vertices.size() * sizeof(kv3d::FanVertex)));
  }
}

TEST_F(RenderTest, ChildStoredBeforeItsParentGetsTheParentsMatrix) {
  TestModel t;
  t.quad(-10, -10, 0, 20);
  t.pivots.resize(2);
  for (Pivot& q : t.pivots) {
    q = Pivot{};
    q.scale = {1, 1, 1};
  }
  t.pivots[0].parent = &t.pivots[1];
  t.pivots[0].boundVertexCount = 4;
  t.pivots[0].position = {5, 0, 0};
  t.pivots[1].position = {0, 0, 1000};
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
  t.pivots.resize(1);
  t.pivots[0] = Pivot{};
  t.pivots[0].scale = {1, 1, 1};
  t.pivots[0].position = {0, 0, 500};
  t.pivots[0].boundVertexCount = 4;
  kv3dDrawModel(&identity, t.finish(KV_SHADING_PIVOTS + KV_SHADING_GOURAUD));
  t.pivots[0].angles[2] = 2048;  // half a turn about Z: the normals point down, in the dark
  kv3dDrawModel(&identity, t.finish(KV_SHADING_PIVOTS + KV_SHADING_GOURAUD));
  const auto fans = recordedFans();
  ASSERT_EQ(fans.size(), 2u);
  EXPECT_EQ(fans[0].vertices[0].diffuse & 0xFFFFFF, 209u << 16 | 119u << 8 | 79u);
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
  const auto fans = recordedFans();
  ASSERT_EQ(fans.size(), 1u);
  EXPECT_EQ(fans[0].flags, KV_RF_ZBUFFER | KV_RF_COLOR);
  EXPECT_EQ(fans[0].vertices[0].diffuse, 0x04010203u);
  // Light overhead: every corner drops straight onto y = 0, 100 below the eye.
  for (const auto& v : fans[0].vertices) EXPECT_NEAR(v.sy, 240 + 100 * 512 * v.sz, 1e-3);

  kv3dDrawShadow(&view, &t.model, 0, 0, 1, 2, 3, 4, 0.0f);  // a horizontal light
  EXPECT_EQ(recordedFans().size(), 1u);
}

}  // namespace
