// The SDL host and the demonstration on a private X display, driven by xdotool:
// the window, the picture, the keys, focus, the dialog view and the way out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <set>
#include <vector>

#include "demo/Kvmain.h"
#include "kvKIT.h"
#include "platform/host/headless/headless.h"
#include "platform/host/png.h"
#include "platform/host/sdl/sdl_host.h"
#include "platform/pixel/rgb565.h"
#include "platform/win/debug_channel.h"
#include "platform/win/host_events.h"
#include "platform/win/winuser.h"
#include "tests/test_files.h"
#include "tests/win/kit_ui.h"

// SDL's X11, D-Bus and GL libraries keep allocations until the process ends;
// the leak check belongs to the unit tests.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

namespace fs = std::filesystem;
using namespace kv::wintest;

void sleepMs(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }
// (<chrono> does not compile with the kit's code page: it spells a micro sign.)
long long nowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
}
bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// A command's whole standard output (screenshots are binary: nothing trimmed).
// A fresh Xvfb now and then turns a new client away at connect, so a command
// that fails is tried twice more; one that fails for real still fails.
std::string run(const std::string& command) {
  std::string out;
  for (int attempt = 0; attempt < 3; ++attempt) {
    out.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) continue;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    if (pclose(pipe) == 0) break;
    sleepMs(30);
  }
  return out;
}

template <class Done>
bool waitFor(Done done, int timeoutMs, int stepMs = 20) {
  for (int waited = 0;; waited += stepMs) {
    if (done()) return true;
    if (waited >= timeoutMs) return false;
    sleepMs(stepMs);
  }
}

bool haveTools() {
  return std::system(
             "{ command -v Xvfb && command -v xdotool && command -v import; } >/dev/null 2>&1") ==
         0;
}

std::string findWindow(const std::string& title, int timeoutMs) {
  std::string ids;
  waitFor(
      [&] {
        return !(ids = run("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null"))
                    .empty();
      },
      timeoutMs, 100);
  return ids.substr(0, ids.find('\n'));
}

struct Picture {
  int width = 0, height = 0;
  std::string rgb;
  std::array<int, 3> at(int x, int y) const {
    const auto* p = reinterpret_cast<const unsigned char*>(rgb.data()) +
                    (static_cast<size_t>(y) * width + x) * 3;
    return {p[0], p[1], p[2]};
  }
  int distinctColours(int limit) const {
    std::set<std::string> colours;
    for (size_t i = 0; i + 2 < rgb.size() && static_cast<int>(colours.size()) < limit; i += 3)
      colours.insert(rgb.substr(i, 3));
    return static_cast<int>(colours.size());
  }
  // The first row from the top where the lit floor shows (or a can on it): the
  // median over the middle half of the columns, so a tall can does not count.
  int floorTop() const {
    std::vector<int> rows;
    for (int x = width / 4; x < width * 3 / 4; ++x) {
      int y = 0;
      while (y < height && std::ranges::max(at(x, y)) < 40) ++y;
      rows.push_back(y);
    }
    if (rows.empty()) return -1;
    std::ranges::nth_element(rows, rows.begin() + static_cast<std::ptrdiff_t>(rows.size() / 2));
    return rows[rows.size() / 2];
  }
};

// How far the floor round the middle of the scene turned from one picture to
// the other, in degrees counterclockwise seen from above: the turn within 40
// degrees that lays one floor best onto the other, within 600 units of the
// middle. Both pictures are read as the floor seen from where the scripted
// camera settles after its opening (27 degrees up, 2000 units out, aimed at the
// middle, which is the picture's centre), through the demo's projection.
int floorTurn(const Picture& before, const Picture& after) {
  const double up = 27 * M_PI / 180, height = 2000 * std::sin(up), back = 2000 * std::cos(up);
  auto floorAt = [&](const Picture& p, double across, double away) {  // away from the camera
    const double depth = height * std::sin(up) + (back + away) * std::cos(up);
    const double rise = (back + away) * std::sin(up) - height * std::cos(up);
    return p.at(
        std::clamp(static_cast<int>(std::lround(320 + 512 * across / depth)), 0, p.width - 1),
        std::clamp(static_cast<int>(std::lround(240 - 512 * rise / depth)), 0, p.height - 1));
  };
  constexpr double kRadius = 600, kStep = 20;
  int best = 0;
  double bestDifference = 1e9;
  for (int degrees = -40; degrees <= 40; ++degrees) {
    const double c = std::cos(degrees * M_PI / 180), s = std::sin(degrees * M_PI / 180);
    double difference = 0;
    for (double y = -kRadius; y <= kRadius; y += kStep)
      for (double x = -kRadius; x <= kRadius; x += kStep) {
        if (x * x + y * y > kRadius * kRadius) continue;
        const auto one = floorAt(before, x, y),
                   other = floorAt(after, x * c - y * s, x * s + y * c);
        for (int k = 0; k < 3; ++k) difference += std::abs(one[k] - other[k]);
      }
    if (difference < bestDifference) bestDifference = difference, best = degrees;
  }
  return best;
}

Picture screenshot(const std::string& id) {
  Picture p;
  const std::string ppm = run("import -silent -window " + id + " -depth 8 ppm:- 2>/dev/null");
  int maxValue = 0, consumed = 0;
  if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &p.width, &p.height, &maxValue, &consumed) != 3 ||
      maxValue != 255)
    return {};
  const size_t size = static_cast<size_t>(p.width) * p.height * 3;
  if (ppm.size() < static_cast<size_t>(consumed) + 1 + size) return {};
  p.rgb = ppm.substr(static_cast<size_t>(consumed) + 1, size);
  return p;
}

