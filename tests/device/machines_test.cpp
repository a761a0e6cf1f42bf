// Machines built from test devices: the default choice, set-up failures and
// their fall-backs, and textures on devices with unusual formats and caps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kvKIT.h"
#include "kvSys/Memory.h"
#include "kvSys/kvScreen.h"
#include "platform/d3d/d3d_testing.h"
#include "platform/ddraw/ddraw_testing.h"
#include "platform/host/headless/headless.h"

namespace {

namespace d3dt = kv::d3d::testing;

const GUID kHardwareGuid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

d3dt::DeviceEntry hardwareDevice() {
  d3dt::DeviceEntry entry = d3dt::rgbDevice();
  entry.guid = kHardwareGuid;
  entry.name = "Test HAL";
  entry.description = "Test HAL";
  entry.hardware = true;
  entry.desc.dwFlags |= 0x400;  // keep a non-zero hardware description
  return entry;
}

class Machines : public ::testing::Test {
 protected:
  void SetUp() override {
    kv::headless::install();
    kv::ddraw::testing::reset();
    kvResetMemoryForTests();
    ASSERT_EQ(kvSetSystemMemory(4096), 1);
    std::memset(&kvFramework, 0, sizeof kvFramework);
    kvFramework.instance = reinterpret_cast<HINSTANCE>(1);
    std::snprintf(kvCaption, sizeof kvCaption, "kvKIT v1.0");
  }
  void TearDown() override {
    for (int group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
    kvFwDestroyObjects(&kvFramework);
    kvFreeDrivers();
    if (kvFramework.window != nullptr) DestroyWindow(kvFramework.window);
    std::memset(&kvFramework, 0, sizeof kvFramework);
    kvWindowLive = 0;
    kvWindowActive = 0;
    kvResetMemoryForTests();
    d3dt::resetDevices();
    kv::ddraw::testing::reset();
  }

  static DeviceInfo* selected() {
    DeviceInfo* device = nullptr;
    kvGetSelectedDriver(nullptr, &device);
    return device;
  }

  static DeviceInfo* named(const char* name) {
    for (DriverInfo* driver = kvGetDriverList(); driver != nullptr; driver = driver->next)
      for (DeviceInfo* device = driver->devices; device != nullptr; device = device->next)
        if (std::strcmp(device->name, name) == 0) return device;
    return nullptr;
  }

  static Surface* make(int32_t width, int32_t height, uint8_t format, const void* pixels,
                       const uint8_t (*palette)[3] = nullptr) {
    ImageDesc request = {};
    request.width = width;
    request.height = height;
    request.format = format;
    if (palette != nullptr) std::memcpy(request.palette, palette, sizeof request.palette);
    request.pixels = pixels;
    return kvCreateSurface(&request);
  }

  // Reads texel (x, y) of a 16-bit texture.
  static uint16_t texel(Surface* surface, uint32_t x, uint32_t y) {
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof desc;
    EXPECT_EQ(surface->ddSurface->Lock(nullptr, &desc, 0, nullptr), 0);
    const uint8_t* base = desc.lpSurface;
    const uint16_t value = reinterpret_cast<const uint16_t*>(base + y * desc.lPitch)[x];
    surface->ddSurface->Unlock(nullptr);
    return value;
  }

  static bool logged(const std::string& text) {
    return kv::headless::debugCapture().find(text) != std::string::npos;
  }
};

TEST_F(Machines, AWindowCapableHardwareDeviceIsChosenForAWindow) {
  d3dt::setDevices({d3dt::rgbDevice(), hardwareDevice(), d3dt::referenceDevice()});
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  // The hardware device became its driver's device when it was listed.
  EXPECT_EQ(selected(), named("Test HAL"));
  EXPECT_EQ(selected()->isHardware, 1);
  EXPECT_EQ(selected()->windowed, 1);
  EXPECT_STREQ(selected()->currentMode->text, "640 x 480 x 16");

  // Software only, full screen only, and explicit kinds.
  ASSERT_EQ(kvSelectDefaultDriver(KVSEL_SOFTWARE_ONLY), 0);
  EXPECT_EQ(selected(), named("RGB Emulation"));
  EXPECT_EQ(selected()->windowed, 1);
  ASSERT_EQ(kvSelectDefaultDriver(KVSEL_SOFTWARE_ONLY | KVSEL_FULLSCREEN_ONLY), 0);
  EXPECT_EQ(selected()->windowed, 0);
  ASSERT_EQ(kvSelectDefaultDriver(KVSEL_PRIMARY_HARDWARE), 0);
  EXPECT_EQ(selected(), named("Test HAL"));
  ASSERT_EQ(kvSelectDefaultDriver(KVSEL_REF_DEVICE), 0);
  EXPECT_EQ(selected(), named("Reference Rasterizer"));
  EXPECT_EQ(kvSelectDefaultDriver(KVSEL_SECONDARY_HARDWARE), KVERR_ENUM_NO_SUCH_DRIVER);
}

TEST_F(Machines, DevicesWithoutUsableModesAreNotListed) {
  d3dt::DeviceEntry noModes = d3dt::rgbDevice();
  noModes.guid = kHardwareGuid;
  noModes.name = "No Modes";
  noModes.desc.dwDeviceRenderBitDepth = DDBD_8;
  d3dt::DeviceEntry only32 = d3dt::referenceDevice();
  only32.desc.dwDeviceRenderBitDepth = DDBD_32;
  d3dt::setDevices({noModes, only32});
  kvEnumerateDrivers(nullptr);
  EXPECT_EQ(named("No Modes"), nullptr);
  DeviceInfo* device = named("Reference Rasterizer");
  ASSERT_NE(device, nullptr);
  // Without 640 x 480 x 16 the first listed mode is the device's.
  ASSERT_NE(device->modes, nullptr);
  EXPECT_EQ(device->currentMode, device->modes);
  for (ModeInfo* mode = device->modes; mode != nullptr; mode = mode->next)
    EXPECT_EQ(mode->desc.ddpfPixelFormat.dwRGBBitCount, 32u) << mode->text;
}

TEST_F(Machines, NoDeviceAtAllFailsTheEnumeration) {
  d3dt::setDevices({});
  EXPECT_EQ(kvEnumerateDrivers(nullptr), KVERR_ENUM_FAILED);
}

TEST_F(Machines, NothingUsableSaysWhetherTheReferenceRasterizerWasSeen) {
  d3dt::setDevices({d3dt::rgbDevice(), d3dt::referenceDevice()});
  EXPECT_EQ(kvEnumerateDrivers([](DDCAPS*, D3DDEVICEDESC*) -> HRESULT { return -1; }),
            KVERR_ENUM_SUGGEST_REFRAST);
  EXPECT_EQ(kvGetDriverList(), nullptr);
  kvFreeDrivers();

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
  d3dt::DeviceEntry broken = hardwareDevice();
  broken.zBufferFormats.clear();
  d3dt::setDevices({d3dt::rgbDevice(), broken});
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  ASSERT_EQ(selected(), named("Test HAL"));
  ASSERT_EQ(kvSetScreenMode(6), 1);
  EXPECT_EQ(selected(), named("RGB Emulation"));
  EXPECT_TRUE(logged("): d3d initialize error\n"));
  const auto& boxes = kv::headless::messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "No ZBuffer\n\nSwitching to software rasterizer.");
  EXPECT_EQ(boxes[0].type, MB_ICONWARNING);
  EXPECT_EQ(kvFramework.initialised, 1);
  EXPECT_NE(kvFramework.device, nullptr);
}

TEST_F(Machines, AFailingSoftwareDeviceEndsTheSetUpWithTheExitBox) {
  d3dt::DeviceEntry broken = d3dt::rgbDevice();
  broken.zBufferFormats.clear();
  d3dt::setDevices({broken});
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  EXPECT_EQ(kvSetScreenMode(6), 0);
  const auto& boxes = kv::headless::messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "No ZBuffer\n\nThis sample will now exit.");
  EXPECT_EQ(boxes[0].type, MB_ICONERROR);
  EXPECT_EQ(kvWindowLive, 0);
  // The failed framework holds nothing and presents nothing.
  EXPECT_EQ(kvFramework.device, nullptr);
  EXPECT_EQ(kvFramework.directDraw, nullptr);
  EXPECT_EQ(kvFwShowFrame(&kvFramework, 1), KVERR_FW_NOT_INITIALIZED);
  EXPECT_EQ(kv::ddraw::testing::liveDirectDrawObjects(), 0);
}

