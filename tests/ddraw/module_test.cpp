// How the kit finds DirectDraw: the module, its exports, the one driver, and
// the DirectDraw object's identities, reference counts and display modes.
#include <vector>

#include "tests/ddraw/fixture.h"

namespace kv::testing {
namespace {

using DirectDrawModule = DirectDrawTest;

TEST_F(DirectDrawModule, AnswersOnlyForDdrawDll) {
  const HMODULE module = GetModuleHandleA("ddraw.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetModuleHandleA("D3DIM.DLL"), nullptr);
  EXPECT_EQ(GetModuleHandleA(nullptr), nullptr);
  EXPECT_EQ(GetProcAddress(module, "DirectDrawCreate"), reinterpret_cast<FARPROC>(&DirectDrawCreate));
  EXPECT_EQ(GetProcAddress(module, "DirectDrawEnumerateExA"),
            reinterpret_cast<FARPROC>(&DirectDrawEnumerateExA));
  EXPECT_EQ(GetProcAddress(module, "DirectDrawEnumerateA"),
            reinterpret_cast<FARPROC>(&DirectDrawEnumerateA));
  EXPECT_EQ(GetProcAddress(module, "DirectDrawEnumerateW"), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "DirectDrawCreate"), nullptr);

  // The hooks give the kit's fall-back and failure paths something to find.
  ddraw::testing::exports().enumerateEx = false;
  EXPECT_EQ(GetProcAddress(module, "DirectDrawEnumerateExA"), nullptr);
  EXPECT_NE(GetProcAddress(module, "DirectDrawEnumerateA"), nullptr);
  ddraw::testing::exports().moduleLoaded = false;
  EXPECT_EQ(GetModuleHandleA("DDRAW.DLL"), nullptr);
}

TEST_F(DirectDrawModule, ListsAndCreatesOnlyThePrimaryDisplayDriver) {
  struct Driver {
    bool hasGuid;
    std::string description;
  };
  std::vector<Driver> drivers;
  auto collect = [](GUID* guid, LPSTR description, LPSTR, LPVOID context, HMONITOR) -> BOOL {
    static_cast<std::vector<Driver>*>(context)->push_back({guid != nullptr, description});
    return TRUE;
  };
  ASSERT_EQ(DirectDrawEnumerateExA(collect, &drivers, DDENUM_ATTACHEDSECONDARYDEVICES |
                                                          DDENUM_DETACHEDSECONDARYDEVICES |
                                                          DDENUM_NONDISPLAYDEVICES),
            DD_OK);
  ASSERT_EQ(drivers.size(), 1u);
  EXPECT_FALSE(drivers[0].hasGuid);
  EXPECT_FALSE(drivers[0].description.empty());

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
}

TEST_F(DirectDrawModule, CountsReferencesAcrossItsFaces) {
  // One count for the object whichever face is used; Release answers it.
  EXPECT_EQ(dd->AddRef(), 2u);
  EXPECT_EQ(dd->Release(), 1u);
  LPDIRECT3D3 d3d = nullptr;
  ASSERT_EQ(dd->QueryInterface(IID_IDirect3D3, reinterpret_cast<void**>(&d3d)), DD_OK);
  // The Direct3D face keeps the DirectDraw object alive until it goes.
  EXPECT_EQ(dd->AddRef(), 3u);
  EXPECT_EQ(dd->Release(), 2u);
  EXPECT_EQ(d3d->Release(), 0u);
  void* unknown = nullptr;
  EXPECT_EQ(dd->QueryInterface(IID_IDirectDrawClipper, &unknown), E_NOINTERFACE);
  EXPECT_EQ(unknown, nullptr);
}

TEST_F(DirectDrawModule, ReportsTheDesktopModeInBothRecordSizes) {
  DDSURFACEDESC2 mode{};
  mode.dwSize = sizeof mode;
  ASSERT_EQ(dd->GetDisplayMode(&mode), DD_OK);
  EXPECT_EQ(mode.dwWidth, 1024u);
  EXPECT_EQ(mode.dwHeight, 768u);
  EXPECT_EQ(mode.ddpfPixelFormat.dwRGBBitCount, 16u);
  EXPECT_EQ(mode.ddpfPixelFormat.dwRBitMask, 0xF800u);

  LPDIRECTDRAW first = nullptr;
  ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw, reinterpret_cast<void**>(&first)), DD_OK);
  DDSURFACEDESC old{};
  old.dwSize = sizeof old;
  ASSERT_EQ(first->GetDisplayMode(&old), DD_OK);
  EXPECT_EQ(old.ddpfPixelFormat.dwRGBBitCount, 16u);
  EXPECT_EQ(old.dwWidth, 1024u);
  old.dwSize = sizeof(DDSURFACEDESC2);  // the larger record does not fit the old one
  EXPECT_EQ(first->GetDisplayMode(&old), DDERR_INVALIDPARAMS);
  first->Release();

  headless::setDesktopMode({800, 600, 8, 60});
  ASSERT_EQ(dd->GetDisplayMode(&mode), DD_OK);
  EXPECT_EQ(mode.ddpfPixelFormat.dwRGBBitCount, 8u);
  EXPECT_TRUE(mode.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8);
}

TEST_F(DirectDrawModule, ModesIncludeVga16AndTheDesktopDepth) {
  std::vector<DDSURFACEDESC2> modes;
  auto collect = [](LPDDSURFACEDESC2 mode, LPVOID context) -> HRESULT {
    static_cast<std::vector<DDSURFACEDESC2>*>(context)->push_back(*mode);
    return DDENUMRET_OK;
  };
  ASSERT_EQ(dd->EnumDisplayModes(0, nullptr, &modes, collect), DD_OK);
  bool vga16 = false, desktopDepth = false;
  for (const DDSURFACEDESC2& m : modes) {
    vga16 |= m.dwWidth == 640 && m.dwHeight == 480 && m.ddpfPixelFormat.dwRGBBitCount == 16;
    desktopDepth |= m.dwWidth == 1024 && m.ddpfPixelFormat.dwRGBBitCount == 16;
  }
  EXPECT_TRUE(vga16);
  EXPECT_TRUE(desktopDepth);

  // A filter narrows the list; a callback's cancel ends it.
  DDSURFACEDESC2 filter = describe(0, 0, 0, nullptr);
  filter.dwFlags = DDSD_PIXELFORMAT;
  filter.ddpfPixelFormat.dwRGBBitCount = 32;
  modes.clear();
  ASSERT_EQ(dd->EnumDisplayModes(0, &filter, &modes, collect), DD_OK);
  ASSERT_FALSE(modes.empty());
  for (const DDSURFACEDESC2& m : modes) EXPECT_EQ(m.ddpfPixelFormat.dwRGBBitCount, 32u);
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
  EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->SetCooperativeLevel(kWindow, DDSCL_NORMAL | DDSCL_FULLSCREEN), DDERR_INVALIDPARAMS);
  ASSERT_EQ(dd->SetCooperativeLevel(kWindow, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWREBOOT |
                                                 DDSCL_FPUSETUP),
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

}  // namespace
}  // namespace kv::testing