// Each test has its own Xvfb on a free display number, made DISPLAY. Never the
// same number twice in one process: a late key from an earlier test's helper
// must not reach a later test's windows.
class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveTools()) GTEST_SKIP() << "Xvfb, xdotool or ImageMagick's import is not installed";
    static int next = 90 + static_cast<int>(getpid() % 200);
    for (int n = next; n < 800 && xvfb_ <= 0; ++n) {
      const std::string display = ":" + std::to_string(n),
                        socket = "/tmp/.X11-unix/X" + std::to_string(n);
      if (exists("/tmp/.X" + std::to_string(n) + "-lock") || exists(socket)) continue;
      const pid_t pid = fork();
      if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
               nullptr);
        _exit(127);
      }
      bool exited = false;  // another process won the number
      waitFor([&] { return exists(socket) || (exited = waitpid(pid, nullptr, WNOHANG) == pid); },
              5000, 50);
      if (!exited && exists(socket)) {
        xvfb_ = pid;
        next = n + 1;
        setenv("DISPLAY", display.c_str(), 1);
        sleepMs(100);
      } else if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
    }
    if (xvfb_ <= 0) GTEST_SKIP() << "Xvfb did not start";
  }
  void TearDown() override {
    if (xvfb_ <= 0) return;
    kill(xvfb_, SIGTERM);
    waitpid(xvfb_, nullptr, 0);
  }
  void focus() { run("xdotool windowfocus --sync " + id_ + " 2>/dev/null"); }
  void focusRoot() {
    run("xdotool windowfocus $(xwininfo -root | sed -n 's/.*Window id: \\(0x[0-9a-f]*\\).*/\\1/p') "
        "2>/dev/null");
  }

  pid_t xvfb_ = -1;
  std::string id_;
};

LRESULT CALLBACK renderProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// The SDL host alone, worked through the Win32 calls as the kit makes them.
class SdlWindowTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    if (IsSkipped()) return;
    host_ = kv::sdl::open();
    ASSERT_NE(host_, nullptr);
    kv::host::setCurrent(host_.get());
    kv::win::resetWindowsForTests();
    registerRenderClass(renderProc);
    window_ = openRenderWindow(640, 480);
    id_ = findWindow("kvKIT v1.0", 5000);
    ASSERT_FALSE(id_.empty()) << "no window titled kvKIT v1.0";
  }
  void TearDown() override {
    kv::win::resetWindowsForTests();
    kv::headless::install();
    host_.reset();
    UiTest::TearDown();
  }

  std::vector<MSG> pump() {
    std::vector<MSG> out;
    for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); DispatchMessageA(&msg))
      out.push_back(msg);
    return out;
  }
  bool waitForActivation(bool active, int timeoutMs) {
    return waitFor(
        [&] {
          for (const MSG& m : pump())
            if (m.message == WM_ACTIVATEAPP && (m.wParam != 0) == active) return true;
          return false;
        },
        timeoutMs);
  }
  INT_PTR driverDialog() {
    TemplateBuilder builder;
    buildDriverDialog(builder);
    return DialogBoxIndirectParamA(nullptr, builder.get(), window_, driverDialogProc, 0);
  }

  std::unique_ptr<kv::host::Host> host_;
  HWND window_ = nullptr;
};

// Red left half, blue right half, a green square at (100, 100), in 565 pixels:
// shown unscaled in the 640 x 480 client area; at the user's size, scaled to
// fit with its shape kept and the bands black.
TEST_F(SdlWindowTest, AFrameShowsUnscaledAndAtTheUsersSizeScaledWithItsShapeKept) {
  std::vector<uint16_t> pixels(640 * 480);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      pixels[static_cast<size_t>(y) * 640 + x] = (x >= 100 && x < 120 && y >= 100 && y < 120)
                                                     ? 0x07E0
                                                 : x < 320 ? 0xF800
                                                           : 0x001F;
  POINT o{0, 0};
  ClientToScreen(window_, &o);
  const kv::host::PresentedFrame frame{
      pixels.data(), 640 * 2, 16, {0, 0, 640, 480}, {o.x, o.y, o.x + 640, o.y + 480}};
  auto shown = [&](int width, int x, int channel) {  // the X server shows it a moment later
    Picture picture;
    for (int attempt = 0; attempt < 20; ++attempt) {
      pump();
      kv::host::current().present(frame);
      sleepMs(100);
      picture = screenshot(id_);
      if (picture.width == width && picture.at(x, 240)[channel] > 200) break;
    }
    return picture;
  };
  const auto near = [](std::array<int, 3> c, int r, int g, int b) {
    return std::abs(c[0] - r) < 16 && std::abs(c[1] - g) < 16 && std::abs(c[2] - b) < 16;
  };

  Picture picture = shown(640, 0, 0);
  ASSERT_EQ(std::make_pair(picture.width, picture.height), std::make_pair(640, 480));
  // The square's corners and their neighbours: no shift, no stretch.
  const struct {
    int x, y, r, g, b;
  } unscaled[] = {{0, 0, 255, 0, 0},     {639, 479, 0, 0, 255}, {100, 100, 0, 255, 0},
                  {119, 119, 0, 255, 0}, {120, 120, 255, 0, 0}, {99, 99, 255, 0, 0}};
  for (const auto& e : unscaled)
    EXPECT_TRUE(near(picture.at(e.x, e.y), e.r, e.g, e.b)) << "at " << e.x << "," << e.y;

  run("xdotool windowsize --sync " + id_ + " 960 480");
  picture = shown(960, 795, 2);
  ASSERT_EQ(std::make_pair(picture.width, picture.height), std::make_pair(960, 480));
  const struct {
    int x, r, b;
  } scaled[] = {{100, 0, 0},   {165, 255, 0}, {475, 255, 0},
                {485, 0, 255}, {795, 0, 255}, {860, 0, 0}};
  for (const auto& e : scaled)
    EXPECT_TRUE(near(picture.at(e.x, 240), e.r, 0, e.b)) << "at x " << e.x;
}

