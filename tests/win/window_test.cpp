// Windows and the message queue: sizes, the order of messages Win32 sends, the
// pump's waiting rule and what reaches the host.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/host/headless/headless.h"
#include "platform/host/host.h"
#include "platform/win/host_events.h"
#include "platform/win/winuser.h"
#include "tests/platform_reset.h"
#include "tests/win/kit_ui.h"

namespace {

using namespace kv::wintest;

std::vector<MSG> seen;  // what the window procedure got, in order
bool hideCursorOnSetCursor = false;
LONG largestSize = 700;

// A window procedure shaped like the kit's render window's.
LRESULT CALLBACK recordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  seen.push_back({hwnd, message, wParam, lParam});
  if (message == WM_DESTROY) PostQuitMessage(0);
  if (message == WM_GETMINMAXINFO) {
    auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
    info->ptMinTrackSize = {100, 100};
    info->ptMaxTrackSize = {largestSize, largestSize - 100};
  }
  if (message == WM_SETCURSOR) {
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    if (hideCursorOnSetCursor) {
      SetCursor(nullptr);
      return 1;
    }
  }
  return message == WM_DESTROY ? 0 : DefWindowProcA(hwnd, message, wParam, lParam);
}

std::vector<UINT> messages(const std::vector<MSG>& list) {
  std::vector<UINT> out;
  for (const MSG& m : list) out.push_back(m.message);
  return out;
}

// A host with a display: it records what the model shows and, while the pump
// waits, wakes eventOnWait-1 times for nothing before activating the program.
class DesktopHost final : public kv::host::Host {
 public:
  uint64_t now() override { return 0; }
  bool keyDown(int) override { return false; }
  void debugOutput(std::string_view) override {}
  void windowShown(uintptr_t, std::string_view title, const kv::host::WindowPlacement& p,
                   bool) override {
    lastTitle = title;
    lastPlacement = p;
  }
  void windowPlaced(uintptr_t, const kv::host::WindowPlacement& p) override { lastPlacement = p; }
  void windowDestroyed(uintptr_t) override { ++destroyed; }
  bool waitEvents() override {
    if (++waits < eventOnWait) return true;
    if (activateOnWait) kv::win::hostActivate(true);
    return activateOnWait;
  }
  void setCursorVisible(bool visible) override { cursorVisible = visible; }

  std::string lastTitle;
  kv::host::WindowPlacement lastPlacement{};
  int destroyed = 0, waits = 0, eventOnWait = 1;
  bool activateOnWait = false, cursorVisible = true;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kvtest::resetPlatform();
    kv::host::setCurrent(&host);
    seen.clear();
    hideCursorOnSetCursor = false;
    largestSize = 700;
    ASSERT_NE(registerRenderClass(recordingProc), 0);
  }
  void TearDown() override { kvtest::resetPlatform(); }

  // Everything queued, dispatched up to the quit message (left in msg).
  std::vector<MSG> pump() {
    std::vector<MSG> out;
    for (; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message != WM_QUIT;
         DispatchMessageA(&msg))
      out.push_back(msg);
    return out;
  }
  // The next queued message, taken out unless asked not to; WM_NULL if none.
  UINT next(UINT flags = PM_REMOVE) {
    return PeekMessageA(&msg, nullptr, 0, 0, flags) ? msg.message : WM_NULL;
  }
  static uintptr_t id(HWND hwnd) { return reinterpret_cast<uintptr_t>(hwnd); }

  DesktopHost host;
  MSG msg{};
};

// Left, top, width and height of the window's outer rectangle.
std::tuple<LONG, LONG, LONG, LONG> outer(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}
POINT clientOrigin(HWND hwnd) {
  POINT p{0, 0};
  ClientToScreen(hwnd, &p);
  return p;
}

TEST_F(WindowTest, TheAdjustedOuterSizeGivesTheClientAreaAndHostMovesKeepIt) {
  RECT r{50, 50, 690, 530};
  ASSERT_TRUE(AdjustWindowRectEx(&r, WS_CAPTION, FALSE, 0));
  EXPECT_LT(r.top, 50 - 1);  // a caption is above the client area
  HWND hwnd = openRenderWindow(640, 480);
  ASSERT_NE(hwnd, nullptr);
  RECT client{};
  GetClientRect(hwnd, &client);
  EXPECT_EQ(std::tie(client.right, client.bottom), std::make_tuple(640, 480));
  const auto [left, top, width, height] = outer(hwnd);
  EXPECT_EQ(std::tie(width, height), std::make_tuple(r.right - r.left, r.bottom - r.top));
  const POINT origin = clientOrigin(hwnd);
  EXPECT_EQ(std::make_tuple(origin.x - left, origin.y - top),
            std::make_tuple(50 - r.left, 50 - r.top));
  EXPECT_EQ(host.lastTitle, "kvKIT v1.0");
  const kv::host::WindowPlacement& p = host.lastPlacement;
  EXPECT_EQ(std::tie(p.clientLeft, p.clientWidth, p.clientHeight),
            std::make_tuple(origin.x, 640, 480));

  kv::win::hostMoved(id(hwnd), -20, 30);
  EXPECT_EQ(next(), WM_MOVE);
  EXPECT_EQ(msg.lParam, MAKELPARAM(static_cast<WORD>(-20), 30));  // signed positions
  EXPECT_EQ(std::make_tuple(clientOrigin(hwnd).x, clientOrigin(hwnd).y), std::make_tuple(-20, 30));
  EXPECT_EQ(std::get<2>(outer(hwnd)), width);
}

