// The data kvgen writes: it loads through the kit's own loaders, the faces
// are wound so the pipeline keeps the sides that face the viewer, and a
// second run writes the same bytes.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "tests/draw/draw_fixture.h"
#include "tests/test_files.h"

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
  fs::path previous_;
};

TEST_F(DemoData, ObjectsAndMotionsLoadAndShowTheSidesThatFaceTheViewer) {
  Model* floor = kv3dLoadKVO("바닥.kvo");
  Model* can = kv3dLoadKVO("깡통.kvo");
  ASSERT_TRUE(floor && can);
  EXPECT_EQ(floor->shading, KV_SHADING_CORNER_COLOURS);
  ASSERT_GE(floor->materialCount, 2);
  EXPECT_EQ(can->shading, KV_SHADING_PIVOTS + KV_SHADING_GOURAUD);
  ASSERT_EQ(can->pivotCount, 7u);
  Motion* motions[3] = {kv3dLoadMOT("점프.mot"), kv3dLoadMOT("꾸기기.mot"),
                        kv3dLoadMOT("춤자세.mot")};
  for (Motion* motion : motions) {
    ASSERT_NE(motion, nullptr);
    EXPECT_EQ(uint32_t(motion->trackCount), can->pivotCount);
  }
  EXPECT_EQ(kv::headless::debugCapture().find("refused"), std::string::npos);

  // The floor is drawn whole from straight above and not at all from straight below.
  auto& draws = kvtest::recorder().draws;
  Matrix view;
  const Vector above{0, 8000, 0}, below{0, -8000, 0};
  kv3dDrawModel(kv3dViewMatrix(&view, 0, 1024, 0, &above), floor);
  EXPECT_EQ(draws.size(), size_t(floor->faceCount));
  draws.clear();
  kv3dDrawModel(kv3dViewMatrix(&view, 0, 3072, 0, &below), floor);
  EXPECT_TRUE(draws.empty());

  // From the front, then from behind: every corner of the can's label drawn
  // lies nearer to the eye than the can's axis (1500 away).
  const int32_t label = int32_t(can->materials[0].renderFlags);
  const Placement at{};
  for (int16_t yaw : {0, 2048}) {
    draws.clear();
    const Vector eye{0, 170, yaw == 0 ? -1500.0f : 1500.0f};
    kv3dViewMatrix(&view, 0, 0, Angle(yaw), &eye);
    kv3dSetMotionFrame(can->pivots, can->pivotCount, motions[0], 0.0f);
    kv3dDrawModelAt(&view, can, &at);
    size_t corners = 0;
    for (const auto& fan : draws)
      for (const auto& v : fan.vertices) {
        corners += fan.flags == label;
        if (fan.flags == label) EXPECT_LE(1.0f / v.sz, 1500.5f) << "yaw " << yaw;
      }
    EXPECT_GT(corners, 0u);
  }
}

// FNV-1a: a change detector, not a seal.
uint64_t digest(const std::string& bytes) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::string hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// kvgen's arithmetic is exact (no C library trigonometry), so its files are
// held byte for byte to digests stored beside this test, one a file: a change
// names the file that moved. After a deliberate change to the data, look at
// the demo, then rewrite the digests with
//   KV_UPDATE_DIGESTS=1 ./build/tests/demo/test_demo --gtest_filter='DemoDataFiles.*'
TEST(DemoDataFiles, KvgenWritesTheStoredBytesEveryRun) {
  const fs::path dir = fs::temp_directory_path() / ("kvgen_test_" + std::to_string(::getpid()));
  ASSERT_EQ(std::system((std::string(KVGEN_PATH) + " '" + dir.string() + "'").c_str()), 0);
  std::map<std::string, std::string> written;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string bytes = kvtest::readFile(entry.path());
    written[entry.path().filename().string()] = hex(digest(bytes));
    EXPECT_EQ(bytes, kvtest::readFile(fs::path(KV_DEMO_DATA) / entry.path().filename()))
        << entry.path().filename() << " differs from the build's copy";
  }
  fs::remove_all(dir);
  EXPECT_EQ(written.size(), 11u);

  const fs::path file = fs::path(KV_TEST_SOURCE_DIR) / "kvgen_digests.txt";
  if (std::getenv("KV_UPDATE_DIGESTS")) {
    std::ofstream out(file);
    out << "# FNV-1a digests of the files kvgen writes. Rewrite after a deliberate change:\n"
           "#   KV_UPDATE_DIGESTS=1 ./build/tests/demo/test_demo "
           "--gtest_filter='DemoDataFiles.*'\n";
    for (const auto& [name, value] : written) out << name << ' ' << value << '\n';
  }
  std::map<std::string, std::string> stored;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    std::string name, value;
    if (!line.starts_with('#') && std::istringstream(line) >> name >> value) stored[name] = value;
  }
  for (const auto& [name, value] : written) {
    if (!stored.contains(name))
      ADD_FAILURE() << "kvgen wrote " << name << ", which " << file << " does not list";
    else if (stored.at(name) != value)
      ADD_FAILURE() << "kvgen's " << name << " moved: its digest is " << value << ", " << file
                    << " holds " << stored.at(name);
  }
  for (const auto& [name, value] : stored)
    if (!written.contains(name))
      ADD_FAILURE() << file << " lists " << name << ", which kvgen no longer writes";
}

}  // namespace
