// The demonstration on the OpenGL device (llvmpipe headless) against the
// reference device: frames 100, 416, 960 and 1800 of the virtual-clock run.
// The OpenGL device draws the whole run; the reference device draws the
// chosen frames only (the fast device the rest), both runs side by side.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "platform/raster/compare.h"
#include "tests/demo_run/demo_child.h"
#include "tests/demo_run/picture.h"

namespace {

namespace fs = std::filesystem;
using kvtest::kFrameHeight;
using kvtest::kFrameWidth;

const std::set<int64_t> kFrames = {100, 416, 960, 1800};
constexpr int kTolerance = 8;

kvtest::Picture picture(const std::string& frame) {
  kvtest::Picture p{kFrameWidth, kFrameHeight, std::vector<uint32_t>(kvtest::kFrameBytes / 4)};
  std::memcpy(p.rgb.data(), frame.data(), kvtest::kFrameBytes);
  for (uint32_t& v : p.rgb) v &= 0xFFFFFF;
  return p;
}

// The OpenGL frame and the difference picture, in the test's working folder.
std::string writeDiff(int64_t n, const std::string& gl, const std::string& reference) {
  const kvtest::Picture actual = picture(gl);
  const kvtest::PictureDifference d =
      kvtest::comparePictures(actual, picture(reference), kTolerance);
  const fs::path stem = fs::current_path() / ("gl_frame_" + std::to_string(n));
  std::string error;
  kvtest::writePng(stem.string() + "_actual.png", actual, error);
  kvtest::writePng(stem.string() + "_difference.png", d.marked, error);
  return stem.string() + "_{actual,difference}.png (red: over the tolerance)";
}

TEST(GlRun, DemoFramesOnTheOpenGlDeviceMatchTheReferenceRasterizer) {
  const int64_t frames = *kFrames.rbegin() + 1;
  kvtest::DemoChild glChild(
      {.device = "Direct3D HAL", .frames = frames, .kept = kFrames, .listOpenGl = true});
  kvtest::DemoChild referenceChild({.device = "Reference Rasterizer",
                                    .frames = frames,
                                    .kept = kFrames,
                                    .deviceForKeptFramesOnly = true});
  const kvtest::DemoResult gl = glChild.finish(), reference = referenceChild.finish();
  ASSERT_EQ(gl.exitStatus, 0);
  ASSERT_EQ(reference.exitStatus, 0);
  if (gl.log.find("gl: OpenGL") == std::string::npos)
    GTEST_SKIP() << "OpenGL cannot start on this machine";
  for (int64_t n : kFrames) {
    ASSERT_TRUE(gl.frames.contains(n) && reference.frames.contains(n)) << "frame " << n;
    EXPECT_EQ(gl.devices.at(n), "Direct3D HAL");
    EXPECT_EQ(reference.devices.at(n), "Reference Rasterizer");
    const auto target = [](const std::string& frame) {
      return kv::raster::ColorTarget{const_cast<char*>(frame.data()), kFrameWidth * 4, kFrameWidth,
                                     kFrameHeight, kv::raster::ColorFormat::XRGB8888};
    };
    const auto d = kv::raster::compareTargets(target(gl.frames.at(n)),
                                              target(reference.frames.at(n)), kTolerance);
    const double within = 1.0 - double(d.overTolerance) / double(std::max<int64_t>(d.pixels, 1));
    RecordProperty("within_" + std::to_string(n), std::to_string(within));
    RecordProperty("identical_" + std::to_string(n), std::to_string(d.identicalFraction()));
    // Beyond that bar: the device packs every pixel as the software devices
    // do, so all but a handful (a colour or a nearest texel on the other side
    // of a rounding edge) are the same.
    EXPECT_GE(d.identicalFraction(), 0.999) << "frame " << n;
    EXPECT_GE(within, 0.99) << "frame " << n << ", worst at " << d.worstX << "," << d.worstY
                            << " by " << d.maxDelta << "; see "
                            << writeDiff(n, gl.frames.at(n), reference.frames.at(n));
  }
}

}  // namespace