TEST_F(WindowTest, CreateShowUpdateAndCloseFromTheHostSendTheWin32SequenceAndLeaveAStaleHandle) {
  HWND hwnd = openRenderWindow(320, 240);
  EXPECT_EQ(messages(seen),
            (std::vector<UINT>{WM_GETMINMAXINFO, WM_NCCREATE, WM_CREATE, WM_SHOWWINDOW,
                               WM_ACTIVATEAPP, WM_SIZE, WM_MOVE, WM_PAINT}));
  EXPECT_EQ(seen[4].wParam, static_cast<WPARAM>(TRUE));  // active as soon as it is shown
  EXPECT_EQ(seen[5].lParam, MAKELPARAM(320, 240));
  EXPECT_EQ(next(), WM_NULL);  // the paint was done by UpdateWindow

  // The default procedure destroys the window on WM_CLOSE; ours then quits.
  seen.clear();
  kv::win::hostClose(id(hwnd));
  EXPECT_EQ(messages(pump()), std::vector<UINT>{WM_CLOSE});
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(messages(seen),
            (std::vector<UINT>{WM_CLOSE, WM_ACTIVATEAPP, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_EQ(seen[1].wParam, static_cast<WPARAM>(FALSE));
  EXPECT_FALSE(IsWindow(hwnd) || kv::win::anyTopLevelWindow());
  EXPECT_EQ(host.destroyed, 1);
  EXPECT_EQ(next(), WM_NULL);
  // The stale handle is refused everywhere.
  RECT r{};
  EXPECT_EQ(SendMessageA(hwnd, WM_USER, 0, 0), 0);
  EXPECT_FALSE(DestroyWindow(hwnd) || ShowWindow(hwnd, SW_SHOW) ||
               PostMessageA(hwnd, WM_USER, 0, 0) || GetClientRect(hwnd, &r));
  // So are unknown classes, and a class registered twice.
  EXPECT_EQ(CreateWindowExA(0, "no such class", "", WS_CAPTION, 0, 0, 10, 10, nullptr, nullptr,
                            nullptr, nullptr),
            nullptr);
  EXPECT_EQ(registerRenderClass(recordingProc), 0);
}

TEST_F(WindowTest, PostedMessagesComeBeforeQuitAndQuitBeforePaintInABoundedQueue) {
  HWND hwnd = openRenderWindow(64, 64);
  InvalidateRect(hwnd, nullptr, FALSE);
  PostQuitMessage(3);
  PostMessageA(hwnd, WM_USER, 1, 2);
  EXPECT_EQ(next(PM_NOREMOVE), WM_USER);  // not removed: seen again
  EXPECT_EQ(next(), WM_USER);
  EXPECT_EQ(msg.hwnd, hwnd);
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(std::tie(msg.message, msg.wParam), std::make_tuple(UINT{WM_QUIT}, WPARAM{3}));
  EXPECT_EQ(next(), WM_PAINT);
  EXPECT_EQ(next(),
            WM_NULL);  // one paint per invalidation, even when the procedure does not validate
  EXPECT_EQ(host.waits, 0);

  // A full queue refuses posts instead of growing.
  int accepted = 0;
  while (PostMessageA(hwnd, WM_USER, 0, 0) && accepted < 100000) ++accepted;
  EXPECT_EQ(accepted, 1024);
  EXPECT_EQ(pump().size(), 1024u);
  EXPECT_TRUE(PostMessageA(hwnd, WM_USER, 0, 0));
}

TEST_F(WindowTest, GetMessageWaitsOnTheHostButNotWhereNothingCanArrive) {
  openRenderWindow(64, 64);
  kv::win::hostActivate(false);
  pump();
  host.activateOnWait = true;
  host.eventOnWait = 3;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(host.waits, 3);
  EXPECT_EQ(std::tie(msg.message, msg.wParam), std::make_tuple(UINT{WM_ACTIVATEAPP}, WPARAM{TRUE}));

  kvtest::resetPlatform();
  msg.message = WM_USER;
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));  // returns instead of hanging
  EXPECT_EQ(msg.message, WM_NULL);                 // but nobody asked to quit
}

TEST_F(WindowTest, SetWindowPosKeepsToTheSizeLimitsTheWindowGives) {
  HWND hwnd = openRenderWindow(64, 64);
  seen.clear();
  ASSERT_TRUE(SetWindowPos(hwnd, HWND_NOTOPMOST, 10, 20, 5000, 40, SWP_SHOWWINDOW));
  EXPECT_EQ(outer(hwnd), std::make_tuple(10, 20, 700, 100));
  EXPECT_EQ(seen.front().message, WM_GETMINMAXINFO);
  EXPECT_EQ(host.lastPlacement.left, 10);

  largestSize = 0;  // limits given crossed: the smallest size wins
  ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 0, 0, 300, 300, SWP_NOMOVE));
  EXPECT_EQ(outer(hwnd), std::make_tuple(10, 20, 100, 100));
}

TEST_F(WindowTest, TheCursorFollowsWhatTheWindowProcedureSets) {
  HWND hwnd = openRenderWindow(64, 64);
  for (bool hide : {false, true, false}) {  // hidden in full screen while active
    hideCursorOnSetCursor = hide;
    kv::win::hostMouseMoved(id(hwnd));
    EXPECT_EQ(host.cursorVisible, !hide);
    EXPECT_EQ(seen.back().message, WM_SETCURSOR);
    EXPECT_EQ(LOWORD(seen.back().lParam), HTCLIENT);
  }
}

}  // namespace
