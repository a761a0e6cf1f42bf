// The Direct3D stand-in: device enumeration, descriptions, formats and device
// creation; drawing: scene bracket, clears, render states and texture stage 0
// as the rasterizer receives them, culling, and what a lost target does.
// Devices registered with caps of their own are exercised by tests/device.
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "tests/ddraw/fixture.h"

namespace kv::testing {
namespace {

using d3d::testing::Vertex;

// A device on a 64 x 48 render target with a z-buffer and a viewport.
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
    return create(
        describe(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE, 64, 48, deep ? &format : nullptr));
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
    EXPECT_EQ(device != nullptr ? device->Release() : 0u, 0u);
    for (auto s : {target, z})
      if (s != nullptr) s->Release();
    viewport = nullptr, device = nullptr, target = z = nullptr;
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
    EXPECT_EQ((*surface)->QueryInterface(IID_IDirect3DTexture2, reinterpret_cast<void**>(&face)),
              DD_OK);
    return face;
  }

  float depthAt(int x, int y) {
    DDSURFACEDESC2 desc;
    const uint8_t* base = lock(z, desc);
    float value = -1;
    if (base != nullptr) std::memcpy(&value, base + y * desc.lPitch + x * 4, 4), z->Unlock(nullptr);
    return value;
  }

  LPDIRECT3D3 d3d = nullptr;
  LPDIRECTDRAWSURFACE4 target = nullptr, z = nullptr;
  LPDIRECT3DDEVICE3 device = nullptr;
  LPDIRECT3DVIEWPORT3 viewport = nullptr;
};

using Devices = DeviceTest;

struct Listed {
  GUID guid;
  std::string name;
  D3DDEVICEDESC hardware, software;
};

HRESULT collectDevice(GUID* guid, LPSTR, LPSTR name, LPD3DDEVICEDESC hw, LPD3DDEVICEDESC sw,
                      LPVOID context) {
  static_cast<std::vector<Listed>*>(context)->push_back({*guid, name, *hw, *sw});
  return DDENUMRET_OK;
}

HRESULT collectFormat(LPDDPIXELFORMAT format, LPVOID context) {
  static_cast<std::vector<DDPIXELFORMAT>*>(context)->push_back(*format);
  return DDENUMRET_OK;
}

TEST_F(Devices, ListsRgbEmulationAndTheReferenceRasterizerAsSoftware) {
  std::vector<Listed> listed;
  ASSERT_EQ(d3d->EnumDevices(collectDevice, &listed), D3D_OK);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(std::tuple(listed[0].name, listed[0].guid == IID_IDirect3DRGBDevice),
            std::tuple("RGB Emulation", true));
  EXPECT_EQ(std::tuple(listed[1].name, listed[1].guid == IID_IDirect3DRefDevice),
            std::tuple("Reference Rasterizer", true));
  for (const Listed& d : listed) {
    const D3DDEVICEDESC& sw = d.software;
    EXPECT_EQ(std::tuple(d.hardware.dwFlags, d.hardware.dwSize, sw.dcmColorModel,
                         sw.dwDeviceRenderBitDepth),
              std::tuple(0u, sizeof(D3DDEVICEDESC), D3DCOLOR_RGB, DDBD_16 | DDBD_32))
        << d.name;
    // MAXVERTEXCOUNT is the framework's colour-key probe.
    EXPECT_EQ(std::tuple(bool(sw.dwFlags & D3DDD_MAXVERTEXCOUNT),
                         bool(sw.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_POW2),
                         bool(sw.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_SQUAREONLY),
                         bool(sw.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_ZBUFFERLESSHSR),
                         bool(sw.dpcTriCaps.dwZCmpCaps & D3DPCMPCAPS_GREATEREQUAL)),
              std::tuple(true, true, false, false, true))
        << d.name;
  }

  D3DFINDDEVICESEARCH search{.dwSize = sizeof search, .dwFlags = D3DFDS_GUID};
  search.guid = IID_IDirect3DRefDevice;
  D3DFINDDEVICERESULT result{.dwSize = sizeof result};
  ASSERT_EQ(d3d->FindDevice(&search, &result), D3D_OK);
  EXPECT_EQ(result.ddHwDesc.dwFlags, 0u);
  EXPECT_EQ(std::memcmp(&result.ddSwDesc, &listed[1].software, sizeof(D3DDEVICEDESC)), 0);
  search.guid = IID_IDirect3DNullDevice;
  EXPECT_EQ(d3d->FindDevice(&search, &result), DDERR_NOTFOUND);
  result.dwSize = 100;
  EXPECT_EQ(d3d->FindDevice(&search, &result), DDERR_INVALIDPARAMS);
}

