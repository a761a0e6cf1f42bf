// The DirectDraw stand-in. How the kit finds it: the module, its exports, the
// one driver, the object's faces, reference counts and display modes.
// Surfaces: lock and pitch, blit and flip into the screen, loss and restore,
// attachments, palettes and the reference counts teardown relies on.
#include <algorithm>
#include <tuple>
#include <vector>

#include "tests/ddraw/fixture.h"

namespace kv::testing {
namespace {

using DirectDrawModule = DirectDrawTest;

TEST_F(DirectDrawModule, OffersOnlyThePrimaryDisplayDriverThroughDdrawDll) {
  std::vector<std::string> drivers;  // descriptions; empty for a driver with a GUID
  auto collect = [](GUID* guid, LPSTR description, LPSTR, LPVOID list, HMONITOR) -> BOOL {
    static_cast<std::vector<std::string>*>(list)->push_back(guid != nullptr ? "" : description);
    return TRUE;
  };
  const DWORD everyKind =
      DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES | DDENUM_NONDISPLAYDEVICES;
  ASSERT_EQ(DirectDrawEnumerateExA(collect, &drivers, everyKind), DD_OK);
  ASSERT_EQ(drivers.size(), 1u);
  EXPECT_NE(drivers[0], "");
  DDCAPS hw{}, hel{};
  hw.dwSize = hel.dwSize = sizeof(DDCAPS);
  ASSERT_EQ(dd->GetCaps(&hw, &hel), DD_OK);
  EXPECT_TRUE(hw.dwCaps2 & DDCAPS2_CANRENDERWINDOWED);
  hw.dwSize = 100;
  EXPECT_EQ(dd->GetCaps(&hw, nullptr), DDERR_INVALIDPARAMS);
  GUID zero{}, other = IID_IDirect3DRGBDevice;
  LPDIRECTDRAW object = nullptr;
  ASSERT_EQ(DirectDrawCreate(&zero, &object, nullptr), DD_OK);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(DirectDrawCreate(&other, &object, nullptr), DDERR_INVALIDPARAMS);
  EXPECT_EQ(object, nullptr);

  const HMODULE module = GetModuleHandleA("ddraw.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetModuleHandleA("D3DIM.DLL"), nullptr);
  EXPECT_EQ(GetModuleHandleA(nullptr), nullptr);
  // The kit looks up only the extended enumeration; it links the rest.
  EXPECT_EQ(GetProcAddress(module, "DirectDrawEnumerateExA"),
            reinterpret_cast<FARPROC>(&DirectDrawEnumerateExA));
  EXPECT_EQ(GetProcAddress(module, "DirectDrawEnumerateW"), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "DirectDrawCreate"), nullptr);
  // The hooks give the kit's fall-back and failure paths something to find.
  ddraw::testing::exports().enumerateEx = false;
  EXPECT_EQ(GetProcAddress(module, "DirectDrawEnumerateExA"), nullptr);
  EXPECT_NE(GetProcAddress(module, "DirectDrawEnumerateA"), nullptr);
  ddraw::testing::exports().moduleLoaded = false;
  EXPECT_EQ(GetModuleHandleA("DDRAW.DLL"), nullptr);
}

TEST_F(DirectDrawModule, FacesShareOneCountAndReportTheDesktopModeInTheirRecordSize) {
  DDSURFACEDESC2 mode = describe(0);
  ASSERT_EQ(dd->GetDisplayMode(&mode), DD_OK);
  EXPECT_EQ(std::tie(mode.dwWidth, mode.dwHeight, mode.ddpfPixelFormat.dwRGBBitCount,
                     mode.ddpfPixelFormat.dwRBitMask),
            std::make_tuple(1024u, 768u, 16u, 0xF800u));

  LPDIRECTDRAW first = nullptr;
  ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw, reinterpret_cast<void**>(&first)), DD_OK);
  DDSURFACEDESC old{};
  old.dwSize = sizeof old;
  ASSERT_EQ(first->GetDisplayMode(&old), DD_OK);
  EXPECT_EQ(std::tie(old.dwWidth, old.ddpfPixelFormat.dwRGBBitCount), std::make_tuple(1024u, 16u));
  old.dwSize = sizeof(DDSURFACEDESC2);  // the larger record does not fit the old one
  EXPECT_EQ(first->GetDisplayMode(&old), DDERR_INVALIDPARAMS);
  EXPECT_EQ(first->Release(), 1u);  // one count whichever face is used

