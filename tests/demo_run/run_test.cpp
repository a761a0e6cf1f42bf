// Whole runs of the demonstration on the headless host's virtual clock, each
// in a child process of its own (the kit starts once per process), reporting
// back its debug log and the frames the tests look at.
//
// Frame checksums live in checksums.txt beside this file. When the scene
// changes on purpose, rewrite them with:
//   KV_UPDATE_CHECKSUMS=1 ./build/tests/demo_run/test_demo_run
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "demo/Kvmain.h"
#include "platform/host/headless/headless.h"
#include "platform/raster/compare.h"

namespace {

namespace fs = std::filesystem;

// The frames held against stored checksums and across the two devices.
const std::set<int64_t> kCheckedFrames = {100, 170, 250};

struct RunResult {
  std::string log;
  std::map<int64_t, std::vector<uint32_t>> frames;  // 640 x 480, 0x00RRGGBB
  std::map<int64_t, std::string> lightTable;         // the current table's name at present
  int exitStatus = -1;
};

// Light tables as the demo builds them, in memory of the test's own.
std::string nameOfCurrentLight() {
  static const char* names[4] = {"red", "green", "blue", "grey"};
  static const auto known = [] {
    auto tables = std::make_unique<LightTable[]>(4);
    const int32_t heading[3] = {1024, 2048, 3076};
    for (int32_t i = 0; i < 4; ++i) {
      kv3dInitLight(&tables[i], 512, 512, 125, 125, 125, 0, 0, 0);
      if (i < 3) kv3dAddLight(&tables[i], 0xFE00, heading[i], i == 0 ? 255 : 0, i == 1 ? 255 : 0, i == 2 ? 255 : 0);
    }
    return tables;
  }();
  if (kv3dCurrentLight == nullptr) return "none";
  for (int i = 0; i < 4; ++i)
    if (std::memcmp(&known[i], kv3dCurrentLight, sizeof(LightTable)) == 0) return names[i];
  return "other";
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the kit and kvMain in a child, in a fresh copy of the data
// (so no kvKIT.vid of an earlier run chooses the device), up to `frames`
// iterations, switching to `device` with F3 on the first. The child leaves
// its log, light tables and frames as files in that copy.
RunResult runDemo(const std::string& device, int64_t frames) {
  static int runs = 0;
  const fs::path dir = fs::temp_directory_path() /
                       ("kvdemo_run_" + std::to_string(::getpid()) + "_" + std::to_string(++runs));
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const auto& entry : fs::directory_iterator(KV_DEMO_DATA))
    if (entry.path().filename() != "kvKIT.vid") fs::copy_file(entry.path(), dir / entry.path().filename());
  const std::set<int64_t> wanted = {40, 100, 170, 250};

  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(dir.c_str()) != 0) _exit(2);
    std::ofstream lights("lights.txt");
    kv::headless::Options options;
    options.escapeFromIteration = frames;
    options.keys.push_back({VK_F3, 1, 1});
    options.dialogAnswers.push_back("device=" + device + ",ok");
    options.display.onPresent = [&](int64_t number, const kv::headless::Display& display) {
      if ((number >= 32 && number <= 63) || (number >= 96 && number <= 127))
        lights << number << ' ' << nameOfCurrentLight() << '\n';
      const kv::headless::Frame& frame = display.lastFrame();
      if (!wanted.contains(number) || frame.width != 640 || frame.height != 480) return;
      std::ofstream(std::to_string(number) + ".rgb", std::ios::binary)
          .write(reinterpret_cast<const char*>(frame.rgb.data()), 640 * 480 * 4);
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
  int64_t number;
  std::string name;
  while (lights >> number >> name) result.lightTable[number] = name;
  for (int64_t f : wanted) {
    const std::string bytes = slurp(dir / (std::to_string(f) + ".rgb"));
    if (bytes.size() != 640 * 480 * 4) continue;
    auto& pixels = result.frames[f];
    pixels.resize(640 * 480);
    std::memcpy(pixels.data(), bytes.data(), bytes.size());
  }
  fs::remove_all(dir);
  return result;
}

uint64_t checksum(const std::vector<uint32_t>& pixels) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a over the RGB bytes
  for (uint32_t p : pixels)
    for (int shift : {16, 8, 0}) {
      h ^= (p >> shift) & 0xFF;
      h *= 1099511628211ull;
    }
  return h;
}

const fs::path kChecksumFile = fs::path(KV_TEST_SOURCE_DIR) / "checksums.txt";

std::map<int64_t, uint64_t> storedChecksums() {
  std::map<int64_t, uint64_t> sums;
  std::ifstream in(kChecksumFile);
  std::string line;
  int64_t frame;
  std::string hex;
  while (std::getline(in, line))
    if (!line.starts_with('#') && std::istringstream(line) >> frame >> hex)
      sums[frame] = std::stoull(hex, nullptr, 16);
  return sums;
}

