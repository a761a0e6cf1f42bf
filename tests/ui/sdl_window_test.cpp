// The SDL host on a real (virtual) X display: the window, the picture, the keys,
// focus and the end of the last window, driven through the Win32 calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/host/headless/headless.h"
#include "platform/host/sdl/sdl_host.h"
#include "platform/win/host_events.h"
#include "platform/win/winuser.h"
#include "tests/ui/xvfb.h"
#include "tests/win/driver_dialog.h"

namespace {

using namespace kv::uitest;

LRESULT CALLBACK renderProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

class SdlWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveTools()) GTEST_SKIP() << "Xvfb, xdotool or ImageMagick's import is not installed";
    xvfb_ = std::make_unique<Xvfb>();
    if (!xvfb_->ok()) GTEST_SKIP() << "Xvfb did not start";
    host_ = kv::sdl::open();
    ASSERT_NE(host_, nullptr);
    kv::host::setCurrent(host_.get());
    kv::win::resetWindowsForTests();
    WNDCLASSA wc{CS_HREDRAW | CS_VREDRAW, renderProc, 0, 0, nullptr, nullptr, LoadCursorA(nullptr, IDC_ARROW),
                 static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)), nullptr, "kvKIT Render Window"};
    RegisterClassA(&wc);
    RECT r{50, 50, 690, 530};
    AdjustWindowRectEx(&r, WS_CAPTION, FALSE, 0);
    window_ = CreateWindowExA(0, "kvKIT Render Window", "kvKIT v1.0", WS_CAPTION, CW_USEDEFAULT, CW_USEDEFAULT,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    id_ = findWindow("kvKIT v1.0", 5000);
    ASSERT_FALSE(id_.empty()) << "no window titled kvKIT v1.0";
  }

  void TearDown() override {
    kv::win::resetWindowsForTests();
    kv::headless::install();
    host_.reset();
    xvfb_.reset();
  }

  // Empties the queue, handing each message to its window; returns them.
  std::vector<MSG> pump() {
    std::vector<MSG> out;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      out.push_back(msg);
      DispatchMessageA(&msg);
    }
    return out;
  }

  bool waitForActivation(bool active, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 20) {
      for (const MSG& m : pump())
        if (m.message == WM_ACTIVATEAPP && (m.wParam != 0) == active) return true;
      sleepMs(20);
    }
    return false;
  }

  void focus() { run("xdotool windowfocus --sync " + id_ + " 2>/dev/null"); }

  std::unique_ptr<Xvfb> xvfb_;
  std::unique_ptr<kv::host::Host> host_;
  HWND window_ = nullptr;
  std::string id_;
};

TEST_F(SdlWindowTest, TheWindowHasTheCaptionAndTheClientSize) {
  EXPECT_EQ(windowSize(id_), "640x480");
}

TEST_F(SdlWindowTest, APresentedFrameIsShownUnscaledInTheClientArea) {
  // Red left half, blue right half, a green square at (100, 100): 565 pixels.
  std::vector<uint16_t> pixels(640 * 480);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      pixels[static_cast<size_t>(y) * 640 + x] =
          (x >= 100 && x < 120 && y >= 100 && y < 120) ? 0x07E0 : x < 320 ? 0xF800 : 0x001F;
  POINT origin{0, 0};
  ClientToScreen(window_, &origin);
  const kv::host::PresentedFrame frame{pixels.data(), 640 * 2, 16, {0, 0, 640, 480},
                                       {origin.x, origin.y, origin.x + 640, origin.y + 480}};
  Picture picture;
  for (int attempt = 0; attempt < 20; ++attempt) {  // the X server shows it a moment later
    pump();
    kv::host::current().present(frame);
    sleepMs(100);
    picture = screenshot(id_);
    if (picture.width == 640 && static_cast<unsigned char>(picture.rgb[0]) > 200) break;
  }
  ASSERT_EQ(picture.width, 640);
  ASSERT_EQ(picture.height, 480);
  auto at = [&](int x, int y) {
    const size_t i = (static_cast<size_t>(y) * 640 + x) * 3;
    return std::vector<int>{static_cast<unsigned char>(picture.rgb[i]), static_cast<unsigned char>(picture.rgb[i + 1]),
                            static_cast<unsigned char>(picture.rgb[i + 2])};
  };
  auto near = [](const std::vector<int>& got, int r, int g, int b) {
    return std::abs(got[0] - r) < 16 && std::abs(got[1] - g) < 16 && std::abs(got[2] - b) < 16;
  };
  EXPECT_TRUE(near(at(0, 0), 255, 0, 0));
  EXPECT_TRUE(near(at(639, 479), 0, 0, 255));
  EXPECT_TRUE(near(at(100, 100), 0, 255, 0));  // the square's corner: no shift, no stretch
  EXPECT_TRUE(near(at(119, 119), 0, 255, 0));
  EXPECT_TRUE(near(at(120, 120), 255, 0, 0));
  EXPECT_TRUE(near(at(99, 99), 255, 0, 0));
}

