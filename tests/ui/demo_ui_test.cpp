// The demonstration in a real window: it shows its scene, F3 switches the
// device through the dialog, focus pauses it, Escape ends it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "tests/ui/xvfb.h"

namespace {

namespace fs = std::filesystem;
using namespace kv::uitest;

class DemoUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveTools()) GTEST_SKIP() << "Xvfb, xdotool or ImageMagick's import is not installed";
    if (!fs::exists(fs::path(KV_DATA_DIR) / "\xEA\xB9\xA1\xED\x86\xB5.kvo"))  // the can, in UTF-8
      GTEST_SKIP() << "the demo's data is not built";
    xvfb_ = std::make_unique<Xvfb>();
    if (!xvfb_->ok()) GTEST_SKIP() << "Xvfb did not start";
    // A copy of the data: the run writes kvKIT.vid beside it.
    dir_ = fs::temp_directory_path() / ("kv_ui_" + std::to_string(getpid()));
    fs::create_directories(dir_);
    for (const auto& entry : fs::directory_iterator(KV_DATA_DIR))
      if (entry.path().filename() != "kvKIT.vid") fs::copy(entry.path(), dir_ / entry.path().filename());
  }

  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    xvfb_.reset();
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  void start() {
    pid_ = fork();
    if (pid_ == 0) {
      const std::string log = (dir_ / "log.txt").string();
      execl(KVDEMO_PATH, KVDEMO_PATH, "-C", dir_.c_str(), "--log", log.c_str(), "--quiet", nullptr);
      _exit(127);
    }
    id_ = findWindow("kvKIT v1.0", 10000);
    ASSERT_FALSE(id_.empty()) << "the demo opened no window titled kvKIT v1.0";
    run("xdotool windowfocus --sync " + id_ + " 2>/dev/null");
  }

  // Holds a key for a moment so that a once-per-frame reader sees it.
  void hold(const std::string& key, int ms = 300) {
    run("xdotool keydown " + key);
    sleepMs(ms);
    run("xdotool keyup " + key);
  }

  // The exit status, or -1 if it is still running after the time given.
  int waitForExit(int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 50) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      sleepMs(50);
    }
    return -1;
  }

  std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // CPU time the demo has used, in seconds.
  double cpuSeconds() {
    std::string stat = read("/proc/" + std::to_string(pid_) + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 14) user = std::stol(field);
      if (i == 15) system = std::stol(field);
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }

  std::unique_ptr<Xvfb> xvfb_;
  fs::path dir_;
  pid_t pid_ = -1;
  std::string id_;
};

TEST_F(DemoUiTest, ShowsTheSceneAndLeavesOnEscape) {
  start();
  EXPECT_EQ(windowSize(id_), "640x480");
  sleepMs(1500);
  const Picture picture = screenshot(id_);
  EXPECT_GT(picture.distinctColours(200), 50) << "the window shows no scene";
  hold("Escape");
  EXPECT_EQ(waitForExit(10000), 0);
  const std::string log = read(dir_ / "log.txt");
  EXPECT_NE(log.find("kvKIT Exit\n"), std::string::npos);
}

TEST_F(DemoUiTest, F3OpensTheDialogAndTheReferenceRasterizerTakesOver) {
  start();
  sleepMs(500);
  hold("F3", 200);
  sleepMs(700);
  // Focus starts on OK; the tab stops are OK, Cancel, driver, device, mode.
  for (int i = 0; i < 3; ++i) hold("Tab", 60);
  hold("Down", 60);  // from RGB Emulation to the next device
  hold("Return", 60);
  sleepMs(1500);
  const Picture picture = screenshot(id_);
  EXPECT_GT(picture.distinctColours(200), 50) << "no scene after the switch";
  hold("Escape");
  ASSERT_EQ(waitForExit(10000), 0);
  const std::string vid = read(dir_ / "kvKIT.vid");
  ASSERT_EQ(vid.size(), 1344u);
  EXPECT_EQ(vid.substr(876, 20), "Reference Rasterizer");
}

// Paused, the demo uses no processor time and its picture stands still; with
// the focus back, the picture moves again.
TEST_F(DemoUiTest, LosingTheFocusPausesTheDemo) {
  start();
  sleepMs(500);
  const std::string root = run("xwininfo -root | sed -n 's/.*Window id: \\(0x[0-9a-f]*\\).*/\\1/p'");
  run("xdotool windowfocus " + root + " 2>/dev/null");
  sleepMs(300);
  const double pausedFrom = cpuSeconds();
  const Picture before = screenshot(id_);
  sleepMs(1000);
  const Picture after = screenshot(id_);
  EXPECT_LT(cpuSeconds() - pausedFrom, 0.1) << "the demo kept running without the focus";
  EXPECT_EQ(before.rgb, after.rgb) << "the picture moved without the focus";

  run("xdotool windowfocus --sync " + id_ + " 2>/dev/null");
  sleepMs(300);
  const Picture resumed = screenshot(id_);
  sleepMs(1000);
  EXPECT_NE(screenshot(id_).rgb, resumed.rgb) << "the demo did not resume";
  hold("Escape");
  EXPECT_EQ(waitForExit(10000), 0);
}

}  // namespace