TEST_F(Machines, DepthBufferFollowsTheDeviceFormatsAndCaps) {
  d3dt::DeviceEntry deep = d3dt::rgbDevice();
  DDPIXELFORMAT z24 = deep.zBufferFormats.front();
  z24.dwZBufferBitDepth = 24;
  DDPIXELFORMAT z32 = z24;
  z32.dwZBufferBitDepth = 32;
  deep.zBufferFormats = {z24, z32};
  d3dt::setDevices({deep});
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  ASSERT_EQ(kvSetScreenMode(6), 1);
  EXPECT_EQ(kvFramework.zBufferFormat.dwZBufferBitDepth, 32u);
  ASSERT_NE(kvFramework.zBuffer, nullptr);

  // A device that needs none gets none even when one is asked for.
  kvFwDestroyObjects(&kvFramework);
  kvFreeDrivers();
  d3dt::DeviceEntry hsr = d3dt::rgbDevice();
  hsr.desc.dpcTriCaps.dwRasterCaps |= D3DPRASTERCAPS_ZBUFFERLESSHSR;
  d3dt::setDevices({hsr});
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  DriverInfo* driver = nullptr;
  DeviceInfo* device = nullptr;
  kvGetSelectedDriver(&driver, &device);
  ASSERT_EQ(kvFwInitialize(&kvFramework, kvFramework.window, &driver->guid, &device->guid,
                           &device->currentMode->desc, KVFW_BACKBUFFER | KVFW_ZBUFFER),
            0);
  EXPECT_EQ(kvFramework.zBuffer, nullptr);
}

