// Frame pacing: a time-debt schedule over the 15-bit millisecond tick.
#include "kvSys/Frame.h"

#include "kvKIT.h"

FramePacing kvPacing;

void kvResetFrameState() { kvPacing = {}; }

constexpr int32_t kTickMask = 0x7FFF;
constexpr int32_t kTickSpan = 0x8000;

int32_t kvGetTick() { return static_cast<int32_t>(GetTickCount() & kTickMask); }

int32_t kvGetTime() { return kvGetTick() * 1000 / 1000; }

void kvWait(int32_t milliseconds) {
  // A busy wait, as designed, but against the performance counter rather than
  // by counting refresh toggles: a program preempted in the middle of a wait
  // would miss toggles and wait longer, and on a busy machine every frame
  // would run late. The counter's grain (about 15 us here) is well below a ms.
  if (milliseconds <= 0) return;
  const int64_t frequency = QueryPerformanceFrequency();
  const int64_t end = QueryPerformanceCounter() + milliseconds * frequency / 1000;
  while (QueryPerformanceCounter() < end) {
  }
}

int32_t kvSetFrameRate(int32_t framesPerSecond) {
  if (framesPerSecond <= 0) {
    // The period would be undefined; keep the schedule as it is.
    kvDebugPrint("kvSetFrameRate: rate %ld refused, it must be at least 1\n",
                 static_cast<long>(framesPerSecond));
    return kvPacing.last;
  }
  kvPacing.rate = framesPerSecond;
  kvPacing.period = 1000 / framesPerSecond;
  kvPacing.debt = 0;
  kvPacing.now = 0;
  kvPacing.last = kvGetTick();
  return kvPacing.last;
}

int32_t kvFrameSkip() {
  kvPacing.now = kvGetTick();
  int32_t elapsed = kvPacing.now - kvPacing.last;
  if (elapsed < 0) elapsed += kTickSpan;
  kvPacing.debt += elapsed;
  if (kvPacing.debt < 0) {
    kvWait(-kvPacing.debt);
    kvPacing.debt = -kvPacing.period;
    kvPacing.last = kvGetTick();
  } else {
    kvPacing.debt -= kvPacing.period;
    kvPacing.last = kvPacing.now;
  }
  return kvPacing.debt < 0 ? 1 : 0;
}