  // The Direct3D face keeps the DirectDraw object alive until it goes.
  LPDIRECT3D3 d3d = nullptr;
  ASSERT_EQ(dd->QueryInterface(IID_IDirect3D3, reinterpret_cast<void**>(&d3d)), DD_OK);
  EXPECT_EQ(dd->AddRef(), 3u);
  EXPECT_EQ(dd->Release(), 2u);
  EXPECT_EQ(d3d->Release(), 0u);
  void* unknown = nullptr;
  EXPECT_EQ(dd->QueryInterface(IID_IDirectDrawClipper, &unknown), E_NOINTERFACE);
  EXPECT_EQ(unknown, nullptr);

  headless::setDesktopMode({800, 600, 8, 60});
  ASSERT_EQ(dd->GetDisplayMode(&mode), DD_OK);
  EXPECT_EQ(mode.ddpfPixelFormat.dwRGBBitCount, 8u);
  EXPECT_TRUE(mode.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8);
}

TEST_F(DirectDrawModule, ModesIncludeVga16AndTheDesktopDepth) {
  using Mode = std::tuple<DWORD, DWORD, DWORD>;  // width, height, bits
  std::vector<Mode> modes;
  auto collect = [](LPDDSURFACEDESC2 m, LPVOID list) -> HRESULT {
    static_cast<std::vector<Mode>*>(list)->emplace_back(m->dwWidth, m->dwHeight,
                                                        m->ddpfPixelFormat.dwRGBBitCount);
    return DDENUMRET_OK;
  };
  ASSERT_EQ(dd->EnumDisplayModes(0, nullptr, &modes, collect), DD_OK);
  for (Mode wanted : {Mode{640, 480, 16}, Mode{1024, 768, 16}})
    EXPECT_NE(std::find(modes.begin(), modes.end(), wanted), modes.end()) << std::get<0>(wanted);

  // A filter narrows the list; a callback's cancel ends it.
  DDSURFACEDESC2 filter = describe(0);
  filter.dwFlags = DDSD_PIXELFORMAT;
  filter.ddpfPixelFormat.dwRGBBitCount = 32;
  modes.clear();
  ASSERT_EQ(dd->EnumDisplayModes(0, &filter, &modes, collect), DD_OK);
  ASSERT_FALSE(modes.empty());
  for (const Mode& m : modes) EXPECT_EQ(std::get<2>(m), 32u);
  int calls = 0;
  dd->EnumDisplayModes(0, nullptr, &calls, [](LPDDSURFACEDESC2, LPVOID c) -> HRESULT {
    ++*static_cast<int*>(c);
    return DDENUMRET_CANCEL;
  });
  EXPECT_EQ(calls, 1);
}

TEST_F(DirectDrawModule, SetsAndRestoresTheDisplayMode) {
  EXPECT_EQ(dd->SetCooperativeLevel(kWindow, DDSCL_NORMAL | DDSCL_FPUSETUP), DD_OK);
  // Contradictory cooperative levels are refused.
  EXPECT_EQ(dd->SetCooperativeLevel(kWindow, DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE),
            DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->SetCooperativeLevel(kWindow, DDSCL_NORMAL | DDSCL_FULLSCREEN), DDERR_INVALIDPARAMS);
  ASSERT_EQ(dd->SetCooperativeLevel(
                kWindow, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWREBOOT | DDSCL_FPUSETUP),
            DD_OK);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  EXPECT_EQ(host::current().desktopMode(), (host::DisplayMode{640, 480, 16, 60}));
  EXPECT_EQ(dd->SetDisplayMode(641, 480, 16, 0, 0), DDERR_INVALIDMODE);
  EXPECT_EQ(dd->RestoreDisplayMode(), DD_OK);
  EXPECT_EQ(host::current().desktopMode().width, 1024u);

  // Releasing an object that changed the mode gives the desktop back too.
  EXPECT_EQ(dd->SetDisplayMode(800, 600, 32, 0, 0), DD_OK);
  EXPECT_EQ(dd->Release(), 0u);
  dd = nullptr;
  EXPECT_EQ(host::current().desktopMode(), (host::DisplayMode{1024, 768, 16, 60}));
}

using Surfaces = DirectDrawTest;