TEST_F(SdlWindowTest, HeldKeysReachGetAsyncKeyState) {
  focus();
  waitForActivation(true, 1000);
  const std::pair<const char*, int> keys[] = {
      {"e", 'E'},     {"s", 'S'},   {"d", 'D'},    {"f", 'F'},
      {"i", 'I'},     {"j", 'J'},   {"F3", VK_F3}, {"Escape", VK_ESCAPE},
      {"KP_4", 0x64}, {"Up", 0x26}, {"7", '7'}};
  for (const auto& [name, vk] : keys) {
    SCOPED_TRACE(name);
    auto held = [vk = vk] { return (GetAsyncKeyState(vk) & 0x8000) != 0; };
    EXPECT_FALSE(held());
    run(std::string("xdotool keydown ") + name);
    EXPECT_TRUE(waitFor(held, 2000, 10));
    run(std::string("xdotool keyup ") + name);
    EXPECT_TRUE(waitFor([&] { return !held(); }, 2000, 10));
  }
}

TEST_F(SdlWindowTest, WithTheLastWindowGoneEscapeIsHeldAndNothingWaits) {
  focus();
  EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE) & 0x8000, 0);
  kv::win::hostClose(reinterpret_cast<uintptr_t>(window_));
  const std::vector<MSG> seen = pump();
  EXPECT_TRUE(
      std::any_of(seen.begin(), seen.end(), [](const MSG& m) { return m.message == WM_CLOSE; }));
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_NE(GetAsyncKeyState(VK_ESCAPE) & 0x8000, 0);
  MSG msg;
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));  // returns: no window can get an event
  EXPECT_TRUE(findWindow("kvKIT v1.0", 0).empty());
}

// Open the device box, pick its second entry, press OK; then Escape cancels.
// Positions follow the view's layout of the template: dialog units of 1.75 by
// 1.625 pixels, centred in the client area, under a 19-pixel title bar with 8
// pixels of padding; list entries 17 pixels apart. (The keyboard path is the
// demo's F3 test.) An Escape a while later ends a dialog the clicks missed.
TEST_F(SdlWindowTest, TheDialogViewIsWorkedWithTheMouseAndEscapeCancels) {
  focus();
  POINT o{0, 0};
  ClientToScreen(window_, &o);
  const double left = o.x + (640 - (179 * 1.75 + 16)) / 2 + 8,
               top = o.y + (480 - (84 * 1.625 + 35)) / 2 + 27;
  auto click = [](double x, double y) {
    return "xdotool mousemove " + std::to_string(static_cast<int>(x)) + " " +
           std::to_string(static_cast<int>(y)) + " click 1; ";
  };
  const double boxX = left + (36 + 138 / 2) * 1.75;
  run("(sleep 1; " + click(boxX, top + 24 * 1.625 + 9) + "sleep 0.3; " +
      click(boxX, top + 24 * 1.625 + 50) + "sleep 0.3; " +
      click(left + (65 + 51 / 2) * 1.75, top + 72 * 1.625) +
      "sleep 3; xdotool key Escape) >/dev/null 2>&1 &");
  EXPECT_EQ(driverDialog(), 1);
  EXPECT_EQ(chosen.device, 21);  // the Reference Rasterizer's item data
  run("(sleep 1; xdotool key Escape) >/dev/null 2>&1 &");
  EXPECT_EQ(driverDialog(), 2);
  EXPECT_TRUE(IsWindow(window_));  // the owner stays
}

TEST_F(SdlWindowTest, TheWindowIsAnOrdinaryTopLevelWindow) {
  const std::string transient = run("xprop -id " + id_ + " WM_TRANSIENT_FOR 2>&1");
  EXPECT_NE(transient.find("not found"), std::string::npos) << transient;
}

// A tap of 12 ms between two reads is seen by the next read, once; a held key
// reads as held on every read.
TEST_F(SdlWindowTest, AShortPressIsSeenByTheNextReadOnce) {
  focus();
  waitForActivation(true, 1000);
  for (const auto& [name, vk] : {std::pair{"F3", VK_F3}, std::pair{"Escape", VK_ESCAPE}}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(GetAsyncKeyState(vk) & 0x8000, 0);
    run(std::string("xdotool keydown ") + name + " sleep 0.012 keyup " + name);
    sleepMs(150);  // released well before the read
    EXPECT_NE(GetAsyncKeyState(vk) & 0x8000, 0) << "the tap was lost";
    EXPECT_EQ(GetAsyncKeyState(vk) & 0x8000, 0) << "the tap was reported twice";
  }
}

// Escape held about 300 ms cancels the dialog at its press; the program must not
// see it afterwards until it is pressed again. Likewise Enter, which ends it with OK.
TEST_F(SdlWindowTest, TheKeyThatEndsTheDialogDoesNotReachTheProgramAfterIt) {
  focus();
  waitForActivation(true, 1000);
  for (const auto& [name, vk] : {std::pair{"Escape", VK_ESCAPE}, std::pair{"Return", 0x0D}}) {
    SCOPED_TRACE(name);
    run(std::string("(sleep 1; xdotool keydown ") + name + "; sleep 0.3; xdotool keyup " + name +
        ") >/dev/null 2>&1 &");
    driverDialog();
    const long long ended = nowMs();
    bool seen = false;
    while (nowMs() - ended < 700) seen = seen || (GetAsyncKeyState(vk) & 0x8000) != 0;
    EXPECT_FALSE(seen) << "the key that ended the dialog reached the program";
    run(std::string("xdotool keydown ") + name);
    EXPECT_TRUE(waitFor([vk = vk] { return (GetAsyncKeyState(vk) & 0x8000) != 0; }, 2000, 10));
    run(std::string("xdotool keyup ") + name);
    waitFor([vk = vk] { return (GetAsyncKeyState(vk) & 0x8000) == 0; }, 2000, 10);
  }
}

