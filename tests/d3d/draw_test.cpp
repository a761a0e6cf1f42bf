// Drawing: scene bracket, clears, render states and texture stage 0 as the
// rasterizer receives them, culling, and what a lost target does.
#include "tests/d3d/fixture.h"

namespace kv::testing {
namespace {

using Drawing = DeviceTest;

TEST_F(Drawing, ClearsTargetAndDepthWithinTheViewport) {
  makeDevice();
  ASSERT_EQ(clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00010203, 0.25f), D3D_OK);
  EXPECT_EQ(pixel(target, 0, 0), 0x0000u);  // 1, 2, 3 are below 565's steps
  EXPECT_FLOAT_EQ(depthAt(63, 47), 0.25f);
  ASSERT_EQ(clear(D3DCLEAR_TARGET, 0x00FF00FF), D3D_OK);
  EXPECT_EQ(pixel(target, 63, 47), 0xF81Fu);
  EXPECT_FLOAT_EQ(depthAt(0, 0), 0.25f);  // the target alone
  ASSERT_EQ(clear(D3DCLEAR_ZBUFFER, 0, 0.0f), D3D_OK);
  EXPECT_EQ(pixel(target, 1, 1), 0xF81Fu);  // the depth alone
  EXPECT_FLOAT_EQ(depthAt(1, 1), 0.0f);

  // Rectangles are cut to the viewport, not refused.
  D3DRECT spill{60, 40, 200, 200};
  ASSERT_EQ(viewport->Clear2(1, &spill, D3DCLEAR_TARGET, 0x000000FF, 0, 0), D3D_OK);
  EXPECT_EQ(pixel(target, 63, 47), 0x001Fu);
  EXPECT_EQ(pixel(target, 59, 47), 0xF81Fu);
  EXPECT_EQ(viewport->Clear2(0, &spill, D3DCLEAR_TARGET, 0, 0, 0), DDERR_INVALIDPARAMS);

  // A viewport needs a device and its data before it clears.
  LPDIRECT3DVIEWPORT3 loose = nullptr;
  ASSERT_EQ(d3d->CreateViewport(&loose, nullptr), D3D_OK);
  EXPECT_EQ(loose->Clear2(1, &spill, D3DCLEAR_TARGET, 0, 0, 0), D3DERR_VIEWPORTHASNODEVICE);
  ASSERT_EQ(device->AddViewport(loose), D3D_OK);
  EXPECT_EQ(loose->Clear2(1, &spill, D3DCLEAR_TARGET, 0, 0, 0), D3DERR_VIEWPORTDATANOTSET);
  EXPECT_EQ(device->AddViewport(loose), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->DeleteViewport(loose), D3D_OK);
  EXPECT_EQ(loose->Release(), 0u);
}

TEST_F(Drawing, WithoutADepthBufferOnlyTheTargetClears) {
  makeDevice(IID_IDirect3DRefDevice, false, false);
  EXPECT_EQ(clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00FFFFFF), D3DERR_ZBUFFER_NOTPRESENT);
  EXPECT_EQ(pixel(target, 3, 3), 0xFFFFu);
  DWORD zEnable = 1;
  device->GetRenderState(D3DRENDERSTATE_ZENABLE, &zEnable);
  EXPECT_EQ(zEnable, static_cast<DWORD>(D3DZB_FALSE));
}

TEST_F(Drawing, DrawsOnlyInsideAScene) {
  makeDevice();
  clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0);
  setStates({{D3DRENDERSTATE_CULLMODE, D3DCULL_NONE}, {D3DRENDERSTATE_ZFUNC, D3DCMP_GREATEREQUAL}});
  std::vector<Vertex> fan = quad(0, 0, 64, 48, 0xFFFFFFFF);
  EXPECT_EQ(draw(fan), D3DERR_SCENE_NOT_IN_SCENE);
  EXPECT_EQ(device->EndScene(), D3DERR_SCENE_NOT_IN_SCENE);
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->BeginScene(), D3DERR_SCENE_IN_SCENE);
  EXPECT_EQ(pixel(target, 5, 5), 0u);
  // Wrong vertex formats and primitive types are refused, not misread.
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_TLVERTEX, fan.data(), 4, 0),
            D3DERR_INVALIDVERTEXTYPE);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_LINELIST, 0x144, fan.data(), 4, 0), D3DERR_INVALIDPRIMITIVETYPE);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLEFAN, 0x144, nullptr, 4, 0), DDERR_INVALIDPARAMS);
  ASSERT_EQ(draw(fan), D3D_OK);
  ASSERT_EQ(device->EndScene(), D3D_OK);
  EXPECT_EQ(pixel(target, 5, 5), 0xFFFFu);
  EXPECT_EQ(pixel(target, 63, 47), 0xFFFFu);
}