TEST_F(Machines, SixteenBitImagesConvertToTheFirstAlphaFormat) {
  d3dt::setDevices({d3dt::rgbDevice()});
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  ASSERT_EQ(kvSetScreenMode(6), 1);
  std::vector<uint16_t> pixels(8 * 8, 0xFFFF);
  pixels[1] = 0xF800;
  Surface* surface = make(8, 8, SURFACE_FORMAT_16BPP, pixels.data());
  ASSERT_NE(surface, nullptr);
  ASSERT_NE(surface->texture, nullptr);
  EXPECT_EQ(surface->desc.ddpfPixelFormat.dwRBitMask, 0x7C00u);  // 1-5-5-5 comes first
  EXPECT_EQ(texel(surface, 0, 0), 0x7FFF);
  EXPECT_EQ(texel(surface, 1, 0), 0x7C00);
}

TEST_F(Machines, WithoutPalettizedTexturesAnEightBitImageBecomesSixteenBit) {
  d3dt::DeviceEntry entry = d3dt::rgbDevice();
  std::vector<DDPIXELFORMAT> formats;
  for (const DDPIXELFORMAT& format : entry.textureFormats)
    if (!(format.dwFlags & DDPF_PALETTEINDEXED8)) formats.push_back(format);
  entry.textureFormats = formats;
  d3dt::setDevices({entry});
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  ASSERT_EQ(kvSetScreenMode(6), 1);

  uint8_t palette[256][3] = {};
  palette[3][0] = 255;  // red
  palette[4][2] = 255;  // blue
  std::vector<uint8_t> pixels(16 * 16, 3);
  pixels[1] = 4;
  kv::headless::clearDebugCapture();
  Surface* surface = make(16, 16, SURFACE_FORMAT_8BPP, pixels.data(), palette);
  ASSERT_NE(surface, nullptr);
  EXPECT_TRUE(logged(
      "): kvRestoreSurface: cannot found Direct3D (palettized) pixelformat => create 16bpp\n"));
  ASSERT_NE(surface->texture, nullptr);
  EXPECT_EQ(surface->desc.ddpfPixelFormat.dwRGBBitCount, 16u);
  EXPECT_EQ(texel(surface, 0, 0), 0x7C00);
  EXPECT_EQ(texel(surface, 1, 0), 0x001F);
}