// The kit counts WM_MOVE only while active; a move made while another window
// had the focus reaches it when the program is active again.
TEST_F(SdlWindowTest, AMoveWhileInactiveIsToldAfterTheActivation) {
  focus();
  waitForActivation(true, 1000);  // active from the start, or now
  focusRoot();
  ASSERT_TRUE(waitForActivation(false, 2000));
  run("xdotool windowmove --sync " + id_ + " 300 200");
  waitFor([&] { return !pump().empty(); }, 1000);
  focus();
  bool activated = false, movedAfter = false;
  waitFor(
      [&] {
        for (const MSG& m : pump()) {
          if (m.message == WM_ACTIVATEAPP && m.wParam != 0) activated = true;
          if (m.message == WM_MOVE && activated)
            movedAfter = static_cast<int16_t>(m.lParam & 0xFFFF) == 300 &&
                         static_cast<int16_t>((m.lParam >> 16) & 0xFFFF) == 200;
        }
        return movedAfter;
      },
      2000);
  EXPECT_TRUE(activated);
  EXPECT_TRUE(movedAfter) << "no WM_MOVE to (300, 200) after the activation";
  POINT o{0, 0};
  ClientToScreen(window_, &o);
  EXPECT_EQ(std::make_pair(o.x, o.y), std::make_pair(300, 200));
}

