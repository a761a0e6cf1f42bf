// The frame bracket, clears, render flags and render target: the thin layer
// between the kit's drawing and the framework's device.
#include "kvSys/kvRender.h"

#include "kvKIT.h"
#include "kvSys/kvSurface.h"

int32_t kvRenderFlags = KV_RF_COLOR;
int32_t kvRenderTarget = 1;

void kvResetRenderState() {
  kvRenderFlags = KV_RF_COLOR;
  kvRenderTarget = 1;
}

namespace {

// Colour arguments keep their low 8 bits; alpha is 0.
D3DCOLOR packColor(int32_t red, int32_t green, int32_t blue) {
  return (static_cast<uint32_t>(red & 0xFF) << 16) | (static_cast<uint32_t>(green & 0xFF) << 8) |
         static_cast<uint32_t>(blue & 0xFF);
}

HRESULT clearViewport(DWORD what, D3DCOLOR color) {
  if (kvFramework.viewport == nullptr) return KVERR_FW_NOT_INITIALIZED;
  D3DRECT rect = {kvFramework.viewportRect.left, kvFramework.viewportRect.top,
                  kvFramework.viewportRect.right, kvFramework.viewportRect.bottom};
  return kvFramework.viewport->Clear2(1, &rect, what, color, 0.0f, 0);
}

void present(int32_t wait) {
  kvFwShowFrame(&kvFramework, wait);
  kvPumpMessages();
  kvPollCountKey();
}

}  // namespace

int16_t kvBeginScene() {
  if (!kvFramework.initialised || kvFramework.device == nullptr) return 0;
  return SUCCEEDED(kvFramework.device->BeginScene()) ? 1 : 0;
}

void kvEndScene() {
  if (kvFramework.initialised && kvFramework.device != nullptr) kvFramework.device->EndScene();
}

void kvFlip() { present(1); }

void kvFlipNoWait() { present(0); }

HRESULT kvClear(int32_t red, int32_t green, int32_t blue) {
  return clearViewport(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, packColor(red, green, blue));
}

HRESULT kvClearTarget(int32_t red, int32_t green, int32_t blue) {
  return clearViewport(D3DCLEAR_TARGET, packColor(red, green, blue));
}

HRESULT kvClearZ() { return clearViewport(D3DCLEAR_ZBUFFER, 0); }

HRESULT kvSetFogColor(int32_t red, int32_t green, int32_t blue) {
  if (kvFramework.device == nullptr) return KVERR_FW_NOT_INITIALIZED;
  return kvFramework.device->SetRenderState(D3DRENDERSTATE_FOGCOLOR, packColor(red, green, blue));
}

void kvSetRenderFlags(int32_t flags) {
  const int32_t previous = kvRenderFlags;
  kvRenderFlags = flags;
  IDirect3DDevice3* device = kvFramework.device;
  // Without a device the flags are only remembered; kvInitDevice applies them.
  if (device == nullptr) return;

  if (flags & KV_RF_ALPHA) {
    device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  } else if (flags & KV_RF_ADDITIVE) {
    device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
  } else {
    device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, FALSE);
  }
  device->SetRenderState(D3DRENDERSTATE_ZENABLE, (flags & KV_RF_ZBUFFER) ? 1 : 0);
  // The texture stage and the colour key follow these two flags.
  if ((previous ^ flags) & (KV_RF_TEXTURE | KV_RF_COLORKEY)) kvSetTexture(kvGetCurrentTexture());
  device->SetRenderState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, (flags & KV_RF_PERSPECTIVE) ? 1 : 0);
  const DWORD filter = (flags & KV_RF_FILTER) ? D3DFILTER_LINEAR : D3DFILTER_NEAREST;
  device->SetRenderState(D3DRENDERSTATE_TEXTUREMIN, filter);
  device->SetRenderState(D3DRENDERSTATE_TEXTUREMAG, filter);
}

int32_t kvGetRenderFlags() { return kvRenderFlags; }

HRESULT kvSetRenderTarget(int32_t which) {
  const int32_t target = which & 0xFF;
  if (target == kvRenderTarget) return target;
  const HRESULT result =
      ChangeRenderTarget(&kvFramework, target == 1 ? kvFramework.front : kvFramework.back);
  kvRenderTarget = target;
  return result;
}
