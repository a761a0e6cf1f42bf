// Whole runs of the demonstration on the headless host's virtual clock, each
// in a child process of its own (the kit starts once per process) that leaves
// its log, the current light table per frame and chosen frames in a scratch
// folder. Frame checksums live in checksums.txt beside this file; when the
// scene changes on purpose, rewrite them with:
//   KV_UPDATE_CHECKSUMS=1 ./build/tests/demo_run/test_demo_run
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "demo/Kvmain.h"
#include "platform/host/headless/headless.h"
#include "platform/raster/compare.h"

namespace {

namespace fs = std::filesystem;

const std::set<int64_t> kCheckedFrames = {100, 170, 250};  // checksums, and across devices
constexpr size_t kFrameBytes = 640 * 480 * 4;              // 0x00RRGGBB, little-endian

struct RunResult {
  int exitStatus = -1;
  std::string log;
  std::map<int64_t, std::string> light;   // the current table at frames 32..63 and 96..127
  std::map<int64_t, std::string> frames;  // frames 40, 100, 170 and 250, as bytes
};

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

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the kit and kvMain in a child, in a fresh copy of the data (so no
// kvKIT.vid of an earlier run chooses the device), for `frames` iterations,
// switching to `device` with F3 on the first.
RunResult runDemo(const std::string& device, int64_t frames) {
  static int runs = 0;
  const fs::path dir = fs::temp_directory_path() /
                       ("kvdemo_run_" + std::to_string(::getpid()) + "_" + std::to_string(++runs));
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const auto& entry : fs::directory_iterator(KV_DEMO_DATA))
    if (entry.path().filename() != "kvKIT.vid")
      fs::copy_file(entry.path(), dir / entry.path().filename());

  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(dir.c_str()) != 0) _exit(2);
    std::ofstream lights("lights.txt");
    kv::headless::Options options;
    options.escapeFromIteration = frames;
    options.keys.push_back({VK_F3, 1, 1});
    options.dialogAnswers.push_back("device=" + device + ",ok");
    options.display.onPresent = [&](int64_t n, const kv::headless::Display& display) {
      if ((n >= 32 && n <= 63) || (n >= 96 && n <= 127))
        lights << n << ' ' << currentLight() << '\n';
      const kv::headless::Frame& frame = display.lastFrame();
      if ((n == 40 || kCheckedFrames.contains(n)) && frame.width == 640 && frame.height == 480)
        std::ofstream(std::to_string(n) + ".rgb", std::ios::binary)
            .write(reinterpret_cast<const char*>(frame.rgb.data()), kFrameBytes);
    };
    kv::headless::install(options);
    // What the kit's entry does (the entry's library also holds the launcher's main).
    kvFramework.instance = reinterpret_cast<HINSTANCE>(1);
    if (kvSystemInit()) {
      kvMain();
      kvSystemExit();
    }
    std::ofstream("log.txt", std::ios::binary) << kv::headless::debugCapture();
    lights.close();
    _exit(0);
  }

  RunResult result;
  int status = 0;
  ::waitpid(child, &status, 0);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.log = slurp(dir / "log.txt");
  std::ifstream lights(dir / "lights.txt");
  int64_t n;
  for (std::string name; lights >> n >> name;) result.light[n] = name;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".rgb" && fs::file_size(entry.path()) == kFrameBytes)
      result.frames[std::stoll(entry.path().stem())] = slurp(entry.path());
  fs::remove_all(dir);
  return result;
}

// FNV-1a over the R, G and B bytes of each pixel.
uint64_t checksum(const std::string& frame) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < frame.size(); i += 4)
    for (size_t channel : {2, 1, 0}) h = (h ^ uint8_t(frame[i + channel])) * 1099511628211ull;
  return h;
}