TEST_F(Devices, ProductsThatCannotRunAreNotListedAndTestListsStillStandIn) {
  const auto names = [&] {
    std::vector<Listed> listed;
    EXPECT_EQ(d3d->EnumDevices(collectDevice, &listed), D3D_OK);
    std::vector<std::string> out;
    for (const Listed& d : listed) out.push_back(d.name);
    return out;
  };
  int asked = 0;
  d3d::DeviceEntry hal = d3d::testing::rgbDevice();
  hal.name = "Test HAL";
  hal.guid = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
  hal.hardware = true;
  const auto unavailable = [&]() -> std::optional<d3d::DeviceEntry> {
    return ++asked, std::nullopt;
  };
  const auto offerHal = [&] { return std::optional(hal); };
  d3d::registerProduct("unavailable", unavailable, d3d::Placement::BeforeOthers);
  d3d::registerProduct("hal", offerHal, d3d::Placement::BeforeOthers);
  EXPECT_EQ(names(),
            (std::vector<std::string>{"Test HAL", "RGB Emulation", "Reference Rasterizer"}));
  names();
  EXPECT_EQ(asked, 1) << "products are asked once, not at every enumeration";

  // A device whose back end will not start is refused at creation, not listed away.
  hal.makeBackend = [] { return std::unique_ptr<d3d::Backend>(); };
  d3d::registerProduct("hal", offerHal, d3d::Placement::BeforeOthers);
  target = renderTarget();
  EXPECT_EQ(d3d->CreateDevice(hal.guid, target, &device, nullptr), D3DERR_INITFAILED);

  d3d::testing::setDevices({d3d::testing::referenceDevice()});
  EXPECT_EQ(names(), (std::vector<std::string>{"Reference Rasterizer"}));
  d3d::unregisterProduct("hal");
  d3d::unregisterProduct("unavailable");
  d3d::testing::resetDevices();
  EXPECT_EQ(names(), (std::vector<std::string>{"RGB Emulation", "Reference Rasterizer"}));
}

TEST_F(Devices, OffersTextureFormatsInOrderAndOnlyA32BitDepth) {
  makeDevice(IID_IDirect3DRGBDevice);
  std::vector<DDPIXELFORMAT> formats, depths;
  ASSERT_EQ(device->EnumTextureFormats(collectFormat, &formats), D3D_OK);
  ASSERT_EQ(formats.size(), 4u);
  EXPECT_TRUE(formats[0].dwFlags & DDPF_PALETTEINDEXED8);
  EXPECT_EQ(
      std::tuple(formats[1].dwRGBAlphaBitMask, formats[1].dwRBitMask, formats[2].dwRGBAlphaBitMask,
                 formats[3].dwRBitMask, formats[3].dwFlags & DDPF_ALPHAPIXELS),
      std::tuple(0x8000u, 0x7C00u, 0xF000u, 0xF800u, 0u));

  ASSERT_EQ(d3d->EnumZBufferFormats(IID_IDirect3DRGBDevice, collectFormat, &depths), D3D_OK);
  ASSERT_EQ(depths.size(), 1u);
  EXPECT_EQ(std::tuple(depths[0].dwFlags, depths[0].dwZBufferBitDepth),
            std::tuple(DDPF_ZBUFFER, 32u));
  EXPECT_EQ(d3d->EnumZBufferFormats(IID_IDirect3DNullDevice, collectFormat, &depths),
            D3DERR_INVALID_DEVICE);

  // The description the device reports is the one it was listed with.
  D3DDEVICEDESC hw{sizeof hw}, sw{sizeof sw};
  ASSERT_EQ(device->GetCaps(&hw, &sw), D3D_OK);
  EXPECT_EQ(std::tuple(hw.dwFlags, sw.dcmColorModel), std::tuple(0u, D3DCOLOR_RGB));
  sw.dwSize = 0;
  EXPECT_EQ(device->GetCaps(&hw, &sw), DDERR_INVALIDPARAMS);
}

