// A fresh kit for each test on the headless machine: host, stand-in defaults,
// pool and an empty framework, in a folder of its own (kvKIT.vid lands there).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kvKIT.h"
#include "kvSys/kvScreen.h"
#include "platform/d3d/d3d_testing.h"
#include "platform/ddraw/ddraw_testing.h"
#include "platform/host/headless/headless.h"
#include "tests/kit_reset.h"

class Kit : public ::testing::Test {
 protected:
  void SetUp() override {
    kvtest::resetKitAndPlatform();
    previous_ = std::filesystem::current_path();
    folder_ = std::filesystem::path(::testing::TempDir()) /
              ("kv_device_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    std::filesystem::current_path(folder_);
    ASSERT_EQ(kvSetSystemMemory(4096), 1);
    kvFramework.instance = reinterpret_cast<HINSTANCE>(1);
    std::snprintf(kvCaption, sizeof kvCaption, "kvKIT v1.0");
  }

  void TearDown() override {
    kvtest::resetKitAndPlatform();
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(folder_);
  }

  // Enumerates, sets screen mode 6 and lets the window become the active one.
  static void start() {
    ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
    ASSERT_EQ(kvSetScreenMode(6), 1);
    kvPumpMessages();
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
                       const uint8_t (*palette)[3] = nullptr, int32_t group = 0) {
    ImageDesc request{.group = group,
                      .width = width,
                      .height = height,
                      .format = format,
                      .palette = {},
                      .pixels = pixels};
    if (palette != nullptr) std::memcpy(request.palette, palette, sizeof request.palette);
    return kvCreateSurface(&request);
  }

  // Texel (x, y) of a 16-bit texture.
  static uint16_t texel(Surface* surface, uint32_t x, uint32_t y) {
    DDSURFACEDESC2 desc{.dwSize = sizeof desc};
    if (surface->ddSurface == nullptr ||
        FAILED(surface->ddSurface->Lock(nullptr, &desc, 0, nullptr)))
      return 0xDEAD;
    const uint16_t value = reinterpret_cast<const uint16_t*>(
        static_cast<const uint8_t*>(desc.lpSurface) + y * desc.lPitch)[x];
    surface->ddSurface->Unlock(nullptr);
    return value;
  }

  // Holds F3 over one presented frame with the driver dialog answered so.
  static void pressF3(const std::string& answer) {
    kv::headless::queueDialogAnswer(answer);
    kv::headless::pressKey(VK_F3);
    kvFlip();
    kv::headless::releaseKey(VK_F3);
  }

  // Whether the texture was made by the framework's current DirectDraw object.
  static bool onCurrentDevice(const Surface* surface) {
    IDirectDraw4* owner = nullptr;
    if (surface->texture == nullptr ||
        FAILED(surface->ddSurface->GetDDInterface(reinterpret_cast<void**>(&owner))))
      return false;
    owner->Release();
    return owner == kvFramework.directDraw;
  }

  // The centre pixel of the last presented frame, 0x00RRGGBB.
  static uint32_t shownCentre() {
    const kv::headless::Frame& frame = kv::headless::lastFrame();
    if (frame.width == 0) return 0xDEADBEEF;
    return frame.rgb[size_t(frame.height / 2) * frame.width + frame.width / 2];
  }

  // F3 switches going round `devices` (in `mode` when one is named): each
  // rebuilds the framework and re-creates every texture on the new device
  // with its texels, leaves the bound texture bound and the counts of
  // surfaces and DirectDraw objects where they were, and shows the next frame.
  static void switchRound(const std::vector<const char*>& devices, int switches,
                          const std::string& mode = "") {
    std::vector<uint8_t> pixels(64 * 64 * 2, 0x33);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 7);
    Surface* surfaces[] = {make(64, 64, SURFACE_FORMAT_8BPP, pixels.data()),
                           make(32, 32, SURFACE_FORMAT_16BPP, pixels.data(), nullptr, 7)};
    kvSetRenderFlags(KV_RF_TEXTURE);
    kvSetTexture(surfaces[1]);
    const int liveSurfaces = kv::ddraw::testing::liveSurfaces();
    const int directDraws = kv::ddraw::testing::liveDirectDrawObjects();
    const uint16_t uploaded = texel(surfaces[1], 3, 3);
    for (int i = 0; i < switches; ++i) {
      const char* name = devices[i % devices.size()];
      pressF3(std::string("device=") + name + (mode.empty() ? "" : ",mode=" + mode) + ",ok");
      ASSERT_EQ(kvFramework.initialised, 1) << "switch " << i << " to " << name;
      EXPECT_EQ(selected(), named(name)) << "switch " << i;
      if (!mode.empty()) {
        EXPECT_EQ(kvFramework.fullscreen, mode == "Windowed mode" ? 0 : 1) << "switch " << i;
      }
      for (Surface* surface : surfaces) EXPECT_TRUE(onCurrentDevice(surface)) << "switch " << i;
      IDirect3DTexture2* bound = nullptr;
      kvFramework.device->GetTexture(0, &bound);
      EXPECT_EQ(bound, surfaces[1]->texture) << "switch " << i;
      if (bound != nullptr) bound->Release();
      EXPECT_EQ(texel(surfaces[1], 3, 3), uploaded) << "switch " << i;
      EXPECT_EQ(kv::ddraw::testing::liveSurfaces(), liveSurfaces) << "switch " << i;
      EXPECT_EQ(kv::ddraw::testing::liveDirectDrawObjects(), directDraws) << "switch " << i;
      const uint32_t colour = i % 2 ? 0xFF0000u : 0x0000FFu;
      ASSERT_EQ(kvClear(colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF), 0);
      EXPECT_EQ(kvFwShowFrame(&kvFramework, 1), 0);
      EXPECT_EQ(shownCentre(), colour) << "switch " << i << " to " << name;
    }
    EXPECT_TRUE(kv::headless::messageBoxes().empty());
  }

  static bool logged(const std::string& text) {
    return kv::headless::debugCapture().find(text) != std::string::npos;
  }

  static const std::string& onlyBox() {
    const auto& boxes = kv::headless::messageBoxes();
    static const std::string none = "(not exactly one box)";
    return boxes.size() == 1 ? boxes[0].text : none;
  }

  std::filesystem::path previous_, folder_;
};