// The share of pixels in the lower half (the floor near the camera) that a
// test picks out.
template <typename Pick>
double shareOfFloor(const std::vector<uint32_t>& frame, Pick pick) {
  int64_t hits = 0, total = 0;
  for (int y = 240; y < 480; ++y)
    for (int x = 0; x < 640; ++x, ++total) {
      const uint32_t p = frame[y * 640 + x];
      hits += pick(static_cast<int>(p >> 16 & 0xFF), static_cast<int>(p >> 8 & 0xFF),
                   static_cast<int>(p & 0xFF));
    }
  return static_cast<double>(hits) / static_cast<double>(total);
}

// Each test runs only as far as it needs (ctest runs every test in a process
// of its own); the whole script is played once, for the log.
class DemoRun : public ::testing::Test {
 protected:
  static RunResult& run(const std::string& device, int64_t frames) {
    static std::map<std::pair<std::string, int64_t>, RunResult> runs;
    auto key = std::pair{device, frames};
    if (!runs.contains(key)) runs.emplace(key, runDemo(device, frames));
    return runs.at(key);
  }
  static constexpr int64_t kWholeScript = 2450;
  static constexpr int64_t kChecked = 251;  // past the last checked frame
};

TEST_F(DemoRun, LogRunsFromTheBannerToExitWithoutErrors) {
  const RunResult& whole = run("RGB Emulation", kWholeScript);
  ASSERT_EQ(whole.exitStatus, 0);
  const std::string& log = whole.log;
  EXPECT_EQ(log.rfind("kvSys/kvSystem.cpp(", 0), 0u);
  EXPECT_NE(log.find("Kvorn KIT Release 1.0 floating"), std::string::npos);
  ASSERT_GE(log.size(), 11u);
  EXPECT_EQ(log.substr(log.size() - 11), "kvKIT Exit\n");
  for (const char* fault : {"ERROR", "refused", "numverts"})
    EXPECT_EQ(log.find(fault), std::string::npos) << log;
}

TEST_F(DemoRun, FloorTextureAndLightChangeEveryThirtyTwoFrames) {
  RunResult* fast = &run("RGB Emulation", 128);
  ASSERT_EQ(fast->exitStatus, 0);
  for (int64_t f = 32; f <= 63; ++f) EXPECT_EQ(fast->lightTable[f], "green") << "frame " << f;
  for (int64_t f = 96; f <= 127; ++f) EXPECT_EQ(fast->lightTable[f], "grey") << "frame " << f;
  // Texture C is a green weave, texture A white glazed tiles.
  ASSERT_TRUE(fast->frames.contains(40) && fast->frames.contains(100));
  auto green = [](int r, int g, int b) { return g > r + 50 && g > b + 50; };
  auto white = [](int r, int g, int b) { return r > 150 && g > 150 && b > 150; };
  EXPECT_GT(shareOfFloor(fast->frames[40], green), 0.1);
  EXPECT_GT(shareOfFloor(fast->frames[100], white), 0.1);
  EXPECT_LT(shareOfFloor(fast->frames[100], green), 0.01);
}

TEST_F(DemoRun, FramesMatchTheirStoredChecksums) {
  RunResult* fast = &run("RGB Emulation", kChecked);
  std::map<int64_t, uint64_t> sums;
  for (int64_t f : kCheckedFrames) {
    ASSERT_TRUE(fast->frames.contains(f)) << "frame " << f << " was not presented";
    sums[f] = checksum(fast->frames[f]);
  }
  if (std::getenv("KV_UPDATE_CHECKSUMS") != nullptr) {
    std::ofstream out(kChecksumFile);
    out << "# Frame checksums of the demo on the fast device (FNV-1a of the RGB bytes).\n"
           "# Rewrite: KV_UPDATE_CHECKSUMS=1 ./build/tests/demo_run/test_demo_run\n";
    for (const auto& [f, sum] : sums) out << f << ' ' << std::hex << std::setw(16) << std::setfill('0') << sum << std::dec << '\n';
    GTEST_SKIP() << "checksums rewritten in " << kChecksumFile;
  }
  const auto stored = storedChecksums();
  for (const auto& [f, sum] : sums) {
    ASSERT_TRUE(stored.contains(f)) << "no stored checksum for frame " << f;
    EXPECT_EQ(stored.at(f), sum) << "frame " << f;
  }
}

TEST_F(DemoRun, FastAndReferenceDevicesAgree) {
  RunResult* fast = &run("RGB Emulation", kChecked);
  RunResult& reference = run("Reference Rasterizer", kChecked);
  ASSERT_EQ(reference.exitStatus, 0);
  for (int64_t f : kCheckedFrames) {
    ASSERT_TRUE(reference.frames.contains(f) && fast->frames.contains(f)) << "frame " << f;
    auto target = [f](RunResult& r) {
      return kv::raster::ColorTarget{r.frames[f].data(), 640 * 4, 640, 480, kv::raster::ColorFormat::XRGB8888};
    };
    const auto diff = kv::raster::compareTargets(target(*fast), target(reference), 2);
    EXPECT_GE(diff.identicalFraction(), 0.999) << "frame " << f;
    // Nearest sampling of a high-contrast texture can pick the next texel over
    // where the two devices round u and v a hair apart: a handful of pixels,
    // never a region.
    EXPECT_LE(diff.overTolerance, 16) << "frame " << f << ", worst at " << diff.worstX << ","
                                      << diff.worstY << " by " << diff.maxDelta;
  }
}

}  // namespace
