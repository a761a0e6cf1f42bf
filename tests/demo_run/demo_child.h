// A whole run of the demonstration in a child process (the kit starts once
// per process), in a fresh copy of the data so that no kvKIT.vid of an
// earlier run chooses the device. The child leaves its log and the frames
// asked for in a scratch folder that the parent reads and removes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>

namespace kvtest {

struct DemoRun {
  // Chosen with F3 on the first iteration.
  std::string device;
  // Escape is held from this iteration on.
  int64_t frames = 0;
  // Frames kept as 640 x 480 0x00RRGGBB bytes.
  std::set<int64_t> kept;
  // The kept frames only are drawn on `device`, the others on the fast
  // device: F3 switches before each and back after it. The scene does not
  // depend on the device, so the kept frames are those of a whole run on it.
  bool deviceForKeptFramesOnly = false;
  // The OpenGL device is listed (asked for, as --gl does).
  bool listOpenGl = false;
  // Called in the child after each presented frame; what it returns is kept
  // as a line of `notes`.
  std::function<std::string(int64_t frame)> note;
};

struct DemoResult {
  int exitStatus = -1;
  std::string log;
  std::map<int64_t, std::string> frames;
  std::map<int64_t, std::string> devices;  // the device each kept frame was drawn on
  std::map<int64_t, std::string> notes;
};

inline constexpr int32_t kFrameWidth = 640, kFrameHeight = 480;
inline constexpr size_t kFrameBytes = size_t(kFrameWidth) * kFrameHeight * 4;

// Starts the child; runs go on side by side until finished.
class DemoChild {
 public:
  explicit DemoChild(const DemoRun& run);
  DemoChild(const DemoChild&) = delete;
  DemoChild& operator=(const DemoChild&) = delete;
  ~DemoChild();
  // Waits for the child and reads what it left.
  DemoResult finish();

 private:
  pid_t pid_ = -1;
  std::filesystem::path folder_;
};

inline DemoResult runDemo(const DemoRun& run) { return DemoChild(run).finish(); }

}  // namespace kvtest