// The share of pixels in the lower half (the floor near the camera) that `pick` picks.
template <typename Pick>
double shareOfFloor(const std::string& frame, Pick pick) {
  int64_t hits = 0;
  for (size_t i = kFrameBytes / 2; i < kFrameBytes; i += 4)
    hits += pick(uint8_t(frame[i + 2]), uint8_t(frame[i + 1]), uint8_t(frame[i]));
  return double(hits) / double(kFrameBytes / 8);
}

// Up to the last checked frame, once per device and process.
const RunResult& shortRun(const std::string& device) {
  static std::map<std::string, RunResult> runs;
  if (!runs.contains(device)) runs.emplace(device, runDemo(device, 251));
  return runs.at(device);
}

TEST(DemoRun, LogRunsFromTheBannerToExitWithoutErrors) {
  const RunResult whole = runDemo("RGB Emulation", kScriptIterations);  // the whole script
  ASSERT_EQ(whole.exitStatus, 0);
  const std::string& log = whole.log;
  EXPECT_EQ(log.rfind("kvSys/kvSystem.cpp(", 0), 0u);
  EXPECT_NE(log.find("Kvorn KIT Release 1.0 floating"), std::string::npos);
  EXPECT_TRUE(log.ends_with("kvKIT Exit\n"));
  for (const char* fault : {"ERROR", "refused", "numverts"})
    EXPECT_EQ(log.find(fault), std::string::npos) << log;
}

TEST(DemoRun, FloorLightsAndFramesOnTheFastDeviceAreTheStoredOnes) {
  const RunResult& fast = shortRun("RGB Emulation");
  ASSERT_EQ(fast.exitStatus, 0);
  for (int64_t f = 32; f <= 63; ++f) EXPECT_EQ(fast.light.at(f), "green") << "frame " << f;
  for (int64_t f = 96; f <= 127; ++f) EXPECT_EQ(fast.light.at(f), "grey") << "frame " << f;
  // Texture C is a green weave, texture A white glazed tiles.
  ASSERT_TRUE(fast.frames.contains(40) && fast.frames.contains(100));
  auto green = [](int r, int g, int b) { return g > r + 50 && g > b + 50; };
  auto white = [](int r, int g, int b) { return r > 150 && g > 150 && b > 150; };
  EXPECT_GT(shareOfFloor(fast.frames.at(40), green), 0.1);
  EXPECT_GT(shareOfFloor(fast.frames.at(100), white), 0.1);
  EXPECT_LT(shareOfFloor(fast.frames.at(100), green), 0.01);

  const fs::path file = fs::path(KV_TEST_SOURCE_DIR) / "checksums.txt";
  if (std::getenv("KV_UPDATE_CHECKSUMS")) {
    std::ofstream out(file);
    out << "# Frame checksums of the demo on the fast device (FNV-1a of the RGB bytes).\n"
           "# Rewrite: KV_UPDATE_CHECKSUMS=1 ./build/tests/demo_run/test_demo_run\n";
    for (int64_t f : kCheckedFrames)
      if (fast.frames.contains(f))
        out << f << ' ' << std::hex << std::setw(16) << std::setfill('0')
            << checksum(fast.frames.at(f)) << std::dec << '\n';
  }
  std::map<int64_t, std::string> stored;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    int64_t f;
    std::string hex;
    if (!line.starts_with('#') && std::istringstream(line) >> f >> hex) stored[f] = hex;
  }
  for (int64_t f : kCheckedFrames) {
    ASSERT_TRUE(fast.frames.contains(f) && stored.contains(f)) << "frame " << f;
    EXPECT_EQ(std::stoull(stored.at(f), nullptr, 16), checksum(fast.frames.at(f))) << "frame " << f;
  }
}

TEST(DemoRun, FastAndReferenceDevicesAgree) {
  const RunResult &fast = shortRun("RGB Emulation"), &reference = shortRun("Reference Rasterizer");
  ASSERT_EQ(reference.exitStatus, 0);
  for (int64_t f : kCheckedFrames) {
    ASSERT_TRUE(reference.frames.contains(f) && fast.frames.contains(f)) << "frame " << f;
    auto target = [f](const RunResult& r) {
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
