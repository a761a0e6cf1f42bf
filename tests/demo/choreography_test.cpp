// The script the cans follow, held against a plain re-telling of it in
// double precision with the standard sine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "demo/Kvmain.h"
#include "platform/host/headless/headless.h"
#include "platform/win/win32.h"

namespace {

Actor actorAt(float x, float z, int16_t yaw) {
  Actor a{};
  a.placement.position = {x, 0, z};
  a.placement.yaw = yaw;
  return a;
}

// Where the script puts a can starting at (x, z) facing yaw, after frame `last`.
struct Expected {
  double x, y, z;
  int yaw;
};
Expected script(double x, double z, int yaw, int32_t last) {
  Expected e{x, 0, z, yaw};
  auto move = [&e](double d) {
    const double a = 2 * M_PI * (e.yaw & 4095) / 4096.0;
    e.x += d * std::sin(a);
    e.z += d * std::cos(a);
  };
  for (int32_t f = 1, r = 1; f <= last; r = ++f % 32) {
    if (f < 410 && r >= 10 && r <= 29) move(-6);
    if (f >= 418 && f <= 484) e.yaw += 512, e.y += f < 444 ? 6 : -4;
    if (f == 485) e.y = 0;
    if (f >= 486 && f <= 910) move(-2);
    if (f >= 946 && f <= 1205) e.yaw += 128;
    if (f >= 1206 && f <= 2410 && r <= 22) move(-2), e.yaw += 6;
  }
  return e;
}

// Each can follows the script, switches motions at their frames, and after
// frame 2410 stands still.
TEST(Choreography, CansArriveWhereTheScriptSaysSwitchMotionsAndThenStandStill) {
  Motion jump{}, second{}, dance{};
  jumpMotion = &jump, secondMotion = &second, danceMotion = &dance;
  const float startX[4] = {800, 800, -800, -800}, startZ[4] = {800, -800, -800, 800};
  for (int i = 0; i < 4; ++i) {
    const int16_t yaw = int16_t(1024 * i);
    Actor a = actorAt(startX[i], startZ[i], yaw);
    a.motion = &jump;
    Placement settled{};
    for (int32_t f = 1; f <= 3000; ++f) {
      AnimateActor(&a, f);
      if (a.motion != (f < 416 ? &jump : f < 928 ? &second : &dance))
        ADD_FAILURE() << "actor " << i << " frame " << f;
      if (f == 2410) settled = a.placement;
      if (f > 2410 && std::memcmp(&settled, &a.placement, sizeof settled) != 0)
        ADD_FAILURE() << "actor " << i << " moved at frame " << f;
      if (i == 0 && f == 409)  // straight down z, 256 steps of 6, exactly
        EXPECT_EQ(std::tuple(a.placement.position.x, a.placement.position.z),
                  std::tuple(800.0f, 800.0f - 256 * 6));
      if (f != 409 && f != 485 && f != 2411) continue;
      const Expected e = script(startX[i], startZ[i], yaw, f);
      SCOPED_TRACE(testing::Message() << "actor " << i << " frame " << f);
      // The library's table sine is a step off in two quadrants; over 1600
      // steps that adds up to about a unit.
      EXPECT_NEAR(a.placement.position.x, e.x, 2.0);
      EXPECT_NEAR(a.placement.position.z, e.z, 2.0);
      EXPECT_EQ(a.placement.position.y, e.y);
      EXPECT_EQ(a.placement.yaw & 4095, e.yaw & 4095);
    }
  }
  jumpMotion = secondMotion = danceMotion = nullptr;
}

TEST(Choreography, CameraPhasesTurnAndTiltOnlyInTheirWindows) {
  Camera c{.distance = 2048};
  DirectCamera(&c, 1);  // phase 0
  EXPECT_EQ(std::tuple(c.pitch, c.yaw), std::tuple(300, 1024));
  EXPECT_NEAR(c.goal.y, 2048 * std::sin(2 * M_PI * 300 / 4096), 2.0);
  DirectCamera(&c, 64);  // phase 1: nothing
  EXPECT_EQ(c.yaw, 1024);
  DirectCamera(&c, 4 * 64);  // phase 4
  EXPECT_EQ(std::tuple(c.pitch, c.yaw), std::tuple(100, 0));
  DirectCamera(&c, 8 * 64 + 63);  // phase 8; the yaw is not masked
  DirectCamera(&c, 20 * 64);      // phase 8 again (20 mod 12)
  EXPECT_EQ(std::tuple(c.pitch, c.yaw), std::tuple(1000, 2048));
}

TEST(Choreography, KeysZoomAndTurnTheCamera) {
  kv::headless::install();
  Camera c{.distance = 2048};
  auto hold = [&c](std::initializer_list<int> keys, int times) {
    for (int key : keys) kv::headless::pressKey(key);
    for (int i = 0; i < times; ++i) SteerCamera(&c, kvGetPadButtons(0), kvGetPadDirection(0));
    for (int key : keys) kv::headless::releaseKey(key);
  };
  hold({'J'}, 300);
  EXPECT_EQ(c.distance, 10);  // clamped
  hold({'I'}, 5000);
  EXPECT_EQ(c.distance, 10 + 5000 * 10);
  hold({'S', 'F'}, 1);
  EXPECT_EQ(c.yaw, 0);  // opposite keys cancel
  hold({'S'}, 1);
  EXPECT_EQ(c.yaw, 40);
  hold({'D'}, 1);
  EXPECT_EQ(c.pitch, 4096 - 40);
}

}  // namespace
