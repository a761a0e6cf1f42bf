// The Direct3D stand-in's objects: the Direct3D face of a DirectDraw object,
// devices on a render target and their viewports.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "platform/d3d/backend.h"
#include "platform/d3d/d3d.h"
#include "platform/d3d/d3d_testing.h"
#include "platform/ddraw/objects.h"
#include "platform/raster/raster.h"
#include "platform/win/unknown.h"

namespace kv::d3d {

class Device;

// The two descriptions a device is listed with: its own kind's carries its
// caps, the other is empty.
void describe(const DeviceEntry& entry, D3DDEVICEDESC& hardware, D3DDEVICEDESC& software);
// Hands the callback each format until it cancels.
HRESULT enumFormats(std::vector<DDPIXELFORMAT> formats, LPD3DENUMPIXELFORMATSCALLBACK callback,
                    LPVOID context);
// D3D_OK when the device can draw into `target`, else why not.
HRESULT checkRenderTarget(const DeviceEntry& entry, ddraw::Surface& target);

class Direct3D final : public win::Unknown<IDirect3D3> {
 public:
  explicit Direct3D(ddraw::DirectDraw* directDraw);

  HRESULT EnumDevices(LPD3DENUMDEVICESCALLBACK callback, LPVOID context) override;
  HRESULT CreateViewport(LPDIRECT3DVIEWPORT3* viewport, IUnknown* outer) override;
  HRESULT FindDevice(LPD3DFINDDEVICESEARCH search, LPD3DFINDDEVICERESULT result) override;
  HRESULT CreateDevice(REFCLSID device, LPDIRECTDRAWSURFACE4 renderTarget, LPDIRECT3DDEVICE3* out,
                       IUnknown* outer) override;
  HRESULT EnumZBufferFormats(REFCLSID device, LPD3DENUMPIXELFORMATSCALLBACK callback,
                             LPVOID context) override;
  HRESULT EvictManagedTextures() override { return D3D_OK; }

 private:
  ~Direct3D() override;
  // The DirectDraw interfaces are the DirectDraw object's own.
  HRESULT queryOther(REFIID riid, void** object) override;
  ddraw::DirectDraw* directDraw_;
};

class Viewport final : public win::Unknown<IDirect3DViewport3> {
 public:
  HRESULT GetViewport2(LPD3DVIEWPORT2 data) override;
  HRESULT SetViewport2(LPD3DVIEWPORT2 data) override;
  HRESULT Clear2(DWORD count, LPD3DRECT rects, DWORD flags, D3DCOLOR color, D3DVALUE z,
                 DWORD stencil) override;

  Device* device() const { return device_; }
  void attach(Device* device) { device_ = device; }

 private:
  ~Viewport() override = default;
  Device* device_ = nullptr;  // not referenced: the device detaches its viewports as it goes
  D3DVIEWPORT2 data_{};
  bool dataSet_ = false;
};

class Device final : public win::Unknown<IDirect3DDevice3> {
 public:
  Device(Direct3D* direct3D, const DeviceEntry& entry, ddraw::Surface* target,
         std::unique_ptr<Backend> backend);

  HRESULT GetCaps(LPD3DDEVICEDESC hardware, LPD3DDEVICEDESC software) override;
  HRESULT AddViewport(LPDIRECT3DVIEWPORT3 viewport) override;
  HRESULT DeleteViewport(LPDIRECT3DVIEWPORT3 viewport) override;
  HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, LPVOID context) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT GetDirect3D(LPDIRECT3D3* direct3D) override;
  HRESULT SetCurrentViewport(LPDIRECT3DVIEWPORT3 viewport) override;
  HRESULT GetCurrentViewport(LPDIRECT3DVIEWPORT3* viewport) override;
  HRESULT SetRenderTarget(LPDIRECTDRAWSURFACE4 surface, DWORD flags) override;
  HRESULT GetRenderTarget(LPDIRECTDRAWSURFACE4* surface) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, LPDWORD value) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, DWORD vertexFormat, LPVOID vertices, DWORD count,
                        DWORD flags) override;
  HRESULT GetTexture(DWORD stage, LPDIRECT3DTEXTURE2* texture) override;
  HRESULT SetTexture(DWORD stage, LPDIRECT3DTEXTURE2 texture) override;
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, LPDWORD value) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) override;

  // Viewport::Clear2 lands here: rectangles in target pixels, clipped to `area`.
  HRESULT clear(const D3DRECT* rects, DWORD count, const D3DVIEWPORT2& area, DWORD flags,
                D3DCOLOR color, D3DVALUE z);

 private:
  ~Device() override;
  // The rasterizer state the device states stand for, for this draw.
  raster::State resolveState();
  // The surfaces a draw or clear goes to; false while the target cannot be drawn.
  bool drawTarget(DrawTarget& target) const;
  bool culled(const raster::Vertex* fan, DWORD count) const;
  void drawTriangles(D3DPRIMITIVETYPE type, const DrawTarget& target, const raster::State& state,
                     const raster::Vertex* vertices, DWORD count);

  Direct3D* direct3D_;
  DeviceEntry entry_;
  ddraw::Surface* target_;
  std::unique_ptr<Backend> backend_;
  std::array<DWORD, D3DRENDERSTATE_COUNT> renderStates_{};
  std::array<DWORD, D3DTSS_COUNT> stageStates_{};
  ddraw::Surface* texture_ = nullptr;
  raster::Texture rasterTexture_{};
  std::vector<Viewport*> viewports_;
  Viewport* currentViewport_ = nullptr;
  bool inScene_ = false;
};

}  // namespace kv::d3d
