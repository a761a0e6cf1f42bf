// The framework's stages on recording objects: device description and depth
// format choice, the depth buffer, the display-depth test, diagnostics.
#include <gtest/gtest.h>

#include <cstring>

#include "kvKIT.h"
#include "kvSys/d3dframe.h"
#include "platform/host/headless/headless.h"
#include "tests/device/fake_dx.h"

namespace {

using fake::depthFormat;
using fake::joinedCalls;

const GUID kDevice = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};

class Stages : public ::testing::Test {
 protected:
  void SetUp() override { kv::headless::install(); }
  static const std::string& log() { return kv::headless::debugCapture(); }
};

TEST_F(Stages, DepthFormatIsTheFirstSixteenBitOneElseTheLastMatching) {
  fake::Rig rig;
  rig.direct3D.depthFormats = {depthFormat(DDPF_ZBUFFER, 24), depthFormat(DDPF_ZBUFFER | DDPF_STENCILBUFFER, 16),
                               depthFormat(DDPF_ZBUFFER, 32), depthFormat(DDPF_ZBUFFER, 16),
                               depthFormat(DDPF_ZBUFFER, 24)};
  ASSERT_EQ(kvFwCreateDirect3D(&kvFramework, &kDevice, 0), 0);
  EXPECT_EQ(kvFramework.zBufferFormat.dwZBufferBitDepth, 16u);
  EXPECT_EQ(rig.direct3D.depthFormatsOffered, 4);  // stopped at the 16-bit one
  EXPECT_EQ(joinedCalls(), "FindDevice(92,2,524);");

  // No 16-bit format with the right flags: the last one that has them.
  rig.direct3D.depthFormats = {depthFormat(DDPF_ZBUFFER, 24), depthFormat(DDPF_ZBUFFER | DDPF_STENCILBUFFER, 16),
                               depthFormat(DDPF_ZBUFFER, 32)};
  ASSERT_EQ(kvFwCreateDirect3D(&kvFramework, &kDevice, 0), 0);
  EXPECT_EQ(kvFramework.zBufferFormat.dwZBufferBitDepth, 32u);

  // Stencil asks for exactly depth-and-stencil formats.
  ASSERT_EQ(kvFwCreateDirect3D(&kvFramework, &kDevice, KVFW_STENCILBUFFER), 0);
  EXPECT_EQ(kvFramework.zBufferFormat.dwZBufferBitDepth, 16u);
  EXPECT_EQ(kvFramework.zBufferFormat.dwFlags, DDPF_ZBUFFER | DDPF_STENCILBUFFER);
}

TEST_F(Stages, NoDepthFormatFailsEvenWhenNoDepthBufferIsWanted) {
  fake::Rig rig;
  rig.direct3D.depthFormats = {depthFormat(DDPF_ZBUFFER | DDPF_STENCILBUFFER, 16)};
  kv::headless::clearDebugCapture();
  EXPECT_EQ(kvFwCreateDirect3D(&kvFramework, &kDevice, 0), KVERR_FW_NO_ZBUFFER);
  EXPECT_NE(log().find("d3dframe.cpp("), std::string::npos);
  EXPECT_NE(log().find("): Device doesn't support requested zbuffer format\n"), std::string::npos);
  EXPECT_NE(kvFramework.zBufferFormat.dwSize, 32u);
}

TEST_F(Stages, DescriptionAndMemoryFollowTheDeviceKind) {
  fake::Rig rig;
  rig.direct3D.depthFormats = {depthFormat(DDPF_ZBUFFER, 16)};
  rig.direct3D.software.dwFlags = 0x400 | 1;
  rig.direct3D.software.dwDeviceRenderBitDepth = 0x500;
  ASSERT_EQ(kvFwCreateDirect3D(&kvFramework, &kDevice, 0), 0);
  EXPECT_EQ(kvFramework.deviceMemoryType, 0x800u);
  EXPECT_EQ(kvFramework.deviceDesc.dwDeviceRenderBitDepth, 0x500u);

  // A hardware description without colour keying: video memory and a note.
  rig.direct3D.hardware.dwFlags = 1;
  rig.direct3D.hardware.dwDeviceRenderBitDepth = 0x400;
  kv::headless::clearDebugCapture();
  ASSERT_EQ(kvFwCreateDirect3D(&kvFramework, &kDevice, 0), 0);
  EXPECT_EQ(kvFramework.deviceMemoryType, 0x4000u);
  EXPECT_EQ(kvFramework.deviceDesc.dwDeviceRenderBitDepth, 0x400u);
  EXPECT_NE(log().find("): this device not support colorkey\n"), std::string::npos);

  rig.direct3D.findResult = E_FAIL;
  EXPECT_EQ(kvFwCreateDirect3D(&kvFramework, &kDevice, 0), KVERR_FW_NO_DIRECT3D);
  EXPECT_NE(log().find("): Couldn't find the specified device\n"), std::string::npos);
}

