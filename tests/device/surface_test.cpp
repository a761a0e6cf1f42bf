// Surfaces without a device: size rules, ownership of the pixel copy, groups,
// and the texel rules of the upload.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kvKIT.h"
#include "kvSys/Memory.h"
#include "kvSys/kvSurface.h"
#include "platform/host/headless/headless.h"

namespace {

class Surfaces : public ::testing::Test {
 protected:
  void SetUp() override {
    kv::headless::install();
    kvResetMemoryForTests();
    ASSERT_EQ(kvSetSystemMemory(4096), 1);
    std::memset(&kvFramework, 0, sizeof kvFramework);
  }
  void TearDown() override {
    for (int group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
    kvResetMemoryForTests();
  }

  Surface* make(int32_t width, int32_t height, uint8_t format = SURFACE_FORMAT_16BPP,
                int32_t group = 0) {
    pixels_.assign(static_cast<size_t>(width > 0 && height > 0 ? width * height * 2 : 0), 0x5A);
    ImageDesc request = {};
    request.group = group;
    request.width = width;
    request.height = height;
    request.format = format;
    request.palette[7][1] = 99;
    request.pixels = pixels_.data();
    return kvCreateSurface(&request);
  }

  static bool logged(const std::string& text) {
    return kv::headless::debugCapture().find(text) != std::string::npos;
  }

  std::vector<uint8_t> pixels_;
};

TEST_F(Surfaces, SidesArePowersOfTwoFrom8To256WithinEightTimesOfEachOther) {
  EXPECT_NE(make(8, 64), nullptr);
  EXPECT_NE(make(256, 32), nullptr);
  EXPECT_NE(make(256, 256), nullptr);

  kv::headless::clearDebugCapture();
  EXPECT_EQ(make(8, 128), nullptr);
  EXPECT_TRUE(logged("): kvCreateSurface: width:hegiht = 8:128\n"));
  EXPECT_EQ(make(256, 16), nullptr);
  EXPECT_TRUE(logged("): kvCreateSurface: width:hegiht = 256:16\n"));
  // The width is tested before the height is looked at.
  EXPECT_EQ(make(512, 512), nullptr);
  EXPECT_TRUE(logged("): kvCreateSurface: surface width 512\n"));
  EXPECT_FALSE(logged("hegiht 512"));
  EXPECT_EQ(make(16, 12), nullptr);
  EXPECT_TRUE(logged("): kvCreateSurface: surface hegiht 12\n"));
  EXPECT_EQ(make(4, 4), nullptr);
  EXPECT_EQ(make(0, 8), nullptr);
  EXPECT_EQ(make(-8, 8), nullptr);
}

TEST_F(Surfaces, AGroupOutsideTheTableIsRefused) {
  EXPECT_EQ(make(8, 8, SURFACE_FORMAT_16BPP, 8), nullptr);
  EXPECT_TRUE(logged("): kvCreateSurface: surface group 8\n"));
  EXPECT_EQ(make(8, 8, SURFACE_FORMAT_16BPP, -1), nullptr);
}

TEST_F(Surfaces, WithoutADeviceTheSurfaceKeepsItsPixelsAndStaysOffTheDevice) {
  kv::headless::clearDebugCapture();
  Surface* surface = make(16, 8, SURFACE_FORMAT_8BPP, 3);
  ASSERT_NE(surface, nullptr);
  EXPECT_TRUE(logged("): kvRestoreSurface: DirectDraw device initialization faild\n"));
  EXPECT_TRUE(logged("): Texture Restore error!!\n"));
  EXPECT_EQ(surface->ddSurface, nullptr);
  EXPECT_EQ(surface->texture, nullptr);
  EXPECT_EQ(surface->palette[7][1], 99);
  // The pixel copy is the Surface's own.
  ASSERT_NE(surface->pixels, static_cast<void*>(pixels_.data()));
  pixels_.assign(pixels_.size(), 0);
  EXPECT_EQ(static_cast<uint8_t*>(surface->pixels)[16 * 8 - 1], 0x5A);
  EXPECT_EQ(kvGetSurfaceInfo(surface, 0), 16);
  EXPECT_EQ(kvGetSurfaceInfo(surface, 1), 8);
  EXPECT_EQ(kvGetSurfaceInfo(surface, 2), SURFACE_FORMAT_8BPP);
  EXPECT_EQ(kvGetSurfaceInfo(surface, 3), 3);
  EXPECT_EQ(kvGetSurfaceInfo(surface, 4), -1);

  std::vector<uint8_t> replacement(16 * 8, 0x11);
  uint8_t palette[768] = {};
  palette[7 * 3 + 1] = 42;
  kvReplaceSurfacePixels(surface, replacement.data(), palette);
  EXPECT_EQ(static_cast<uint8_t*>(surface->pixels)[0], 0x11);
  EXPECT_EQ(surface->palette[7][1], 42);
}

TEST_F(Surfaces, GroupsAreFreedWholeAndFreeingAnEmptyGroupDoesNothing) {
  ASSERT_NE(make(8, 8, SURFACE_FORMAT_16BPP, 4), nullptr);
  Surface* current = make(16, 16, SURFACE_FORMAT_16BPP, 4);
  ASSERT_NE(current, nullptr);
  kvSetTexture(current);  // remembered even without a device
  EXPECT_EQ(kvFreeSurfaceGroup(5), 5);
  EXPECT_EQ(kvGetTextureInfo(0), 16);
  EXPECT_EQ(kvFreeSurfaceGroup(4), 4);
  EXPECT_EQ(kvGetTextureInfo(0), -1);
  EXPECT_EQ(kvFreeSurfaceGroup(4), 4);
  EXPECT_EQ(kvFreeSurfaceGroup(99), 99);  // no such group: nothing touched

  kvSetSurfaceGroup(6);
  EXPECT_EQ(kvSurfaceGroup, 6);
  kvSetSurfaceGroup(8);
  kvSetSurfaceGroup(-1);
  EXPECT_EQ(kvSurfaceGroup, 6);
  kvSetSurfaceGroup(0);
}

DDPIXELFORMAT formatOf(DWORD red, DWORD green, DWORD blue) {
  DDPIXELFORMAT format = {};
  format.dwSize = sizeof format;
  format.dwRGBBitCount = 16;
  format.dwRBitMask = red;
  format.dwGBitMask = green;
  format.dwBBitMask = blue;
  return format;
}

TEST(TexelRules, RGB565ToOtherLayoutsKeepsTheTopBitsAndLeavesAlphaClear) {
  const DDPIXELFORMAT argb1555 = formatOf(0x7C00, 0x03E0, 0x001F);
  EXPECT_EQ(kvTexelFrom565(argb1555, 0xFFFF), 0x7FFF);
  EXPECT_EQ(kvTexelFrom565(argb1555, 0xF800), 0x7C00);
  EXPECT_EQ(kvTexelFrom565(argb1555, 0x07E0), 0x03E0);
  EXPECT_EQ(kvTexelFrom565(argb1555, 0x0020), 0x0000);  // lowest green bit dropped
  const DDPIXELFORMAT argb4444 = formatOf(0x0F00, 0x00F0, 0x000F);
  EXPECT_EQ(kvTexelFrom565(argb4444, 0xFFFF), 0x0FFF);
  EXPECT_EQ(kvTexelFrom565(argb4444, 0x8410), 0x0888);
  const DDPIXELFORMAT rgb565 = formatOf(0xF800, 0x07E0, 0x001F);
  EXPECT_EQ(kvTexelFrom565(rgb565, 0x1234), 0x1234);
}

TEST(TexelRules, PaletteColoursTruncateIntoTheMasks) {
  const DDPIXELFORMAT argb1555 = formatOf(0x7C00, 0x03E0, 0x001F);
  EXPECT_EQ(kvTexelFromRGB(argb1555, 255, 255, 255), 0x7FFF);
  EXPECT_EQ(kvTexelFromRGB(argb1555, 0x87, 0, 0), 0x4000);
  EXPECT_EQ(kvTexelFromRGB(argb1555, 7, 7, 7), 0x0000);
  const DDPIXELFORMAT rgb565 = formatOf(0xF800, 0x07E0, 0x001F);
  EXPECT_EQ(kvTexelFromRGB(rgb565, 255, 4, 8), 0xF821);
  EXPECT_EQ(kvMaskShift(0), 0u);
  EXPECT_EQ(kvMaskShift(0x7C00), 15u);
  EXPECT_EQ(kvMaskShift(0x80000000u), 32u);
}

}  // namespace
