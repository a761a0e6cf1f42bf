// The full-screen path on the headless machine: a window taken full screen
// through the F3 dialog, flipped, handed back to the desktop's surface, its
// surfaces lost and restored, then taken back to a window.
#include <tuple>
#include <vector>

#include "platform/host/host.h"
#include "platform/win/host_events.h"
#include "tests/device/kit_fixture.h"

namespace {

using FullScreen = Kit;

std::tuple<uint32_t, uint32_t, uint32_t> displayMode() {
  const kv::host::DisplayMode mode = kv::host::current().desktopMode();
  return {mode.width, mode.height, mode.bitCount};
}

DWORD capsOf(IDirectDrawSurface4* surface) {
  DDSURFACEDESC2 desc{.dwSize = sizeof desc};
  return surface != nullptr && SUCCEEDED(surface->GetSurfaceDesc(&desc)) ? desc.ddsCaps.dwCaps : 0;
}

std::tuple<LONG, LONG, LONG, LONG> corners(const RECT& r) {
  return {r.left, r.top, r.right, r.bottom};
}

TEST_F(FullScreen, WindowToFullScreenFlipsGivesTheScreenBackSurvivesLossAndReturns) {
  start();
  ASSERT_EQ(kvFramework.fullscreen, 0);
  const auto desktop = displayMode();
  // The user has moved the window; that is where it must come back to.
  const auto window = reinterpret_cast<uintptr_t>(kvFramework.window);
  kv::win::hostMoved(window, 200, 150);
  kvPumpMessages();
  RECT windowBefore{};
  GetWindowRect(kvFramework.window, &windowBefore);
  ASSERT_EQ(corners(kvWindow.rect), corners(windowBefore));
  // Two 16-bit textures with distinct texels, and one 8-bit one.
  std::vector<uint16_t> pixels(32 * 32 + 1);  // the second starts one texel on
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint16_t(i * 37);
  const uint8_t palette[256][3] = {{10, 20, 30}};
  Surface* textures[] = {make(32, 32, SURFACE_FORMAT_16BPP, pixels.data()),
                         make(32, 32, SURFACE_FORMAT_16BPP, pixels.data() + 1, nullptr, 3),
                         make(32, 32, SURFACE_FORMAT_8BPP, pixels.data(), palette)};
  kvSetRenderFlags(KV_RF_TEXTURE);
  kvSetTexture(textures[1]);
  const int windowedSurfaces = kv::ddraw::testing::liveSurfaces();
  const auto texels = std::tuple(texel(textures[0], 5, 3), texel(textures[1], 31, 31));
  ASSERT_NE(std::get<0>(texels), std::get<1>(texels));
  auto texturesIntact = [&](const char* when) {
    IDirect3DTexture2* bound = nullptr;
    kvFramework.device->GetTexture(0, &bound);
    EXPECT_EQ(bound, textures[1]->texture) << when;
    if (bound != nullptr) bound->Release();
    for (Surface* texture : textures) {
      IDirectDraw4* maker = nullptr;
      ASSERT_NE(texture->ddSurface, nullptr) << when;
      ASSERT_EQ(texture->ddSurface->GetDDInterface(reinterpret_cast<void**>(&maker)), DD_OK);
      maker->Release();
      EXPECT_EQ(maker, kvFramework.directDraw) << when;
      EXPECT_EQ(texture->ddSurface->IsLost(), DD_OK) << when;
    }
    EXPECT_EQ(std::tuple(texel(textures[0], 5, 3), texel(textures[1], 31, 31)), texels) << when;
  };

  // Full screen: the mode is set, the front heads a flip chain whose back
  // buffer is the render target, and the textures live on the new device.
  pressF3("mode=640 x 480 x 16,ok");
  ASSERT_EQ(kvFramework.initialised, 1);
  EXPECT_EQ(std::tuple(selected()->windowed, kvFramework.fullscreen), std::tuple(0, 1));
  EXPECT_EQ(displayMode(), std::tuple(640u, 480u, 16u));
  EXPECT_EQ(std::tuple(kvFramework.renderWidth, kvFramework.renderHeight), std::tuple(640u, 480u));
  DDSCAPS2 backCaps{.dwCaps = DDSCAPS_BACKBUFFER};
  IDirectDrawSurface4* attached = nullptr;
  ASSERT_EQ(kvFramework.front->GetAttachedSurface(&backCaps, &attached), DD_OK);
  attached->Release();
  EXPECT_EQ(std::tuple(attached, kvFramework.renderTarget),
            std::tuple(kvFramework.back, kvFramework.back));
  EXPECT_EQ(capsOf(kvFramework.front) &
                (DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX),
            DWORD(DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX));
  texturesIntact("full screen");

  // A flip shows the back buffer; handing the screen to the desktop's surface
  // flips once more, and then there is nothing left to flip.
  ASSERT_EQ(kvClear(255, 0, 0), 0);
  const int64_t before = kv::headless::presentedFrameCount();
  kvFlip();
  EXPECT_EQ(kv::headless::presentedFrameCount(), before + 1);
  EXPECT_EQ(shownCentre(), 0xFF0000u);
  ASSERT_EQ(kvClear(0, 0, 255), 0);  // the buffer that was on screen before
  EXPECT_EQ(kvFwFlipToGDISurface(&kvFramework, 1), 0);
  EXPECT_EQ(kv::headless::presentedFrameCount(), before + 2);
  EXPECT_EQ(shownCentre(), 0x0000FFu);
  EXPECT_EQ(kvFwFlipToGDISurface(&kvFramework, 1), 0);
  EXPECT_EQ(kv::headless::presentedFrameCount(), before + 2);

  // The full-screen window is moved to the screen's corner: the windowed
  // place is kept.
  kv::win::hostMoved(window, 0, 0);
  kvPumpMessages();

  // Another program takes the display: the lost frame is reported, the chain
  // and the textures come back, and the next frame is shown.
  kv::ddraw::testing::loseAllSurfaces();
  EXPECT_EQ(kvFwShowFrame(&kvFramework, 1), DDERR_SURFACELOST);
  for (IDirectDrawSurface4* surface : {kvFramework.front, kvFramework.back, kvFramework.zBuffer})
    EXPECT_EQ(surface->IsLost(), DD_OK);
  texturesIntact("restored in full screen");
  ASSERT_EQ(kvClear(0, 255, 0), 0);
  EXPECT_EQ(kvFwShowFrame(&kvFramework, 1), 0);
  EXPECT_EQ(shownCentre(), 0x00FF00u);

  // Back to a window: the desktop's mode, an offscreen back buffer, the
  // window where it was, the textures and nothing left over.
  pressF3("mode=Windowed mode,ok");
  ASSERT_EQ(kvFramework.initialised, 1);
  EXPECT_EQ(std::tuple(selected()->windowed, kvFramework.fullscreen), std::tuple(1, 0));
  EXPECT_EQ(displayMode(), desktop);
  EXPECT_EQ(capsOf(kvFramework.back) & (DDSCAPS_OFFSCREENPLAIN | DDSCAPS_BACKBUFFER),
            DWORD(DDSCAPS_OFFSCREENPLAIN));
  EXPECT_EQ(kvFramework.renderTarget, kvFramework.back);
  RECT windowAfter{};
  GetWindowRect(kvFramework.window, &windowAfter);
  EXPECT_EQ(corners(windowAfter), corners(windowBefore));
  EXPECT_EQ(corners(kvWindow.rect), corners(windowBefore));
  texturesIntact("windowed again");
  EXPECT_EQ(kv::ddraw::testing::liveSurfaces(), windowedSurfaces);
  ASSERT_EQ(kvClear(0, 0, 255), 0);
  EXPECT_EQ(kvFwShowFrame(&kvFramework, 1), 0);
  EXPECT_TRUE(kv::headless::messageBoxes().empty());
}

}  // namespace
