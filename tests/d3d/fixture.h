// A device on a 64 x 48 render target with a z-buffer and a viewport.
#pragma once

#include <cstring>
#include <vector>

#include "tests/ddraw/fixture.h"

namespace kv::testing {

using d3d::testing::Vertex;

class DeviceTest : public DirectDrawTest {
 protected:
  void SetUp() override {
    DirectDrawTest::SetUp();
    ASSERT_EQ(dd->QueryInterface(IID_IDirect3D3, reinterpret_cast<void**>(&d3d)), DD_OK);
  }

  void TearDown() override {
    releaseDevice();
    if (d3d != nullptr) d3d->Release();
    DirectDrawTest::TearDown();
  }

  // A render target of the desktop's format, or of 32 bits.
  LPDIRECTDRAWSURFACE4 renderTarget(bool deep = false) {
    const DDPIXELFORMAT format = xrgb8888();
    return create(describe(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE, 64, 48, deep ? &format : nullptr));
  }

  // The framework's order: target, z-buffer attached, device, viewport.
  void makeDevice(const GUID& guid = IID_IDirect3DRefDevice, bool deep = false, bool withZ = true) {
    target = renderTarget(deep);
    if (withZ) {
      z = zBuffer(64, 48);
      ASSERT_EQ(target->AddAttachedSurface(z), DD_OK);
    }
    ASSERT_EQ(d3d->CreateDevice(guid, target, &device, nullptr), D3D_OK);
    ASSERT_EQ(d3d->CreateViewport(&viewport, nullptr), D3D_OK);
    ASSERT_EQ(device->AddViewport(viewport), D3D_OK);
    D3DVIEWPORT2 data{sizeof data, 0, 0, 64, 48, -1, 1, 2, 2, 0, 1};
    ASSERT_EQ(viewport->SetViewport2(&data), D3D_OK);
    ASSERT_EQ(device->SetCurrentViewport(viewport), D3D_OK);
  }

  // The framework's teardown order; the device must go with its last release.
  void releaseDevice() {
    if (viewport != nullptr) viewport->Release();
    if (device != nullptr) { EXPECT_EQ(device->Release(), 0u); }
    if (target != nullptr) target->Release();
    if (z != nullptr) z->Release();
    viewport = nullptr;
    device = nullptr;
    target = z = nullptr;
  }

  HRESULT clear(DWORD flags, D3DCOLOR color, float depth = 0.0f) {
    D3DRECT all{0, 0, 64, 48};
    return viewport->Clear2(1, &all, flags, color, depth, 0);
  }

  // A screen-aligned quad as a fan, corners given counter-clockwise on screen
  // (the kit's front faces), depth 1/z.
  static std::vector<Vertex> quad(float x0, float y0, float x1, float y1, DWORD diffuse,
                                  float depth = 0.5f) {
    return {{x0, y0, depth, depth, diffuse, 0, 0},
            {x0, y1, depth, depth, diffuse, 0, 1},
            {x1, y1, depth, depth, diffuse, 1, 1},
            {x1, y0, depth, depth, diffuse, 1, 0}};
  }

  HRESULT draw(std::vector<Vertex> fan) {
    return device->DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1,
                                 fan.data(), static_cast<DWORD>(fan.size()), 0);
  }

  void setStates(std::initializer_list<std::pair<D3DRENDERSTATETYPE, DWORD>> states) {
    for (auto [state, value] : states) device->SetRenderState(state, value);
  }

  // A texture surface of the given format and its Direct3D face.
  LPDIRECT3DTEXTURE2 texture(DDPIXELFORMAT format, LPDIRECTDRAWSURFACE4* surface) {
    *surface = create(DDSCAPS_TEXTURE, 8, 8, format);
    LPDIRECT3DTEXTURE2 face = nullptr;
    EXPECT_EQ((*surface)->QueryInterface(IID_IDirect3DTexture2, reinterpret_cast<void**>(&face)), DD_OK);
    return face;
  }

  float depthAt(int x, int y) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    if (z->Lock(nullptr, &desc, 0, nullptr) != DD_OK) return -1;
    float value;
    std::memcpy(&value, static_cast<uint8_t*>(desc.lpSurface) + y * desc.lPitch + x * 4, 4);
    z->Unlock(nullptr);
    return value;
  }

  LPDIRECT3D3 d3d = nullptr;
  LPDIRECTDRAWSURFACE4 target = nullptr, z = nullptr;
  LPDIRECT3DDEVICE3 device = nullptr;
  LPDIRECT3DVIEWPORT3 viewport = nullptr;
};

}  // namespace kv::testing
