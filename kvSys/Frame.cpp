// Frame pacing: a time-debt schedule over the 15-bit millisecond tick.
#include "kvSys/Frame.h"

#include "kvKIT.h"

FramePacing kvPacing;

void kvResetFrameState() { kvPacing = {}; }

constexpr int32_t kTickMask = 0x7FFF;
constexpr int32_t kTickSpan = 0x8000;
// How much of a wait is spun rather than slept: more than a sleep here wakes
// late (bench/system's pacing benchmark measures it).
constexpr int64_t kvWaitSpinMs = 1;

int32_t kvGetTick() { return static_cast<int32_t>(GetTickCount() & kTickMask); }

int32_t kvGetTime() { return kvGetTick() * 1000 / 1000; }

void kvWait(int32_t milliseconds) {
  // Against the performance counter rather than by counting refresh toggles: a
  // program preempted in the middle of a wait would miss toggles and wait
  // longer. The counter's grain (about 15 us here) is well below a ms.
  if (milliseconds <= 0) return;
  const int64_t frequency = QueryPerformanceFrequency();
  const int64_t end = QueryPerformanceCounter() + milliseconds * frequency / 1000;
  // A deliberate change from a wait that spins throughout, which kept a whole
  // core busy at 30 frames per second: the thread sleeps until shortly before
  // the end and spins only the rest, so the wait still ends on time when the
  // sleep wakes late (by up to kvWaitSpinMs).
  const int64_t sleepMs = (end - QueryPerformanceCounter()) * 1000 / frequency - kvWaitSpinMs;
  if (sleepMs > 0) Sleep(static_cast<DWORD>(sleepMs));
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
