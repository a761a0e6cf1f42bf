// Surfaces without a device: size rules, the pixel copy and groups; and the
// texel rules of the upload.
#include <tuple>
#include <vector>

#include "kvSys/kvSurface.h"
#include "tests/device/kit_fixture.h"

namespace {

using Surfaces = Kit;

TEST_F(Surfaces, SidesArePowersOfTwoFrom8To256WithinEightTimesOfEachOther) {
  std::vector<uint8_t> pixels(256 * 256 * 2, 0x5A);
  EXPECT_NE(make(8, 64, SURFACE_FORMAT_16BPP, pixels.data()), nullptr);
  EXPECT_NE(make(256, 32, SURFACE_FORMAT_16BPP, pixels.data()), nullptr);
  const struct {
    int32_t width, height, group;
    const char* log;
  } refused[] = {{8, 128, 0, "width:hegiht = 8:128\n"}, {256, 16, 0, "width:hegiht = 256:16\n"},
                 {512, 512, 0, "surface width 512\n"},  {16, 12, 0, "surface hegiht 12\n"},
                 {-8, 8, 0, "surface width -8\n"},      {8, 8, 8, "surface group 8\n"}};
  for (const auto& r : refused) {
    EXPECT_EQ(make(r.width, r.height, SURFACE_FORMAT_16BPP, pixels.data(), nullptr, r.group), nullptr) << r.log;
    EXPECT_TRUE(logged(std::string("): kvCreateSurface: ") + r.log)) << r.log;
  }
  EXPECT_FALSE(logged("hegiht 512"));  // the width is tested first
}

TEST_F(Surfaces, OffTheDeviceASurfaceKeepsItsOwnPixelsAndItsGroup) {
  std::vector<uint8_t> pixels(16 * 8, 0x5A);
  uint8_t palette[256][3] = {};
  palette[7][1] = 99;
  Surface* surface = make(16, 8, SURFACE_FORMAT_8BPP, pixels.data(), palette, 3);
  ASSERT_NE(surface, nullptr);
  EXPECT_TRUE(logged("): kvRestoreSurface: DirectDraw device initialization faild\n"));
  EXPECT_TRUE(logged("): Texture Restore error!!\n"));
  EXPECT_EQ(surface->texture, nullptr);
  pixels.assign(pixels.size(), 0);
  EXPECT_EQ(static_cast<uint8_t*>(surface->pixels)[16 * 8 - 1], 0x5A);
  EXPECT_EQ(surface->palette[7][1], 99);
  EXPECT_EQ(std::tuple(kvGetSurfaceInfo(surface, 0), kvGetSurfaceInfo(surface, 2), kvGetSurfaceInfo(surface, 3),
                       kvGetSurfaceInfo(surface, 4)),
            std::tuple(16, SURFACE_FORMAT_8BPP, 3, -1));

  std::vector<uint8_t> replacement(16 * 8, 0x11);
  uint8_t newPalette[768] = {};
  kvReplaceSurfacePixels(surface, replacement.data(), newPalette);
  EXPECT_EQ(static_cast<uint8_t*>(surface->pixels)[0], 0x11);
  EXPECT_EQ(surface->palette[7][1], 0);

  kvSetSurfaceGroup(6);
  kvSetSurfaceGroup(8);  // out of range: no change
  EXPECT_EQ(kvSurfaceGroup, 6);
  kvSetSurfaceGroup(0);
}

DDPIXELFORMAT formatOf(DWORD red, DWORD green, DWORD blue) {
  return {0, 0, 0, {16}, {red}, {green}, {blue}, {0}};
}

// 565 to 1555 end to end is in the machines' tests; here the odd masks.
TEST(TexelRules, ComponentsKeepTheirTopBitsInTheTargetMasks) {
  const DDPIXELFORMAT argb1555 = formatOf(0x7C00, 0x03E0, 0x001F);
  EXPECT_EQ(kvTexelFrom565(argb1555, 0x0020), 0x0000);  // the lowest green bit is dropped
  EXPECT_EQ(kvTexelFrom565(formatOf(0x0F00, 0x00F0, 0x000F), 0x8410), 0x0888);
  EXPECT_EQ(kvTexelFromRGB(argb1555, 0x87, 7, 255), 0x401F);
  EXPECT_EQ(kvTexelFromRGB(formatOf(0xF800, 0x07E0, 0x001F), 255, 4, 8), 0xF821);
  EXPECT_EQ(std::tuple(kvMaskShift(0), kvMaskShift(0x80000000u)), std::tuple(0u, 32u));
}

}  // namespace
