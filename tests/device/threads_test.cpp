// The RGB Emulation device on several threads holds fans back until the scene
// ends; whatever reaches a surface's memory before that sees them drawn.
#include <cstdlib>

#include "tests/device/kit_fixture.h"

namespace {

class Threads : public Kit {
 protected:
  void SetUp() override {
    setenv("KV_THREADS", "3", 1);
    Kit::SetUp();
  }
  void TearDown() override {
    Kit::TearDown();
    unsetenv("KV_THREADS");
  }

  // A quad over the left half of the target in one colour.
  static void leftHalf(uint32_t argb) {
    struct {
      float x, y, z, rhw;
      uint32_t diffuse;
      float u, v;
    } quad[4] = {{0, 0, 0.5f, 1, argb, 0, 0},
                 {320, 0, 0.5f, 1, argb, 0, 0},
                 {320, 480, 0.5f, 1, argb, 0, 0},
                 {0, 480, 0.5f, 1, argb, 0, 0}};
    ASSERT_EQ(kvFramework.device->DrawPrimitive(
                  D3DPT_TRIANGLEFAN, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, quad, 4, 0),
              D3D_OK);
  }

  // The 16-bit pixel at (x, y) of the render target, read through a lock.
  static uint16_t pixel(int x, int y) {
    DDSURFACEDESC2 desc{.dwSize = sizeof desc};
    if (FAILED(kvFramework.renderTarget->Lock(nullptr, &desc, 0, nullptr))) return 0xDEAD;
    const auto* row =
        static_cast<const uint8_t*>(desc.lpSurface) + static_cast<ptrdiff_t>(y) * desc.lPitch;
    uint16_t value;
    std::memcpy(&value, row + 2 * x, 2);
    kvFramework.renderTarget->Unlock(nullptr);
    return value;
  }
};

TEST_F(Threads, ALockMidSceneSeesTheFansBeforeIt) {
  start();
  ASSERT_STREQ(selected()->name, "RGB Emulation");
  kvFramework.device->SetTexture(0, nullptr);
  kvFramework.device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_FALSE);
  kvFramework.device->SetRenderState(D3DRENDERSTATE_DITHERENABLE, FALSE);
  ASSERT_EQ(kvClear(0, 0, 255), D3D_OK);
  ASSERT_EQ(kvBeginScene(), 1);
  leftHalf(0xFFFF0000);
  EXPECT_EQ(pixel(100, 100), 0xF800);  // drawn before the lock reads
  EXPECT_EQ(pixel(500, 100), 0x001F);
  leftHalf(0xFF00FF00);  // after the lock: held back again until the scene ends
  kvEndScene();
  EXPECT_EQ(pixel(100, 300), 0x07E0);
  EXPECT_EQ(pixel(500, 300), 0x001F);
}

}  // namespace
