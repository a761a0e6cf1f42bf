#include <cmath>

#include "f3d_test.h"

namespace {

class ViewTest : public F3dTest {
 protected:
  void SetUp() override {
    F3dTest::SetUp();
    kvScreenWidth = 640;
    kvScreenHeight = 480;
    kvSetViewRect(0, 0, 640, 480);
    kv3dSetProjection(512);
    kv3dSetNearZ(1.0f);
    kv3dIdentityMatrix(&identity);
  }
  // Screen x, y and size of a point seen through `m`.
  static std::tuple<int32_t, int32_t, int32_t> project(const Matrix& m, Vector p,
                                                       int32_t size = 8) {
    int32_t sx, sy, s;
    kv3dProjectPoint(&m, &p, size, &sx, &sy, &s);
    return {sx, sy, s};
  }
  std::pair<int32_t, int32_t> at(Vector p, int32_t size = 8) const {
    const auto [sx, sy, s] = project(identity, p, size);
    return {sx, sy};
  }
  static Vector projected(Vector c) {
    Vector s;
    kv3dProjectVector(&s, &c);
    return s;
  }
  Matrix identity;
};

TEST_F(ViewTest, WorkBuffersAreReplacedNotLeakedAndFailWhole) {
  ASSERT_EQ(kv3dInitWorkBuffers(10000), 1);
  const auto first = std::tuple(kv3dWorkVertices, kv3dWorkBlue);
  // The second set takes the place of the first, freed before allocating.
  ASSERT_EQ(kv3dInitWorkBuffers(10000), 1);
  EXPECT_EQ(std::tuple(kv3dWorkVertices, kv3dWorkBlue), first);

  useFreshPool(4096);
  // Leave exactly room for the vertex and red buffers of 1000 entries.
  void* rest = kvAlloc(kvPoolSize - 4 - (12000 + 4) - (4000 + 4));
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ(kv3dInitWorkBuffers(1000), 0);
  EXPECT_TRUE(!kv3dWorkVertices && !kv3dWorkRed && !kv3dWorkGreen && !kv3dWorkBlue);
  kvFree(rest);
  EXPECT_TRUE(poolIsWhole());  // what was obtained went back
  EXPECT_EQ(kv3dInitWorkBuffers(-3), 0);
}

TEST_F(ViewTest, ViewRectClampsButKeepsItsCentre) {
  kvSetViewRect(0, 0, 641, 481);
  EXPECT_EQ(std::tuple(kvViewCenterX, kvViewCenterY, kvViewRight, kvViewBottom),
            std::tuple(320.0f, 240.0f, 640.0f, 480.0f));
  kvSetViewRect(-100, -50, 640, 480);
  EXPECT_EQ(std::tuple(kvViewLeft, kvViewTop, kvViewCenterX, kvViewCenterY, kvViewRight),
            std::tuple(0.0f, 0.0f, 220.0f, 190.0f, 540.0f));
  kvSetViewRect(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX);  // no overflow
  EXPECT_EQ(kvViewRight, 640.0f);
}

TEST_F(ViewTest, ProjectionOfPointsAndVectors) {
  EXPECT_EQ(at({100, 50, 1000}), std::pair(371, 214));
  EXPECT_EQ(at({-100, -50, 1000}), std::pair(268, 265));
  expectNear(projected({100, 50, 1000}), {371.2f, 214.4f, 1000}, 1e-3f);
  expectNear(projected({-100, -50, 1000}), {268.8f, 265.6f, 1000}, 1e-3f);
  EXPECT_EQ(std::get<2>(project(identity, {0, 0, 512}, 64)), 64);
  // A translation in the matrix is applied before projecting.
  Matrix moved = identity;
  moved.m[14] = 488.0f;
  EXPECT_EQ(project(moved, {0, 0, 24}, 64), std::tuple(320, 240, 64));
}

TEST_F(ViewTest, NearPlaneSentinelsAndSaturation) {
  kv3dSetNearZ(10.0f);
  EXPECT_EQ(std::get<2>(project(identity, {0, 0, 10})), 409);
  for (const Vector& p : {Vector{0, 0, std::nextafter(10.0f, 0.0f)}, Vector{0, 0, NAN}}) {
    EXPECT_EQ(project(identity, p), std::tuple(-1000, -1000, -1));
    const Vector s = projected(p);
    EXPECT_EQ(std::tuple(s.x, s.z), std::tuple(-1000.0f, -1.0f));
  }
  // A point just past a tiny near plane saturates instead of overflowing.
  kv3dSetNearZ(1e-30f);
  EXPECT_EQ(at({1e30f, -1e30f, 1e-30f}, 1), std::pair(INT32_MAX, INT32_MAX));
  kv3dSetProjection(-5);
  EXPECT_EQ(kv3dProjDistance, 0.0f);
  kv3dSetNearZ(1.0f);
  EXPECT_EQ(at({300, -200, 50}), std::pair(320, 240));
}

TEST_F(ViewTest, CameraOrbitLookAtAndSpring) {
  Camera c{.distance = 2048};
  EXPECT_EQ(kv3dCameraOrbit(&c)->eye, (Vector{0, 0, -2048}));
  // A quarter turn of yaw moves the goal to -x; the eye stays.
  c.yaw = 1024;
  EXPECT_NEAR(kv3dCameraOrbitGoal(&c)->goal.x, -2048.0f, 1e-2f);
  EXPECT_EQ(c.eye.z, -2048.0f);

  Camera look{.eye = {0, 0, -100}, .roll = 77};
  kv3dCameraLookAt(&look);
  EXPECT_EQ(std::tuple(look.yaw, look.pitch, look.roll), std::tuple(0, 0, 77));
  look.eye = Vector{0, 100, -100};
  kv3dCameraLookAt(&look);
  EXPECT_EQ(std::tuple(look.yaw, look.pitch), std::tuple(0, 512));

  Camera s{.eye = {5, 6, 7}, .goal = {5, 6, 7}};
  kv3dCameraSmooth(&s);
  EXPECT_EQ(std::tuple(s.eye.x, s.velocity.y), std::tuple(5.0f, 0.0f));
  s.velocity = Vector{8, 0, -16};
  EXPECT_EQ(kv3dCameraSmooth(&s)->eye, (Vector{13, 6, -9}));
  const float damping = 0.95624995f;
  EXPECT_FLOAT_EQ(s.velocity.x, 8 * damping - 8.0f / 1024);
  EXPECT_FLOAT_EQ(s.velocity.z, -16 * damping + 16.0f / 1024);
}

}  // namespace