TEST_F(Surfaces, LockHandsOutAddressPitchAndFormat) {
  LPDIRECTDRAWSURFACE4 s = offscreen(10, 3);
  DDSURFACEDESC2 desc;
  auto* base = lock(s, desc);
  ASSERT_NE(base, nullptr);
  // The desktop's format; rows are padded, so callers must step by the pitch.
  EXPECT_EQ(std::tie(desc.dwWidth, desc.dwHeight, desc.ddpfPixelFormat.dwRGBBitCount),
            std::make_tuple(10u, 3u, 16u));
  EXPECT_TRUE(desc.dwFlags & DDSD_PITCH);
  EXPECT_GT(desc.lPitch, 20);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 10; ++x)
      reinterpret_cast<uint16_t*>(base + y * desc.lPitch)[x] = 100 * y + x;
  EXPECT_EQ(s->Lock(nullptr, &desc, 0, nullptr), DDERR_SURFACEBUSY);
  EXPECT_EQ(s->Unlock(nullptr), DD_OK);
  EXPECT_EQ(s->Unlock(nullptr), DDERR_NOTLOCKED);
  EXPECT_EQ(pixel(s, 9, 2), 209u);

  // A rectangle lock points at its corner; one outside the surface is refused.
  RECT corner{4, 1, 10, 3}, outside{4, 1, 11, 3};
  ASSERT_EQ(s->Lock(&corner, &desc, 0, nullptr), DD_OK);
  EXPECT_EQ(*static_cast<uint16_t*>(desc.lpSurface), 104u);
  s->Unlock(nullptr);
  EXPECT_EQ(s->Lock(&outside, &desc, 0, nullptr), DDERR_INVALIDRECT);
  desc.dwSize = 108;
  EXPECT_EQ(s->Lock(nullptr, &desc, 0, nullptr), DDERR_INVALIDPARAMS);
  EXPECT_EQ(s->Release(), 0u);
}

