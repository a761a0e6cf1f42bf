// The OpenGL device beside the reference device on the same DirectDraw
// object: the product registered as a test asks for it, on whatever GL
// renderer this machine has (llvmpipe headless). Tests skip where GL cannot
// start at all.
#pragma once

#include <string>
#include <vector>

#include "platform/gl/context.h"
#include "platform/gl/hardware_device.h"
#include "tests/ddraw/fixture.h"

namespace kv::testing {

class GlDeviceTest : public DirectDrawTest {
 protected:
  void SetUp() override {
    DirectDrawTest::SetUp();
    if (gl::sharedContext() == nullptr) GTEST_SKIP() << "OpenGL cannot start on this machine";
    gl::registerHardwareDevice({.asked = true});
    ASSERT_EQ(dd->QueryInterface(IID_IDirect3D3, reinterpret_cast<void**>(&d3d)), DD_OK);
  }

  void TearDown() override {
    if (d3d != nullptr) d3d->Release();
    gl::unregisterHardwareDevice();
    DirectDrawTest::TearDown();
  }

  // A device on its own target (and z-buffer), viewport covering it.
  struct Rig {
    LPDIRECTDRAWSURFACE4 target = nullptr, z = nullptr;
    LPDIRECT3DDEVICE3 device = nullptr;
    LPDIRECT3DVIEWPORT3 viewport = nullptr;

    void release() {
      if (viewport != nullptr) viewport->Release();
      if (device != nullptr) device->Release();
      for (auto s : {target, z})
        if (s != nullptr) s->Release();
      *this = {};
    }
  };

  Rig makeRig(const GUID& guid, int width, int height, bool deep, bool withZ = true) {
    Rig rig;
    const DDPIXELFORMAT format = xrgb8888();
    rig.target = create(describe(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE, width, height,
                                 deep ? &format : nullptr));
    if (withZ) {
      rig.z = zBuffer(width, height);
      EXPECT_EQ(rig.target->AddAttachedSurface(rig.z), DD_OK);
    }
    EXPECT_EQ(d3d->CreateDevice(guid, rig.target, &rig.device, nullptr), D3D_OK);
    if (rig.device == nullptr) return rig;
    EXPECT_EQ(d3d->CreateViewport(&rig.viewport, nullptr), D3D_OK);
    EXPECT_EQ(rig.device->AddViewport(rig.viewport), D3D_OK);
    D3DVIEWPORT2 data{sizeof data, 0, 0, DWORD(width), DWORD(height), -1, 1, 2, 2, 0, 1};
    EXPECT_EQ(rig.viewport->SetViewport2(&data), D3D_OK);
    EXPECT_EQ(rig.device->SetCurrentViewport(rig.viewport), D3D_OK);
    // The kit's depth test: 1/z, nearer is larger.
    rig.device->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_GREATEREQUAL);
    return rig;
  }

  static HRESULT drawFan(LPDIRECT3DDEVICE3 device, const std::vector<d3d::testing::Vertex>& fan) {
    return device->DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1,
                                 const_cast<d3d::testing::Vertex*>(fan.data()),
                                 static_cast<DWORD>(fan.size()), 0);
  }

  LPDIRECT3D3 d3d = nullptr;
};

}  // namespace kv::testing