// The demonstration itself, on a copy of its data (a run writes kvKIT.vid).
class DemoUiTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    if (IsSkipped()) return;
    if (withWindowManager()) startWindowManager();
    if (!fs::exists(fs::path(KV_DATA_DIR) / "\xEA\xB9\xA1\xED\x86\xB5.kvo"))  // the can, in UTF-8
      GTEST_SKIP() << "the demo's data is not built";
    dir_ = kvtest::freshDataCopy(KV_DATA_DIR,
                                 fs::temp_directory_path() / ("kv_ui_" + std::to_string(getpid())));
    launch();
  }
  void TearDown() override {
    end();
    if (HasFailure() && !dir_.empty())
      std::fprintf(stderr, "%s", read(dir_ / "stderr.txt").c_str());
    if (!dir_.empty()) fs::remove_all(dir_);
    if (manager_ > 0) {
      kill(manager_, SIGTERM);
      waitpid(manager_, nullptr, 0);
    }
    UiTest::TearDown();
  }
  virtual bool withWindowManager() const { return false; }
  // Debian's openbox, ready once it has named its check window on the root.
  void startWindowManager() {
    if (std::system("command -v openbox >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "openbox is not installed";
    // A fresh Xvfb now and then turns a new client away: openbox gets a second try.
    for (int attempt = 0; attempt < 2; ++attempt) {
      manager_ = fork();
      if (manager_ == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execlp("openbox", "openbox", "--sm-disable", nullptr);
        _exit(127);
      }
      if (waitFor(
              [] {
                return run("xprop -root _NET_SUPPORTING_WM_CHECK 2>&1").find("window id") !=
                       std::string::npos;
              },
              10000, 100))
        return;
      kill(manager_, SIGKILL);
      waitpid(manager_, nullptr, 0);
      manager_ = -1;
    }
    FAIL() << "openbox did not start";
  }
  // The window's client area on the screen: x, y, width, height.
  std::array<int, 4> geometry() {
    const std::string info = run("xwininfo -id " + id_);
    std::array<int, 4> g{-1, -1, -1, -1};
    const char* keys[] = {"Absolute upper-left X:", "Absolute upper-left Y:", "Width:", "Height:"};
    for (int i = 0; i < 4; ++i)
      if (const size_t at = info.find(keys[i]); at != std::string::npos)
        g[static_cast<size_t>(i)] = std::atoi(info.c_str() + at + std::strlen(keys[i]));
    return g;
  }
  static constexpr std::array<int, 4> kFullScreen{0, 0, 1024, 768};
  bool becomes(const std::array<int, 4>& wanted) {
    return waitFor([&] { return geometry() == wanted; }, 3000, 100);
  }
  static std::string described(const std::array<int, 4>& g) {
    return std::to_string(g[0]) + "," + std::to_string(g[1]) + " " + std::to_string(g[2]) + "x" +
           std::to_string(g[3]);
  }
  void keys(std::initializer_list<const char*> names) {
    for (const char* key : names) hold(key, 60);
  }

  // Starts the demo and focuses its window: the demo pauses without the focus.
  // Now and then the X server closes a new connection unanswered (seen on a
  // busy machine, about one in a hundred); the demo then says it runs
  // headless, and gets one more try.
  void launch() {
    const fs::path errors = dir_ / "stderr.txt";
    for (int attempt = 0; attempt < 2 && id_.empty(); ++attempt) {
      pid_ = fork();
      if (pid_ == 0) {
        const std::string log = (dir_ / "log.txt").string();
        const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 2);
        if (chdir(dir_.c_str()) != 0) _exit(126);  // where F12 writes
        std::vector<const char*> args = {KVDEMO_PATH, "-C",        dir_.c_str(),
                                         "--log",     log.c_str(), "--quiet"};
        for (const std::string& extra : extraArgs_) args.push_back(extra.c_str());
        args.push_back(nullptr);
        execv(KVDEMO_PATH, const_cast<char* const*>(args.data()));
        _exit(127);
      }
      waitFor(
          [&] {
            id_ = findWindow("kvKIT v1.0", 0);
            return !id_.empty() || read(errors).find("running headless") != std::string::npos;
          },
          10000, 100);
      if (id_.empty()) end();
    }
    ASSERT_FALSE(id_.empty()) << "the demo opened no window titled kvKIT v1.0: " << read(errors);
    focus();
  }
  void end() {
    id_.clear();
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // Long enough for a once-per-frame reader to see the key.
  void hold(const std::string& key, int ms = 300) {
    run("xdotool keydown " + key);
    sleepMs(ms);
    run("xdotool keyup " + key);
  }
  // The exit status, or -1 while it still runs.
  int escapeAndWait() {
    hold("Escape");
    int status = 0;
    if (!waitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 10000, 50)) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  static std::string read(const fs::path& file) { return kvtest::readFile(file); }
  double cpuSeconds() {  // user and system time, in clock ticks in /proc
    return std::stod("0" + run("awk '{print $14 + $15}' /proc/" + std::to_string(pid_) + "/stat")) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
  }

  fs::path dir_;
  pid_t pid_ = -1;
  pid_t manager_ = -1;
  std::vector<std::string> extraArgs_;
};

TEST_F(DemoUiTest, ShowsTheSceneSwitchesToTheReferenceRasterizerOnF3AndLeavesOnEscape) {
  sleepMs(1500);
  const Picture picture = screenshot(id_);
  EXPECT_EQ(std::make_pair(picture.width, picture.height), std::make_pair(640, 480));
  EXPECT_GT(picture.distinctColours(200), 50) << "the window shows no scene";
  hold("F3", 200);
  sleepMs(700);
  // Focus starts on OK; the tab stops are OK, Cancel, driver, device, mode.
  for (const char* key : {"Tab", "Tab", "Tab", "Down", "Return"}) hold(key, 60);
  sleepMs(1500);
  EXPECT_GT(screenshot(id_).distinctColours(200), 50) << "no scene after the switch";
  ASSERT_EQ(escapeAndWait(), 0);
  EXPECT_NE(read(dir_ / "log.txt").find("kvKIT Exit\n"), std::string::npos);
  const std::string vid = read(dir_ / "kvKIT.vid");
  ASSERT_EQ(vid.size(), 1344u);
  EXPECT_EQ(vid.substr(876, 20), "Reference Rasterizer");
}

// Paused, the demo uses no processor time and its picture stands still; with
// the focus back, the picture moves again.
TEST_F(DemoUiTest, LosingTheFocusPausesTheDemo) {
  sleepMs(500);
  focusRoot();
  sleepMs(300);
  const double pausedFrom = cpuSeconds();
  const Picture before = screenshot(id_);
  sleepMs(1000);
  EXPECT_EQ(before.rgb, screenshot(id_).rgb) << "the picture moved without the focus";
  EXPECT_LT(cpuSeconds() - pausedFrom, 0.1) << "the demo kept running without the focus";
  focus();
  sleepMs(300);
  const Picture resumed = screenshot(id_);
  sleepMs(1000);
  EXPECT_NE(screenshot(id_).rgb, resumed.rgb) << "the demo did not resume";
  EXPECT_EQ(escapeAndWait(), 0);
}

// The SDL host on a virtual clock: the kit's pacing waits take no time, so every
// iteration is drawn and a run's frames do not depend on the machine's load. It
// holds the first iteration until `awaited` reads as held (the key is then held
// from the first frame), keeps the frame presented last, and holds Escape from
// iteration `endAt`.
class SteadyHost : public kv::host::Host {
 public:
  SteadyHost(std::unique_ptr<kv::host::Host> window, int endAt, int awaited)
      : window_(std::move(window)), endAt_(endAt), awaited_(awaited) {}
  Picture last;

  uint64_t now() override { return now_; }
  void onCounterRead() override { ++now_; }
  void sleep(uint32_t ms) override { now_ += static_cast<uint64_t>(ms) * 65536 / 1000; }
  bool keyDown(int key) override {
    if (key == VK_ESCAPE) {
      if (++iteration_ == 1 && awaited_ != 0)
        waitFor([&] { return window_->keyDown(awaited_); }, 10000, 10);
      if (iteration_ >= endAt_) return true;
    }
    return window_->keyDown(key);
  }
  void present(const kv::host::PresentedFrame& f) override {
    last.width = f.source.right - f.source.left;
    last.height = f.source.bottom - f.source.top;
    last.rgb.resize(static_cast<size_t>(last.width) * last.height * 3);
    for (int y = 0; y < last.height; ++y)
      for (int x = 0; x < last.width; ++x) {
        const auto* row = static_cast<const uint8_t*>(f.pixels) +
                          static_cast<ptrdiff_t>(f.source.top + y) * f.pitch;
        const int sx = f.source.left + x;
        const uint32_t c = f.bitCount == 16
                               ? kv::rgbFrom565(reinterpret_cast<const uint16_t*>(row)[sx])
                               : reinterpret_cast<const uint32_t*>(row)[sx];
        char* out = &last.rgb[(static_cast<size_t>(y) * last.width + x) * 3];
        out[0] = static_cast<char>(c >> 16), out[1] = static_cast<char>(c >> 8),
        out[2] = static_cast<char>(c);
      }
    window_->present(f);
  }
  // The rest is the window's.
  void debugOutput(std::string_view text) override { window_->debugOutput(text); }
  kv::host::DisplayMode desktopMode() override { return window_->desktopMode(); }
  std::vector<kv::host::DisplayMode> displayModes() override { return window_->displayModes(); }
  bool setDisplayMode(const kv::host::DisplayMode& m) override {
    return window_->setDisplayMode(m);
  }
  void restoreDisplayMode() override { window_->restoreDisplayMode(); }
  void windowShown(uintptr_t w, std::string_view title, const kv::host::WindowPlacement& p,
                   bool visible) override {
    window_->windowShown(w, title, p, visible);
  }
  void windowPlaced(uintptr_t w, const kv::host::WindowPlacement& p) override {
    window_->windowPlaced(w, p);
  }
  void windowDestroyed(uintptr_t w) override { window_->windowDestroyed(w); }
  bool activeOnShow() override { return window_->activeOnShow(); }
  void pollEvents() override { window_->pollEvents(); }
  bool waitEvents() override { return window_->waitEvents(); }
  void setCursorVisible(bool visible) override { window_->setCursorVisible(visible); }
  int messageBox(std::string_view text, std::string_view caption, unsigned type) override {
    return window_->messageBox(text, caption, type);
  }
  void runDialog(kv::win::Dialog& dialog) override { window_->runDialog(dialog); }

 private:
  std::unique_ptr<kv::host::Host> window_;
  int endAt_, awaited_;
  int iteration_ = 0;
  uint64_t now_ = 0;
};

// The keys steer the camera only while the script sets its orbit goal, in the
// first 64 frames, and the eye follows that goal on a slow spring. Each run
// holds its key from the first frame and is compared at frame 145, when the eye
// has nearly arrived and every run shows the same floor pattern. S swings the
// camera to the left round the middle at the same distance: the floor turns
// some 16 degrees counterclockwise and its lit far edge stays. J brings the
// camera nearer, which lifts that edge by some 24 rows. The kit runs in a child
// on the steady host, so the frame is the same however busy the machine is.
TEST_F(UiTest, TheTurnAndZoomKeysMoveTheCamera) {
  if (!fs::exists(fs::path(KV_DATA_DIR) / "\xEA\xB9\xA1\xED\x86\xB5.kvo"))  // the can, in UTF-8
    GTEST_SKIP() << "the demo's data is not built";
  const fs::path dir = kvtest::freshDataCopy(
      KV_DATA_DIR, fs::temp_directory_path() / ("kv_ui_keys_" + std::to_string(getpid())));
  auto viewHolding = [&](const char* key, int virtualKey) {
    const fs::path frame = dir / "frame.rgb";
    fs::remove(frame);
    const pid_t child = fork();
    if (child == 0) {
      if (chdir(dir.c_str()) != 0) _exit(126);
      kv::win::setDebugEcho(false);
      auto window = kv::sdl::open();
      if (window == nullptr) _exit(125);
      SteadyHost host(std::move(window), 146, virtualKey);
      kv::host::setCurrent(&host);
      kvFramework.instance = reinterpret_cast<HINSTANCE>(1);
      if (kvSystemInit()) {
        kvMain();
        kvSystemExit();
      }
      std::ofstream(frame, std::ios::binary) << host.last.rgb;
      _exit(0);
    }
    id_ = findWindow("kvKIT v1.0", 10000);
    focus();  // the demo pauses without the focus
    if (key != nullptr) run(std::string("xdotool keydown ") + key);
    int status = -1;
    waitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, 60000, 50);
    if (key != nullptr) run(std::string("xdotool keyup ") + key);
    Picture picture;
    picture.rgb = kvtest::readFile(frame);
    if (picture.rgb.size() == 640 * 480 * 3) picture.width = 640, picture.height = 480;
    return picture;
  };
  const Picture still = viewHolding(nullptr, 0);
  const Picture turned = viewHolding("s", 'S');
  const Picture nearer = viewHolding("j", 'J');
  fs::remove_all(dir);
  for (const Picture* p : {&still, &turned, &nearer})
    ASSERT_EQ(std::make_pair(p->width, p->height), std::make_pair(640, 480));

  const int edge = still.floorTop();
  EXPECT_NEAR(turned.floorTop(), edge, 12) << "S moved the camera nearer or farther";
  const int turn = floorTurn(still, turned);
  EXPECT_TRUE(turn >= 5 && turn <= 30) << "S turned the floor by " << turn << " degrees";
  EXPECT_LT(nearer.floorTop(), edge - 12) << "J did not bring the camera nearer";
}

