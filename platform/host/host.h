// The host back end: what the platform's stand-ins ask of the machine. One host
// is current per process (a real window over SDL, or headless); the stand-ins in
// platform/win, platform/ddraw and platform/d3d reach the machine only through it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kv::win {
class Dialog;
}

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

// A top-level window as the window model sees it, in screen coordinates.
struct WindowPlacement {
  int32_t left, top, right, bottom;  // outer rectangle
  int32_t clientLeft, clientTop, clientWidth, clientHeight;
};

class Host {
 public:
  virtual ~Host() = default;

  // Host time in units of 1/65536 s; the tick count and the performance
  // counter both read it.
  virtual uint64_t now() = 0;
  // Called on each read of the performance counter; a virtual clock advances
  // here, so busy waits pass without taking real time.
  virtual void onCounterRead() {}
  // Gives the processor back for about this long; a real host may wake late.
  // A virtual clock moves on by no more than this at once, so a wait that
  // sleeps part of its time and spins the rest still ends on the same count.
  virtual void sleep(uint32_t milliseconds);
  // True while the key with this virtual-key code is down.
  virtual bool keyDown(int virtualKey) = 0;
  // One text of the kit's debugger channel, already UTF-8.
  virtual void debugOutput(std::string_view utf8) = 0;

  // ---- The display, as DirectDraw's stand-in sees it ---------------------------
  // The defaults describe a 640 x 480 x 16 screen that shows nothing, for
  // hosts that only stand in for other parts of the machine.
  virtual DisplayMode desktopMode() { return {640, 480, 16, 60}; }
  // Modes a full-screen program may set, 640 x 480 x 16 among them.
  virtual std::vector<DisplayMode> displayModes() { return {desktopMode()}; }
  // Makes the mode the display's (the desktop's until restored); false when
  // the host cannot show it.
  virtual bool setDisplayMode(const DisplayMode& mode) { return mode == desktopMode(); }
  virtual void restoreDisplayMode() {}
  virtual void present(const PresentedFrame& frame) {}

  // ---- Windows: platform/win's window model asks, the host shows ----------------
  // Windows are named by the model's HWND value. Host events come back to the model
  // through platform/win/host_events.h.

  // A top-level window became visible or was hidden, moved or resized.
  virtual void windowShown(uintptr_t window, std::string_view titleUtf8,
                           const WindowPlacement& placement, bool visible) {}
  virtual void windowPlaced(uintptr_t window, const WindowPlacement& placement) {}
  virtual void windowDestroyed(uintptr_t window) {}
  // True when a window shown by the program becomes the active one at once (as
  // on a desktop where the program is in front); focus events may change it later.
  virtual bool activeOnShow() { return true; }
  // Turns pending host events into window messages without waiting.
  virtual void pollEvents() {}
  // Waits until a host event arrives and turns it into messages. False when none
  // can ever arrive (no display, or no window left), so the caller must not wait.
  virtual bool waitEvents() { return false; }
  virtual void setCursorVisible(bool visible) {}
  // A modal message box; returns the button (IDOK). Texts are UTF-8; type is MB_*.
  virtual int messageBox(std::string_view textUtf8, std::string_view captionUtf8, unsigned type);
  // Shows a modal dialog and lets the user work it until it has ended.
  virtual void runDialog(win::Dialog& dialog);
  // A frame-rate readout: in the window's title, or headless in the log once a
  // second. Off unless asked for.
  virtual void showFrameRate(bool shown) {}
  // ---- end of windows ----------------------------------------------------------------
};

// The machine's monotonic clock in host units (1/65536 s), for real-time hosts.
uint64_t monotonicNow();

// The current host; set once by the launcher (or a test) before the kit runs.
Host& current();
void setCurrent(Host* host);

}  // namespace kv::host
