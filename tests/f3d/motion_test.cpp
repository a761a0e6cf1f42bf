#include "f3d_test.h"

namespace {

class MotionTest : public F3dTest {};

Key keyAt(uint32_t time, Vector position = {}, Vector scale = {1, 1, 1}, int32_t angle = 0) {
  return Key{time, position, {angle, angle, angle}, scale};
}

// Key i carries a marker in one component, so the result shows each weight.
void weights(const Key keys[4], float t, float w[4]) {
  Key marked[4];
  for (int i = 0; i < 4; ++i) {
    marked[i] = keys[i];
    marked[i].position = Vector{i == 0 ? 1.0f : 0, i == 1 ? 1.0f : 0, i == 2 ? 1.0f : 0};
    marked[i].scale = Vector{i == 3 ? 1.0f : 0, 0, 0};
  }
  Key out;
  kv3dInterpolateKey(&out, marked, t);
  w[0] = out.position.x, w[1] = out.position.y, w[2] = out.position.z, w[3] = out.scale.x;
}

TEST_F(MotionTest, SplineHasCatmullRomWeightsOnEvenKeys) {
  const Key keys[4] = {keyAt(0), keyAt(10), keyAt(20), keyAt(30)};
  float w[4];
  weights(keys, 15.0f, w);
  EXPECT_FLOAT_EQ(w[0], -0.0625f);
  EXPECT_FLOAT_EQ(w[1], 0.5625f);
  EXPECT_FLOAT_EQ(w[2], 0.5625f);
  EXPECT_FLOAT_EQ(w[3], -0.0625f);
  weights(keys, 10.0f, w);  // exactly on key 1
  EXPECT_EQ(w[1], 1.0f);
  EXPECT_EQ(w[0] + w[2] + w[3], 0.0f);
  weights(keys, 20.0f, w);
  EXPECT_EQ(w[2], 1.0f);
}

TEST_F(MotionTest, SplineAllowsUnevenKeys) {
  // Keys at 0, 10 and 40, t = 5: K0 = K1 = key 0 gives a = 1, and b = 10 / 40.
  const Key keys[4] = {keyAt(0), keyAt(0), keyAt(10), keyAt(40)};
  float w[4];
  weights(keys, 5.0f, w);
  EXPECT_FLOAT_EQ(w[0], -0.125f);
  EXPECT_FLOAT_EQ(w[1], 0.53125f);
  EXPECT_FLOAT_EQ(w[2], 0.625f);
  EXPECT_FLOAT_EQ(w[3], -0.03125f);
}

TEST_F(MotionTest, TrackChoosesKeysAndHoldsItsEnds) {
  const Key track[3] = {keyAt(0, {1, 0, 0}), keyAt(10, {2, 0, 0}), keyAt(30, {5, 0, 0})};
  Key out;
  kv3dTrackKey(&out, track, 3, -1.0f);
  EXPECT_EQ(out.position.x, 1.0f);
  kv3dTrackKey(&out, track, 3, 31.5f);
  EXPECT_EQ(out.position.x, 5.0f);
  kv3dTrackKey(&out, track, 3, 20.0f);
  EXPECT_GT(out.position.x, 2.0f);
  EXPECT_LT(out.position.x, 5.0f);
  EXPECT_EQ(out.time, 20u);
  kv3dTrackKey(&out, track, 1, 17.0f);  // a single key at every time
  EXPECT_EQ(out.position.x, 1.0f);

  // Angles blend as plain numbers: 4000 to 100 turns back through 2050.
  const Key turn[2] = {keyAt(0, {}, {1, 1, 1}, 4000), keyAt(10, {}, {1, 1, 1}, 100)};
  kv3dTrackKey(&out, turn, 2, 5.0f);
  EXPECT_NEAR(out.angles[0], 2050, 1);
}

FileBytes motionFile() {
  FileBytes b;
  b.i32(0x1234).i32(2);
  b.i32(2).key(0, {1, 2, 3}, {90, 350, -10}, {2, 2, 2}).key(10, {4, 5, 6}, {359.9f, -90, 0});
  b.i32(1).key(5, {7, 8, 9}, {0, 0, 45});
  return b;
}

TEST_F(MotionTest, LoadsTracksAndConvertsDegrees) {
  Motion* m = kv3dLoadMOT(motionFile().save("walk.mot").c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(kv3dMotionHeader(m), 0x1234);
  EXPECT_EQ(kv3dMotionHeader(nullptr), -1);
  ASSERT_EQ(m->trackCount, 2);
  ASSERT_EQ(m->tracks[0].keyCount, 2);
  const Key& k = m->tracks[0].keys[0];
  EXPECT_EQ(k.time, 0u);
  EXPECT_EQ(k.position.z, 3.0f);
  EXPECT_EQ(k.angles[0], 1024);
  EXPECT_EQ(k.angles[1], 3982);
  EXPECT_EQ(k.angles[2], -113);
  EXPECT_EQ(k.scale.y, 2.0f);
  EXPECT_EQ(m->tracks[0].keys[1].angles[0], 4094);
  EXPECT_EQ(m->tracks[0].keys[1].angles[1], -1024);
  EXPECT_EQ(m->tracks[1].keys[0].angles[2], 512);
  kv3dFreeMOT(m);
  kv3dFreeMOT(nullptr);
  EXPECT_TRUE(poolIsWhole());
}

TEST_F(MotionTest, PosesPivotsAndLeavesTheRestAlone) {
  Motion* m = kv3dLoadMOT(motionFile().save("walk.mot").c_str());
  ASSERT_NE(m, nullptr);
  Pivot pivots[3]{};
  pivots[0].pivotPoint = Vector{9, 9, 9};
  pivots[0].boundVertexCount = 12;
  pivots[0].parent = &pivots[1];
  pivots[2].position = Vector{-1, -1, -1};
  kv3dSetMotionFrame(pivots, 3, m, 0.0f);
  EXPECT_EQ(pivots[0].position.y, 2.0f);
  EXPECT_EQ(pivots[0].angles[0], 3982);  // X takes the key's pitch
  EXPECT_EQ(pivots[0].angles[1], 1024);  // Y its yaw
  EXPECT_EQ(pivots[0].angles[2], -113);  // Z its roll
  EXPECT_EQ(pivots[0].scale.x, 2.0f);
  EXPECT_EQ(pivots[1].position.x, 7.0f);
  EXPECT_EQ(pivots[1].angles[2], 512);
  EXPECT_EQ(pivots[2].position.x, -1.0f);  // no track: the pose stays

  kv3dSetMotionFrame(pivots, 3, nullptr, 0.0f);
  for (const Pivot& p : pivots) {
    EXPECT_EQ(p.position.x, 0.0f);
    EXPECT_EQ(p.angles[0], 0);
    EXPECT_EQ(p.scale.z, 1.0f);
  }
  EXPECT_EQ(pivots[0].pivotPoint.x, 9.0f);
  EXPECT_EQ(pivots[0].boundVertexCount, 12);
  EXPECT_EQ(pivots[0].parent, &pivots[1]);
  kv3dFreeMOT(m);

  // An empty track leaves its pivot as it was.
  FileBytes empty;
  empty.i32(0).i32(2).i32(0).i32(1).key(0, {3, 3, 3}, {0, 0, 0});
  m = kv3dLoadMOT(empty.save("empty.mot").c_str());
  ASSERT_NE(m, nullptr);
  pivots[0].position = Vector{8, 8, 8};
  kv3dSetMotionFrame(pivots, 2, m, 4.0f);
  EXPECT_EQ(pivots[0].position.x, 8.0f);
  EXPECT_EQ(pivots[1].position.x, 3.0f);
  kv3dFreeMOT(m);
}

TEST_F(MotionTest, RefusesMotionsTheFileCannotHold) {
  EXPECT_EQ(kv3dLoadMOT("missing.mot"), nullptr);
  EXPECT_NE(log().find("kv3dLoadMOT: missing.mot 를 열수 없습니다.\n"), std::string::npos);

  const std::vector<uint8_t> whole = motionFile().bytes;
  for (size_t cut : {size_t{4}, size_t{8}, size_t{50}, whole.size() - 1}) {
    kv::headless::clearDebugCapture();
    EXPECT_EQ(kv3dLoadMOT(motionFile().save("cut.mot", cut).c_str()), nullptr) << cut;
    EXPECT_NE(log().find("; refused (cut.mot)\n"), std::string::npos) << cut;
    EXPECT_TRUE(poolIsWhole()) << cut;
  }
  for (FileBytes lying :
       {FileBytes().i32(0).i32(0x7FFFFFFF).i32(0), FileBytes().i32(0).i32(1).i32(-3)})
    EXPECT_EQ(kv3dLoadMOT(lying.save("lying.mot").c_str()), nullptr);
  EXPECT_TRUE(poolIsWhole());

  // Sound counts that the pool cannot hold.
  useFreshPool(4);
  FileBytes many;
  many.i32(0).i32(1).i32(200);
  for (int i = 0; i < 200; ++i) many.key(i, {}, {});
  EXPECT_EQ(kv3dLoadMOT(many.save("many.mot").c_str()), nullptr);
  EXPECT_NE(log().find("kv3dLoadMOT: Memory allocation error\n"), std::string::npos);
  EXPECT_TRUE(poolIsWhole());
}

FileBytes cameraFile(bool carrier, bool target) {
  FileBytes b;
  b.i32(2).key(0, {0, 0, -100}, {0, 0, 0}).key(10, {0, 0, -200}, {90, 0, 0});
  if (carrier)
    b.i32(1).key(0, {50, 0, 0}, {0, 0, 0});
  else
    b.i32(-4);
  if (target)
    b.i32(1).key(0, {100, 0, 0}, {0, 0, 0}).vec(0, 0, 100);
  else
    b.i32(0);
  return b;
}

TEST_F(MotionTest, CameraPathWithoutCarriersIsAKeyedEye) {
  CameraPath* path = kv3dLoadCAM(cameraFile(false, false).save("eye.cam").c_str());
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->keyCount[1], -4);  // kept as read
  EXPECT_EQ(path->keys[1], nullptr);
  EXPECT_EQ(path->keys[2], nullptr);
  EXPECT_EQ(path->targetOffset.z, 0.0f);
  EXPECT_EQ(path->keys[0][1].angles[0], 1024);

  Camera c{};
  kv3dSetCameraFrame(&c, path, 10.0f);
  EXPECT_EQ(c.eye.z, -200.0f);
  EXPECT_EQ(c.yaw, 1024);
  Matrix expected;
  kv3dViewMatrix(&expected, 0, 0, 1024, &c.eye);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(c.viewMatrix.m[i], expected.m[i]) << i;
  kv3dFreeCAM(path);
  kv3dFreeCAM(nullptr);
  EXPECT_TRUE(poolIsWhole());

  kv3dSetCameraFrame(&c, nullptr, 3.0f);
  EXPECT_EQ(c.yaw, 0);
  Matrix moved;
  kv3dIdentityMatrix(&moved);
  moved.m[14] = -200.0f;
  for (int i = 0; i < 16; ++i) EXPECT_EQ(c.viewMatrix.m[i], moved.m[i]) << i;
}

TEST_F(MotionTest, CameraPathCarriesTheEyeAndAimsAtItsTarget) {
  CameraPath* path = kv3dLoadCAM(cameraFile(true, true).save("full.cam").c_str());
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->targetOffset.z, 100.0f);
  Camera c{};
  kv3dSetCameraFrame(&c, path, 0.0f);
  EXPECT_EQ(c.eye.x, 50.0f);  // carried by track 1
  EXPECT_EQ(c.eye.z, -100.0f);
  // The camera aims at the carried target (100, 0, 100), not at the origin.
  EXPECT_EQ(c.target.x, 100.0f);
  EXPECT_EQ(c.target.z, 100.0f);
  EXPECT_EQ(c.yaw, 159);  // atan(50 / 200) in 4096ths, truncated
  EXPECT_EQ(c.pitch, 0);
  kv3dFreeCAM(path);
  EXPECT_TRUE(poolIsWhole());
}

TEST_F(MotionTest, RefusesCameraPathsTheFileCannotHold) {
  EXPECT_EQ(kv3dLoadCAM("missing.cam"), nullptr);
  EXPECT_NE(log().find("kv3dLoadCAM: missing.cam 를 열수 없습니다.\n"), std::string::npos);
  const std::vector<uint8_t> whole = cameraFile(true, true).bytes;
  for (size_t cut : {size_t{0}, size_t{40}, whole.size() - 12, whole.size() - 1}) {
    kv::headless::clearDebugCapture();
    EXPECT_EQ(kv3dLoadCAM(cameraFile(true, true).save("cut.cam", cut).c_str()), nullptr) << cut;
    EXPECT_NE(log().find("; refused (cut.cam)\n"), std::string::npos) << cut;
    EXPECT_TRUE(poolIsWhole()) << cut;
  }
}

}  // namespace