// Full screen covers the display, scaled, with or without a window manager; the
// F3 dialog shows centred over it; windowed again, the window is where it was.
class FullScreenTest : public DemoUiTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool withWindowManager() const override { return GetParam(); }
};

TEST_P(FullScreenTest, CoversTheDisplayShowsTheDialogCentredAndGoesBack) {
  sleepMs(1000);
  const std::array<int, 4> windowed = geometry();
  ASSERT_EQ(windowed[2], 640);
  // Focus starts on OK; the tab stops are OK, Cancel, driver, device, mode.
  hold("F3", 200);
  sleepMs(700);
  keys({"Tab", "Tab", "Tab", "Tab", "Down", "Return"});
  EXPECT_TRUE(becomes(kFullScreen)) << "full screen is " << described(geometry());
  sleepMs(500);
  const Picture screen = screenshot("root");
  ASSERT_EQ(screen.width, 1024);
  int lit = 0;  // the scene reaches all four quarters
  for (const auto& [x, y] :
       {std::pair{200, 600}, std::pair{800, 600}, std::pair{200, 700}, std::pair{800, 700}})
    lit += std::ranges::max(screen.at(x, y)) > 40;
  EXPECT_GE(lit, 3) << "the picture does not cover the display";

  hold("F3", 200);
  sleepMs(1000);
  // The dialog's face is light grey; the dimmed scene around it is not.
  const Picture withDialog = screenshot("root");
  const auto middle = withDialog.at(512, 330);
  EXPECT_TRUE(std::ranges::min(middle) > 200) << "no dialog at the centre of the display";
  keys({"Tab", "Tab", "Tab", "Tab", "Up", "Return"});
  EXPECT_TRUE(becomes(windowed)) << "windowed again at " << described(geometry());
  EXPECT_EQ(escapeAndWait(), 0);
}

INSTANTIATE_TEST_SUITE_P(WindowManager, FullScreenTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "openbox" : "bare"; });

// F12 writes the next presented frame as a PNG file in the folder the demo was
// started from, and the log says where.
TEST_F(DemoUiTest, F12WritesAScreenshot) {
  sleepMs(1000);
  hold("F12", 100);
  const fs::path shot = dir_ / "kvKIT_shot_001.png";
  EXPECT_TRUE(waitFor([&] { return fs::exists(shot); }, 3000, 100));
  EXPECT_EQ(read(shot).substr(1, 3), "PNG");
  EXPECT_EQ(escapeAndWait(), 0);
  EXPECT_NE(read(dir_ / "log.txt").find(shot.string()), std::string::npos);
}

