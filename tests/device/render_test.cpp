// Render flags, texture selection and the colour key, read back from the
// device the framework set up.
#include <utility>
#include <vector>

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
       {{D3DRENDERSTATE_ALPHABLENDENABLE, 0}, {D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE}, {D3DRENDERSTATE_ZENABLE, 1},
        {D3DRENDERSTATE_TEXTUREPERSPECTIVE, 1}, {D3DRENDERSTATE_TEXTUREMIN, D3DFILTER_LINEAR},
        {D3DRENDERSTATE_TEXTUREMAG, D3DFILTER_LINEAR}}},
      {0, {{D3DRENDERSTATE_ZENABLE, 0}, {D3DRENDERSTATE_TEXTUREMAG, D3DFILTER_NEAREST}}}};
  for (const auto& step : steps) {
    kvSetRenderFlags(step.flags);
    EXPECT_EQ(kvGetRenderFlags(), step.flags);
    for (auto [which, value] : step.states) EXPECT_EQ(state(which), value) << "flags " << step.flags << ", state " << which;
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

  kvSetRenderFlags(0);
  EXPECT_EQ(boundTexture(), nullptr);
  kvSetRenderFlags(KV_RF_TEXTURE | KV_RF_ZBUFFER);
  EXPECT_EQ(boundTexture(), surface->texture);
  kvSetRenderFlags(KV_RF_ZBUFFER);
  EXPECT_EQ(boundTexture(), nullptr);

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

}  // namespace
