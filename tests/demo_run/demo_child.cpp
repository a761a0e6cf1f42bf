#include "tests/demo_run/demo_child.h"

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "demo/Kvmain.h"
#include "platform/gl/hardware_device.h"
#include "platform/host/headless/headless.h"
#include "tests/test_files.h"

namespace kvtest {

namespace fs = std::filesystem;

namespace {

// Lines "N text" of a file the child wrote.
std::map<int64_t, std::string> numberedLines(const fs::path& path) {
  std::map<int64_t, std::string> lines;
  std::ifstream in(path);
  int64_t n;
  for (std::string text; in >> n && std::getline(in >> std::ws, text);) lines[n] = text;
  return lines;
}

constexpr const char* kFastDevice = "RGB Emulation";

// F3 takes effect on the frame after the one it is held in, and two presses
// need a frame between them: each stretch of kept frames close together is
// drawn on the device from its first frame to one past its last.
void switchAroundKeptFrames(const DemoRun& run, kv::headless::Options& options) {
  std::vector<std::pair<int64_t, int64_t>> stretches;
  for (int64_t n : run.kept) {
    if (!stretches.empty() && n <= stretches.back().second + 3)
      stretches.back().second = n;
    else
      stretches.emplace_back(n, n);
  }
  for (const auto& [first, last] : stretches) {
    options.keys.push_back({VK_F3, first - 1, first - 1});
    options.keys.push_back({VK_F3, last + 1, last + 1});
    options.dialogAnswers.push_back("device=" + run.device + ",ok");
    options.dialogAnswers.push_back(std::string("device=") + kFastDevice + ",ok");
  }
}

[[noreturn]] void runChild(const DemoRun& run) {
  std::ofstream devices("devices.txt"), notes("notes.txt");
  kv::headless::Options options;
  options.escapeFromIteration = run.frames;
  if (!run.device.empty()) {
    if (run.deviceForKeptFramesOnly) {
      switchAroundKeptFrames(run, options);
    } else {
      options.keys.push_back({VK_F3, 1, 1});
      options.dialogAnswers.push_back("device=" + run.device + ",ok");
    }
  }
  options.display.onPresent = [&](int64_t n, const kv::headless::Display& display) {
    if (run.note) {
      const std::string text = run.note(n);
      if (!text.empty()) notes << n << ' ' << text << '\n';
    }
    const kv::headless::Frame& frame = display.lastFrame();
    if (!run.kept.contains(n) || frame.width != kFrameWidth || frame.height != kFrameHeight) return;
    std::ofstream(std::to_string(n) + ".rgb", std::ios::binary)
        .write(reinterpret_cast<const char*>(frame.rgb.data()), kFrameBytes);
    DeviceInfo* chosen = nullptr;
    kvGetSelectedDriver(nullptr, &chosen);
    devices << n << ' ' << (chosen != nullptr ? chosen->name : "none") << '\n';
  };
  kv::headless::install(options);
  if (run.listOpenGl) kv::gl::registerHardwareDevice({.asked = true});
  // What the kit's entry does (the entry's library also holds the launcher's main).
  kvFramework.instance = reinterpret_cast<HINSTANCE>(1);
  if (kvSystemInit()) {
    kvMain();
    kvSystemExit();
  }
  std::ofstream("log.txt", std::ios::binary) << kv::headless::debugCapture();
  devices.close();
  notes.close();
  _exit(0);
}

}  // namespace

DemoChild::DemoChild(const DemoRun& run) {
  static int runs = 0;
  folder_ = freshDataCopy(
      KV_DEMO_DATA, fs::temp_directory_path() / ("kvdemo_run_" + std::to_string(::getpid()) + "_" +
                                                 std::to_string(++runs)));
  pid_ = ::fork();
  if (pid_ == 0) {
    if (::chdir(folder_.c_str()) != 0) _exit(2);
    runChild(run);
  }
}

DemoChild::~DemoChild() {
  if (pid_ > 0) finish();
}

DemoResult DemoChild::finish() {
  DemoResult result;
  if (pid_ <= 0) return result;
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.log = readFile(folder_ / "log.txt");
  result.devices = numberedLines(folder_ / "devices.txt");
  result.notes = numberedLines(folder_ / "notes.txt");
  for (const auto& entry : fs::directory_iterator(folder_))
    if (entry.path().extension() == ".rgb" && fs::file_size(entry.path()) == kFrameBytes)
      result.frames[std::stoll(entry.path().stem())] = readFile(entry.path());
  fs::remove_all(folder_);
  return result;
}

}  // namespace kvtest
