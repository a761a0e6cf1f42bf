// One call that puts the kit and the platform back to how a process starts,
// for the fixtures of test programs that run many kits in one process.
#pragma once

#include "kvKIT.h"
#include "kvSys/Frame.h"
#include "kvSys/Memory.h"
#include "kvSys/d3denum.h"
#include "kvSys/kvRender.h"
#include "kvSys/kvScreen.h"
#include "kvSys/kvState.h"
#include "kvSys/kvSurface.h"
#include "kvf3D/State.h"
#include "tests/platform_reset.h"

namespace kvtest {

// First the kit lets go of what it holds on the platform, as shutdown does
// (without its once-only guard or its log line); then each of its modules and
// the platform's goes back to its start (platform_reset.h).
inline void resetKitAndPlatform(const kv::headless::Options& host = {}) {
  for (int32_t group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
  kvFwDestroyObjects(&kvFramework);
  if (kvFramework.window != nullptr && IsWindow(kvFramework.window))
    DestroyWindow(kvFramework.window);
  kvResetDriverState();
  kvResetMemoryForTests();
  kvResetSystemState();
  kvResetDebugState();
  kvResetFrameState();
  kvResetPadState();
  kvResetScreenState();
  kvResetRenderState();
  kvResetSurfaceState();
  kv3dResetProjectionState();
  kv3dResetLightState();
  kv3dResetObjectState();
  kv3dResetDrawState();
  resetPlatform(host);
}

}  // namespace kvtest
