// The OpenGL device under the kit: F3 switches among it and the two software
// devices rebuild the framework and every texture, the choice is kept in
// kvKIT.vid, and a hardware set-up that fails falls back to software.
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/gl/context.h"
#include "platform/gl/hardware_device.h"
#include "tests/device/kit_fixture.h"

namespace {

class GlKit : public Kit {
 protected:
  void SetUp() override {
    Kit::SetUp();
    if (kv::gl::sharedContext() == nullptr) GTEST_SKIP() << "OpenGL cannot start on this machine";
    kv::gl::registerHardwareDevice({.asked = true});
  }
  void TearDown() override {
    Kit::TearDown();
    kv::gl::unregisterHardwareDevice();
    kv::gl::setContextStarter(nullptr);
  }
};

TEST_F(GlKit, StartsOnTheHardwareDeviceAndTwentySwitchesAmongThreeLeakNothing) {
  start();
  ASSERT_NE(named("Direct3D HAL"), nullptr);
  EXPECT_EQ(selected(), named("Direct3D HAL")) << "the default passes try hardware first";
  switchRound({"RGB Emulation", "Direct3D HAL", "Reference Rasterizer"}, 20);
  // The last choice is the one a new start makes.
  pressF3("device=Direct3D HAL,ok");
  kvFreeDrivers();
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  EXPECT_EQ(selected(), named("Direct3D HAL"));
  for (int group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
  EXPECT_EQ(kvFwDestroyObjects(&kvFramework), 0);
  EXPECT_EQ(kv::ddraw::testing::liveSurfaces(), 0);
  EXPECT_EQ(kv::ddraw::testing::liveDirectDrawObjects(), 0);
}

// In full screen each device draws into the flip chain's back buffer and a
// flip shows it; switching back to a window keeps the device.
TEST_F(GlKit, FullScreenSwitchesAmongThreeShowEveryFrameAndReturnToAWindow) {
  start();
  switchRound({"Direct3D HAL", "RGB Emulation", "Direct3D HAL", "Reference Rasterizer"}, 8,
              "640 x 480 x 16");
  switchRound({"Direct3D HAL"}, 1, "Windowed mode");
  EXPECT_EQ(selected()->windowed, 1);
  for (int group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
  EXPECT_EQ(kvFwDestroyObjects(&kvFramework), 0);
  EXPECT_EQ(kv::ddraw::testing::liveSurfaces(), 0);
}

// The centre pixel of the back buffer (16-bit), read through Lock.
uint16_t backCentre() {
  DDSURFACEDESC2 desc{.dwSize = sizeof desc};
  if (FAILED(kvFramework.back->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr))) return 0xDEAD;
  uint16_t value;
  std::memcpy(&value,
              static_cast<const uint8_t*>(desc.lpSurface) + desc.dwHeight / 2 * desc.lPitch +
                  desc.dwWidth / 2 * 2,
              2);
  kvFramework.back->Unlock(nullptr);
  return value;
}

// The kit's format search on the OpenGL device's list: an 8-bit image keeps
// its palette, a 16-bit one takes the first format with alpha, and the
// device draws both with their colours.
TEST_F(GlKit, FormatSearchPicksPaletteAndFirstAlphaFormatsThatTheDeviceDraws) {
  start();
  ASSERT_EQ(selected(), named("Direct3D HAL"));
  uint8_t palette[256][3] = {};
  palette[3][0] = 255;
  const std::vector<uint8_t> indices(16 * 16, 3);
  const std::vector<uint16_t> green(8 * 8, 0x07E0);
  Surface* paletted = make(16, 16, SURFACE_FORMAT_8BPP, indices.data(), palette);
  Surface* sixteen = make(8, 8, SURFACE_FORMAT_16BPP, green.data());
  ASSERT_TRUE(paletted->texture != nullptr && sixteen->texture != nullptr);
  EXPECT_TRUE(paletted->desc.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8);
  EXPECT_EQ(std::tuple(sixteen->desc.ddpfPixelFormat.dwRBitMask,
                       sixteen->desc.ddpfPixelFormat.dwRGBAlphaBitMask),
            std::tuple(0x7C00u, 0x8000u));

  kvSetRenderFlags(KV_RF_TEXTURE);
  kvFramework.device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  for (const auto& [surface, expected] :
       {std::pair(paletted, 0xF800), std::pair(sixteen, 0x07E0)}) {
    kvSetTexture(surface);
    ASSERT_EQ(kvClear(0, 0, 0), 0);
    ASSERT_EQ(kvBeginScene(), 1);
    kv::d3d::testing::Vertex quad[4] = {{0, 0, 0.5f, 0.5f, 0xFFFFFFFF, 0, 0},
                                        {640, 0, 0.5f, 0.5f, 0xFFFFFFFF, 1, 0},
                                        {640, 480, 0.5f, 0.5f, 0xFFFFFFFF, 1, 1},
                                        {0, 480, 0.5f, 0.5f, 0xFFFFFFFF, 0, 1}};
    EXPECT_EQ(kvFramework.device->DrawPrimitive(
                  D3DPT_TRIANGLEFAN, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, quad, 4, 0),
              D3D_OK);
    kvEndScene();
    EXPECT_EQ(backCentre(), expected);
  }
}

// Lists a hardware renderer, then cannot make its context current.
std::string brokenRenderer = "Broken GPU";
class BrokenContext final : public kv::gl::Context {
 public:
  bool execute(const Task&) override { return false; }
  const std::string& renderer() const override { return brokenRenderer; }
  const std::string& version() const override { return brokenRenderer; }
  bool hasClipControl() const override { return false; }
};

TEST_F(GlKit, HardwareSetUpThatFailsFallsBackToSoftwareWithABox) {
  kv::gl::setContextStarter(
      []() -> std::unique_ptr<kv::gl::Context> { return std::make_unique<BrokenContext>(); });
  kv::gl::registerHardwareDevice({.asked = true});
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  ASSERT_EQ(selected(), named("Direct3D HAL"));
  ASSERT_EQ(kvSetScreenMode(6), 1);
  EXPECT_EQ(kvFramework.initialised, 1);
  EXPECT_NE(selected(), named("Direct3D HAL"));
  EXPECT_EQ(selected()->isHardware, 0) << "the demo goes on on a software device";
  EXPECT_EQ(kv::headless::messageBoxes().size(), 1u);
}

}  // namespace
