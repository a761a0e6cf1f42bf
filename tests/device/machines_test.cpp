// Machines built from test devices: the default choice, set-up failures and
// their fall-backs, and textures on devices with unusual formats and caps.
#include <tuple>
#include <vector>

#include "tests/device/kit_fixture.h"

namespace {

namespace d3dt = kv::d3d::testing;
using Machines = Kit;

d3dt::DeviceEntry hardwareDevice() {
  d3dt::DeviceEntry entry = d3dt::rgbDevice();
  entry.guid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  entry.name = entry.description = "Test HAL";
  entry.hardware = true;
  return entry;
}

d3dt::DeviceEntry withoutDepthFormats(d3dt::DeviceEntry entry) {
  entry.zBufferFormats.clear();
  return entry;
}

TEST_F(Machines, DefaultChoicePrefersWindowedHardwareAndFlagsPickKinds) {
  d3dt::setDevices({d3dt::rgbDevice(), hardwareDevice(), d3dt::referenceDevice()});
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  EXPECT_EQ(selected(), named("Test HAL"));
  EXPECT_EQ(selected()->windowed, 1);
  EXPECT_STREQ(selected()->currentMode->text, "640 x 480 x 16");

  const std::pair<DWORD, const char*> passes[] = {
      {KVSEL_SOFTWARE_ONLY | KVSEL_FULLSCREEN_ONLY, "RGB Emulation"},
      {KVSEL_PRIMARY_HARDWARE, "Test HAL"},
      {KVSEL_REF_DEVICE, "Reference Rasterizer"}};
  for (auto [flags, name] : passes) {
    ASSERT_EQ(kvSelectDefaultDriver(flags), 0) << name;
    EXPECT_EQ(selected(), named(name));
    EXPECT_EQ(selected()->windowed, (flags & KVSEL_FULLSCREEN_ONLY) ? 0 : 1) << name;
  }
  EXPECT_EQ(kvSelectDefaultDriver(KVSEL_SECONDARY_HARDWARE), KVERR_ENUM_NO_SUCH_DRIVER);
}

TEST_F(Machines, ModesOutsideTheRenderDepthsAreNotListedAndNothingUsableSaysWhatWasSeen) {
  d3dt::DeviceEntry noModes = hardwareDevice(), only32 = d3dt::referenceDevice();
  noModes.desc.dwDeviceRenderBitDepth = DDBD_8;
  only32.desc.dwDeviceRenderBitDepth = DDBD_32;
  d3dt::setDevices({noModes, only32});
  kvEnumerateDrivers(nullptr);
  EXPECT_EQ(named("Test HAL"), nullptr);
  DeviceInfo* device = named("Reference Rasterizer");
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->currentMode, device->modes);  // no 640 x 480 x 16: the first
  for (ModeInfo* mode = device->modes; mode != nullptr; mode = mode->next)
    EXPECT_EQ(mode->desc.ddpfPixelFormat.dwRGBBitCount, 32u) << mode->text;

  kvFreeDrivers();  // enumeration keeps a list it already has
  d3dt::setDevices({});
  EXPECT_EQ(kvEnumerateDrivers(nullptr), KVERR_ENUM_FAILED);
  d3dt::setDevices({d3dt::rgbDevice()});
  EXPECT_EQ(kvEnumerateDrivers([](DDCAPS*, D3DDEVICEDESC*) -> HRESULT { return -1; }),
            KVERR_ENUM_SUGGEST_REFRAST);
  EXPECT_EQ(kvGetDriverList(), nullptr);
  // The reference device is seen but has no mode; the confirm drops the other.
  d3dt::DeviceEntry reference = d3dt::referenceDevice();
  reference.desc.dwDeviceRenderBitDepth = DDBD_8;
  d3dt::setDevices({d3dt::rgbDevice(), reference});
  EXPECT_EQ(kvEnumerateDrivers([](DDCAPS*, D3DDEVICEDESC* desc) -> HRESULT {
              return desc->dwDeviceRenderBitDepth == DDBD_8 ? 0 : -1;
            }),
            KVERR_ENUM_NO_COMPATIBLE);
}

TEST_F(Machines, AFailingHardwareDeviceFallsBackToSoftwareWithAWarning) {
  d3dt::setDevices({d3dt::rgbDevice(), withoutDepthFormats(hardwareDevice())});
  start();
  EXPECT_EQ(selected(), named("RGB Emulation"));
  EXPECT_TRUE(logged("): d3d initialize error\n"));
  EXPECT_EQ(onlyBox(), "No ZBuffer\n\nSwitching to software rasterizer.");
  EXPECT_NE(kvFramework.device, nullptr);
}

TEST_F(Machines, AFailingSoftwareDeviceEndsTheSetUpWithTheExitBox) {
  d3dt::setDevices({withoutDepthFormats(d3dt::rgbDevice())});
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  EXPECT_EQ(kvSetScreenMode(6), 0);
  EXPECT_EQ(onlyBox(), "No ZBuffer\n\nThis sample will now exit.");
  EXPECT_EQ(kvWindow.live, 0);
  EXPECT_EQ(kvFramework.directDraw, nullptr);
  EXPECT_EQ(kvFwShowFrame(&kvFramework, 1), KVERR_FW_NOT_INITIALIZED);
}

