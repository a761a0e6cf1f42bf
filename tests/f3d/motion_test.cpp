#include <cmath>
#include <limits>

#include "f3d_test.h"

namespace {

class MotionTest : public F3dTest {};

Key keyAt(uint32_t time, Vector position = {}, int32_t angle = 0) {
  return Key{time, position, {angle, angle, angle}, {1, 1, 1}};
}

// The weight each of four keys at `times` gets at time t: key i carries a
// marker in one component, so the result shows its weight.
std::vector<float> weights(std::array<uint32_t, 4> times, float t) {
  Key keys[4], out;
  for (int i = 0; i < 4; ++i)
    keys[i] = {times[i], {float(i == 0), float(i == 1), float(i == 2)}, {}, {float(i == 3), 0, 0}};
  kv3dInterpolateKey(&out, keys, t);
  return {out.position.x, out.position.y, out.position.z, out.scale.x};
}

TEST_F(MotionTest, SplineWeightsAndKeyChoice) {
  const std::array<uint32_t, 4> even = {0, 10, 20, 30};
  EXPECT_EQ(weights(even, 15.0f), (std::vector<float>{-0.0625f, 0.5625f, 0.5625f, -0.0625f}));
  EXPECT_EQ(weights(even, 10.0f), (std::vector<float>{0, 1, 0, 0}));  // exactly on key 1
  EXPECT_EQ(weights(even, 20.0f), (std::vector<float>{0, 0, 1, 0}));
  // Keys at 0, 10 and 40, t = 5: K0 = K1 = key 0 gives a = 1, and b = 10 / 40.
  EXPECT_EQ(weights({0, 0, 10, 40}, 5.0f),
            (std::vector<float>{-0.125f, 0.53125f, 0.625f, -0.03125f}));

  const Key track[3] = {keyAt(0, {1, 0, 0}), keyAt(10, {2, 0, 0}), keyAt(30, {5, 0, 0})};
  Key out;
  // Before the first key, past the last, and a single key at any time: the end holds.
  for (auto [count, t, x] : {std::tuple(3, -1.0f, 1.0f), {3, 31.5f, 5.0f}, {1, 17.0f, 1.0f}}) {
    kv3dTrackKey(&out, track, count, t);
    EXPECT_EQ(out.position.x, x) << t;
  }
  kv3dTrackKey(&out, track, 3, 20.0f);
  EXPECT_TRUE(out.position.x > 2.0f && out.position.x < 5.0f) << out.position.x;
  EXPECT_EQ(out.time, 20u);
  // Angles blend as plain numbers: 4000 to 100 turns back through 2050.
  const Key turn[2] = {keyAt(0, {}, 4000), keyAt(10, {}, 100)};
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

TEST_F(MotionTest, LoadsTracksConvertsDegreesAndPosesPivots) {
  Motion* m = kv3dLoadMOT(motionFile().save("walk.mot").c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(std::tuple(kv3dMotionHeader(m), kv3dMotionHeader(nullptr)), std::tuple(0x1234, -1));
  ASSERT_EQ(std::tuple(m->trackCount, m->tracks[0].keyCount), std::tuple(2, 2));
  const Key &k = m->tracks[0].keys[0], &k1 = m->tracks[0].keys[1];
  EXPECT_EQ(std::tuple(k.time, k.position, k.scale),
            std::tuple(0u, Vector{1, 2, 3}, Vector{2, 2, 2}));
  EXPECT_EQ(std::tuple(k.angles[0], k.angles[1], k.angles[2], k1.angles[0], k1.angles[1]),
            std::tuple(1024, 3982, -113, 4094, -1024));
  EXPECT_EQ(m->tracks[1].keys[0].angles[2], 512);

  Pivot pivots[3]{};
  pivots[0].pivotPoint = Vector{9, 9, 9};
  pivots[0].boundVertexCount = 12;
  pivots[0].parent = &pivots[1];
  pivots[2].position = Vector{-1, -1, -1};
  kv3dSetMotionFrame(pivots, 3, m, 0.0f);
  // X takes the key's pitch, Y its yaw, Z its roll.
  const Pivot& p0 = pivots[0];
  EXPECT_EQ(std::tuple(p0.position, p0.scale, p0.angles[0], p0.angles[1], p0.angles[2]),
            std::tuple(Vector{1, 2, 3}, Vector{2, 2, 2}, 3982, 1024, -113));
  EXPECT_EQ(std::tuple(pivots[1].position.x, pivots[1].angles[2]), std::tuple(7.0f, 512));
  EXPECT_EQ(pivots[2].position.x, -1.0f);  // no track: the pose stays

  kv3dSetMotionFrame(pivots, 3, nullptr, 0.0f);  // no motion: every pivot at rest
  for (const Pivot& p : pivots)
    EXPECT_EQ(std::tuple(p.position, p.angles[0], p.scale),
              std::tuple(Vector{}, 0, Vector{1, 1, 1}));
  EXPECT_EQ(std::tuple(p0.pivotPoint.x, p0.boundVertexCount, p0.parent),
            std::tuple(9.0f, 12, &pivots[1]));
  kv3dFreeMOT(m);
  kv3dFreeMOT(nullptr);
  EXPECT_TRUE(poolIsWhole());

  // An empty track leaves its pivot as it was.
  m = kv3dLoadMOT(
      FileBytes().i32(0).i32(2).i32(0).i32(1).key(0, {3, 3, 3}).save("empty.mot").c_str());
  ASSERT_NE(m, nullptr);
  pivots[0].position = Vector{8, 8, 8};
  kv3dSetMotionFrame(pivots, 2, m, 4.0f);
  EXPECT_EQ(std::tuple(pivots[0].position.x, pivots[1].position.x), std::tuple(8.0f, 3.0f));
  kv3dFreeMOT(m);
}

FileBytes cameraFile(bool carriers) {
  FileBytes b;
  b.i32(2).key(0, {0, 0, -100}).key(10, {0, 0, -200}, {90, 0, 0});
  carriers ? b.i32(1).key(0, {50, 0, 0}) : b.i32(-4);
  carriers ? b.i32(1).key(0, {100, 0, 0}).vec({0, 0, 100}) : b.i32(0);
  return b;
}

TEST_F(MotionTest, CameraPathsKeyTheEyeAndCarryItAndItsTarget) {
  CameraPath* path = kv3dLoadCAM(cameraFile(false).save("eye.cam").c_str());
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->keyCount[1], -4);  // kept as read
  EXPECT_EQ(
      std::tuple(path->keys[1], path->keys[2], path->targetOffset.z, path->keys[0][1].angles[0]),
      std::tuple(nullptr, nullptr, 0.0f, 1024));
  Camera c{};
  Matrix expected;
  kv3dSetCameraFrame(&c, path, 10.0f);
  EXPECT_EQ(std::tuple(c.eye.z, c.yaw), std::tuple(-200.0f, 1024));
  kv3dViewMatrix(&expected, 0, 0, 1024, &c.eye);
  EXPECT_EQ(std::memcmp(&c.viewMatrix, &expected, sizeof expected), 0);
  kv3dFreeCAM(path);
  kv3dFreeCAM(nullptr);

  kv3dSetCameraFrame(&c, nullptr, 3.0f);  // no path: the eye keeps its place, facing ahead
  EXPECT_EQ(c.yaw, 0);
  kv3dIdentityMatrix(&expected)->m[14] = -200.0f;
  EXPECT_EQ(std::memcmp(&c.viewMatrix, &expected, sizeof expected), 0);

  path = kv3dLoadCAM(cameraFile(true).save("full.cam").c_str());
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->targetOffset.z, 100.0f);
  kv3dSetCameraFrame(&c, path, 0.0f);
  EXPECT_EQ(c.eye, (Vector{50, 0, -100}));  // carried by track 1
  // It aims at the carried target (100, 0, 100), not at the origin: yaw is
  // atan(50 / 200) in 4096ths, truncated.
  EXPECT_EQ(std::tuple(c.target.x, c.target.z, c.yaw, c.pitch), std::tuple(100.0f, 100.0f, 159, 0));
  kv3dFreeCAM(path);
  EXPECT_TRUE(poolIsWhole());
}

TEST_F(MotionTest, RefusesMotionsAndCameraPathsTheFileCannotHold) {
  EXPECT_TRUE(refused(kv3dLoadMOT("missing.mot"), "kv3dLoadMOT: missing.mot 를 열수 없습니다.\n"));
  EXPECT_TRUE(refused(kv3dLoadCAM("missing.cam"), "kv3dLoadCAM: missing.cam 를 열수 없습니다.\n"));
  // Files cut short anywhere: in the header, a count, a key, the target offset.
  const FileBytes mot = motionFile(), cam = cameraFile(true);
  for (size_t cut : {size_t{4}, size_t{8}, size_t{50}, mot.bytes.size() - 1})
    EXPECT_TRUE(refused(kv3dLoadMOT(mot.save("cut.mot", cut).c_str()), "; refused (cut.mot)\n"));
  for (size_t cut : {size_t{0}, size_t{40}, cam.bytes.size() - 12, cam.bytes.size() - 1})
    EXPECT_TRUE(refused(kv3dLoadCAM(cam.save("cut.cam", cut).c_str()), "; refused (cut.cam)\n"));
  // Track and key counts the file cannot hold.
  for (FileBytes lying :
       {FileBytes().i32(0).i32(0x7FFFFFFF).i32(0), FileBytes().i32(0).i32(1).i32(-3)})
    EXPECT_TRUE(refused(kv3dLoadMOT(lying.save("lying.mot").c_str()), "; refused (lying.mot)\n"));

  // Sound counts that the pool cannot hold.
  useFreshPool(4);
  FileBytes many;
  many.i32(0).i32(1).i32(200);
  for (int i = 0; i < 200; ++i) many.key(i, {});
  EXPECT_TRUE(refused(kv3dLoadMOT(many.save("many.mot").c_str()),
                      "kv3dLoadMOT: Memory allocation error\n"));
}

// A track the spline cannot use (times that go back make it divide by zero;
// values that are not numbers pose the model with them) is refused with one
// line naming the file, the track and the key; in motions and camera paths alike.
TEST_F(MotionTest, RefusesKeysTheSplineCannotUse) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
  const struct {
    FileBytes keys;  // one track: its count and keys
    std::string reason;
  } cases[] = {
      {FileBytes().i32(3).key(0, {}).key(10, {}).key(0, {}), "key 2 at time 0 goes back before 10"},
      {FileBytes().i32(2).key(0, {}).key(4, {1, nan, 0}),
       "key 1 holds a value that is not a finite number"},
      {FileBytes().i32(1).key(0, {}, {inf, 0, 0}),
       "key 0 holds a value that is not a finite number"},
      {FileBytes().i32(1).key(0, {}, {}, {1, 1, -inf}),
       "key 0 holds a value that is not a finite number"},
  };
  for (const auto& [track, reason] : cases) {
    FileBytes mot, cam;
    mot.i32(0).i32(2).i32(0);  // the bad track second
    cam.i32(0).i32(0);         // and in the camera's target carrier
    for (FileBytes* file : {&mot, &cam})
      file->bytes.insert(file->bytes.end(), track.bytes.begin(), track.bytes.end());
    cam.vec({0, 0, 1});
    EXPECT_TRUE(refused(kv3dLoadMOT(mot.save("keys.mot").c_str()),
                        "kv3dLoadMOT: track 1 " + reason + "; refused (keys.mot)\n"));
    EXPECT_TRUE(refused(kv3dLoadCAM(cam.save("keys.cam").c_str()),
                        "kv3dLoadCAM: track 2 " + reason + "; refused (keys.cam)\n"));
  }
  FileBytes offset = FileBytes().i32(0).i32(0).i32(1).key(0, {});
  EXPECT_TRUE(refused(kv3dLoadCAM(offset.vec({0, nan, 0}).save("offset.cam").c_str()),
                      "kv3dLoadCAM: the target offset is not a finite number; refused"));

