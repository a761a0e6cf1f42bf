// Surfaces without a device: size rules, the pixel copy and groups; and the
// texel rules of the upload.
#include <vector>

#include "kvSys/kvSurface.h"
#include "tests/device/kit_fixture.h"

namespace {

using Surfaces = Kit;

TEST_F(Surfaces, SidesArePowersOfTwoFrom8To256WithinEightTimesOfEachOther) {
  std::vector<uint8_t> pixels(256 * 256 * 2, 0x5A);
  EXPECT_NE(make(8, 64, SURFACE_FORMAT_16BPP, pixels.data()), nullptr);
  EXPECT_NE(make(256, 32, SURFACE_FORMAT_16BPP, pixels.data()), nullptr);
  EXPECT_EQ(make(8, 128, SURFACE_FORMAT_16BPP, pixels.data()), nullptr);
  EXPECT_TRUE(logged("): kvCreateSurface: width:hegiht = 8:128\n"));
  EXPECT_EQ(make(256, 16, SURFACE_FORMAT_16BPP, pixels.data()), nullptr);
  EXPECT_EQ(make(512, 512, SURFACE_FORMAT_16BPP, pixels.data()), nullptr);
  EXPECT_TRUE(logged("): kvCreateSurface: surface width 512\n"));
  EXPECT_FALSE(logged("hegiht 512"));  // the width is tested first
  EXPECT_EQ(make(16, 12, SURFACE_FORMAT_16BPP, pixels.data()), nullptr);
  EXPECT_TRUE(logged("): kvCreateSurface: surface hegiht 12\n"));
  EXPECT_EQ(make(-8, 8, SURFACE_FORMAT_16BPP, pixels.data()), nullptr);
  EXPECT_EQ(make(8, 8, SURFACE_FORMAT_16BPP, pixels.data(), nullptr, 8), nullptr);
  EXPECT_TRUE(logged("): kvCreateSurface: surface group 8\n"));
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
  EXPECT_EQ(kvGetSurfaceInfo(surface, 0), 16);
  EXPECT_EQ(kvGetSurfaceInfo(surface, 2), SURFACE_FORMAT_8BPP);
  EXPECT_EQ(kvGetSurfaceInfo(surface, 3), 3);
  EXPECT_EQ(kvGetSurfaceInfo(surface, 4), -1);

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
  DDPIXELFORMAT format = {};
  format.dwRGBBitCount = 16;
  format.dwRBitMask = red;
  format.dwGBitMask = green;
  format.dwBBitMask = blue;
  return format;
}

TEST(TexelRules, ComponentsKeepTheirTopBitsInTheTargetMasks) {
  const DDPIXELFORMAT argb1555 = formatOf(0x7C00, 0x03E0, 0x001F);
  EXPECT_EQ(kvTexelFrom565(argb1555, 0xFFFF), 0x7FFF);
  EXPECT_EQ(kvTexelFrom565(argb1555, 0xF800), 0x7C00);
  EXPECT_EQ(kvTexelFrom565(argb1555, 0x0020), 0x0000);  // the lowest green bit is dropped
  EXPECT_EQ(kvTexelFrom565(formatOf(0x0F00, 0x00F0, 0x000F), 0x8410), 0x0888);
  EXPECT_EQ(kvTexelFromRGB(argb1555, 0x87, 7, 255), 0x401F);
  EXPECT_EQ(kvTexelFromRGB(formatOf(0xF800, 0x07E0, 0x001F), 255, 4, 8), 0xF821);
  EXPECT_EQ(kvMaskShift(0), 0u);
  EXPECT_EQ(kvMaskShift(0x80000000u), 32u);
}

}  // namespace