TEST_F(Drawing, CullsByWindingAndTestsDepthGreaterOrEqual) {
  makeDevice();
  clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 0.0f);
  device->SetRenderState(D3DRENDERSTATE_ZENABLE, 0);
  device->BeginScene();
  // The default culls counter-clockwise faces: the kit's front faces.
  draw(quad(0, 0, 32, 48, 0xFFFF0000));
  EXPECT_EQ(pixel(target, 10, 10), 0u);
  std::vector<Vertex> clockwise = quad(0, 0, 32, 48, 0xFFFF0000);
  std::swap(clockwise[1], clockwise[3]);
  draw(clockwise);
  EXPECT_EQ(pixel(target, 10, 10), 0xF800u);
  device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  draw(quad(32, 0, 64, 48, 0xFF00FF00));
  EXPECT_EQ(pixel(target, 40, 10), 0x07E0u);

  // The kit's base states: 1/z depth, larger is nearer.
  setStates({{D3DRENDERSTATE_ZFUNC, D3DCMP_GREATEREQUAL}, {D3DRENDERSTATE_ZENABLE, 1}});
  draw(quad(0, 0, 64, 48, 0xFFFF0000, 0.5f));
  draw(quad(0, 0, 64, 48, 0xFF0000FF, 0.25f));  // farther: hidden
  EXPECT_EQ(pixel(target, 20, 20), 0xF800u);
  EXPECT_FLOAT_EQ(depthAt(20, 20), 0.5f);
  device->SetRenderState(D3DRENDERSTATE_ZENABLE, 0);
  draw(quad(0, 0, 64, 48, 0xFF0000FF, 0.25f));  // no test: drawn
  EXPECT_EQ(pixel(target, 20, 20), 0x001Fu);
  device->EndScene();
}

TEST_F(Drawing, RecorderSeesTheKitsStatesAndVertices) {
  makeDevice(IID_IDirect3DRGBDevice);
  LPDIRECTDRAWSURFACE4 surface = nullptr;
  LPDIRECT3DTEXTURE2 tex = texture(d3d::testing::argb1555Format(), &surface);
  DDCOLORKEY black{0, 0};
  surface->SetColorKey(DDCKEY_SRCBLT, &black);

  // What kvSetRenderFlags(ALPHA | ZBUFFER | TEXTURE | COLORKEY | PERSPECTIVE |
  // FILTER) and the base states send.
  setStates({{D3DRENDERSTATE_ALPHABLENDENABLE, TRUE},
             {D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA},
             {D3DRENDERSTATE_ZENABLE, 1},
             {D3DRENDERSTATE_TEXTUREPERSPECTIVE, 1},
             {D3DRENDERSTATE_TEXTUREMIN, D3DFILTER_LINEAR},
             {D3DRENDERSTATE_TEXTUREMAG, D3DFILTER_LINEAR},
             {D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA},
             {D3DRENDERSTATE_ZFUNC, D3DCMP_GREATEREQUAL},
             {D3DRENDERSTATE_CULLMODE, D3DCULL_NONE},
             {D3DRENDERSTATE_DITHERENABLE, TRUE},
             {D3DRENDERSTATE_SPECULARENABLE, FALSE},
             {D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD},
             {D3DRENDERSTATE_COLORKEYENABLE, TRUE}});
  device->SetTexture(0, tex);

  d3d::testing::startRecording();
  device->BeginScene();
  const std::vector<Vertex> fan = quad(1, 2, 30, 40, 0x40FF8000, 0.125f);
  ASSERT_EQ(draw(fan), D3D_OK);
  device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, FALSE);
  device->SetTexture(0, nullptr);
  draw(fan);
  device->EndScene();
  d3d::testing::stopRecording();

  const auto& draws = d3d::testing::recordedDraws();
  ASSERT_EQ(draws.size(), 2u);
  const auto& first = draws[0];
  EXPECT_EQ(first.type, D3DPT_TRIANGLEFAN);
  EXPECT_EQ(first.vertexFormat, 0x144u);
  ASSERT_EQ(first.vertices.size(), 4u);
  EXPECT_EQ(first.vertices[2].sx, 30.0f);
  EXPECT_EQ(first.vertices[2].diffuse, 0x40FF8000u);
  EXPECT_EQ(first.vertices[2].rhw, 0.125f);
  EXPECT_EQ(first.renderStates[D3DRENDERSTATE_DESTBLEND], static_cast<DWORD>(D3DBLEND_INVSRCALPHA));
  EXPECT_EQ(first.texture, tex);
  EXPECT_TRUE(first.textured);
  const raster::State& s = first.state;
  EXPECT_TRUE(s.blendEnable);
  EXPECT_EQ(s.srcBlend, raster::BlendFactor::SrcAlpha);
  EXPECT_EQ(s.dstBlend, raster::BlendFactor::InvSrcAlpha);
  EXPECT_TRUE(s.depthEnable);
  EXPECT_EQ(s.depthCompare, raster::DepthCompare::GreaterEqual);
  EXPECT_TRUE(s.perspective);
  EXPECT_EQ(s.filter, raster::Filter::Bilinear);
  EXPECT_TRUE(s.colorKeyEnable);
  EXPECT_EQ(s.colorKey, 0u);
  EXPECT_TRUE(s.dither);
  EXPECT_EQ(s.colorOp, raster::ColorOp::Modulate);
  EXPECT_EQ(s.alphaOp, raster::AlphaOp::SelectDiffuse);  // the kit's textures carry no alpha

  const auto& second = draws[1];
  EXPECT_FALSE(second.textured);
  EXPECT_FALSE(second.state.blendEnable);
  EXPECT_FALSE(second.state.colorKeyEnable);
  EXPECT_EQ(second.state.colorOp, raster::ColorOp::SelectDiffuse);
  tex->Release();
  surface->Release();
}

