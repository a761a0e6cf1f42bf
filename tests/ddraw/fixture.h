// A headless host with a 16-bit desktop and a DirectDraw object, for the
// DirectDraw and Direct3D stand-ins' tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "platform/d3d/d3d.h"
#include "platform/d3d/d3d_testing.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_testing.h"
#include "platform/host/headless/headless.h"
#include "tests/platform_reset.h"

namespace kv::testing {

const HWND kWindow = reinterpret_cast<HWND>(1);

class DirectDrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::Options options;
    options.display.desktop = {1024, 768, 16, 60};
    kvtest::resetPlatform(options);
    LPDIRECTDRAW first = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &first, nullptr), DD_OK);
    ASSERT_EQ(first->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&dd)), DD_OK);
    EXPECT_EQ(first->Release(), 1u);
  }

  void TearDown() override {
    if (dd != nullptr) {
      EXPECT_EQ(dd->Release(), 0u);
    }
    EXPECT_EQ(ddraw::testing::liveSurfaces(), 0) << "a surface outlived its test";
    EXPECT_EQ(ddraw::testing::liveDirectDrawObjects(), 0);
    d3d::testing::stopRecording();
  }

  static DDPIXELFORMAT xrgb8888() {
    return {sizeof(DDPIXELFORMAT), DDPF_RGB, 0, {32}, {0xFF0000}, {0x00FF00}, {0x0000FF}, {0}};
  }

  static DDSURFACEDESC2 describe(DWORD caps, DWORD width = 0, DWORD height = 0,
                                 const DDPIXELFORMAT* format = nullptr) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags =
        DDSD_CAPS | (width != 0 ? DDSD_WIDTH | DDSD_HEIGHT : 0) | (format ? DDSD_PIXELFORMAT : 0);
    desc.ddsCaps.dwCaps = caps;
    desc.dwWidth = width;
    desc.dwHeight = height;
    if (format != nullptr) desc.ddpfPixelFormat = *format;
    return desc;
  }

  LPDIRECTDRAWSURFACE4 create(DDSURFACEDESC2 desc) {
    LPDIRECTDRAWSURFACE4 surface = nullptr;
    EXPECT_EQ(dd->CreateSurface(&desc, &surface, nullptr), DD_OK);
    return surface;
  }
  LPDIRECTDRAWSURFACE4 create(DWORD caps, DWORD width, DWORD height, DDPIXELFORMAT format) {
    return create(describe(caps, width, height, &format));
  }
  LPDIRECTDRAWSURFACE4 offscreen(DWORD width, DWORD height, DWORD extraCaps = 0) {
    return create(describe(DDSCAPS_OFFSCREENPLAIN | extraCaps, width, height));
  }
  LPDIRECTDRAWSURFACE4 zBuffer(DWORD width, DWORD height) {
    return create(DDSCAPS_ZBUFFER, width, height, d3d::testing::depthFormat(32));
  }

  // Locks a whole surface: its first byte, or nullptr when refused.
  static uint8_t* lock(LPDIRECTDRAWSURFACE4 surface, DDSURFACEDESC2& desc) {
    desc = describe(0);
    const bool locked = surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) == DD_OK;
    return locked ? static_cast<uint8_t*>(desc.lpSurface) : nullptr;
  }

  // Reads pixel (x, y) of a 16- or 32-bit surface through Lock.
  static uint32_t pixel(LPDIRECTDRAWSURFACE4 surface, int x, int y) {
    DDSURFACEDESC2 desc;
    const uint8_t* base = lock(surface, desc);
    if (base == nullptr) return 0xDEADBEEF;
    uint32_t value = 0;
    std::memcpy(&value, base + y * desc.lPitch + x * (desc.ddpfPixelFormat.dwRGBBitCount / 8),
                desc.ddpfPixelFormat.dwRGBBitCount / 8);
    surface->Unlock(nullptr);
    return value;
  }

  static HRESULT fill(LPDIRECTDRAWSURFACE4 surface, DWORD color, RECT* rect = nullptr) {
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = color;
    return surface->Blt(rect, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
  }

  LPDIRECTDRAW4 dd = nullptr;
};

}  // namespace kv::testing
