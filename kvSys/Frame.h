// The pacing schedule, for the message pump (which restarts it) and for tests.
#pragma once

#include <cstdint>

extern int32_t kvFrameRate;
extern int32_t kvFramePeriod;
extern int32_t kvFrameDebt;
extern int32_t kvFrameLast;
extern int32_t kvFrameNow;
