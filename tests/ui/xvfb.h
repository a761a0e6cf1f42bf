// A private X display for the window tests, and the X tools that drive it.
#pragma once

#include <cstdint>
#include <string>

namespace kv::uitest {

// Whether Xvfb and xdotool are installed (the tests skip without them).
bool haveTools();

// Starts Xvfb on a free display number and makes it DISPLAY; stops it when
// destroyed. ok() is false when it did not come up.
class Xvfb {
 public:
  Xvfb();
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;
  bool ok() const { return pid_ > 0; }
  const std::string& display() const { return display_; }

 private:
  int pid_ = -1;
  std::string display_;
};

// Runs a shell command; returns its standard output (trailing newline removed).
std::string run(const std::string& command, int* status = nullptr);
// Polls `xdotool search --name` until a window with this exact title shows, up
// to timeoutMs; returns its id or "".
std::string findWindow(const std::string& title, int timeoutMs);
// "640x480" for the window's size as X knows it.
std::string windowSize(const std::string& windowId);

// A screenshot of a window as 8-bit RGB, row after row.
struct Picture {
  int width = 0, height = 0;
  std::string rgb;
  int distinctColours(int limit) const;
};
Picture screenshot(const std::string& windowId);

void sleepMs(int milliseconds);
// A monotonic clock in milliseconds.
int64_t nowMs();

}  // namespace kv::uitest
