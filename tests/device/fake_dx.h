// Recording stand-ins for the device objects the kit's render operations call,
// so tests can see the exact calls (states, textures, keys, clears) in order.
#pragma once

#include <string>
#include <vector>

#include "kvKIT.h"

namespace fake {

// Every call the fakes receive, as "Name(arg,arg)".
std::vector<std::string>& calls();
std::string joinedCalls();

// Reference counting shared by the fakes; they live on the test's stack, so a
// count of 0 is only recorded, never a delete.
template <typename Interface>
class Counted : public Interface {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  ULONG references = 1;
};

class Device final : public Counted<IDirect3DDevice3> {
 public:
  HRESULT GetCaps(LPD3DDEVICEDESC, LPD3DDEVICEDESC) override { return E_NOTIMPL; }
  HRESULT AddViewport(LPDIRECT3DVIEWPORT3) override { return 0; }
  HRESULT DeleteViewport(LPDIRECT3DVIEWPORT3) override { return 0; }
  HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK, LPVOID) override { return E_NOTIMPL; }
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT GetDirect3D(LPDIRECT3D3*) override { return E_NOTIMPL; }
  HRESULT SetCurrentViewport(LPDIRECT3DVIEWPORT3) override { return 0; }
  HRESULT GetCurrentViewport(LPDIRECT3DVIEWPORT3*) override { return E_NOTIMPL; }
  HRESULT SetRenderTarget(LPDIRECTDRAWSURFACE4 surface, DWORD flags) override;
  HRESULT GetRenderTarget(LPDIRECTDRAWSURFACE4*) override { return E_NOTIMPL; }
  HRESULT GetRenderState(D3DRENDERSTATETYPE, LPDWORD) override { return E_NOTIMPL; }
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE, DWORD, LPVOID, DWORD, DWORD) override { return 0; }
  HRESULT GetTexture(DWORD, LPDIRECT3DTEXTURE2*) override { return E_NOTIMPL; }
  HRESULT SetTexture(DWORD stage, LPDIRECT3DTEXTURE2 texture) override;
  HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, LPDWORD) override { return E_NOTIMPL; }
  HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override { return 0; }

  HRESULT beginResult = 0;
};

class Viewport final : public Counted<IDirect3DViewport3> {
 public:
  HRESULT GetViewport2(LPD3DVIEWPORT2) override { return E_NOTIMPL; }
  HRESULT SetViewport2(LPD3DVIEWPORT2) override { return 0; }
  HRESULT Clear2(DWORD count, LPD3DRECT rects, DWORD flags, D3DCOLOR color, D3DVALUE z,
                 DWORD stencil) override;
};

class Texture final : public Counted<IDirect3DTexture2> {
 public:
  HRESULT GetHandle(LPDIRECT3DDEVICE3, D3DTEXTUREHANDLE*) override { return E_NOTIMPL; }
  HRESULT PaletteChanged(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT Load(LPDIRECT3DTEXTURE2) override { return E_NOTIMPL; }
};

// A surface that records the calls the render operations make on it.
class Surface final : public Counted<IDirectDrawSurface4> {
 public:
  Surface(const char* name, DWORD width, DWORD height) : name(name), width(width), height(height) {}
  HRESULT AddAttachedSurface(LPDIRECTDRAWSURFACE4 surface) override;
  HRESULT Blt(LPRECT, LPDIRECTDRAWSURFACE4, LPRECT, DWORD, LPDDBLTFX) override { return 0; }
  HRESULT DeleteAttachedSurface(DWORD flags, LPDIRECTDRAWSURFACE4 surface) override;
  HRESULT Flip(LPDIRECTDRAWSURFACE4, DWORD) override { return 0; }
  HRESULT GetAttachedSurface(LPDDSCAPS2, LPDIRECTDRAWSURFACE4*) override { return E_NOTIMPL; }
  HRESULT GetCaps(LPDDSCAPS2) override { return E_NOTIMPL; }
  HRESULT GetClipper(LPDIRECTDRAWCLIPPER*) override { return E_NOTIMPL; }
  HRESULT GetColorKey(DWORD, LPDDCOLORKEY) override { return E_NOTIMPL; }
  HRESULT GetPalette(LPDIRECTDRAWPALETTE*) override { return E_NOTIMPL; }
  HRESULT GetPixelFormat(LPDDPIXELFORMAT) override { return E_NOTIMPL; }
  HRESULT GetSurfaceDesc(LPDDSURFACEDESC2 desc) override;
  HRESULT IsLost() override { return 0; }
  HRESULT Lock(LPRECT, LPDDSURFACEDESC2, DWORD, HANDLE) override { return E_NOTIMPL; }
  HRESULT Restore() override { return 0; }
  HRESULT SetClipper(LPDIRECTDRAWCLIPPER) override { return 0; }
  HRESULT SetColorKey(DWORD flags, LPDDCOLORKEY key) override;
  HRESULT SetPalette(LPDIRECTDRAWPALETTE) override { return 0; }
  HRESULT Unlock(LPRECT) override { return 0; }
  HRESULT GetDDInterface(LPVOID*) override { return E_NOTIMPL; }