TEST_F(Drawing, FilterStatesAreOneSettingInBothForms) {
  makeDevice();
  DWORD value = 0;
  device->SetRenderState(D3DRENDERSTATE_TEXTUREMAG, D3DFILTER_LINEAR);
  device->GetTextureStageState(0, D3DTSS_MAGFILTER, &value);
  EXPECT_EQ(value, static_cast<DWORD>(D3DTFG_LINEAR));
  device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
  device->GetRenderState(D3DRENDERSTATE_TEXTUREMIN, &value);
  EXPECT_EQ(value, static_cast<DWORD>(D3DFILTER_LINEAR));
  EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(0), 1), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(D3DRENDERSTATE_COUNT), 1),
            DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE), DDERR_INVALIDPARAMS);
  device->SetRenderState(D3DRENDERSTATE_FOGCOLOR, 0x00102030);
  device->GetRenderState(D3DRENDERSTATE_FOGCOLOR, &value);
  EXPECT_EQ(value, 0x00102030u);
}

TEST_F(Drawing, PalettizedTexturesSampleThroughTheirPalette) {
  makeDevice();
  LPDIRECTDRAWSURFACE4 surface = nullptr;
  LPDIRECT3DTEXTURE2 tex = texture(d3d::testing::palette8Format(), &surface);
  DDSURFACEDESC2 locked{};
  locked.dwSize = sizeof locked;
  ASSERT_EQ(surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DD_OK);
  for (int y = 0; y < 8; ++y) std::memset(static_cast<uint8_t*>(locked.lpSurface) + y * locked.lPitch, 7, 8);
  surface->Unlock(nullptr);
  setStates({{D3DRENDERSTATE_CULLMODE, D3DCULL_NONE}, {D3DRENDERSTATE_ZENABLE, 0}});
  device->SetTexture(0, tex);

  // Without a palette the texture cannot be sampled: drawn untextured.
  clear(D3DCLEAR_TARGET, 0);
  device->BeginScene();
  draw(quad(0, 0, 64, 48, 0xFFFFFFFF));
  EXPECT_EQ(pixel(target, 4, 4), 0xFFFFu);
  PALETTEENTRY entries[256] = {};
  entries[7] = {0, 255, 0, 0};
  LPDIRECTDRAWPALETTE palette = nullptr;
  dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr);
  surface->SetPalette(palette);
  palette->Release();
  draw(quad(0, 0, 64, 48, 0xFFFFFFFF));
  EXPECT_EQ(pixel(target, 4, 4), 0x07E0u);
  device->EndScene();
  tex->Release();
  surface->Release();
}

TEST_F(Drawing, ALostTargetSkipsTheFrameUntilRestored) {
  makeDevice();
  ddraw::testing::loseAllSurfaces();
  EXPECT_EQ(device->BeginScene(), DDERR_SURFACELOST);
  EXPECT_EQ(clear(D3DCLEAR_TARGET, 0), DDERR_SURFACELOST);
  target->Restore();
  z->Restore();
  EXPECT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->EndScene(), D3D_OK);
}

TEST_F(Drawing, SwitchesRenderTargets) {
  makeDevice(IID_IDirect3DRGBDevice, false, false);
  LPDIRECTDRAWSURFACE4 other = renderTarget(true), plain = offscreen(8, 8);
  ASSERT_EQ(device->SetRenderTarget(other, 0), D3D_OK);
  EXPECT_EQ(other->Release(), 1u);  // the device holds it now
  clear(D3DCLEAR_TARGET, 0x00FF0000);
  EXPECT_EQ(pixel(other, 2, 2), 0xFFFF0000u);
  EXPECT_EQ(pixel(target, 2, 2), 0u);
  EXPECT_EQ(device->SetRenderTarget(plain, 0), DDERR_INVALIDCAPS);
  plain->Release();
}

}  // namespace
}  // namespace kv::testing