TEST_F(Machines, SquareOnlyDevicesGetSquareTextures) {
  d3dt::DeviceEntry entry = d3dt::rgbDevice();
  entry.desc.dpcTriCaps.dwTextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
  d3dt::setDevices({entry});
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  ASSERT_EQ(kvSetScreenMode(6), 1);
  std::vector<uint16_t> pixels(64 * 32, 0x001F);
  Surface* surface = make(64, 32, SURFACE_FORMAT_16BPP, pixels.data());
  ASSERT_NE(surface, nullptr);
  ASSERT_NE(surface->ddSurface, nullptr);
  DDSURFACEDESC2 desc = {};
  desc.dwSize = sizeof desc;
  surface->ddSurface->GetSurfaceDesc(&desc);
  EXPECT_EQ(desc.dwWidth, 64u);
  EXPECT_EQ(desc.dwHeight, 64u);
  EXPECT_EQ(texel(surface, 63, 31), 0x001F);
}

TEST_F(Machines, LostSurfacesComeBackAtTheNextPresent) {
  d3dt::setDevices({d3dt::rgbDevice()});
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  ASSERT_EQ(kvSetScreenMode(6), 1);
  std::vector<uint16_t> pixels(8 * 8, 0xFFFF);
  Surface* surface = make(8, 8, SURFACE_FORMAT_16BPP, pixels.data());
  ASSERT_NE(surface, nullptr);
  kv::ddraw::testing::loseAllSurfaces();
  EXPECT_EQ(kvFwShowFrame(&kvFramework, 1), DDERR_SURFACELOST);
  EXPECT_EQ(kvFwShowFrame(&kvFramework, 1), 0);
  EXPECT_EQ(texel(surface, 7, 7), 0x7FFF);
}

}  // namespace

namespace {

TEST_F(Machines, ARebuildThatFailsClosesTheWindowAndEndsThePump) {
  d3dt::DeviceEntry broken = d3dt::referenceDevice();
  broken.zBufferFormats.clear();
  d3dt::setDevices({d3dt::rgbDevice(), broken});
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  ASSERT_EQ(kvSetScreenMode(6), 1);
  kvPumpMessages();  // the window becomes the active one
  ASSERT_EQ(kvWindowActive, 1);

  kv::headless::queueDialogAnswer("device=Reference Rasterizer,ok");
  kv::headless::pressKey(VK_F3);
  kvFlip();
  kv::headless::releaseKey(VK_F3);
  const auto& boxes = kv::headless::messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "No ZBuffer\n\nThis sample will now exit.");
  EXPECT_FALSE(IsWindow(kvFramework.window));
  EXPECT_EQ(kvWindowActive, 0);
  kvFlip();  // the quit message arrives and the pump stops for good
  EXPECT_EQ(kvWindowLive, 0);
  kvFramework.window = nullptr;
}

TEST_F(Machines, ClosingTheWindowEndsThePump) {
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  ASSERT_EQ(kvSetScreenMode(6), 1);
  kvPumpMessages();
  PostMessageA(kvFramework.window, WM_CLOSE, 0, 0);
  kvPumpMessages();
  EXPECT_FALSE(IsWindow(kvFramework.window));
  kvPumpMessages();
  EXPECT_EQ(kvWindowLive, 0);
  kvFramework.window = nullptr;
}

}  // namespace
