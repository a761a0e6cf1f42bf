// Test hooks of the DirectDraw stand-in.
#pragma once

#include "platform/win/win32.h"

namespace kv::ddraw::testing {

// What the "DDRAW.DLL" module offers (both true unless a test says otherwise).
struct Exports {
  bool moduleLoaded = true;  // false: GetModuleHandleA("DDRAW.DLL") answers null
  bool enumerateEx = true;   // false: only DirectDrawEnumerateA is exported
};
Exports& exports();

// Marks every live surface lost, as a mode change by another program would;
// IsLost answers DDERR_SURFACELOST and Lock, Blt and Flip fail until Restore.
void loseAllSurfaces();

// Surface records and DirectDraw objects still alive, for tests that check
// that teardown released everything.
int liveSurfaces();
int liveDirectDrawObjects();

// Makes CreateSurface fail with `result` for every request whose caps share a
// bit with `caps` (0: no failure), to reach the callers' error paths.
void failCreateSurface(DWORD caps, HRESULT result);

// Restores the defaults above.
void reset();

}  // namespace kv::ddraw::testing
