// Frame pacing on the headless host's virtual clock.
#include "kvSys/Frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "kvKIT.h"
#include "platform/host/headless/headless.h"
#include "platform/host/host.h"
#include "tests/kit_reset.h"

namespace {

class Pacing : public ::testing::Test {
 protected:
  void SetUp() override {
    kvtest::resetKitAndPlatform();
    kv::headless::setTimeMs(1000);
  }
  // Sets the tick to `ms` and runs one frame check; returns its result.
  int32_t skipAt(uint32_t ms) {
    kv::headless::setTimeMs(ms);
    return kvFrameSkip();
  }
};

TEST_F(Pacing, SetFrameRateRestartsTheScheduleAndRefusesRatesBelowOne) {
  kvSetFrameRate(60);
  kvPacing.debt = 5;
  EXPECT_EQ(kvSetFrameRate(30), 1000);
  EXPECT_EQ(kvPacing.period, 33);
  EXPECT_EQ(kvPacing.debt, 0);
  EXPECT_EQ(kvPacing.last, 1000);
  kv::headless::clearDebugCapture();
  kvSetFrameRate(0);
  kvSetFrameRate(-5);
  EXPECT_EQ(kvPacing.period, 33);
  EXPECT_NE(kv::headless::debugCapture().find("refused"), std::string::npos);
}

TEST_F(Pacing, EarlyCallsWaitOutTheirFrameAndLateOnesSkipThenCatchUp) {
  kvSetFrameRate(30);
  // 5 ms after the restart: no wait, debt -28.
  EXPECT_EQ(skipAt(1005), 1);
  EXPECT_EQ(kvPacing.debt, -28);
  EXPECT_EQ(kv::headless::timeMs(), 1005u);
  // 10 ms later: waits 18 ms, debt becomes one full period ahead.
  EXPECT_EQ(skipAt(1015), 1);
  EXPECT_GE(kv::headless::timeMs(), 1032u);
  EXPECT_LE(kv::headless::timeMs(), 1033u);
  EXPECT_EQ(kvPacing.debt, -33);
  // A loop a period behind skips drawing once.
  kvPacing.debt = -16;
  kvPacing.last = 1000;
  EXPECT_EQ(skipAt(1050), 0);
  EXPECT_EQ(kvPacing.debt, 1);
  EXPECT_EQ(skipAt(1052), 1);
  EXPECT_EQ(kvPacing.debt, -30);
}

TEST_F(Pacing, TheTickKeepsFifteenBitsAcrossItsWrapAndWaitsTakeTheirTime) {
  kv::headless::setTimeMs(32760);
  kvSetFrameRate(30);
  EXPECT_EQ(skipAt(32768 + 10), 1);  // the 15-bit tick reads 10
  EXPECT_EQ(kvPacing.now, 10);
  EXPECT_EQ(kvPacing.debt, 18 - 33);

  kv::headless::setTimeMs(32768 * 3 + 1234);
  EXPECT_EQ(kvGetTick(), 1234);
  EXPECT_EQ(kvGetTime(), kvGetTick());
  kvWait(0);
  EXPECT_EQ(kvGetTick(), 1234);
  kvWait(250);  // a busy wait: the virtual clock moves only as it polls
  EXPECT_GE(kvGetTick(), 1483);
  EXPECT_LE(kvGetTick(), 1484);
}

TEST_F(Pacing, ThirtyPerSecondHoldsOverManyFramesOnTheVirtualClock) {
  kvSetFrameRate(30);
  const uint32_t start = kv::headless::timeMs();
  for (int i = 0; i < 301; ++i) ASSERT_EQ(kvFrameSkip(), 1);
  // 300 scheduled periods of 33 ms after the opening call, within 1%.
  EXPECT_NEAR(kv::headless::timeMs() - start, 300 * 33, 99);
}

// A clock that moves one unit per counter read and by whole units in a sleep,
// recording the sleeps: what kvWait gives back and where it ends.
class SleepRecorder final : public kv::host::Host {
 public:
  uint64_t now() override { return time; }
  void onCounterRead() override { ++time; }
  void sleep(uint32_t ms) override {
    sleeps.push_back(ms);
    time += static_cast<uint64_t>(ms) * 65536 / 1000;
  }
  bool keyDown(int) override { return false; }
  void debugOutput(std::string_view) override {}
  uint64_t time = 0;
  std::vector<uint32_t> sleeps;
};

TEST(PacingWait, SleepsAllButTheLastMillisecondOrSoAndEndsOnTheSpinsOwnCount) {
  SleepRecorder clock;
  kv::host::setCurrent(&clock);
  const struct {
    int32_t ms;
    std::vector<uint32_t> sleeps;
  } cases[] = {{18, {16}}, {33, {31}}, {2, {}}, {1, {}}, {0, {}}};
  for (const auto& c : cases) {
    clock.time = 1000;
    clock.sleeps.clear();
    kvWait(c.ms);
    EXPECT_EQ(clock.sleeps, c.sleeps) << c.ms << " ms";
    // As a wait that only spins: the first read, then the wait's own units.
    if (c.ms > 0) EXPECT_EQ(clock.time, 1000u + 1 + c.ms * 65536 / 1000) << c.ms << " ms";
  }
  kv::headless::install();
}

}  // namespace
