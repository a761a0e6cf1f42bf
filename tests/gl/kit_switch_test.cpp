// The OpenGL device under the kit: F3 switches among it and the two software
// devices rebuild the framework and every texture, the choice is kept in
// kvKIT.vid, and a hardware set-up that fails falls back to software.
#include <memory>
#include <string>
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

bool onCurrentDevice(const Surface* surface) {
  IDirectDraw4* owner = nullptr;
  if (surface->texture == nullptr ||
      FAILED(surface->ddSurface->GetDDInterface(reinterpret_cast<void**>(&owner))))
    return false;
  owner->Release();
  return owner == kvFramework.directDraw;
}

TEST_F(GlKit, StartsOnTheHardwareDeviceAndTwentySwitchesAmongThreeLeakNothing) {
  start();
  ASSERT_NE(named("Direct3D HAL"), nullptr);
  EXPECT_EQ(selected(), named("Direct3D HAL")) << "the default passes try hardware first";
  std::vector<uint8_t> pixels(64 * 64 * 2, 0x33);
  Surface* surfaces[] = {make(64, 64, SURFACE_FORMAT_8BPP, pixels.data()),
                         make(32, 32, SURFACE_FORMAT_16BPP, pixels.data(), nullptr, 7)};
  kvSetRenderFlags(KV_RF_TEXTURE);
  kvSetTexture(surfaces[1]);
  const int liveSurfaces = kv::ddraw::testing::liveSurfaces();
  const int directDraws = kv::ddraw::testing::liveDirectDrawObjects();
  const uint16_t uploaded = texel(surfaces[1], 3, 3);

  const char* names[] = {"RGB Emulation", "Direct3D HAL", "Reference Rasterizer"};
  for (int i = 0; i < 20; ++i) {
    const char* name = names[i % 3];
    pressF3(std::string("device=") + name + ",ok");
    ASSERT_EQ(kvFramework.initialised, 1) << "switch " << i;
    EXPECT_EQ(selected(), named(name)) << "switch " << i;
    for (Surface* surface : surfaces) EXPECT_TRUE(onCurrentDevice(surface)) << "switch " << i;
    EXPECT_EQ(texel(surfaces[1], 3, 3), uploaded) << "switch " << i;
    EXPECT_EQ(kv::ddraw::testing::liveSurfaces(), liveSurfaces) << "switch " << i;
    EXPECT_EQ(kv::ddraw::testing::liveDirectDrawObjects(), directDraws) << "switch " << i;
  }
  EXPECT_TRUE(kv::headless::messageBoxes().empty());
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
