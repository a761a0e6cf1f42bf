// The demonstration on the OpenGL device (llvmpipe headless) against the
// reference device: frames 100, 416, 960 and 1800 of the virtual-clock run,
// each device in a child process of its own (the kit starts once per process),
// both children at once. A frame that differs is written out beside the
// reference frame and their difference.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "demo/Kvmain.h"
#include "platform/gl/hardware_device.h"
#include "platform/host/headless/headless.h"
#include "platform/host/png.h"
#include "platform/raster/compare.h"

namespace {

namespace fs = std::filesystem;

const std::set<int64_t> kFrames = {100, 416, 960, 1800};
constexpr int32_t kWidth = 640, kHeight = 480;
constexpr size_t kFrameBytes = size_t(kWidth) * kHeight * 4;  // 0x00RRGGBB

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Starts a child that runs the demo on `device` in a fresh copy of the data
// and leaves the chosen frames in `dir`.
pid_t startRun(const std::string& device, const fs::path& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const auto& entry : fs::directory_iterator(KV_DEMO_DATA))
    if (entry.path().filename() != "kvKIT.vid")
      fs::copy_file(entry.path(), dir / entry.path().filename());
  const pid_t child = ::fork();
  if (child != 0) return child;
  if (::chdir(dir.c_str()) != 0) _exit(2);
  kv::headless::Options options;
  options.escapeFromIteration = *kFrames.rbegin() + 1;
  options.keys.push_back({VK_F3, 1, 1});
  options.dialogAnswers.push_back("device=" + device + ",ok");
  options.display.onPresent = [](int64_t n, const kv::headless::Display& display) {
    const kv::headless::Frame& frame = display.lastFrame();
    if (n == *kFrames.begin()) {
      DeviceInfo* chosen = nullptr;
      kvGetSelectedDriver(nullptr, &chosen);
      std::ofstream("device.txt") << (chosen != nullptr ? chosen->name : "none");
    }
    if (kFrames.contains(n) && frame.width == kWidth && frame.height == kHeight)
      std::ofstream(std::to_string(n) + ".rgb", std::ios::binary)
          .write(reinterpret_cast<const char*>(frame.rgb.data()), kFrameBytes);
  };
  kv::headless::install(options);
  kv::gl::registerHardwareDevice({.asked = true});
  kvFramework.instance = reinterpret_cast<HINSTANCE>(1);
  if (kvSystemInit()) {
    kvMain();
    kvSystemExit();
  }
  std::ofstream("log.txt", std::ios::binary) << kv::headless::debugCapture();
  _exit(0);
}

struct RunResult {
  int exitStatus = -1;
  std::string log, device;
  std::map<int64_t, std::string> frames;
};

RunResult finish(pid_t child, const fs::path& dir) {
  RunResult run;
  int status = 0;
  ::waitpid(child, &status, 0);
  run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.log = slurp(dir / "log.txt");
  run.device = slurp(dir / "device.txt");
  for (int64_t n : kFrames)
    if (fs::exists(dir / (std::to_string(n) + ".rgb")))
      run.frames[n] = slurp(dir / (std::to_string(n) + ".rgb"));
  fs::remove_all(dir);
  return run;
}

kv::raster::ColorTarget target(const std::string& frame) {
  return {const_cast<char*>(frame.data()), kWidth * 4, kWidth, kHeight,
          kv::raster::ColorFormat::XRGB8888};
}

// The OpenGL frame, the reference frame and white where they differ by more
// than the tolerance, side by side.
std::string writeDiff(int64_t n, const std::string& gl, const std::string& reference) {
  std::vector<uint32_t> rgb(size_t(kWidth) * 3 * kHeight);
  const auto* a = reinterpret_cast<const uint32_t*>(gl.data());
  const auto* b = reinterpret_cast<const uint32_t*>(reference.data());
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x) {
      const uint32_t p = a[y * kWidth + x] & 0xFFFFFF, q = b[y * kWidth + x] & 0xFFFFFF;
      int worst = 0;
      for (int s : {0, 8, 16})
        worst = std::max(worst, std::abs(int((p >> s) & 255) - int((q >> s) & 255)));
      uint32_t* row = rgb.data() + size_t(y) * 3 * kWidth;
      row[x] = p;
      row[kWidth + x] = q;
      row[2 * kWidth + x] = worst > 8 ? 0xFFFFFF : 0;
    }
  const fs::path path = fs::temp_directory_path() / ("kvgl_frame_" + std::to_string(n) + ".png");
  std::string error;
  kv::host::writePng(path.string(), rgb.data(), 3 * kWidth, kHeight, error);
  return path.string();
}

TEST(GlRun, DemoFramesOnTheOpenGlDeviceMatchTheReferenceRasterizer) {
  const fs::path base = fs::temp_directory_path() / ("kvgl_run_" + std::to_string(::getpid()));
  const pid_t glChild = startRun("Direct3D HAL", base / "gl");
  const pid_t referenceChild = startRun("Reference Rasterizer", base / "reference");
  const RunResult gl = finish(glChild, base / "gl");
  const RunResult reference = finish(referenceChild, base / "reference");
  fs::remove_all(base);
  ASSERT_EQ(gl.exitStatus, 0);
  ASSERT_EQ(reference.exitStatus, 0);
  if (gl.log.find("gl: OpenGL") == std::string::npos)
    GTEST_SKIP() << "OpenGL cannot start on this machine";
  ASSERT_EQ(gl.device, "Direct3D HAL");
  ASSERT_EQ(reference.device, "Reference Rasterizer");
  for (int64_t n : kFrames) {
    ASSERT_TRUE(gl.frames.contains(n) && reference.frames.contains(n)) << "frame " << n;
    const auto d =
        kv::raster::compareTargets(target(gl.frames.at(n)), target(reference.frames.at(n)), 8);
    const double within = 1.0 - double(d.overTolerance) / double(std::max<int64_t>(d.pixels, 1));
    RecordProperty("within_" + std::to_string(n), std::to_string(within));
    EXPECT_GE(within, 0.99) << "frame " << n << ", worst at " << d.worstX << "," << d.worstY
                            << " by " << d.maxDelta << "; see "
                            << writeDiff(n, gl.frames.at(n), reference.frames.at(n));
  }
}

}  // namespace
