// One call that puts the platform's stand-ins back to how a process starts,
// for tests of the platform alone; kit tests use kit_reset.h, which ends here.
#pragma once

#include "platform/d3d/d3d_testing.h"
#include "platform/ddraw/ddraw_testing.h"
#include "platform/host/headless/headless.h"
#include "platform/win/host_events.h"

namespace kvtest {

// Every module's start, the headless host last, with these options. Live
// DirectDraw objects and surfaces are their owners' to release, not forgotten.
inline void resetPlatform(const kv::headless::Options& host = {}) {
  kv::win::resetWindowsForTests();  // windows, classes and the message queue
  kv::ddraw::testing::reset();
  kv::d3d::testing::resetDevices();
  kv::d3d::testing::stopRecording();
  kv::d3d::testing::clearRecording();
  kv::headless::install(host);
}

}  // namespace kvtest