TEST_F(Devices, CreateOnTargetsOfBothDepthsOnly) {
  for (bool deep : {false, true}) {
    for (const GUID* guid : {&IID_IDirect3DRGBDevice, &IID_IDirect3DRefDevice}) {
      makeDevice(*guid, deep);
      EXPECT_EQ(clear(D3DCLEAR_TARGET, 0x00FF0000), D3D_OK);
      EXPECT_EQ(pixel(target, 10, 10), deep ? 0xFFFF0000u : 0xF800u);
      releaseDevice();
    }
  }
  LPDIRECTDRAWSURFACE4 plain = offscreen(16, 16);  // no DDSCAPS_3DDEVICE
  LPDIRECT3DDEVICE3 refused = nullptr;
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, plain, &refused, nullptr), DDERR_INVALIDCAPS);
  LPDIRECTDRAWSURFACE4 indexed =
      create(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE, 16, 16, d3d::testing::palette8Format());
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, indexed, &refused, nullptr),
            DDERR_INVALIDPIXELFORMAT);
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DNullDevice, indexed, &refused, nullptr),
            D3DERR_INVALID_DEVICE);
  // 16 bits with alpha is no display format: refused here, not at every draw.
  LPDIRECTDRAWSURFACE4 alpha =
      create(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE, 16, 16, d3d::testing::argb1555Format());
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, alpha, &refused, nullptr),
            DDERR_INVALIDPIXELFORMAT);
  EXPECT_EQ(refused, nullptr);
  for (auto s : {plain, indexed, alpha}) s->Release();
}

TEST_F(Devices, ReferenceCountsLetTheFrameworkTearDown) {
  makeDevice();
  // The render target handed out carries its own reference.
  LPDIRECTDRAWSURFACE4 current = nullptr;
  ASSERT_EQ(device->GetRenderTarget(&current), D3D_OK);
  EXPECT_EQ(current, target);
  EXPECT_EQ(current->Release(), 2u);  // the test's and the device's remain

  // A texture bound to stage 0 lives until the device lets it go.
  LPDIRECTDRAWSURFACE4 surface = nullptr;
  LPDIRECT3DTEXTURE2 tex = texture(d3d::testing::rgb565Format(), &surface);
  ASSERT_EQ(device->SetTexture(0, tex), D3D_OK);
  EXPECT_EQ(device->SetTexture(1, tex), DDERR_INVALIDPARAMS);
  EXPECT_EQ(surface->Release(), 2u);
  EXPECT_EQ(tex->Release(), 1u);
  EXPECT_EQ(ddraw::testing::liveSurfaces(), 3);  // target, z, texture
  viewport->Release();
  viewport = nullptr;
  EXPECT_EQ(device->Release(), 0u);
  device = nullptr;
  EXPECT_EQ(ddraw::testing::liveSurfaces(), 2);
}

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
  EXPECT_EQ(std::tuple(pixel(target, 63, 47), pixel(target, 59, 47)), std::tuple(0x001Fu, 0xF81Fu));
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

TEST_F(Drawing, WithoutADepthBufferOnlyTheTargetClearsAndTargetsSwitch) {
  makeDevice(IID_IDirect3DRGBDevice, false, false);
  EXPECT_EQ(clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00FFFFFF), D3DERR_ZBUFFER_NOTPRESENT);
  EXPECT_EQ(pixel(target, 3, 3), 0xFFFFu);
  DWORD zEnable = 1;
  device->GetRenderState(D3DRENDERSTATE_ZENABLE, &zEnable);
  EXPECT_EQ(zEnable, static_cast<DWORD>(D3DZB_FALSE));

  LPDIRECTDRAWSURFACE4 other = renderTarget(true), plain = offscreen(8, 8);
  ASSERT_EQ(device->SetRenderTarget(other, 0), D3D_OK);
  EXPECT_EQ(other->Release(), 1u);  // the device holds it now
  clear(D3DCLEAR_TARGET, 0x00FF0000);
  EXPECT_EQ(std::tuple(pixel(other, 2, 2), pixel(target, 2, 2)), std::tuple(0xFFFF0000u, 0xFFFFu));
  EXPECT_EQ(device->SetRenderTarget(plain, 0), DDERR_INVALIDCAPS);
  plain->Release();
}

