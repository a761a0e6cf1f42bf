// The host back end: what the platform's stand-ins ask of the machine. One host
// is current per process (a real window over SDL, or headless); the stand-ins in
// platform/win, platform/ddraw and platform/d3d reach the machine only through it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kv::host {

// A display mode, or the desktop's: size and bits per pixel (8: palette
// indices, 16: RGB565, 32: XRGB8888 with blue in the low byte).
struct DisplayMode {
  uint32_t width, height, bitCount, refreshRate;
  bool operator==(const DisplayMode&) const = default;
};

struct Rect {
  int32_t left, top, right, bottom;  // right and bottom exclusive
};

// A finished picture handed to the screen: the source rectangle of a surface
// (rows from the top, pitch bytes apart, in the bit depth given) is shown in
// the screen rectangle, stretched when the sizes differ. In a window the
// screen rectangle is the client area in screen coordinates; in full screen
// it is the whole display.
struct PresentedFrame {
  const void* pixels;  // the surface's row 0
  int32_t pitch;
  uint32_t bitCount;  // 16 or 32
  Rect source;
  Rect screen;
};

class Host {
 public:
  virtual ~Host() = default;

  // Host time in units of 1/65536 s: two units are one period of the PC refresh
  // toggle, so tick counts and port reads come from one clock.
  virtual uint64_t now() = 0;
  // Called on each read of the toggle port; the virtual clock advances here.
  virtual void onPortRead() {}
  // True while the key with this virtual-key code is down.
  virtual bool keyDown(int virtualKey) = 0;
  // One text of the kit's debugger channel, already UTF-8.
  virtual void debugOutput(std::string_view utf8) = 0;

  // The display, as DirectDraw's stand-in sees it.
  virtual DisplayMode desktopMode() = 0;
  // Modes a full-screen program may set, 640 x 480 x 16 among them.
  virtual std::vector<DisplayMode> displayModes() = 0;
  // Makes the mode the display's (the desktop's until restored); false when
  // the host cannot show it.
  virtual bool setDisplayMode(const DisplayMode& mode) = 0;
  virtual void restoreDisplayMode() = 0;
  virtual void present(const PresentedFrame& frame) = 0;
};

// The machine's monotonic clock in host units (1/65536 s), for real-time hosts.
uint64_t monotonicNow();

// The current host; set once by the launcher (or a test) before the kit runs.
Host& current();
void setCurrent(Host* host);

}  // namespace kv::host
