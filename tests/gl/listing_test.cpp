// The listing rule of the OpenGL device: asked for, a real accelerator beside
// a window, never unasked headless, nothing when GL cannot start.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/d3d/d3d_testing.h"
#include "platform/gl/context.h"
#include "platform/gl/hardware_device.h"

namespace kv::gl {
namespace {

// A context that reports a renderer of the test's choosing and draws nothing.
std::string fakeRenderer;
class FakeContext final : public Context {
 public:
  bool execute(const Task&) override { return false; }
  const std::string& renderer() const override { return fakeRenderer; }
  const std::string& version() const override { return fakeRenderer; }
  bool hasClipControl() const override { return false; }
};

std::unique_ptr<Context> startFake() { return std::make_unique<FakeContext>(); }
std::unique_ptr<Context> failToStart() { return nullptr; }

std::vector<std::string> listedNames() {
  std::vector<std::string> names;
  for (const d3d::DeviceEntry& e : d3d::devices()) names.push_back(e.name);
  return names;
}

class Listing : public ::testing::Test {
 protected:
  void SetUp() override { d3d::testing::resetDevices(); }
  void TearDown() override {
    unregisterHardwareDevice();
    setContextStarter(nullptr);
  }
};

const std::vector<std::string> kSoftware = {"RGB Emulation", "Reference Rasterizer"};
const std::vector<std::string> kAll = {"Direct3D HAL", "RGB Emulation", "Reference Rasterizer"};

TEST_F(Listing, SoftwareRenderersAreListedOnlyWhenAsked) {
  for (const char* renderer : {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Mesa X11 swrast"}) {
    EXPECT_TRUE(isSoftwareRenderer(renderer)) << renderer;
    EXPECT_FALSE(listed({.asked = false, .acceleratorsUnasked = true}, true, renderer));
    EXPECT_TRUE(listed({.asked = true, .acceleratorsUnasked = false}, true, renderer));
  }
  fakeRenderer = "llvmpipe (LLVM 15.0.6, 256 bits)";
  setContextStarter(startFake);
  registerHardwareDevice({.asked = false, .acceleratorsUnasked = true});
  EXPECT_EQ(listedNames(), kSoftware);
  registerHardwareDevice({.asked = true, .acceleratorsUnasked = true});
  EXPECT_EQ(listedNames(), kAll);
  ASSERT_TRUE(d3d::devices()[0].hardware);
  EXPECT_NE(d3d::devices()[0].desc.dwFlags, 0u);
}

TEST_F(Listing, AcceleratorsAreListedBesideAWindowButNeverUnaskedHeadless) {
  fakeRenderer = "AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6, DRM 3.49)";
  EXPECT_FALSE(isSoftwareRenderer(fakeRenderer));
  setContextStarter(startFake);
  registerHardwareDevice({.asked = false, .acceleratorsUnasked = true});
  EXPECT_EQ(listedNames(), kAll);
  registerHardwareDevice({.asked = false, .acceleratorsUnasked = false});
  EXPECT_EQ(listedNames(), kSoftware);
  registerHardwareDevice({.asked = true, .acceleratorsUnasked = false});
  EXPECT_EQ(listedNames(), kAll);
}

TEST_F(Listing, GlThatCannotStartListsNothingAndFailsNothing) {
  setContextStarter(failToStart);
  registerHardwareDevice({.asked = true, .acceleratorsUnasked = true});
  EXPECT_EQ(listedNames(), kSoftware);
  EXPECT_EQ(sharedContext(), nullptr);
  // The entry's factory, should a stale list still name it, refuses cleanly.
  EXPECT_EQ(hardwareDevice("none").makeBackend(), nullptr);
}

}  // namespace
}  // namespace kv::gl