// In a window, --frames ends the run as headless; options that only a headless
// run takes are named as ignored.
TEST_F(DemoUiTest, FramesEndsAWindowedRunAndHeadlessOptionsAreNamedAsIgnored) {
  end();
  extraArgs_ = {"--frames", "45", "--sheet", (dir_ / "sheet.png").string(), "--keys", "J@1-5"};
  ASSERT_NO_FATAL_FAILURE(launch());
  int status = -1;
  ASSERT_TRUE(waitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 15000, 50))
      << "--frames 45 did not end the windowed run";
  pid_ = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string errors = read(dir_ / "stderr.txt");
  EXPECT_NE(errors.find("--sheet, --keys are for headless runs only"), std::string::npos) << errors;
  EXPECT_FALSE(fs::exists(dir_ / "sheet.png"));
}

// A display that was asked for and cannot be used is named in one line, with
// the reason, and nothing else reaches stderr before the headless run.
TEST_F(UiTest, ADisplayThatCannotBeUsedIsNamedWithTheReasonInOneLine) {
  const fs::path copy = kvtest::freshDataCopy(
      KV_DATA_DIR, fs::temp_directory_path() / ("kv_ui_display_" + std::to_string(getpid())));
  const std::string data = copy.string();
  auto firstLines = [&](const std::string& environment) {
    return run(environment + " " + KVDEMO_PATH + " --quiet --frames 2 --sheet none -C " + data +
               " 2>&1");
  };
  // An 8-bit screen beside the test's own.
  const pid_t eightBit = fork();
  if (eightBit == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execlp("Xvfb", "Xvfb", ":789", "-screen", "0", "640x480x8", "-nolisten", "tcp", nullptr);
    _exit(127);
  }
  waitFor([] { return exists("/tmp/.X11-unix/X789"); }, 5000, 50);
  const struct {
    std::string environment, named, reason;
  } cases[] = {
      {"env -u DISPLAY -u WAYLAND_DISPLAY", "DISPLAY", "not set"},
      {"env -u WAYLAND_DISPLAY DISPLAY=:788", "':788'", "no X server"},
      {"env -u WAYLAND_DISPLAY DISPLAY=:789", "':789'", "8 bits"},
  };
  for (const auto& c : cases) {
    const std::string output = firstLines(c.environment);
    SCOPED_TRACE(output);
    const std::string line = output.substr(0, output.find('\n') + 1);
    EXPECT_NE(line.find(c.named), std::string::npos);
    EXPECT_NE(line.find(c.reason), std::string::npos);
    EXPECT_NE(line.find("running headless"), std::string::npos);
    EXPECT_EQ(output.find("XDG_RUNTIME_DIR"), std::string::npos);
  }
  kill(eightBit, SIGTERM);
  waitpid(eightBit, nullptr, 0);
  fs::remove_all(copy);
}

}  // namespace

// The demo with the OpenGL device listed (KV_GL=1, inherited by the demo):
// it starts on it, as hardware comes first, drawing in the window's own GL
// context; F3 goes to the fast device and back, windowed and full screen, and
// the dialog shows over the GL picture.
class GlDemoUiTest : public DemoUiTest {
 protected:
  void SetUp() override {
    setenv("KV_GL", "1", 1);
    DemoUiTest::SetUp();
  }
  void TearDown() override {
    // The pictures a failure was judged on, to be looked at.
    if (HasFailure())
      for (const auto& [name, picture] : seen_) {
        const fs::path path = fs::temp_directory_path() / ("kv_ui_gl_" + name + ".png");
        std::vector<uint32_t> rgb(static_cast<size_t>(picture.width) * picture.height);
        for (size_t i = 0; i < rgb.size(); ++i) {
          const auto c =
              picture.at(static_cast<int>(i % picture.width), static_cast<int>(i / picture.width));
          rgb[i] = static_cast<uint32_t>(c[0] << 16 | c[1] << 8 | c[2]);
        }
        std::string why;
        if (kv::host::writePng(path.string(), rgb.data(), picture.width, picture.height, why))
          std::fprintf(stderr, "picture: %s\n", path.c_str());
      }
    DemoUiTest::TearDown();
    unsetenv("KV_GL");
    unsetenv("KV_WINDOW_GL");
  }
  Picture look(const std::string& name, const std::string& window) {
    Picture picture = screenshot(window);
    seen_.emplace_back(name, picture);
    return picture;
  }
  // Opens the F3 dialog, looks at it, then works it with these keys (the tab
  // stops are OK, Cancel, driver, device, mode).
  Picture chooseWith(const std::string& name, const std::string& window,
                     std::initializer_list<const char*> names) {
    hold("F3", 200);
    sleepMs(1000);
    Picture dialog = look(name, window);
    keys(names);
    sleepMs(1500);
    return dialog;
  }
  static bool showsScene(const Picture& p) { return p.width > 0 && p.distinctColours(200) > 50; }

  std::vector<std::pair<std::string, Picture>> seen_;
};

