// The headless host's display: an offscreen desktop whose presented frames are
// kept (the last one, as 32-bit RGB, for tests and the contact sheet) and may
// be written as PNG files. Test hooks for the display are declared here too.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/host/host.h"

namespace kv::headless {

class Display;

struct DisplayOptions {
  host::DisplayMode desktop{1024, 768, 16, 60};
  std::string captureDir;    // empty: no capture
  int64_t captureEvery = 1;  // write every K-th presented frame
  // Told of every presented frame (numbered from 1), e.g. for a contact sheet;
  // it reads display.lastFrame() only for the frames it wants.
  std::function<void(int64_t number, const Display& display)> onPresent;
};

// A presented frame as the screen showed it: 0x00RRGGBB per pixel, row 0 first.
struct Frame {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> rgb;
};

class Display {
 public:
  explicit Display(const DisplayOptions& options);

  host::DisplayMode desktopMode() const { return current_; }
  std::vector<host::DisplayMode> displayModes() const;
  bool setDisplayMode(const host::DisplayMode& mode);
  void restoreDisplayMode() { current_ = options_.desktop; }
  void present(const host::PresentedFrame& frame);

  // Converted when first asked for: most presented frames are never looked at.
  const Frame& lastFrame() const;
  int64_t presentedCount() const { return presented_; }
  // A captured frame could not be written (capture then stopped).
  bool captureFailed() const { return captureFailed_; }

 private:
  DisplayOptions options_;
  host::DisplayMode current_;
  // The last frame's pixels as presented (its source rectangle only).
  std::vector<uint8_t> raw_;
  host::PresentedFrame rawFrame_{};
  mutable Frame last_;
  mutable bool converted_ = true;
  int64_t presented_ = 0;
  bool captureFailed_ = false;
};

// Test hooks (the headless host must be current).
// The last frame presented since install (empty before the first one).
const Frame& lastFrame();
// Frames presented since install.
int64_t presentedFrameCount();
// Whether a frame to capture could not be written since install.
bool captureFailed();
// Changes the desktop's mode, as a user changing the display settings would.
void setDesktopMode(const host::DisplayMode& mode);

// Converts one frame's pixels to 0x00RRGGBB, nearest-neighbour when stretched.
void convertFrame(const host::PresentedFrame& frame, Frame& out);

}  // namespace kv::headless
