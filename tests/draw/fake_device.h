// A device that only keeps what it is asked to draw: the polygon drawer's
// tests need DrawPrimitive and nothing of a real device behind it.
#pragma once

#include <vector>

#include "kvf3D/KV3DDraw.h"
#include "platform/d3d/d3d.h"

namespace kvtest {

class RecordingDevice : public IDirect3DDevice3 {
 public:
  struct Draw {
    D3DPRIMITIVETYPE type;
    DWORD vertexFormat;
    int32_t flags;  // the kit's render flags when the fan came
    std::vector<kv3d::FanVertex> vertices;
  };
  std::vector<Draw> draws;

  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, DWORD format, LPVOID vertices, DWORD count,
                        DWORD) override {
    const auto* v = static_cast<const kv3d::FanVertex*>(vertices);
    draws.push_back({type, format, kvRenderFlags, std::vector<kv3d::FanVertex>(v, v + count)});
    return S_OK;
  }
  // Everything else: state changes succeed, queries fail.
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT BeginScene() override { return S_OK; }
  HRESULT EndScene() override { return S_OK; }
  HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return S_OK; }
  HRESULT SetTexture(DWORD, LPDIRECT3DTEXTURE2) override { return S_OK; }
  HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override { return S_OK; }
  HRESULT QueryInterface(REFIID, void**) override { return E_FAIL; }
  HRESULT GetCaps(LPD3DDEVICEDESC, LPD3DDEVICEDESC) override { return E_FAIL; }
  HRESULT AddViewport(LPDIRECT3DVIEWPORT3) override { return E_FAIL; }
  HRESULT DeleteViewport(LPDIRECT3DVIEWPORT3) override { return E_FAIL; }
  HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK, LPVOID) override { return E_FAIL; }
  HRESULT GetDirect3D(LPDIRECT3D3*) override { return E_FAIL; }
  HRESULT SetCurrentViewport(LPDIRECT3DVIEWPORT3) override { return E_FAIL; }
  HRESULT GetCurrentViewport(LPDIRECT3DVIEWPORT3*) override { return E_FAIL; }
  HRESULT SetRenderTarget(LPDIRECTDRAWSURFACE4, DWORD) override { return E_FAIL; }
  HRESULT GetRenderTarget(LPDIRECTDRAWSURFACE4*) override { return E_FAIL; }
  HRESULT GetRenderState(D3DRENDERSTATETYPE, LPDWORD) override { return E_FAIL; }
  HRESULT GetTexture(DWORD, LPDIRECT3DTEXTURE2*) override { return E_FAIL; }
  HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, LPDWORD) override { return E_FAIL; }
};

}  // namespace kvtest
