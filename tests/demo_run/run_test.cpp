// Whole runs of the demonstration on the headless host's virtual clock, each
// in a child process of its own (see demo_child.h). Chosen frames are held to the pictures in
// reference/ beside this file (see picture.h); when the scene changes on purpose, look at the new
// frames, then rewrite the pictures from the fast device with:
//   KV_UPDATE_REFERENCES=1 ./build/tests/demo_run/test_demo_run --gtest_filter='*Stored*'
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "demo/Kvmain.h"
#include "platform/raster/compare.h"
#include "tests/demo_run/demo_child.h"
#include "tests/demo_run/picture.h"

namespace {

namespace fs = std::filesystem;
using kvtest::DemoResult;
using kvtest::kFrameBytes;

const std::set<int64_t> kCheckedFrames = {100, 170, 250};  // stored pictures, and across devices

// Names the current table by holding it against the demo's grey and green ones.
std::string currentLight() {
  static const auto tables = [] {
    auto t = std::make_unique<LightTable[]>(2);
    for (int i = 0; i < 2; ++i) kv3dInitLight(&t[i], 512, 512, 125, 125, 125, 0, 0, 0);
    kv3dAddLight(&t[1], 0xFE00, 2048, 0, 255, 0);
    return t;
  }();
  for (int i = 0; i < 2; ++i)
    if (kv3dCurrentLight && std::memcmp(&tables[i], kv3dCurrentLight, sizeof(LightTable)) == 0)
      return i ? "green" : "grey";
  return "other";
}

// A pixel of the halved frame matches its stored one when no channel is off by
// more than kPictureTolerance; a frame matches when no more than
// kPictureMismatchShare of its pixels do not. That passes the last-bit drift
// of another compiler or C library (a few edge pixels, a texel over) and the
// small differences between the two devices, and fails a moved, missing or
// recoloured object.
constexpr int kPictureTolerance = 24;
constexpr double kPictureMismatchShare = 0.005;

const fs::path kReferenceFolder = fs::path(KV_TEST_SOURCE_DIR) / "reference";

fs::path referencePicture(int64_t frame) {
  return kReferenceFolder / ("frame_" + std::to_string(frame) + ".png");
}

// Holds one frame to its stored picture; on a mismatch, leaves the actual
// picture and a difference picture in the test's working folder and names them.
void expectStoredPicture(const std::string& device, int64_t f, const std::string& frame) {
  const kvtest::Picture actual = kvtest::halve(frame, 640, 480);
  kvtest::Picture expected;
  std::string error;
  ASSERT_TRUE(kvtest::readPng(referencePicture(f), expected, error))
      << referencePicture(f) << ": " << error;
  const kvtest::PictureDifference d = kvtest::comparePictures(actual, expected, kPictureTolerance);
  ASSERT_GT(d.pixels, 0) << referencePicture(f) << " is " << expected.width << " x "
                         << expected.height << ", the halved frame " << actual.width << " x "
                         << actual.height;
  if (d.overTolerance <= int64_t(kPictureMismatchShare * double(d.pixels))) return;
  std::string stem = "frame_" + std::to_string(f) + "_" + device;
  std::replace(stem.begin(), stem.end(), ' ', '_');
  const fs::path actualFile = fs::current_path() / (stem + "_actual.png");
  const fs::path differenceFile = fs::current_path() / (stem + "_difference.png");
  kvtest::writePng(actualFile, actual, error);
  kvtest::writePng(differenceFile, d.marked, error);
  ADD_FAILURE() << device << ", frame " << f << ": " << d.overTolerance << " of " << d.pixels
                << " pixels differ from " << referencePicture(f) << " by more than "
                << kPictureTolerance << " (allowed: " << kPictureMismatchShare * 100
                << "%); worst at " << d.worstX << "," << d.worstY << " by " << d.maxDelta
                << ".\n  actual:     " << actualFile << "\n  difference: " << differenceFile
                << " (red: over the tolerance, amber: within it)";
}

// The share of pixels in the lower half (the floor near the camera) that `pick` picks.
template <typename Pick>
double shareOfFloor(const std::string& frame, Pick pick) {
  int64_t hits = 0;
  for (size_t i = kFrameBytes / 2; i < kFrameBytes; i += 4)
    hits += pick(uint8_t(frame[i + 2]), uint8_t(frame[i + 1]), uint8_t(frame[i]));
  return double(hits) / double(kFrameBytes / 8);
}

// Up to the last checked frame, once per device and process: the fast device
// throughout (with the light table at frames 32..63 and 96..127), the others
// for the checked frames.
const DemoResult& shortRun(const std::string& device) {
  static std::map<std::string, DemoResult> runs;
  if (runs.contains(device)) return runs.at(device);
  kvtest::DemoRun run{.device = device, .frames = 251, .kept = kCheckedFrames};
  if (device == "RGB Emulation") {
    run.kept.insert(40);
    run.note = [](int64_t n) {
      return (n >= 32 && n <= 63) || (n >= 96 && n <= 127) ? currentLight() : "";
    };
  } else {
    run.deviceForKeptFramesOnly = true;
  }
  return runs.emplace(device, kvtest::runDemo(run)).first->second;
}

TEST(DemoRun, LogRunsFromTheBannerToExitWithoutErrors) {
  const DemoResult whole = kvtest::runDemo(
      {.device = "RGB Emulation", .frames = kScriptIterations});  // the whole script
  ASSERT_EQ(whole.exitStatus, 0);
  const std::string& log = whole.log;
  // The source's path as the build spelled it (a compiler cache may make it relative).
  EXPECT_NE(log.substr(0, log.find('\n')).find("kvSys/kvSystem.cpp("), std::string::npos) << log;
  EXPECT_NE(log.find("Kvorn KIT Release 1.0 floating"), std::string::npos);
  EXPECT_TRUE(log.ends_with("kvKIT Exit\n"));
  for (const char* fault : {"ERROR", "refused", "numverts"})
    EXPECT_EQ(log.find(fault), std::string::npos) << log;
}

TEST(DemoRun, FloorAndLightsFollowTheScriptOnTheFastDevice) {
  const DemoResult& fast = shortRun("RGB Emulation");
  ASSERT_EQ(fast.exitStatus, 0);
  for (int64_t f = 32; f <= 63; ++f) EXPECT_EQ(fast.notes.at(f), "green") << "frame " << f;
  for (int64_t f = 96; f <= 127; ++f) EXPECT_EQ(fast.notes.at(f), "grey") << "frame " << f;
  // Texture C is a green weave, texture A white glazed tiles.
  ASSERT_TRUE(fast.frames.contains(40) && fast.frames.contains(100));
  auto green = [](int r, int g, int b) { return g > r + 50 && g > b + 50; };
  auto white = [](int r, int g, int b) { return r > 150 && g > 150 && b > 150; };
  EXPECT_GT(shareOfFloor(fast.frames.at(40), green), 0.1);
  EXPECT_GT(shareOfFloor(fast.frames.at(100), white), 0.1);
  EXPECT_LT(shareOfFloor(fast.frames.at(100), green), 0.01);
}

TEST(DemoRun, FramesOnBothDevicesLookLikeTheStoredPictures) {
  const DemoResult& fast = shortRun("RGB Emulation");
  ASSERT_EQ(fast.exitStatus, 0);
  if (std::getenv("KV_UPDATE_REFERENCES")) {
    fs::create_directories(kReferenceFolder);
    for (int64_t f : kCheckedFrames) {
      ASSERT_TRUE(fast.frames.contains(f)) << "frame " << f;
      std::string error;
      ASSERT_TRUE(
          kvtest::writePng(referencePicture(f), kvtest::halve(fast.frames.at(f), 640, 480), error))
          << referencePicture(f) << ": " << error;
    }
  }
  for (const char* device : {"RGB Emulation", "Reference Rasterizer"}) {
    const DemoResult& run = shortRun(device);
    ASSERT_EQ(run.exitStatus, 0) << device;
    for (int64_t f : kCheckedFrames) {
      ASSERT_TRUE(run.frames.contains(f)) << device << ", frame " << f;
      EXPECT_EQ(run.devices.at(f), device) << "frame " << f;
      expectStoredPicture(device, f, run.frames.at(f));
    }
  }
}

TEST(DemoRun, FastAndReferenceDevicesAgree) {
  const DemoResult &fast = shortRun("RGB Emulation"), &reference = shortRun("Reference Rasterizer");
  ASSERT_EQ(reference.exitStatus, 0);
  for (int64_t f : kCheckedFrames) {
    ASSERT_TRUE(reference.frames.contains(f) && fast.frames.contains(f)) << "frame " << f;
    auto target = [f](const DemoResult& r) {
      return kv::raster::ColorTarget{const_cast<char*>(r.frames.at(f).data()), 640 * 4, 640, 480,
                                     kv::raster::ColorFormat::XRGB8888};
    };
    const auto diff = kv::raster::compareTargets(target(fast), target(reference), 2);
    EXPECT_GE(diff.identicalFraction(), 0.999) << "frame " << f;
    // Nearest sampling of a high-contrast texture can pick the next texel over
    // where the two devices round u and v a hair apart: a handful of pixels,
    // never a region.
    EXPECT_LE(diff.overTolerance, 16) << "frame " << f << ", worst at " << diff.worstX << ","
                                      << diff.worstY << " by " << diff.maxDelta;
  }
}

}  // namespace
