// Frame pacing: a time-debt schedule over the 15-bit millisecond tick.
#include "kvSys/Frame.h"

#include "kvKIT.h"

int32_t kvFrameRate = 1;
int32_t kvFramePeriod = 0;
int32_t kvFrameDebt = 0;
int32_t kvFrameLast = 0;
int32_t kvFrameNow = 0;

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
    return kvFrameLast;
  }
  kvFrameRate = framesPerSecond;
  kvFramePeriod = 1000 / framesPerSecond;
  kvFrameDebt = 0;
  kvFrameNow = 0;
  kvFrameLast = kvGetTick();
  return kvFrameLast;
}

int32_t kvFrameSkip() {
  kvFrameNow = kvGetTick();
  int32_t elapsed = kvFrameNow - kvFrameLast;
  if (elapsed < 0) elapsed += kTickSpan;
  kvFrameDebt += elapsed;
  if (kvFrameDebt < 0) {
    kvWait(-kvFrameDebt);
    kvFrameDebt = -kvFramePeriod;
    kvFrameLast = kvGetTick();
  } else {
    kvFrameDebt -= kvFramePeriod;
    kvFrameLast = kvFrameNow;
  }
  return kvFrameDebt < 0 ? 1 : 0;
}
