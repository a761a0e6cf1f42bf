// The pacing schedule, for the message pump (which restarts it) and for tests.
#pragma once

#include <cstdint>

// Ticks are the 15-bit millisecond tick; debt below 0 means the loop is early.
struct FramePacing {
  int32_t rate = 1;    // frames per second
  int32_t period = 0;  // ms a frame
  int32_t debt = 0;
  int32_t last = 0;  // tick of the last frame
  int32_t now = 0;   // tick read by the last kvFrameSkip
};
extern FramePacing kvPacing;

// Back to how the process starts (tests run many kits in one process).
void kvResetFrameState();