TEST_F(Surfaces, TextureFormatsAndTheTextureFace) {
  DDSURFACEDESC2 desc = describe(DDSCAPS_TEXTURE, 64, 32);
  desc.dwFlags |= DDSD_PIXELFORMAT | DDSD_TEXTURESTAGE;
  desc.ddsCaps.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
  desc.ddpfPixelFormat = d3d::testing::argb1555Format();
  LPDIRECTDRAWSURFACE4 texture = create(desc);
  ASSERT_NE(texture, nullptr);
  LPDIRECT3DTEXTURE2 face = nullptr;
  ASSERT_EQ(texture->QueryInterface(IID_IDirect3DTexture2, reinterpret_cast<void**>(&face)), DD_OK);
  DDPIXELFORMAT format{};
  texture->GetPixelFormat(&format);
  EXPECT_EQ(format.dwRGBAlphaBitMask, 0x8000u);
  // Both faces share one count: the object goes with the last release.
  EXPECT_EQ(texture->Release(), 1u);
  EXPECT_EQ(face->Release(), 0u);
  LPDIRECTDRAWSURFACE4 plain = offscreen(8, 8);
  EXPECT_EQ(plain->QueryInterface(IID_IDirect3DTexture2, reinterpret_cast<void**>(&face)),
            E_NOINTERFACE);
  plain->Release();

  // Formats no surface can hold are refused, as are sizes beyond reason, and
  // failures the kit must survive can be forced.
  LPDIRECTDRAWSURFACE4 refused = nullptr;
  desc.ddpfPixelFormat.dwRGBBitCount = 24;
  EXPECT_EQ(dd->CreateSurface(&desc, &refused, nullptr), DDERR_INVALIDPIXELFORMAT);
  desc.ddpfPixelFormat.dwRGBBitCount = 16;
  desc.dwWidth = 100000;
  EXPECT_EQ(dd->CreateSurface(&desc, &refused, nullptr), DDERR_INVALIDPARAMS);
  EXPECT_EQ(refused, nullptr);
  ddraw::testing::failCreateSurface(DDSCAPS_ZBUFFER, DDERR_OUTOFVIDEOMEMORY);
  desc = describe(DDSCAPS_ZBUFFER, 8, 8);
  EXPECT_EQ(dd->CreateSurface(&desc, &refused, nullptr), DDERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(refused, nullptr);
  offscreen(8, 8)->Release();
}

TEST_F(Surfaces, WindowedBltPresentsTheBackBufferInTheClientArea) {
  ASSERT_EQ(dd->SetCooperativeLevel(kWindow, DDSCL_NORMAL), DD_OK);
  LPDIRECTDRAWSURFACE4 front = create(describe(DDSCAPS_PRIMARYSURFACE));
  LPDIRECTDRAWCLIPPER clipper = nullptr;
  ASSERT_EQ(dd->CreateClipper(0, &clipper, nullptr), DD_OK);
  ASSERT_EQ(clipper->SetHWnd(0, kWindow), DD_OK);
  ASSERT_EQ(front->SetClipper(clipper), DD_OK);
  EXPECT_EQ(clipper->Release(), 1u);  // the front keeps it
  LPDIRECTDRAWSURFACE4 back = offscreen(64, 48, DDSCAPS_3DDEVICE);
  RECT left{0, 0, 32, 48};
  ASSERT_EQ(fill(back, 0xF800), DD_OK);
  ASSERT_EQ(fill(back, 0x001F, &left), DD_OK);

  const int64_t before = headless::presentedFrameCount();
  RECT screen{100, 50, 164, 98}, viewport{0, 0, 64, 48};
  ASSERT_EQ(front->Blt(&screen, back, &viewport, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(headless::presentedFrameCount(), before + 1);
  const headless::Frame* frame = &headless::lastFrame();  // read again after each present
  ASSERT_EQ(std::tie(frame->width, frame->height), std::make_tuple(64, 48));
  EXPECT_EQ(std::tie(frame->rgb[0], frame->rgb[63]), std::make_tuple(0x0000FFu, 0xFF0000u));
  EXPECT_EQ(std::make_tuple(pixel(front, 100, 50), pixel(front, 163, 97)),
            std::make_tuple(0x001Fu, 0xF800u));

  // The clipper cuts a window hanging off the desktop to what is visible, and
  // even an absurd rectangle is only cut, never read or written beyond the surfaces.
  RECT hanging{1000, 760, 1064, 808}, absurd{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  ASSERT_EQ(front->Blt(&hanging, back, &viewport, DDBLT_WAIT, nullptr), DD_OK);
  frame = &headless::lastFrame();
  EXPECT_EQ(std::tie(frame->width, frame->height), std::make_tuple(24, 8));
  ASSERT_EQ(front->Blt(&absurd, back, &viewport, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(headless::lastFrame().width, 1024);
  // Without one, a destination must fit; a source always must.
  EXPECT_EQ(back->Blt(&hanging, front, nullptr, 0, nullptr), DDERR_INVALIDRECT);
  RECT tooBig{0, 0, 65, 48};
  EXPECT_EQ(front->Blt(&screen, back, &tooBig, 0, nullptr), DDERR_INVALIDRECT);
  back->Release();
  EXPECT_EQ(front->Release(), 0u);
}

TEST_F(Surfaces, BltStretchesConvertsAndKeys) {
  LPDIRECTDRAWSURFACE4 source = offscreen(2, 1), wide = offscreen(8, 2);
  RECT right{1, 0, 2, 1};
  fill(source, 0x07E0);
  fill(source, 0x0000, &right);
  fill(wide, 0x001F);
  ASSERT_EQ(wide->Blt(nullptr, source, nullptr, 0, nullptr), DD_OK);
  EXPECT_EQ(std::make_tuple(pixel(wide, 3, 1), pixel(wide, 4, 0)),
            std::make_tuple(0x07E0u, 0x0000u));

  // With the source key black, black source texels leave the destination.
  fill(wide, 0x001F);
  EXPECT_EQ(wide->Blt(nullptr, source, nullptr, DDBLT_KEYSRC, nullptr), DDERR_NOCOLORKEY);
  DDCOLORKEY black{0, 0};
  ASSERT_EQ(source->SetColorKey(DDCKEY_SRCBLT, &black), DD_OK);
  ASSERT_EQ(wide->Blt(nullptr, source, nullptr, DDBLT_KEYSRC, nullptr), DD_OK);
  EXPECT_EQ(std::make_tuple(pixel(wide, 1, 0), pixel(wide, 6, 0)),
            std::make_tuple(0x07E0u, 0x001Fu));

  // 16-bit pixels widen into a 32-bit surface.
  LPDIRECTDRAWSURFACE4 deep = create(DDSCAPS_OFFSCREENPLAIN, 2, 1, xrgb8888());
  ASSERT_EQ(deep->Blt(nullptr, source, nullptr, 0, nullptr), DD_OK);
  EXPECT_EQ(pixel(deep, 0, 0) & 0xFFFFFF, 0x00FF00u);
  for (auto s : {deep, wide, source}) s->Release();
}

TEST_F(Surfaces, FullScreenFlipChainShowsTheBackBuffer) {
  DDSURFACEDESC2 desc =
      describe(DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
  desc.dwFlags |= DDSD_BACKBUFFERCOUNT;
  desc.dwBackBufferCount = 1;
  const DDSURFACEDESC2 chain = desc;
  LPDIRECTDRAWSURFACE4 front = nullptr, back = nullptr;
  // A flip chain needs the screen to itself.
  EXPECT_EQ(dd->CreateSurface(&desc, &front, nullptr), DDERR_NOEXCLUSIVEMODE);
  ASSERT_EQ(dd->SetCooperativeLevel(kWindow, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  front = create(desc);
  ASSERT_NE(front, nullptr);
  DDSCAPS2 backCaps{DDSCAPS_BACKBUFFER, 0, 0, 0};
  ASSERT_EQ(front->GetAttachedSurface(&backCaps, &back), DD_OK);
  back->GetSurfaceDesc(&desc);
  EXPECT_EQ(desc.dwWidth, 640u);
  EXPECT_TRUE(desc.ddsCaps.dwCaps & DDSCAPS_3DDEVICE);

  fill(back, 0xFFFF);
  ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_EQ(std::make_tuple(pixel(front, 5, 5), pixel(back, 5, 5)),
            std::make_tuple(0xFFFFu, 0x0000u));
  const headless::Frame& frame = headless::lastFrame();
  EXPECT_EQ(std::tie(frame.width, frame.rgb[0]), std::make_tuple(640, 0xFFFFFFu));
  EXPECT_EQ(back->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);
  // Back to the buffer the chain started with, as before a dialog; twice is harmless.
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(dd->FlipToGDISurface(), DD_OK);
    EXPECT_EQ(pixel(front, 5, 5), 0x0000u);
  }

  // The front takes its chain with it. A back buffer still held lives on as a
  // husk that answers "lost" until given back, so either order of release is
  // safe; given back first, the chain's own reference keeps it until the front
  // goes, and it is freed once.
  EXPECT_EQ(front->Release(), 0u);
  EXPECT_EQ(back->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(back->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);
  EXPECT_EQ(ddraw::testing::liveSurfaces(), 1);
  EXPECT_EQ(back->Release(), 0u);
  EXPECT_EQ(ddraw::testing::liveSurfaces(), 0);
  front = create(chain);
  ASSERT_EQ(front->GetAttachedSurface(&backCaps, &back), DD_OK);
  EXPECT_EQ(back->Release(), 1u);
  EXPECT_EQ(fill(back, 0xFFFF), DD_OK);
  EXPECT_EQ(front->Release(), 0u);
  EXPECT_EQ(ddraw::testing::liveSurfaces(), 0);
}

TEST_F(Surfaces, LostSurfacesRefuseWorkUntilRestoredAndOutliveTheirMaker) {
  LPDIRECTDRAWSURFACE4 s = offscreen(8, 8), t = offscreen(8, 8);
  ddraw::testing::loseAllSurfaces();
  EXPECT_EQ(s->IsLost(), DDERR_SURFACELOST);
  DDSURFACEDESC2 desc;
  EXPECT_EQ(lock(s, desc), nullptr);
  EXPECT_EQ(fill(s, 0), DDERR_SURFACELOST);
  EXPECT_EQ(t->Restore(), DD_OK);
  EXPECT_EQ(t->Blt(nullptr, s, nullptr, 0, nullptr), DDERR_SURFACELOST);
  EXPECT_EQ(s->Restore(), DD_OK);
  EXPECT_EQ(s->IsLost(), DD_OK);
  EXPECT_EQ(t->Blt(nullptr, s, nullptr, 0, nullptr), DD_OK);

  // A display mode change loses the screen; it comes back only in its own mode.
  ASSERT_EQ(dd->SetCooperativeLevel(kWindow, DDSCL_NORMAL), DD_OK);
  LPDIRECTDRAWSURFACE4 front = create(describe(DDSCAPS_PRIMARYSURFACE));
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  EXPECT_EQ(front->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(front->Restore(), DDERR_WRONGMODE);
  dd->RestoreDisplayMode();
  EXPECT_EQ(front->Restore(), DD_OK);
  for (auto x : {front, t}) x->Release();

  // GetDDInterface leads back to the maker; a surface that outlives it is a
  // husk, not a dangling pointer.
  void* maker = nullptr;
  ASSERT_EQ(s->GetDDInterface(&maker), DD_OK);
  EXPECT_EQ(maker, static_cast<void*>(dd));
  EXPECT_EQ(static_cast<LPDIRECTDRAW4>(maker)->Release(), 1u);
  EXPECT_EQ(dd->Release(), 0u);
  dd = nullptr;
  EXPECT_EQ(s->GetDDInterface(&maker), DDERR_INVALIDOBJECT);
  EXPECT_EQ(s->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(s->Release(), 0u);
}

TEST_F(Surfaces, AZBufferAttachesOnceAndGoesWithItsTarget) {
  LPDIRECTDRAWSURFACE4 target = offscreen(64, 48, DDSCAPS_3DDEVICE), z = zBuffer(64, 48);
  ASSERT_NE(z, nullptr);
  ASSERT_EQ(target->AddAttachedSurface(z), DD_OK);
  EXPECT_EQ(target->AddAttachedSurface(z), DDERR_SURFACEALREADYATTACHED);
  for (LPDIRECTDRAWSURFACE4 unfit : {offscreen(64, 48), zBuffer(32, 48)}) {
    EXPECT_EQ(target->AddAttachedSurface(unfit), DDERR_CANNOTATTACHSURFACE);
    unfit->Release();
  }
  DDSCAPS2 zCaps{DDSCAPS_ZBUFFER, 0, 0, 0};
  LPDIRECTDRAWSURFACE4 found = nullptr;
  ASSERT_EQ(target->GetAttachedSurface(&zCaps, &found), DD_OK);
  EXPECT_EQ(found, z);
  EXPECT_EQ(found->Release(), 2u);  // the caller's and the target's
  // The teardown order of the framework: z released while still attached.
  EXPECT_EQ(z->Release(), 1u);
  EXPECT_EQ(target->Release(), 0u);
  EXPECT_EQ(ddraw::testing::liveSurfaces(), 0);

  // Detaching gives the reference back.
  target = offscreen(64, 48, DDSCAPS_3DDEVICE);
  z = zBuffer(64, 48);
  target->AddAttachedSurface(z);
  EXPECT_EQ(target->DeleteAttachedSurface(0, z), DD_OK);
  EXPECT_EQ(target->DeleteAttachedSurface(0, z), DDERR_SURFACENOTATTACHED);
  EXPECT_EQ(z->Release(), 0u);
  EXPECT_EQ(target->Release(), 0u);
}

TEST_F(Surfaces, PalettesAttachToPalettizedSurfacesOnly) {
  PALETTEENTRY entries[256] = {}, read[2] = {};
  entries[5] = {10, 20, 30, 0};
  LPDIRECTDRAWPALETTE palette = nullptr, refused = nullptr, attached = nullptr;
  ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr), DD_OK);
  EXPECT_EQ(dd->CreatePalette(DDPCAPS_8BIT, nullptr, &refused, nullptr), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->CreatePalette(0, entries, &refused, nullptr), DDERR_INVALIDPARAMS);

  LPDIRECTDRAWSURFACE4 indexed = create(DDSCAPS_TEXTURE, 8, 8, d3d::testing::palette8Format());
  ASSERT_EQ(indexed->SetPalette(palette), DD_OK);
  EXPECT_EQ(palette->Release(), 1u);  // the surface holds its own
  ASSERT_EQ(indexed->GetPalette(&attached), DD_OK);
  ASSERT_EQ(attached->GetEntries(0, 4, 2, read), DD_OK);
  EXPECT_EQ(read[1].peGreen, 20);
  EXPECT_EQ(attached->GetEntries(0, 255, 2, read), DDERR_INVALIDPARAMS);
  LPDIRECTDRAWSURFACE4 rgb = offscreen(8, 8);
  EXPECT_EQ(rgb->SetPalette(attached), DDERR_NOTPALETTIZED);
  attached->Release();
  rgb->Release();
  EXPECT_EQ(indexed->Release(), 0u);
}

}  // namespace
}  // namespace kv::testing
