// SEAM (gfx): placeholder entry points until the DirectDraw stand-in lands.
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_testing.h"

const GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID IID_IDirectDraw = {0x6C14DB80, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID IID_IDirectDraw4 = {0x9C59509A, 0x39BD, 0x11D1, {0x8C, 0x4A, 0x00, 0xC0, 0x4F, 0xD9, 0x30, 0xC5}};
const GUID IID_IDirectDrawSurface4 = {0x0B2B8630, 0xAD35, 0x11D0, {0x8E, 0xA6, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};
const GUID IID_IDirectDrawClipper = {0x6C14DB85, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID IID_IDirectDrawPalette = {0x6C14DB84, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};

void* DDSurfaceAddress::resolve() const { return nullptr; }

HRESULT DirectDrawCreate(GUID*, LPDIRECTDRAW* out, IUnknown*) {
  if (out != nullptr) *out = nullptr;
  return DDERR_GENERIC;
}
HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA, LPVOID) { return DDERR_GENERIC; }
HRESULT DirectDrawEnumerateExA(LPDDENUMCALLBACKEXA, LPVOID, DWORD) { return DDERR_GENERIC; }

namespace kv::ddraw::testing {
Exports& exports() {
  static Exports e;
  return e;
}
void loseAllSurfaces() {}
int liveSurfaces() { return 0; }
int liveDirectDrawObjects() { return 0; }
void reset() { exports() = Exports{}; }
}  // namespace kv::ddraw::testing