TEST_F(SdlWindowTest, HeldKeysReachGetAsyncKeyState) {
  focus();
  waitForActivation(true, 1000);
  const std::vector<std::pair<const char*, int>> keys = {
      {"e", 'E'}, {"j", 'J'}, {"F3", VK_F3}, {"Escape", VK_ESCAPE}, {"KP_4", 0x64}, {"Up", 0x26}, {"7", '7'}};
  for (const auto& [name, vk] : keys) {
    SCOPED_TRACE(name);
    EXPECT_EQ(GetAsyncKeyState(vk) & 0x8000, 0);
    run(std::string("xdotool keydown ") + name);
    bool down = false;
    for (int waited = 0; waited < 2000 && !down; waited += 10) {
      down = (GetAsyncKeyState(vk) & 0x8000) != 0;
      if (!down) sleepMs(10);
    }
    EXPECT_TRUE(down);
    run(std::string("xdotool keyup ") + name);
    bool up = false;
    for (int waited = 0; waited < 2000 && !up; waited += 10) {
      up = (GetAsyncKeyState(vk) & 0x8000) == 0;
      if (!up) sleepMs(10);
    }
    EXPECT_TRUE(up);
  }
}

TEST_F(SdlWindowTest, LosingTheFocusMakesGetMessageWaitUntilItComesBack) {
  focus();
  waitForActivation(true, 500);
  const std::string root = run("xwininfo -root | sed -n 's/.*Window id: \\(0x[0-9a-f]*\\).*/\\1/p'");
  run("xdotool windowfocus " + root + " 2>/dev/null");
  ASSERT_TRUE(waitForActivation(false, 2000)) << "no WM_ACTIVATEAPP(FALSE) on losing the focus";

  // Focus comes back a second from now, from another process; until then the
  // pump must wait in GetMessageA rather than return.
  run("(sleep 1; xdotool windowfocus " + id_ + ") >/dev/null 2>&1 &");
  const int64_t start = nowMs();
  MSG msg;
  bool activated = false;
  while (!activated && GetMessageA(&msg, nullptr, 0, 0)) {
    DispatchMessageA(&msg);
    activated = msg.message == WM_ACTIVATEAPP && msg.wParam != 0;
    if (nowMs() - start > 10000) break;
  }
  const int64_t waited = nowMs() - start;
  EXPECT_TRUE(activated);
  EXPECT_GE(waited, 700);
}

TEST_F(SdlWindowTest, WithTheLastWindowGoneEscapeIsHeldAndNothingWaits) {
  focus();
  EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE) & 0x8000, 0);
  kv::win::hostClose(reinterpret_cast<uintptr_t>(window_));
  std::vector<UINT> seen;
  for (const MSG& m : pump()) seen.push_back(m.message);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_NE(std::find(seen.begin(), seen.end(), WM_CLOSE), seen.end());
  EXPECT_NE(GetAsyncKeyState(VK_ESCAPE) & 0x8000, 0);
  MSG msg;
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));  // returns: no window can get an event
  EXPECT_TRUE(findWindow("kvKIT v1.0", 0).empty());
}

// The dialog view over the render window, worked from the keyboard as the
// user would: Tab to the device box, Down to the next device, Enter for OK.
TEST_F(SdlWindowTest, TheDialogViewIsWorkedFromTheKeyboard) {
  using namespace kv::wintest;
  TemplateBuilder builder;
  buildDriverDialog(builder);
  focus();
  // Escape a while later ends a dialog the keys missed, so a failure cannot hang.
  run("(sleep 1; xdotool key Tab Tab Tab Down Return; sleep 3; xdotool key Escape) >/dev/null 2>&1 &");
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, builder.get(), window_, driverDialogProc, 0), 1);
  EXPECT_EQ(chosen.device, 21);  // the Reference Rasterizer's item data

  run("(sleep 1; xdotool key Escape) >/dev/null 2>&1 &");
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, builder.get(), window_, driverDialogProc, 0), 2);
  EXPECT_TRUE(IsWindow(window_));  // the owner stays
}

// The same with the mouse: open the device box, pick its second entry, press
// OK. Positions follow the view's layout of the template (dialog units of 1.75
// by 1.625 pixels, centred in the client area, under a 19-pixel title bar with
// 8 pixels of padding; list entries 17 pixels apart).
TEST_F(SdlWindowTest, TheDialogViewIsWorkedWithTheMouse) {
  using namespace kv::wintest;
  TemplateBuilder builder;
  buildDriverDialog(builder);
  focus();
  POINT origin{0, 0};
  ClientToScreen(window_, &origin);
  const double left = origin.x + (640 - (179 * 1.75 + 16)) / 2 + 8;
  const double top = origin.y + (480 - (84 * 1.625 + 35)) / 2 + 27;
  auto at = [](double x, double y) {
    return std::to_string(static_cast<int>(x)) + " " + std::to_string(static_cast<int>(y));
  };
  const std::string deviceBox = at(left + (36 + 138 / 2) * 1.75, top + 24 * 1.625 + 9);
  const std::string secondEntry = at(left + (36 + 138 / 2) * 1.75, top + 24 * 1.625 + 19 + 14 + 17);
  const std::string okButton = at(left + (65 + 51 / 2) * 1.75, top + (65 + 7) * 1.625);
  run("(sleep 1; xdotool mousemove " + deviceBox + " click 1; sleep 0.3; xdotool mousemove " + secondEntry +
      " click 1; sleep 0.3; xdotool mousemove " + okButton + " click 1; sleep 3; xdotool key Escape) >/dev/null 2>&1 &");
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, builder.get(), window_, driverDialogProc, 0), 1);
  EXPECT_EQ(chosen.device, 21);
}

}  // namespace
