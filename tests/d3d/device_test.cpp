// Device enumeration, descriptions, formats and device creation, including
// devices that tests register with caps of their own.
#include <string>

#include "tests/d3d/fixture.h"

namespace kv::testing {
namespace {

using Devices = DeviceTest;

struct Listed {
  GUID guid;
  std::string name;
  D3DDEVICEDESC hardware, software;
};

HRESULT collectDevice(GUID* guid, LPSTR, LPSTR name, LPD3DDEVICEDESC hw, LPD3DDEVICEDESC sw, LPVOID context) {
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
  EXPECT_EQ(listed[0].name, "RGB Emulation");
  EXPECT_TRUE(listed[0].guid == IID_IDirect3DRGBDevice);
  EXPECT_EQ(listed[1].name, "Reference Rasterizer");
  EXPECT_TRUE(listed[1].guid == IID_IDirect3DRefDevice);
  for (const Listed& d : listed) {
    EXPECT_EQ(d.hardware.dwFlags, 0u) << d.name;  // software devices
    EXPECT_EQ(d.hardware.dwSize, sizeof(D3DDEVICEDESC));
    EXPECT_EQ(d.software.dcmColorModel, D3DCOLOR_RGB);
    EXPECT_TRUE(d.software.dwFlags & D3DDD_MAXVERTEXCOUNT);  // the framework's colour-key probe
    EXPECT_EQ(d.software.dwDeviceRenderBitDepth, DDBD_16 | DDBD_32);
    EXPECT_TRUE(d.software.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_POW2);
    EXPECT_FALSE(d.software.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_SQUAREONLY);
    EXPECT_FALSE(d.software.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_ZBUFFERLESSHSR);
    EXPECT_TRUE(d.software.dpcTriCaps.dwZCmpCaps & D3DPCMPCAPS_GREATEREQUAL);
  }

  D3DFINDDEVICESEARCH search{};
  search.dwSize = sizeof search;
  search.dwFlags = D3DFDS_GUID;
  search.guid = IID_IDirect3DRefDevice;
  D3DFINDDEVICERESULT result{};
  result.dwSize = sizeof result;
  ASSERT_EQ(d3d->FindDevice(&search, &result), D3D_OK);
  EXPECT_EQ(result.ddHwDesc.dwFlags, 0u);
  EXPECT_EQ(std::memcmp(&result.ddSwDesc, &listed[1].software, sizeof(D3DDEVICEDESC)), 0);
  search.guid = IID_IDirect3DNullDevice;
  EXPECT_EQ(d3d->FindDevice(&search, &result), DDERR_NOTFOUND);
  result.dwSize = 100;
  EXPECT_EQ(d3d->FindDevice(&search, &result), DDERR_INVALIDPARAMS);
}

TEST_F(Devices, OffersTextureFormatsInOrderAndOnlyA32BitDepth) {
  makeDevice(IID_IDirect3DRGBDevice);
  std::vector<DDPIXELFORMAT> formats, depths;
  ASSERT_EQ(device->EnumTextureFormats(collectFormat, &formats), D3D_OK);
  ASSERT_EQ(formats.size(), 4u);
  EXPECT_TRUE(formats[0].dwFlags & DDPF_PALETTEINDEXED8);
  EXPECT_EQ(formats[1].dwRGBAlphaBitMask, 0x8000u);
  EXPECT_EQ(formats[1].dwRBitMask, 0x7C00u);
  EXPECT_EQ(formats[2].dwRGBAlphaBitMask, 0xF000u);
  EXPECT_EQ(formats[3].dwRBitMask, 0xF800u);
  EXPECT_FALSE(formats[3].dwFlags & DDPF_ALPHAPIXELS);

  ASSERT_EQ(d3d->EnumZBufferFormats(IID_IDirect3DRGBDevice, collectFormat, &depths), D3D_OK);
  ASSERT_EQ(depths.size(), 1u);
  EXPECT_EQ(depths[0].dwFlags, DDPF_ZBUFFER);
  EXPECT_EQ(depths[0].dwZBufferBitDepth, 32u);
  EXPECT_EQ(d3d->EnumZBufferFormats(IID_IDirect3DNullDevice, collectFormat, &depths),
            D3DERR_INVALID_DEVICE);

  // The description the device reports is the one it was listed with.
  D3DDEVICEDESC hw{}, sw{};
  hw.dwSize = sw.dwSize = sizeof(D3DDEVICEDESC);
  ASSERT_EQ(device->GetCaps(&hw, &sw), D3D_OK);
  EXPECT_EQ(hw.dwFlags, 0u);
  EXPECT_EQ(sw.dcmColorModel, D3DCOLOR_RGB);
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
  plain->Release();
  LPDIRECTDRAWSURFACE4 indexed =
      create(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE, 16, 16, d3d::testing::palette8Format());
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, indexed, &refused, nullptr), DDERR_INVALIDPIXELFORMAT);
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DNullDevice, indexed, &refused, nullptr), D3DERR_INVALID_DEVICE);
  EXPECT_EQ(refused, nullptr);
  indexed->Release();
}