TEST_F(Drawing, DrawsOnlyInsideASceneOnATargetThatIsNotLost) {
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
  EXPECT_EQ(device->DrawPrimitive(D3DPT_LINELIST, 0x144, fan.data(), 4, 0),
            D3DERR_INVALIDPRIMITIVETYPE);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLEFAN, 0x144, nullptr, 4, 0), DDERR_INVALIDPARAMS);
  ASSERT_EQ(draw(fan), D3D_OK);
  ASSERT_EQ(device->EndScene(), D3D_OK);
  EXPECT_EQ(std::tuple(pixel(target, 5, 5), pixel(target, 63, 47)), std::tuple(0xFFFFu, 0xFFFFu));

  // A lost target skips the frame until restored.
  ddraw::testing::loseAllSurfaces();
  EXPECT_EQ(device->BeginScene(), DDERR_SURFACELOST);
  EXPECT_EQ(clear(D3DCLEAR_TARGET, 0), DDERR_SURFACELOST);
  target->Restore();
  z->Restore();
  EXPECT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->EndScene(), D3D_OK);
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
  ASSERT_EQ(first.vertices.size(), 4u);
  const Vertex& v = first.vertices[2];
  EXPECT_EQ(std::tuple(first.type, first.vertexFormat, v.sx, v.diffuse, v.rhw),
            std::tuple(D3DPT_TRIANGLEFAN, 0x144u, 30.0f, 0x40FF8000u, 0.125f));
  EXPECT_EQ(first.renderStates[D3DRENDERSTATE_DESTBLEND], static_cast<DWORD>(D3DBLEND_INVSRCALPHA));
  EXPECT_EQ(std::tuple(first.texture, first.textured), std::tuple(tex, true));
  const raster::State& s = first.state;
  EXPECT_EQ(std::tuple(s.blendEnable, s.depthEnable, s.perspective, s.colorKeyEnable, s.colorKey,
                       s.dither),
            std::tuple(true, true, true, true, 0u, true));
  EXPECT_EQ(std::tuple(s.srcBlend, s.dstBlend, s.depthCompare, s.filter),
            std::tuple(raster::BlendFactor::SrcAlpha, raster::BlendFactor::InvSrcAlpha,
                       raster::DepthCompare::GreaterEqual, raster::Filter::Bilinear));
  // The kit's textures carry no alpha: it comes from the diffuse colour.
  EXPECT_EQ(std::tuple(s.colorOp, s.alphaOp),
            std::tuple(raster::ColorOp::Modulate, raster::AlphaOp::SelectDiffuse));

  const auto& second = draws[1];
  EXPECT_EQ(std::tuple(second.textured, second.state.blendEnable, second.state.colorKeyEnable,
                       second.state.colorOp),
            std::tuple(false, false, false, raster::ColorOp::SelectDiffuse));
  tex->Release();
  surface->Release();
}

TEST_F(Drawing, FilterStatesAreOneSettingInBothFormsAndBadStatesAreRefused) {
  makeDevice();
  DWORD magnify = 0, minify = 0;
  device->SetRenderState(D3DRENDERSTATE_TEXTUREMAG, D3DFILTER_LINEAR);
  device->GetTextureStageState(0, D3DTSS_MAGFILTER, &magnify);
  device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
  device->GetRenderState(D3DRENDERSTATE_TEXTUREMIN, &minify);
  EXPECT_EQ(std::tuple(magnify, minify), std::tuple(DWORD{D3DTFG_LINEAR}, DWORD{D3DFILTER_LINEAR}));
  EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(0), 1), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(D3DRENDERSTATE_COUNT), 1),
            DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE), DDERR_INVALIDPARAMS);
}

TEST_F(Drawing, PalettizedTexturesSampleThroughTheirPalette) {
  makeDevice();
  LPDIRECTDRAWSURFACE4 surface = nullptr;
  LPDIRECT3DTEXTURE2 tex = texture(d3d::testing::palette8Format(), &surface);
  DDSURFACEDESC2 locked;
  uint8_t* texels = lock(surface, locked);
  ASSERT_NE(texels, nullptr);
  for (int y = 0; y < 8; ++y) std::memset(texels + y * locked.lPitch, 7, 8);
  surface->Unlock(nullptr);
  setStates({{D3DRENDERSTATE_CULLMODE, D3DCULL_NONE}, {D3DRENDERSTATE_ZENABLE, 0}});
  device->SetTexture(0, tex);
  clear(D3DCLEAR_TARGET, 0);
  device->BeginScene();
  draw(quad(0, 0, 64, 48, 0xFFFFFFFF));
  EXPECT_EQ(pixel(target, 4, 4), 0xFFFFu);  // without a palette: drawn untextured
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

}  // namespace
}  // namespace kv::testing
