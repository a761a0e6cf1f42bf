// Surfaces (size rules, the pixel copy, groups, texel rules) and the render
// flags, texture selection and colour key, read back from the device the
// framework set up.
#include <tuple>
#include <utility>
#include <vector>

#include "kvSys/kvSurface.h"
#include "tests/device/kit_fixture.h"

namespace {

using RenderFlags = Kit;

DWORD state(D3DRENDERSTATETYPE which) {
  DWORD value = 0xDEAD;
  kvFramework.device->GetRenderState(which, &value);
  return value;
}

IDirect3DTexture2* boundTexture() {
  IDirect3DTexture2* texture = nullptr;
  kvFramework.device->GetTexture(0, &texture);
  if (texture != nullptr) texture->Release();
  return texture;
}

TEST_F(RenderFlags, EachFlagSetsItsStates) {
  start();
  const struct {
    int32_t flags;
    std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> states;
  } steps[] = {
      {KV_RF_ALPHA | KV_RF_ADDITIVE,  // alpha wins over additive
       {{D3DRENDERSTATE_ALPHABLENDENABLE, 1}, {D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA}}},
      {KV_RF_ADDITIVE, {{D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE}}},
      {KV_RF_ZBUFFER | KV_RF_PERSPECTIVE | KV_RF_FILTER,  // no blend: its factor is left alone
       {{D3DRENDERSTATE_ALPHABLENDENABLE, 0},
        {D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE},
        {D3DRENDERSTATE_ZENABLE, 1},
        {D3DRENDERSTATE_TEXTUREPERSPECTIVE, 1},
        {D3DRENDERSTATE_TEXTUREMIN, D3DFILTER_LINEAR},
        {D3DRENDERSTATE_TEXTUREMAG, D3DFILTER_LINEAR}}},
      {0, {{D3DRENDERSTATE_ZENABLE, 0}, {D3DRENDERSTATE_TEXTUREMAG, D3DFILTER_NEAREST}}}};
  for (const auto& step : steps) {
    kvSetRenderFlags(step.flags);
    EXPECT_EQ(kvGetRenderFlags(), step.flags);
    for (auto [which, value] : step.states)
      EXPECT_EQ(state(which), value) << "flags " << step.flags << ", state " << which;
  }
  kvSetFogColor(256 + 1, 2, 3);
  EXPECT_EQ(state(D3DRENDERSTATE_FOGCOLOR), 0x010203u);
}

TEST_F(RenderFlags, TextureAndKeyFlagChangesRebindTheCurrentTexture) {
  start();
  std::vector<uint16_t> pixels(8 * 8, 0x1234);
  Surface* surface = make(8, 8, SURFACE_FORMAT_16BPP, pixels.data(), nullptr, 2);
  kvSetRenderFlags(KV_RF_TEXTURE);
  kvSetTexture(surface);
  EXPECT_EQ(boundTexture(), surface->texture);
  EXPECT_EQ(kvSetTexture(nullptr), 0);  // keeps the current one
  EXPECT_EQ(kvGetTextureInfo(3), 2);

  const std::pair<int32_t, bool> steps[] = {
      {0, false}, {KV_RF_TEXTURE | KV_RF_ZBUFFER, true}, {KV_RF_ZBUFFER, false}};
  for (auto [flags, textured] : steps) {
    kvSetRenderFlags(flags);
    EXPECT_EQ(boundTexture(), textured ? surface->texture : nullptr) << "flags " << flags;
  }

  // Flags that leave texture and key alone leave the stage alone.
  kvSetRenderFlags(KV_RF_TEXTURE | KV_RF_ZBUFFER);
  kvFramework.device->SetTexture(0, nullptr);
  kvSetRenderFlags(KV_RF_TEXTURE | KV_RF_COLOR);
  EXPECT_EQ(boundTexture(), nullptr);

  kvFreeSurfaceGroup(2);  // the current texture's group: no current texture
  EXPECT_EQ(kvGetTextureInfo(0), -1);
}

TEST_F(RenderFlags, ColourKeyIsThePaletteIndexOnAPalettizedTexture) {
  start();
  uint8_t palette[256][3] = {};
  for (int i = 0; i < 5; ++i) palette[i][2] = 7;  // black first at 5, again at 9
  std::vector<uint8_t> pixels(8 * 8, 5);
  Surface* surface = make(8, 8, SURFACE_FORMAT_8BPP, pixels.data(), palette);
  ASSERT_NE(surface->desc.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8, 0u);
  kvSetRenderFlags(KV_RF_TEXTURE | KV_RF_COLORKEY);
  kvSetColorKey(0, 0, 0);
  kvSetTexture(surface);
  DDCOLORKEY key = {};
  EXPECT_EQ(surface->ddSurface->GetColorKey(DDCKEY_SRCBLT, &key), 0);
  EXPECT_EQ(key.dwColorSpaceLowValue, 5u);
  EXPECT_EQ(key.dwColorSpaceHighValue, 5u);
  EXPECT_EQ(state(D3DRENDERSTATE_COLORKEYENABLE), 1u);

  kvSetColorKey(1, 2, 3);  // not in the palette: keying off for this texture
  EXPECT_EQ(state(D3DRENDERSTATE_COLORKEYENABLE), 0u);
  kvSetColorKey(0, 0, 0);
  kvSetRenderFlags(KV_RF_TEXTURE);
  EXPECT_EQ(state(D3DRENDERSTATE_COLORKEYENABLE), 0u);
}

using Surfaces = Kit;

TEST_F(Surfaces, SidesArePowersOfTwoFrom8To256WithinEightTimesOfEachOther) {
  std::vector<uint8_t> pixels(256 * 256 * 2, 0x5A);
  EXPECT_NE(make(8, 64, SURFACE_FORMAT_16BPP, pixels.data()), nullptr);
  EXPECT_NE(make(256, 32, SURFACE_FORMAT_16BPP, pixels.data()), nullptr);
  const struct {
    int32_t width, height, group;
    const char* log;
  } refused[] = {{8, 128, 0, "width:hegiht = 8:128\n"}, {256, 16, 0, "width:hegiht = 256:16\n"},
                 {512, 512, 0, "surface width 512\n"},  {16, 12, 0, "surface hegiht 12\n"},
                 {-8, 8, 0, "surface width -8\n"},      {8, 8, 8, "surface group 8\n"}};
  for (const auto& r : refused) {
    EXPECT_EQ(make(r.width, r.height, SURFACE_FORMAT_16BPP, pixels.data(), nullptr, r.group),
              nullptr)
        << r.log;
    EXPECT_TRUE(logged(std::string("): kvCreateSurface: ") + r.log)) << r.log;
  }
  EXPECT_FALSE(logged("hegiht 512"));  // the width is tested first
}

TEST_F(Surfaces, OffTheDeviceASurfaceKeepsItsOwnPixelsAndItsGroup) {
  std::vector<uint8_t> pixels(16 * 8, 0x5A);
  uint8_t palette[256][3] = {};
  palette[7][1] = 99;
  Surface* surface = make(16, 8, SURFACE_FORMAT_8BPP, pixels.data(), palette, 3);
  ASSERT_NE(surface, nullptr);
  EXPECT_TRUE(logged("): kvRestoreSurface: DirectDraw device initialization faild\n"));
  EXPECT_TRUE(logged("): Texture Restore error!!\n"));
  EXPECT_EQ(surface->texture, nullptr);
  pixels.assign(pixels.size(), 0);
  EXPECT_EQ(static_cast<uint8_t*>(surface->pixels)[16 * 8 - 1], 0x5A);
  EXPECT_EQ(surface->palette[7][1], 99);
  EXPECT_EQ(std::tuple(kvGetSurfaceInfo(surface, 0), kvGetSurfaceInfo(surface, 2),
                       kvGetSurfaceInfo(surface, 3), kvGetSurfaceInfo(surface, 4)),
            std::tuple(16, SURFACE_FORMAT_8BPP, 3, -1));

  std::vector<uint8_t> replacement(16 * 8, 0x11);
  uint8_t newPalette[768] = {};
  kvReplaceSurfacePixels(surface, replacement.data(), newPalette);
  EXPECT_EQ(static_cast<uint8_t*>(surface->pixels)[0], 0x11);
  EXPECT_EQ(surface->palette[7][1], 0);

  kvSetSurfaceGroup(6);
  kvSetSurfaceGroup(8);  // out of range: no change
  EXPECT_EQ(kvSurfaceGroup, 6);
  kvSetSurfaceGroup(0);
}

DDPIXELFORMAT formatOf(DWORD red, DWORD green, DWORD blue) {
  return {0, 0, 0, {16}, {red}, {green}, {blue}, {0}};
}

// 565 to 1555 end to end is in the machines' tests; here the odd masks.
TEST(TexelRules, ComponentsKeepTheirTopBitsInTheTargetMasks) {
  const DDPIXELFORMAT argb1555 = formatOf(0x7C00, 0x03E0, 0x001F);
  EXPECT_EQ(kvTexelFrom565(argb1555, 0x0020), 0x0000);  // the lowest green bit is dropped
  EXPECT_EQ(kvTexelFrom565(formatOf(0x0F00, 0x00F0, 0x000F), 0x8410), 0x0888);
  EXPECT_EQ(kvTexelFromRGB(argb1555, 0x87, 7, 255), 0x401F);
  EXPECT_EQ(kvTexelFromRGB(formatOf(0xF800, 0x07E0, 0x001F), 255, 4, 8), 0xF821);
  EXPECT_EQ(std::tuple(kvMaskShift(0), kvMaskShift(0x80000000u)), std::tuple(0u, 32u));
}

}  // namespace
