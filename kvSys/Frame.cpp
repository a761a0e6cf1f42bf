// Frame pacing: a time-debt schedule over the 15-bit millisecond tick.
#include "kvKIT.h"
#include "kvSys/Frame.h"

int32_t kvFrameRate = 1;
int32_t kvFramePeriod = 0;
int32_t kvFrameDebt = 0;
int32_t kvFrameLast = 0;
int32_t kvFrameNow = 0;

constexpr int32_t kTickMask = 0x7FFF;
constexpr int32_t kTickSpan = 0x8000;
constexpr BYTE kRefreshToggle = 0x10;

int32_t kvGetTick() { return static_cast<int32_t>(GetTickCount() & kTickMask); }

int32_t kvGetTime() { return kvGetTick() * 1000 / 1000; }

void kvWait(int32_t milliseconds) {
  // 32.768 toggle periods per millisecond; each period is a fall and a rise.
  const int64_t periods = static_cast<int64_t>(milliseconds) * 32768 / 1000;
  for (int64_t i = 0; i < periods; ++i) {
    while (ReadPortByte(0x61) & kRefreshToggle) {
    }
    while (!(ReadPortByte(0x61) & kRefreshToggle)) {
    }
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