  std::string name;
  DWORD width;
  DWORD height;
};

// A DirectDraw object whose surface creation can be made to fail, and whose
// display depth is the test's.
class DirectDraw final : public Counted<IDirectDraw4> {
 public:
  HRESULT QueryInterface(REFIID id, void** object) override;
  HRESULT CreateClipper(DWORD, LPDIRECTDRAWCLIPPER*, IUnknown*) override { return E_NOTIMPL; }
  HRESULT CreatePalette(DWORD, LPPALETTEENTRY, LPDIRECTDRAWPALETTE*, IUnknown*) override { return E_NOTIMPL; }
  HRESULT CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE4* surface, IUnknown*) override;
  HRESULT EnumDisplayModes(DWORD, LPDDSURFACEDESC2, LPVOID, LPDDENUMMODESCALLBACK2) override { return E_NOTIMPL; }
  HRESULT FlipToGDISurface() override { return 0; }
  HRESULT GetCaps(LPDDCAPS, LPDDCAPS) override { return E_NOTIMPL; }
  HRESULT GetDisplayMode(LPDDSURFACEDESC2 mode) override;
  HRESULT RestoreDisplayMode() override { return 0; }
  HRESULT SetCooperativeLevel(HWND, DWORD) override { return 0; }
  HRESULT SetDisplayMode(DWORD, DWORD, DWORD, DWORD, DWORD) override { return 0; }
  HRESULT RestoreAllSurfaces() override { return 0; }
  HRESULT TestCooperativeLevel() override { return 0; }

  IDirect3D3* direct3D = nullptr;  // what a query for Direct3D hands out
  HRESULT createResult = 0;
  DWORD displayBits = 16;
  Surface created{"zbuffer", 0, 0};
  DDSURFACEDESC2 lastDesc = {};
};

// A Direct3D object with a device description and depth formats of the test's.
class Direct3D final : public Counted<IDirect3D3> {
 public:
  HRESULT EnumDevices(LPD3DENUMDEVICESCALLBACK, LPVOID) override { return E_NOTIMPL; }
  HRESULT CreateViewport(LPDIRECT3DVIEWPORT3*, IUnknown*) override { return E_NOTIMPL; }
  HRESULT FindDevice(LPD3DFINDDEVICESEARCH search, LPD3DFINDDEVICERESULT result) override;
  HRESULT CreateDevice(REFCLSID, LPDIRECTDRAWSURFACE4, LPDIRECT3DDEVICE3*, IUnknown*) override { return E_NOTIMPL; }
  HRESULT EnumZBufferFormats(REFCLSID, LPD3DENUMPIXELFORMATSCALLBACK callback, LPVOID context) override;
  HRESULT EvictManagedTextures() override { return 0; }

  HRESULT findResult = 0;
  D3DDEVICEDESC hardware = {};
  D3DDEVICEDESC software = {};
  std::vector<DDPIXELFORMAT> depthFormats;
  int depthFormatsOffered = 0;
};

// A depth format of the given flags and bit depth.
DDPIXELFORMAT depthFormat(DWORD flags, DWORD bits);

// Points the framework at the fakes and empties the call record; Detach
// clears the framework again.
struct Rig {
  Rig();
  ~Rig();
  Device device;
  Viewport viewport;
  Surface front{"front", 640, 480};
  Surface back{"back", 640, 480};
  DirectDraw directDraw;
  Direct3D direct3D;
};

}  // namespace fake