TEST_F(Stages, DepthBufferIsMadeAndAttachedUnlessTheDeviceNeedsNone) {
  fake::Rig rig;
  kvFramework.renderWidth = 320;
  kvFramework.renderHeight = 240;
  kvFramework.deviceMemoryType = 0x800;
  kvFramework.zBufferFormat = depthFormat(DDPF_ZBUFFER, 32);
  ASSERT_EQ(kvFwCreateZBuffer(&kvFramework), 0);
  EXPECT_EQ(joinedCalls(), "CreateSurface(20800,320x240);back.AddAttachedSurface;");
  EXPECT_EQ(rig.directDraw.lastDesc.dwFlags, 0x1007u);
  EXPECT_EQ(rig.directDraw.lastDesc.ddpfPixelFormat.dwZBufferBitDepth, 32u);
  EXPECT_EQ(kvFramework.zBuffer, &rig.directDraw.created);

  // Out of video memory is passed on; other refusals are the framework's code.
  kvFramework.zBuffer = nullptr;
  rig.directDraw.createResult = DDERR_OUTOFVIDEOMEMORY;
  kv::headless::clearDebugCapture();
  EXPECT_EQ(kvFwCreateZBuffer(&kvFramework), DDERR_OUTOFVIDEOMEMORY);
  EXPECT_NE(log().find("): Error: Couldn't create a ZBuffer surface\n"), std::string::npos);
  EXPECT_NE(log().find("): Error: Out of video memory\n"), std::string::npos);
  rig.directDraw.createResult = E_FAIL;
  EXPECT_EQ(kvFwCreateZBuffer(&kvFramework), KVERR_FW_NO_ZBUFFER);

  // A device that removes hidden surfaces by itself gets none, and a render
  // target switch then just swaps the targets.
  kvFramework.deviceDesc.dpcTriCaps.dwRasterCaps = D3DPRASTERCAPS_ZBUFFERLESSHSR;
  fake::calls().clear();
  EXPECT_EQ(kvFwCreateZBuffer(&kvFramework), 0);
  EXPECT_EQ(kvFramework.zBuffer, nullptr);
  EXPECT_EQ(ChangeRenderTarget(&kvFramework, &rig.front), 0);
  EXPECT_EQ(joinedCalls(), "SetRenderTarget(front);");
  EXPECT_EQ(rig.back.references, 0u);
  EXPECT_EQ(rig.front.references, 2u);
}

TEST_F(Stages, RenderTargetSwitchMovesTheDepthBufferToTheNewTargetSize) {
  fake::Rig rig;
  rig.front.width = 320;
  rig.front.height = 200;
  kvFramework.zBuffer = &rig.directDraw.created;
  rig.directDraw.created.AddRef();
  kvFramework.zBufferFormat = depthFormat(DDPF_ZBUFFER, 32);
  EXPECT_EQ(ChangeRenderTarget(&kvFramework, &rig.front), 0);
  EXPECT_EQ(joinedCalls(),
            "back.DeleteAttachedSurface;CreateSurface(20000,320x200);front.AddAttachedSurface;"
            "SetRenderTarget(front);");
  EXPECT_EQ(kvFramework.renderWidth, 320u);
  EXPECT_EQ(kvFramework.renderHeight, 200u);

  rig.directDraw.createResult = E_FAIL;
  kv::headless::clearDebugCapture();
  EXPECT_EQ(ChangeRenderTarget(&kvFramework, &rig.back), KVERR_FW_NO_ZBUFFER);
  EXPECT_NE(log().find("): ChangeRenderTarget() - zbuffer create failed\n"), std::string::npos);
}

TEST_F(Stages, DeviceNeedsADisplayOfMoreThanEightBits) {
  fake::Rig rig;
  rig.directDraw.displayBits = 8;
  EXPECT_EQ(kvFwCreate3DDevice(&kvFramework, &kDevice), KVERR_FW_INVALID_MODE);
}

TEST_F(Stages, MovesFollowTheWindowOnlyOutsideFullScreen) {
  fake::Rig rig;
  kvFramework.renderWidth = 640;
  kvFramework.renderHeight = 480;
  kvFwMove(&kvFramework, 10, 20);
  EXPECT_EQ(kvFramework.screenRect.right, 650);
  EXPECT_EQ(kvFramework.screenRect.bottom, 500);
  EXPECT_EQ(kvFramework.viewportRect.left, 0);  // a back buffer keeps its own area
  kvFramework.back = nullptr;
  kvFwMove(&kvFramework, 1, 2);
  EXPECT_EQ(kvFramework.viewportRect.left, 1);
  kvFramework.fullscreen = 1;
  kvFwMove(&kvFramework, 300, 300);
  EXPECT_EQ(kvFramework.screenRect.left, 1);
}

TEST_F(Stages, DiagnosticsNameTheSiteAndTheCode) {
  kv::headless::clearDebugCapture();
  EXPECT_EQ(kvFwDebugMsg("kvSys/d3dframe.cpp", 42, KVERR_FW_NO_VIEWPORT, "Error: x"), KVERR_FW_NO_VIEWPORT);
  EXPECT_EQ(kvFwDebugMsg("kvSys/d3denum.cpp", 7, 0, "y"), 0);
  EXPECT_EQ(log(), "kvSys/d3dframe.cpp(42): Error: x(hr=82000006)\n\nkvSys/d3denum.cpp(7): y\n");

  D3DVIEWPORT2 viewport;
  std::memset(&viewport, 0xFF, sizeof viewport);
  kvInitViewport(&viewport, 640, 480);
  EXPECT_EQ(viewport.dwSize, 44u);
  EXPECT_EQ(viewport.dwX, 0u);
  EXPECT_EQ(viewport.dwWidth, 640u);
  EXPECT_EQ(viewport.dvClipX, -1.0f);
  EXPECT_EQ(viewport.dvClipY, 1.0f);
  EXPECT_EQ(viewport.dvClipWidth, 2.0f);
  EXPECT_EQ(viewport.dvMaxZ, 1.0f);
}

}  // namespace