TEST_F(Machines, DepthBufferFollowsTheDeviceFormatsAndCaps) {
  d3dt::DeviceEntry deep = d3dt::rgbDevice();
  deep.zBufferFormats = {d3dt::depthFormat(24), d3dt::depthFormat(32)};
  d3dt::setDevices({deep});
  start();
  EXPECT_EQ(kvFramework.zBufferFormat.dwZBufferBitDepth, 32u);  // no 16-bit one: the last
  EXPECT_NE(kvFramework.zBuffer, nullptr);

  kvFwDestroyObjects(&kvFramework);
  kvFreeDrivers();
  d3dt::DeviceEntry hsr = d3dt::rgbDevice();
  hsr.desc.dpcTriCaps.dwRasterCaps |= D3DPRASTERCAPS_ZBUFFERLESSHSR;
  d3dt::setDevices({hsr});
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  EXPECT_EQ(kvInitDevice(kvFramework.window), 0);
  EXPECT_EQ(kvFramework.zBuffer, nullptr);  // needs none, asked or not
}

TEST_F(Machines, SixteenBitImagesTakeTheFirstAlphaFormatAndComeBackAfterALoss) {
  start();
  std::vector<uint16_t> pixels(8 * 8, 0xFFFF);
  pixels[1] = 0xF800;
  Surface* surface = make(8, 8, SURFACE_FORMAT_16BPP, pixels.data());
  ASSERT_NE(surface->texture, nullptr);
  EXPECT_EQ(surface->desc.ddpfPixelFormat.dwRBitMask, 0x7C00u);  // 1-5-5-5 is listed first
  EXPECT_EQ(std::tuple(texel(surface, 0, 0), texel(surface, 1, 0)), std::tuple(0x7FFF, 0x7C00));

  kv::ddraw::testing::loseAllSurfaces();
  EXPECT_EQ(kvFwShowFrame(&kvFramework, 1), DDERR_SURFACELOST);
  EXPECT_EQ(kvFwShowFrame(&kvFramework, 1), 0);
  EXPECT_EQ(texel(surface, 7, 7), 0x7FFF);
}

TEST_F(Machines, WithoutPalettizedTexturesEightBitImagesBecomeSixteenBit) {
  d3dt::DeviceEntry entry = d3dt::rgbDevice();
  entry.textureFormats = {d3dt::argb1555Format(), d3dt::rgb565Format()};
  d3dt::setDevices({entry});
  start();
  uint8_t palette[256][3] = {};
  for (int i = 0; i < 5; ++i) palette[i][1] = 1;  // black first at index 5
  palette[3][0] = 255;
  std::vector<uint8_t> pixels(16 * 16, 3);
  pixels[1] = 5;
  Surface* surface = make(16, 16, SURFACE_FORMAT_8BPP, pixels.data(), palette);
  EXPECT_TRUE(logged(
      "): kvRestoreSurface: cannot found Direct3D (palettized) pixelformat => create 16bpp\n"));
  ASSERT_NE(surface->texture, nullptr);
  EXPECT_EQ(std::tuple(texel(surface, 0, 0), texel(surface, 1, 0)), std::tuple(0x7C00, 0x0000));

  // On a 16-bit texture the black key is the packed colour, 0.
  kvSetRenderFlags(KV_RF_TEXTURE | KV_RF_COLORKEY);
  kvSetTexture(surface);
  DDCOLORKEY key = {9, 9};
  EXPECT_EQ(surface->ddSurface->GetColorKey(DDCKEY_SRCBLT, &key), 0);
  EXPECT_EQ(key.dwColorSpaceLowValue, 0u);
}

TEST_F(Machines, SquareOnlyDevicesGetSquareTextures) {
  d3dt::DeviceEntry entry = d3dt::rgbDevice();
  entry.desc.dpcTriCaps.dwTextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
  d3dt::setDevices({entry});
  start();
  std::vector<uint16_t> pixels(64 * 32, 0x001F);
  Surface* surface = make(64, 32, SURFACE_FORMAT_16BPP, pixels.data());
  DDSURFACEDESC2 desc{.dwSize = sizeof desc};
  surface->ddSurface->GetSurfaceDesc(&desc);
  EXPECT_EQ(std::tuple(desc.dwWidth, desc.dwHeight, texel(surface, 63, 31)),
            std::tuple(64u, 64u, 0x001F));
}

TEST_F(Machines, AFailedRebuildOrAClosedWindowEndsThePump) {
  d3dt::setDevices({d3dt::rgbDevice(), withoutDepthFormats(d3dt::referenceDevice())});
  start();
  pressF3("device=Reference Rasterizer,ok");
  EXPECT_EQ(onlyBox(), "No ZBuffer\n\nThis sample will now exit.");
  EXPECT_FALSE(IsWindow(kvFramework.window));
  kvFlip();  // the quit message arrives; the pump stops for good
  EXPECT_EQ(kvWindow.live, 0);

  kvFwDestroyObjects(&kvFramework);
  kvSelectDefaultDriver(KVSEL_RGB_DEVICE);
  ASSERT_EQ(kvSetScreenMode(6), 1);
  kvPumpMessages();
  PostMessageA(kvFramework.window, WM_CLOSE, 0, 0);
  kvPumpMessages();
  EXPECT_FALSE(IsWindow(kvFramework.window));
  EXPECT_EQ(kvWindow.live, 0);
}

}  // namespace
