// Shared set-up for the drawing tests: a headless host, a fresh pool, the
// demo's view (640 x 480, projection 512, near plane 10) and the fans the
// device received.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kvKIT.h"
#include "kvSys/Memory.h"
#include "kvf3D/KV3DDraw.h"
#include "platform/host/headless/headless.h"
#include "tests/draw/fake_device.h"
#include "tests/kit_reset.h"

namespace kvtest {

inline RecordingDevice& recorder() {
  static RecordingDevice device;
  return device;
}

// The triangle fans the device received since the test began.
inline const std::vector<RecordingDevice::Draw>& recordedFans() {
  for (const auto& draw : recorder().draws) {
    EXPECT_EQ(draw.type, D3DPT_TRIANGLEFAN);
    EXPECT_EQ(draw.vertexFormat, 0x144u);
  }
  return recorder().draws;
}

inline bool logged(const char* text) {
  return kv::headless::debugCapture().find(text) != std::string::npos;
}

class DrawTest : public ::testing::Test {
 protected:
  void TearDown() override { kvFramework.device = nullptr; }
  void SetUp() override {
    kvtest::resetKitAndPlatform();
    ASSERT_EQ(kvSetSystemMemory(4096), 1);
    kvSetViewRect(0, 0, 640, 480);
    kv3dSetProjection(512);
    kv3dSetNearZ(10.0f);
    kv3dSetFarZ(32000.0f);
    kvSetRenderFlags(KV_RF_COLOR);
    kvFramework.device = &recorder();
    recorder().draws.clear();
    kv::headless::clearDebugCapture();
  }

 public:
  static ClipVertex corner(float x, float y, float z, float u = 0, float v = 0) {
    return ClipVertex{x, y, z, u, v, 200, 200, 200, 255, 0};
  }
  // A camera-space point that projects to screen (sx, sy) at depth z.
  static ClipVertex onScreen(float sx, float sy, float z = 512) {
    return corner((sx - 320) * z / 512, (240 - sy) * z / 512, z);
  }
};

}  // namespace kvtest