  // Repeated times are sound, and times compare unsigned as the key choice
  // compares them: -1 comes after 5.
  FileBytes repeat = FileBytes().i32(0).i32(1).i32(4).key(0, {0, 0, 0}).key(10, {1, 0, 0});
  repeat.key(10, {2, 0, 0}).key(-1, {3, 0, 0});
  Motion* m = kv3dLoadMOT(repeat.save("repeat.mot").c_str());
  ASSERT_NE(m, nullptr) << kv::headless::debugCapture();
  Pivot pivot{};
  kv3dSetMotionFrame(&pivot, 1, m, 10.0f);
  EXPECT_EQ(pivot.position.x, 2.0f);  // the last key at that time
  kv3dFreeMOT(m);
  EXPECT_TRUE(poolIsWhole());
}

// Sizes are measured in 64 bits: a motion of 4 GiB and 4 bytes is not taken
// for 4 bytes and refused as shorter than its header.
TEST_F(MotionTest, AFilePast4GiBIsMeasuredWhole) {
  const std::string path = FileBytes().i32(0).i32(1).i32(1).key(3, {7, 0, 0}).save("long.mot");
  std::filesystem::resize_file(path, (uint64_t{1} << 32) + 4);
  Motion* m = kv3dLoadMOT(path.c_str());
  std::filesystem::remove(path);
  ASSERT_NE(m, nullptr) << kv::headless::debugCapture();
  EXPECT_EQ(std::tuple(m->trackCount, m->tracks[0].keys[0].time), std::tuple(1, 3u));
  kv3dFreeMOT(m);
}

}  // namespace
