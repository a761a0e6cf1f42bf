// The data kvgen writes: it loads through the kit's own loaders, the faces
// are wound so the pipeline keeps the sides that face the viewer, and a
// second run writes the same bytes.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/draw/draw_fixture.h"

namespace {

namespace fs = std::filesystem;

class DemoData : public kvtest::DrawTest {
 protected:
  void SetUp() override {
    DrawTest::SetUp();
    previous_ = fs::current_path();
    fs::current_path(KV_DEMO_DATA);
    ASSERT_EQ(kv3dInitWorkBuffers(10000), 1);
    kv3dSetLight(kv3dCreateLight(512, 512, 125, 125, 125, 0, 0, 0));
  }
  void TearDown() override {
    for (int32_t group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
    fs::current_path(previous_);
    DrawTest::TearDown();
  }
  std::vector<kvtest::RecordingDevice::Draw>& draws() { return kvtest::recorder().draws; }
  fs::path previous_;
};

TEST_F(DemoData, ObjectsAndMotionsLoadWithTheirHierarchyAndTheFloorFacesUp) {
  Model* floor = kv3dLoadKVO("바닥.kvo");
  Model* can = kv3dLoadKVO("깡통.kvo");
  ASSERT_NE(floor, nullptr);
  ASSERT_NE(can, nullptr);
  EXPECT_EQ(floor->shading, KV_SHADING_CORNER_COLOURS);
  ASSERT_GE(floor->materialCount, 2);
  EXPECT_EQ(can->shading, KV_SHADING_PIVOTS + KV_SHADING_GOURAUD);
  ASSERT_EQ(can->pivotCount, 7u);
  for (const char* name : {"점프.mot", "꾸기기.mot", "춤자세.mot"}) {
    Motion* motion = kv3dLoadMOT(name);
    ASSERT_NE(motion, nullptr) << name;
    EXPECT_EQ(static_cast<uint32_t>(motion->trackCount), can->pivotCount);
  }
  EXPECT_EQ(kv::headless::debugCapture().find("refused"), std::string::npos);

  // The floor faces upward.
  Matrix view;
  const Vector above{0, 8000, 0}, below{0, -8000, 0};
  kv3dViewMatrix(&view, 0, 1024, 0, &above);  // looking straight down
  kv3dDrawModel(&view, floor);
  EXPECT_EQ(draws().size(), static_cast<size_t>(floor->faceCount));
  draws().clear();
  kv3dViewMatrix(&view, 0, 3072, 0, &below);  // looking straight up
  kv3dDrawModel(&view, floor);
  EXPECT_TRUE(draws().empty());
}

TEST_F(DemoData, TheCanShowsTheSideThatFacesTheViewer) {
  Model* can = kv3dLoadKVO("깡통.kvo");
  Motion* jump = kv3dLoadMOT("점프.mot");
  ASSERT_NE(can, nullptr);
  ASSERT_NE(jump, nullptr);
  const int32_t label = static_cast<int32_t>(can->materials[0].renderFlags);
  Placement at{};
  // From the front, then from behind: every corner of the label drawn lies
  // nearer to the eye than the can's axis (1500 away).
  for (int16_t yaw : {0, 2048}) {
    draws().clear();
    Matrix view;
    const float side = yaw == 0 ? -1.0f : 1.0f;
    const Vector eye{0, 170, 1500 * side};
    kv3dViewMatrix(&view, 0, 0, static_cast<Angle>(yaw), &eye);
    kv3dSetMotionFrame(can->pivots, can->pivotCount, jump, 0.0f);
    kv3dDrawModelAt(&view, can, &at);
    size_t corners = 0;
    for (const auto& fan : draws())
      if (fan.flags == label)
        for (const auto& v : fan.vertices) {
          ++corners;
          EXPECT_LE(1.0f / v.sz, 1500.5f) << "yaw " << yaw;
        }
    EXPECT_GT(corners, 0u);
  }
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(DemoDataFiles, KvgenWritesTheSameBytesEveryRun) {
  const fs::path dir = fs::temp_directory_path() / ("kvgen_test_" + std::to_string(::getpid()));
  const std::string command = std::string(KVGEN_PATH) + " '" + dir.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    ++files;
    EXPECT_EQ(slurp(entry.path()), slurp(fs::path(KV_DEMO_DATA) / entry.path().filename()))
        << entry.path().filename();
  }
  EXPECT_EQ(files, 11u);
  fs::remove_all(dir);
}

}  // namespace