TEST_F(Devices, ReferenceCountsLetTheFrameworkTearDown) {
  makeDevice();
  // kvGetDirectDraw's walk: render target, its maker, both released at once.
  LPDIRECTDRAWSURFACE4 current = nullptr;
  ASSERT_EQ(device->GetRenderTarget(&current), D3D_OK);
  EXPECT_EQ(current, target);
  void* maker = nullptr;
  ASSERT_EQ(current->GetDDInterface(&maker), DD_OK);
  EXPECT_EQ(maker, static_cast<void*>(dd));
  current->Release();
  static_cast<LPDIRECTDRAW4>(maker)->Release();

  // A texture bound to stage 0 lives until the device lets it go.
  LPDIRECTDRAWSURFACE4 surface = nullptr;
  LPDIRECT3DTEXTURE2 tex = texture(d3d::testing::rgb565Format(), &surface);
  ASSERT_EQ(device->SetTexture(0, tex), D3D_OK);
  EXPECT_EQ(device->SetTexture(1, tex), DDERR_INVALIDPARAMS);
  EXPECT_EQ(surface->Release(), 2u);
  EXPECT_EQ(tex->Release(), 1u);
  EXPECT_EQ(ddraw::testing::liveSurfaces(), 3);  // target, z, texture
  // The viewport goes first, then the device with the last of its references.
  viewport->Release();
  viewport = nullptr;
  EXPECT_EQ(device->Release(), 0u);
  device = nullptr;
  EXPECT_EQ(ddraw::testing::liveSurfaces(), 2);
}

TEST_F(Devices, RegisteredTestDevicesAreListedAsGiven) {
  d3d::testing::DeviceEntry hal = d3d::testing::referenceDevice();
  hal.guid = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  hal.name = "Test HAL";
  hal.hardware = true;
  hal.desc.dpcTriCaps.dwTextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
  hal.textureFormats = {d3d::testing::argb4444Format(), d3d::testing::rgb565Format()};
  hal.zBufferFormats = {d3d::testing::depthFormat(16), d3d::testing::depthFormat(32)};
  d3d::testing::setDevices({d3d::testing::rgbDevice(), hal});

  std::vector<Listed> listed;
  d3d->EnumDevices(collectDevice, &listed);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[1].name, "Test HAL");
  EXPECT_NE(listed[1].hardware.dwFlags, 0u);
  EXPECT_EQ(listed[1].software.dwFlags, 0u);
  EXPECT_TRUE(listed[1].hardware.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_SQUAREONLY);

  std::vector<DDPIXELFORMAT> depths, formats;
  d3d->EnumZBufferFormats(hal.guid, collectFormat, &depths);
  ASSERT_EQ(depths.size(), 2u);
  EXPECT_EQ(depths[0].dwZBufferBitDepth, 16u);
  makeDevice(hal.guid);
  device->EnumTextureFormats(collectFormat, &formats);
  ASSERT_EQ(formats.size(), 2u);
  EXPECT_EQ(formats[0].dwRGBAlphaBitMask, 0xF000u);
  D3DDEVICEDESC hw{}, sw{};
  hw.dwSize = sw.dwSize = sizeof(D3DDEVICEDESC);
  device->GetCaps(&hw, &sw);
  EXPECT_NE(hw.dwFlags, 0u);
  EXPECT_EQ(sw.dwFlags, 0u);
}

}  // namespace
}  // namespace kv::testing
