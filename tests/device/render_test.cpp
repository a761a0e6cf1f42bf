// Render flags, texture selection and colour key, clears, frame bracket and
// render target, seen as the calls the device receives.
#include <gtest/gtest.h>

#include <cstring>

#include "kvKIT.h"
#include "kvSys/Memory.h"
#include "kvSys/kvRender.h"
#include "platform/host/headless/headless.h"
#include "tests/device/fake_dx.h"

namespace {

using fake::joinedCalls;

class RenderOps : public ::testing::Test {
 protected:
  void SetUp() override {
    kv::headless::install();
    kvResetMemoryForTests();
    ASSERT_EQ(kvSetSystemMemory(4096), 1);
    kvRenderFlags = 0;
    kvRenderTarget = 1;
  }
  void TearDown() override {
    for (int group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
    kvResetMemoryForTests();
  }

  // An 8-bit Surface made without a device, then put on the fakes by hand.
  Surface* surfaceOnFakes(DWORD textureBits) {
    fake::Surface* ddSurface = &ddSurface_;
    fake::Texture* texture = &texture_;
    static uint8_t pixels[8 * 8] = {};
    ImageDesc request = {};
    request.group = 2;
    request.width = 8;
    request.height = 8;
    request.format = SURFACE_FORMAT_8BPP;
    request.palette[5][0] = request.palette[9][0] = 0;  // black at 5 and 9, nothing earlier
    for (int i = 0; i < 5; ++i) request.palette[i][0] = 10;
    for (int i = 6; i < 9; ++i) request.palette[i][1] = 10;
    for (int i = 10; i < 256; ++i) request.palette[i][2] = 10;
    request.pixels = pixels;
    Surface* surface = kvCreateSurface(&request);
    EXPECT_NE(surface, nullptr);
    surface->ddSurface = ddSurface;
    surface->texture = texture;
    surface->desc.ddpfPixelFormat.dwRGBBitCount = textureBits;
    return surface;
  }

  // Members, so they outlive the group freeing of TearDown.
  fake::Surface ddSurface_{"texture", 8, 8};
  fake::Texture texture_;
};

TEST_F(RenderOps, FlagsSendEveryStateOnEveryCall) {
  fake::Rig rig;
  kvSetRenderFlags(KV_RF_ALPHA | KV_RF_ADDITIVE);  // alpha wins over additive
  EXPECT_EQ(joinedCalls(), "RS(27,1);RS(20,6);RS(7,0);RS(4,0);RS(18,1);RS(17,1);");
  EXPECT_EQ(kvGetRenderFlags(), 0x101);

  fake::calls().clear();
  kvSetRenderFlags(KV_RF_ADDITIVE);
  EXPECT_EQ(joinedCalls(), "RS(27,1);RS(20,2);RS(7,0);RS(4,0);RS(18,1);RS(17,1);");

  // Without blending the destination factor is left as it was.
  fake::calls().clear();
  kvSetRenderFlags(KV_RF_ZBUFFER | KV_RF_COLOR | KV_RF_PERSPECTIVE | KV_RF_FILTER);
  EXPECT_EQ(joinedCalls(), "RS(27,0);RS(7,1);RS(4,1);RS(18,2);RS(17,2);");
}

TEST_F(RenderOps, TextureAndKeyFlagChangesReselectTheCurrentTextureOnce) {
  fake::Rig rig;
  // No current texture: a texture flag change touches no texture stage.
  kvSetRenderFlags(KV_RF_TEXTURE);
  kvSetRenderFlags(0);
  EXPECT_EQ(joinedCalls().find("SetTexture"), std::string::npos);

  Surface* surface = surfaceOnFakes(8);
  kvSetRenderFlags(KV_RF_TEXTURE);
  kvSetTexture(surface);

  fake::calls().clear();
  kvSetRenderFlags(0);
  EXPECT_EQ(joinedCalls(), "RS(27,0);RS(7,0);RS(41,0);SetTexture(null);RS(4,0);RS(18,1);RS(17,1);");

  kvSetRenderFlags(KV_RF_TEXTURE | KV_RF_ZBUFFER);
  fake::calls().clear();
  kvSetRenderFlags(KV_RF_ZBUFFER);
  EXPECT_EQ(joinedCalls(), "RS(27,0);RS(7,1);RS(41,0);SetTexture(null);RS(4,0);RS(18,1);RS(17,1);");

  kvSetRenderFlags(KV_RF_ZBUFFER | KV_RF_COLOR);
  fake::calls().clear();
  kvSetRenderFlags(KV_RF_COLOR);
  EXPECT_EQ(joinedCalls().find("SetTexture"), std::string::npos);
}

TEST_F(RenderOps, ColourKeyIsThePaletteIndexOrThePackedColour) {
  fake::Rig rig;
  Surface* surface = surfaceOnFakes(8);
  kvSetRenderFlags(KV_RF_TEXTURE | KV_RF_COLORKEY);
  kvSetColorKey(0, 0, 0);

  // Palettized texture: the first black entry's index.
  fake::calls().clear();
  kvSetTexture(surface);
  EXPECT_EQ(joinedCalls(), "texture.SetColorKey(8,5,5);RS(41,1);SetTexture(texture);");

  // 16-bit texture: the packed colour itself, 0 for black.
  surface->desc.ddpfPixelFormat.dwRGBBitCount = 16;
  fake::calls().clear();
  kvSetTexture(surface);
  EXPECT_EQ(joinedCalls(), "texture.SetColorKey(8,0,0);RS(41,1);SetTexture(texture);");

  // A key the palette lacks switches keying off for this texture.
  fake::calls().clear();
  kvSetColorKey(1, 2, 3);
  EXPECT_EQ(joinedCalls(), "RS(41,0);");

  // A 16-bit image is keyed by the packed colour whatever its pixels.
  surface->format = SURFACE_FORMAT_16BPP;
  fake::calls().clear();
  kvSetColorKey(1, 2, 3);
  EXPECT_EQ(joinedCalls(), "texture.SetColorKey(8,10203,10203);RS(41,1);");
}

TEST_F(RenderOps, NullTextureKeepsTheCurrentOneAndFreeingItsGroupForgetsIt) {
  fake::Rig rig;
  Surface* surface = surfaceOnFakes(8);
  kvSetTexture(surface);
  fake::calls().clear();
  EXPECT_EQ(kvSetTexture(nullptr), 0);
  EXPECT_EQ(joinedCalls(), "");
  EXPECT_EQ(kvGetTextureInfo(0), 8);
  EXPECT_EQ(kvGetTextureInfo(3), 2);
  EXPECT_EQ(kvGetTextureInfo(4), -1);

  kvFreeSurfaceGroup(1);  // another group: still current
  EXPECT_EQ(kvGetTextureInfo(3), 2);
  kvFreeSurfaceGroup(2);
  EXPECT_EQ(kvGetTextureInfo(0), -1);
  EXPECT_EQ(ddSurface_.references, 0u);
  EXPECT_EQ(texture_.references, 0u);
}

TEST_F(RenderOps, ClearsUseTheLowByteOfEachColourOverTheWholeTarget) {
  fake::Rig rig;
  kvClear(256 + 1, 2, 3);
  kvClearTarget(4, 5, 6);
  kvClearZ();
  kvSetFogColor(-1, 0, 0x1FF);
  EXPECT_EQ(joinedCalls(),
            "Clear2(1,[0,0,640,480],3,10203,0.000000);Clear2(1,[0,0,640,480],1,40506,0.000000);"
            "Clear2(1,[0,0,640,480],2,0,0.000000);RS(34,16711935);");
}

TEST_F(RenderOps, SceneBracketNeedsASetUpFramework) {
  std::memset(&kvFramework, 0, sizeof kvFramework);
  EXPECT_EQ(kvBeginScene(), 0);
  kvEndScene();

  fake::Rig rig;
  EXPECT_EQ(kvBeginScene(), 1);
  kvEndScene();
  rig.device.beginResult = E_FAIL;
  EXPECT_EQ(kvBeginScene(), 0);
  EXPECT_EQ(joinedCalls(), "BeginScene();EndScene();BeginScene();");
}

TEST_F(RenderOps, RenderTargetSwitchesOnlyOnAChangeOfTheLowByte) {
  fake::Rig rig;
  EXPECT_EQ(kvSetRenderTarget(1), 1);  // remembered as the front from the start
  EXPECT_EQ(joinedCalls(), "");
  EXPECT_EQ(kvSetRenderTarget(0), 0);
  EXPECT_EQ(kvSetRenderTarget(256), 0);  // low byte 0 again: nothing
  EXPECT_EQ(kvSetRenderTarget(257), 0);  // acts as 1
  EXPECT_EQ(joinedCalls(), "SetRenderTarget(back);SetRenderTarget(front);");
  EXPECT_EQ(kvFramework.renderTarget, &rig.front);
}

}  // namespace