TEST_F(GlDemoUiTest, StartsOnTheOpenGlDeviceAndF3GoesToTheFastDeviceAndBack) {
  sleepMs(1500);
  EXPECT_TRUE(showsScene(look("gl", id_))) << "the window shows no scene";
  // The dialog over the GL picture: its light face in the middle, the scene
  // dimmed but still there round it.
  const Picture dialog = chooseWith("dialog", id_, {"Tab", "Tab", "Tab", "Down", "Return"});
  ASSERT_EQ(dialog.width, 640);
  EXPECT_GT(std::ranges::min(dialog.at(320, 240)), 200) << "no dialog over the GL picture";
  int dimmedScene = 0;
  for (int y = 0; y < 480; y += 8) dimmedScene += std::ranges::max(dialog.at(20, y)) > 8;
  EXPECT_GT(dimmedScene, 10) << "the scene is not behind the dialog";
  EXPECT_TRUE(showsScene(look("fast", id_))) << "no scene on the fast device";
  chooseWith("dialog_fast", id_, {"Tab", "Tab", "Tab", "Up", "Return"});
  EXPECT_TRUE(showsScene(look("gl_again", id_))) << "no scene back on the OpenGL device";
  ASSERT_EQ(escapeAndWait(), 0);
  const std::string vid = read(dir_ / "kvKIT.vid");
  ASSERT_EQ(vid.size(), 1344u);
  EXPECT_EQ(vid.substr(876, 12), "Direct3D HAL");
  EXPECT_NE(read(dir_ / "log.txt").find("in the window's context"), std::string::npos)
      << "the device did not draw in the window's context";
  const std::string errors = read(dir_ / "stderr.txt");
  EXPECT_NE(errors.find("device now RGB Emulation, in a window"), std::string::npos) << errors;
  EXPECT_NE(errors.find("device now Direct3D HAL, in a window"), std::string::npos) << errors;
}

TEST_F(GlDemoUiTest, GoesFullScreenAndSwitchesDevicesThereOnTheOpenGlDevice) {
  sleepMs(1000);
  const std::array<int, 4> windowed = geometry();
  ASSERT_EQ(windowed[2], 640);
  chooseWith("to_full", id_, {"Tab", "Tab", "Tab", "Tab", "Down", "Return"});
  ASSERT_TRUE(becomes(kFullScreen)) << "not full screen: " << described(geometry());
  sleepMs(500);
  const Picture screen = look("full", "root");
  ASSERT_EQ(screen.width, 1024);
  int lit = 0, samples = 0;  // the lit floor fills the lower half, edge to edge
  for (int y = 400; y < 768; y += 46)
    for (int x = 8; x < 1024; x += 63, ++samples) lit += std::ranges::max(screen.at(x, y)) > 40;
  EXPECT_GT(lit, samples * 2 / 3) << "the GL picture does not cover the display";
  // A new device lists its modes again, windowed first: the mode is chosen anew.
  const Picture dialog =
      chooseWith("full_dialog", "root", {"Tab", "Tab", "Tab", "Down", "Tab", "Down", "Return"});
  EXPECT_GT(std::ranges::min(dialog.at(512, 330)), 200) << "no dialog over the full-screen picture";
  EXPECT_TRUE(showsScene(look("full_fast", "root"))) << "no scene on the fast device";
  chooseWith("full_dialog_fast", "root", {"Tab", "Tab", "Tab", "Up", "Tab", "Down", "Return"});
  EXPECT_TRUE(showsScene(look("full_gl", "root"))) << "no scene back on the OpenGL device";
  // Windowed is the first mode of every device's list.
  chooseWith("to_window", "root", {"Tab", "Tab", "Tab", "Tab", "Up", "Up", "Up", "Up", "Return"});
  EXPECT_TRUE(becomes(windowed)) << "not windowed again: " << described(geometry());
  EXPECT_EQ(escapeAndWait(), 0);
  const std::string errors = read(dir_ / "stderr.txt");
  for (const char* line :
       {"device now Direct3D HAL, full screen 640x480x",
        "device now RGB Emulation, full screen 640x480x", "device now Direct3D HAL, in a window"})
    EXPECT_NE(errors.find(line), std::string::npos) << line << " missing from: " << errors;
}

// Where the window is drawn through SDL's renderer (KV_WINDOW_GL=0 stands in
// for a window without GL 3.3), the device draws on a context of its own
// beside it, and its frames reach the window through memory.
TEST_F(GlDemoUiTest, WithoutTheWindowsContextTheDeviceDrawsOnItsOwn) {
  end();
  setenv("KV_WINDOW_GL", "0", 1);
  ASSERT_NO_FATAL_FAILURE(launch());
  sleepMs(1500);
  EXPECT_TRUE(showsScene(look("own_context", id_))) << "the window shows no scene";
  const Picture dialog = chooseWith("own_dialog", id_, {"Tab", "Tab", "Tab", "Down", "Return"});
  EXPECT_GT(std::ranges::min(dialog.at(320, 240)), 200) << "no dialog";
  EXPECT_TRUE(showsScene(look("own_fast", id_))) << "no scene on the fast device";
  ASSERT_EQ(escapeAndWait(), 0);
  EXPECT_NE(read(dir_ / "log.txt").find("without a window (EGL)"), std::string::npos);
  EXPECT_NE(read(dir_ / "stderr.txt").find("device now RGB Emulation"), std::string::npos);
}

// A window that cannot have a GL 3.3 core context (Mesa told to offer 3.0) is
// drawn through SDL's renderer, and one line says so; GL 3.3 cannot start for
// the device either, so it is not listed and the demo runs on the fast device.
TEST_F(GlDemoUiTest, AWindowWithoutGl33IsDrawnBySdlsRendererAndListsNoGlDevice) {
  end();
  setenv("MESA_GL_VERSION_OVERRIDE", "3.0", 1);
  launch();
  unsetenv("MESA_GL_VERSION_OVERRIDE");
  if (HasFatalFailure()) return;
  sleepMs(1500);
  EXPECT_TRUE(showsScene(look("no_gl33", id_))) << "the window shows no scene";
  const Picture dialog = chooseWith("no_gl33_dialog", id_, {"Escape"});
  EXPECT_GT(std::ranges::min(dialog.at(320, 240)), 200) << "no dialog";
  ASSERT_EQ(escapeAndWait(), 0);
  const std::string errors = read(dir_ / "stderr.txt");
  EXPECT_NE(errors.find("the window cannot have an OpenGL 3.3 core context"), std::string::npos)
      << errors;
  const std::string log = read(dir_ / "log.txt");
  EXPECT_EQ(log.find("gl: OpenGL"), std::string::npos) << "GL started after all";
  EXPECT_EQ(read(dir_ / "kvKIT.vid").substr(876, 13), "RGB Emulation");
}
