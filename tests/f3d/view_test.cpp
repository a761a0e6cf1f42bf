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
  }
};

TEST_F(ViewTest, WorkBuffersAreReplacedNotLeaked) {
  ASSERT_EQ(kv3dInitWorkBuffers(10000), 1);
  Vector* vertices = kv3dWorkVertices;
  float* blue = kv3dWorkBlue;
  // The second set takes the place of the first, freed before allocating.
  ASSERT_EQ(kv3dInitWorkBuffers(10000), 1);
  EXPECT_EQ(kv3dWorkVertices, vertices);
  EXPECT_EQ(kv3dWorkBlue, blue);
}

TEST_F(ViewTest, WorkBuffersFailWhole) {
  // Leave exactly room for the vertex and red buffers of 1000 entries.
  void* rest = kvAlloc(kvPoolSize - 4 - (12000 + 4) - (4000 + 4));
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ(kv3dInitWorkBuffers(1000), 0);
  EXPECT_TRUE(!kv3dWorkVertices && !kv3dWorkRed && !kv3dWorkGreen && !kv3dWorkBlue);
  // What was obtained went back: the space is one block again.
  void* again = kvAlloc(12000 + 4 + 4000);
  EXPECT_NE(again, nullptr);
  kvFree(again);
  kvFree(rest);
  EXPECT_EQ(kv3dInitWorkBuffers(-3), 0);
  EXPECT_TRUE(poolIsWhole());
}

TEST_F(ViewTest, ViewRectClampsButKeepsItsCentre) {
  kvSetViewRect(0, 0, 641, 481);
  EXPECT_EQ(kvViewCenterX, 320.0f);
  EXPECT_EQ(kvViewCenterY, 240.0f);
  EXPECT_EQ(kvViewRight, 640.0f);
  EXPECT_EQ(kvViewBottom, 480.0f);
  kvSetViewRect(-100, -50, 640, 480);
  EXPECT_EQ(kvViewLeft, 0.0f);
  EXPECT_EQ(kvViewTop, 0.0f);
  EXPECT_EQ(kvViewCenterX, 220.0f);
  EXPECT_EQ(kvViewCenterY, 190.0f);
  EXPECT_EQ(kvViewRight, 540.0f);
  kvSetViewRect(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX);  // no overflow
  EXPECT_EQ(kvViewRight, 640.0f);
}

TEST_F(ViewTest, ProjectionOfPointsAndVectors) {
  Matrix identity;
  kv3dIdentityMatrix(&identity);
  int32_t sx, sy, size;
  const Vector a{100, 50, 1000}, b{-100, -50, 1000};
  kv3dProjectPoint(&identity, &a, 10, &sx, &sy, &size);
  EXPECT_EQ(sx, 371);
  EXPECT_EQ(sy, 214);
  kv3dProjectPoint(&identity, &b, 10, &sx, &sy, &size);
  EXPECT_EQ(sx, 268);
  EXPECT_EQ(sy, 265);
  Vector s;
  kv3dProjectVector(&s, &a);
  EXPECT_NEAR(s.x, 371.2f, 1e-3f);
  EXPECT_NEAR(s.y, 214.4f, 1e-3f);
  EXPECT_EQ(s.z, 1000.0f);
  kv3dProjectVector(&s, &b);
  EXPECT_NEAR(s.x, 268.8f, 1e-3f);
  EXPECT_NEAR(s.y, 265.6f, 1e-3f);

  const Vector far{0, 0, 512};
  kv3dProjectPoint(&identity, &far, 64, &sx, &sy, &size);
  EXPECT_EQ(size, 64);

  // A translation in the matrix is applied before projecting.
  Matrix moved = identity;
  moved.m[14] = 488.0f;
  const Vector near{0, 0, 24};
  kv3dProjectPoint(&moved, &near, 64, &sx, &sy, &size);
  EXPECT_EQ(sx, 320);
  EXPECT_EQ(size, 64);
}

TEST_F(ViewTest, NearPlaneAndSentinels) {
  Matrix identity;
  kv3dIdentityMatrix(&identity);
  kv3dSetNearZ(10.0f);
  int32_t sx, sy, size;
  const Vector on{0, 0, 10.0f}, behind{0, 0, std::nextafter(10.0f, 0.0f)}, lost{0, 0, NAN};
  kv3dProjectPoint(&identity, &on, 8, &sx, &sy, &size);
  EXPECT_EQ(size, 409);
  for (const Vector& p : {behind, lost}) {
    kv3dProjectPoint(&identity, &p, 8, &sx, &sy, &size);
    EXPECT_EQ(sx, -1000);
    EXPECT_EQ(sy, -1000);
    EXPECT_EQ(size, -1);
    Vector s;
    kv3dProjectVector(&s, &p);
    EXPECT_EQ(s.x, -1000.0f);
    EXPECT_EQ(s.z, -1.0f);
  }
  // A point just past a tiny near plane saturates instead of overflowing.
  kv3dSetNearZ(1e-30f);
  const Vector edge{1e30f, -1e30f, 1e-30f};
  kv3dProjectPoint(&identity, &edge, 1, &sx, &sy, &size);
  EXPECT_EQ(sx, INT32_MAX);
  EXPECT_EQ(sy, INT32_MAX);

  kv3dSetProjection(-5);
  EXPECT_EQ(kv3dProjDistance, 0.0f);
  kv3dSetNearZ(1.0f);
  const Vector any{300, -200, 50};
  kv3dProjectPoint(&identity, &any, 8, &sx, &sy, &size);
  EXPECT_EQ(sx, 320);
  EXPECT_EQ(sy, 240);
}

TEST_F(ViewTest, CameraOrbitAndLookAt) {
  Camera c{};
  c.distance = 2048;
  kv3dCameraOrbit(&c);
  EXPECT_NEAR(c.eye.x, 0, 1e-3f);
  EXPECT_NEAR(c.eye.y, 0, 1e-3f);
  EXPECT_EQ(c.eye.z, -2048.0f);
  // A quarter turn of yaw moves the eye to -x.
  c.yaw = 1024;
  kv3dCameraOrbitGoal(&c);
  EXPECT_NEAR(c.goal.x, -2048.0f, 1e-2f);
  EXPECT_EQ(c.eye.z, -2048.0f);  // the goal moved, the eye did not

  Camera look{};
  look.eye = Vector{0, 0, -100};
  look.roll = 77;
  kv3dCameraLookAt(&look);
  EXPECT_EQ(look.yaw, 0);
  EXPECT_EQ(look.pitch, 0);
  EXPECT_EQ(look.roll, 77);
  look.eye = Vector{0, 100, -100};
  kv3dCameraLookAt(&look);
  EXPECT_EQ(look.yaw, 0);
  EXPECT_EQ(look.pitch, 512);
}

TEST_F(ViewTest, CameraSpring) {
  Camera c{};
  c.eye = c.goal = Vector{5, 6, 7};
  kv3dCameraSmooth(&c);
  EXPECT_EQ(c.eye.x, 5.0f);
  EXPECT_EQ(c.velocity.y, 0.0f);

  c.velocity = Vector{8, 0, -16};
  kv3dCameraSmooth(&c);
  EXPECT_EQ(c.eye.x, 13.0f);
  EXPECT_EQ(c.eye.z, -9.0f);
  const float damping = 0.95624995f;
  EXPECT_FLOAT_EQ(c.velocity.x, 8 * damping - 8.0f / 1024);
  EXPECT_FLOAT_EQ(c.velocity.z, -16 * damping + 16.0f / 1024);
}

}  // namespace
