// The DirectDraw object, clippers, palettes, pixel formats and the entry
// points of "DDRAW.DLL". One driver exists: the primary display driver of the
// current host, which can render in a window.
#include "platform/ddraw/ddraw.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/ddraw/ddraw_testing.h"
#include "platform/ddraw/objects.h"
#include "platform/host/host.h"
#include "platform/win/module.h"

const GUID IID_IDirectDraw = {
    0x6C14DB80, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID IID_IDirectDraw4 = {
    0x9C59509A, 0x39BD, 0x11D1, {0x8C, 0x4A, 0x00, 0xC0, 0x4F, 0xD9, 0x30, 0xC5}};
const GUID IID_IDirectDrawSurface4 = {
    0x0B2B8630, 0xAD35, 0x11D0, {0x8E, 0xA6, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};
const GUID IID_IDirectDrawClipper = {
    0x6C14DB85, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID IID_IDirectDrawPalette = {
    0x6C14DB84, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID IID_IDirect3DTexture2 = {
    0x93281502, 0x8CF8, 0x11D0, {0x89, 0xAB, 0x00, 0xA0, 0xC9, 0x05, 0x41, 0x29}};

namespace kv::ddraw {

namespace {

int liveDirectDraws = 0;

testing::Exports& exportState() {
  static testing::Exports state;
  return state;
}

struct CreateFailure {
  DWORD caps = 0;
  HRESULT result = DD_OK;
};
CreateFailure createFailure;

DDPIXELFORMAT rgbFormat(DWORD flags, uint32_t bits, DWORD r, DWORD g, DWORD b, DWORD a) {
  DDPIXELFORMAT f{};
  f.dwSize = sizeof f;
  f.dwFlags = flags;
  f.dwRGBBitCount = bits;
  f.dwRBitMask = r;
  f.dwGBitMask = g;
  f.dwBBitMask = b;
  f.dwRGBAlphaBitMask = a;
  return f;
}

// The host's modes with the depths a display can have, plus 640 x 480 x 16,
// which every host can show by converting.
std::vector<host::DisplayMode> displayModes() {
  std::vector<host::DisplayMode> modes = host::current().displayModes();
  std::erase_if(modes, [](const host::DisplayMode& m) {
    return m.bitCount != 8 && m.bitCount != 16 && m.bitCount != 32;
  });
  const bool has640 = std::any_of(modes.begin(), modes.end(), [](const host::DisplayMode& m) {
    return m.width == 640 && m.height == 480 && m.bitCount == 16;
  });
  if (!has640) modes.push_back({640, 480, 16, 60});
  return modes;
}

void describeMode(const host::DisplayMode& mode, DDSURFACEDESC2& desc) {
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
  desc.dwWidth = mode.width;
  desc.dwHeight = mode.height;
  desc.lPitch = static_cast<LONG>(mode.width * (mode.bitCount / 8));
  desc.dwRefreshRate = mode.refreshRate;
  desc.ddpfPixelFormat = displayFormat(mode.bitCount);
}

}  // namespace

// ---------------------------------------------------------------------------
// Pixel formats

DDPIXELFORMAT displayFormat(uint32_t bitCount) {
  if (bitCount == 8) return rgbFormat(DDPF_RGB | DDPF_PALETTEINDEXED8, 8, 0, 0, 0, 0);
  if (bitCount == 16) return rgb565Format();
  return rgbFormat(DDPF_RGB, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0);
}
DDPIXELFORMAT paletteFormat8() { return rgbFormat(DDPF_RGB | DDPF_PALETTEINDEXED8, 8, 0, 0, 0, 0); }
DDPIXELFORMAT argb1555Format() {
  return rgbFormat(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x7C00, 0x03E0, 0x001F, 0x8000);
}
DDPIXELFORMAT argb4444Format() {
  return rgbFormat(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x0F00, 0x00F0, 0x000F, 0xF000);
}
DDPIXELFORMAT rgb565Format() { return rgbFormat(DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0); }
DDPIXELFORMAT depthFormat(uint32_t bitDepth) {
  const DWORD mask = bitDepth >= 32 ? 0xFFFFFFFFu : (1u << bitDepth) - 1;
  return rgbFormat(DDPF_ZBUFFER, bitDepth, 0, mask, 0, 0);
}

bool sameFormat(const DDPIXELFORMAT& a, const DDPIXELFORMAT& b) {
  return a.dwFlags == b.dwFlags && a.dwRGBBitCount == b.dwRGBBitCount &&
         a.dwRBitMask == b.dwRBitMask && a.dwGBitMask == b.dwGBitMask &&
         a.dwBBitMask == b.dwBBitMask && a.dwRGBAlphaBitMask == b.dwRGBAlphaBitMask;
}

uint32_t bytesPerPixel(const DDPIXELFORMAT& format) {
  if (format.dwFlags & DDPF_ZBUFFER)
    return format.dwZBufferBitDepth >= 8 && format.dwZBufferBitDepth <= 32 ? 4 : 0;
  if (format.dwFlags & (DDPF_FOURCC | DDPF_YUV | DDPF_LUMINANCE | DDPF_BUMPDUDV)) return 0;
  if (format.dwFlags & DDPF_PALETTEINDEXED8) return format.dwRGBBitCount == 8 ? 1 : 0;
  if (!(format.dwFlags & DDPF_RGB)) return 0;
  if (format.dwRGBBitCount == 16) return 2;
  if (format.dwRGBBitCount == 32) return 4;
  return 0;
}

// ---------------------------------------------------------------------------
// Clipper

HRESULT Clipper::GetHWnd(HWND* window) {
  if (window == nullptr) return DDERR_INVALIDPARAMS;
  *window = window_;
  return DD_OK;
}

HRESULT Clipper::SetHWnd(DWORD flags, HWND window) {
  if (flags != 0) return DDERR_INVALIDPARAMS;
  window_ = window;
  return DD_OK;
}

// ---------------------------------------------------------------------------
// Palette

Palette::Palette(DWORD caps, const PALETTEENTRY* entries, uint32_t count)
    : caps_(caps), count_(count) {
  SetEntries(0, 0, count, const_cast<PALETTEENTRY*>(entries));
}

HRESULT Palette::GetCaps(LPDWORD caps) {
  if (caps == nullptr) return DDERR_INVALIDPARAMS;
  *caps = caps_;
  return DD_OK;
}

bool Palette::validRange(DWORD flags, DWORD base, DWORD count, const PALETTEENTRY* entries) const {
  return entries != nullptr && flags == 0 && base <= count_ && count <= count_ - base;
}

HRESULT Palette::GetEntries(DWORD flags, DWORD base, DWORD count, LPPALETTEENTRY entries) {
  if (!validRange(flags, base, count, entries)) return DDERR_INVALIDPARAMS;
  std::copy_n(entries_.begin() + base, count, entries);
  return DD_OK;
}

HRESULT Palette::SetEntries(DWORD flags, DWORD base, DWORD count, LPPALETTEENTRY entries) {
  if (!validRange(flags, base, count, entries)) return DDERR_INVALIDPARAMS;
  for (DWORD i = 0; i < count; ++i) {
    const PALETTEENTRY& e = entries[i];
    entries_[base + i] = e;
    argb_[base + i] = 0xFF000000u | uint32_t{e.peRed} << 16 | uint32_t{e.peGreen} << 8 | e.peBlue;
  }
  return DD_OK;
}

// ---------------------------------------------------------------------------
// DirectDraw

DirectDraw::DirectDraw() { ++liveDirectDraws; }

DirectDraw::~DirectDraw() {
  // Surfaces outlive their maker only as husks that answer "lost".
  for (Surface* surface : liveSurfaces())
    if (surface->owner() == this) surface->orphan();
  // An exclusive owner gives the desktop its mode back when it goes.
  if (modeSet_) host::current().restoreDisplayMode();
  --liveDirectDraws;
}

namespace {

// Faces added by the layers above (constant-initialised: see addInterface).
struct AddedInterface {
  const GUID* iid;
  InterfaceMaker make;
};
constexpr size_t kMaxAddedInterfaces = 4;
constinit AddedInterface addedInterfaces[kMaxAddedInterfaces] = {};
constinit size_t addedInterfaceCount = 0;

}  // namespace

bool addInterface(const GUID& iid, InterfaceMaker make) {
  if (addedInterfaceCount == kMaxAddedInterfaces) return false;
  addedInterfaces[addedInterfaceCount++] = {&iid, make};
  return true;
}

HRESULT DirectDraw::queryOther(REFIID riid, void** object) {
  for (size_t i = 0; i < addedInterfaceCount; ++i)
    if (*addedInterfaces[i].iid == riid) return addedInterfaces[i].make(this, object);
  return E_NOINTERFACE;
}

void DirectDraw::describeDisplay(DDSURFACEDESC2& desc) {
  host::DisplayMode mode = host::current().desktopMode();
  // Hosts speak of 8, 16 and 32 bits; anything else is shown as 32.
  if (mode.bitCount != 8 && mode.bitCount != 16) mode.bitCount = 32;
  describeMode(mode, desc);
}

HRESULT DirectDraw::GetDisplayMode(LPDDSURFACEDESC mode) {
  if (mode == nullptr || mode->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
  DDSURFACEDESC2 full;
  describeDisplay(full);
  // The older record is the newer one up to the pixel format, and 4-byte caps.
  std::memcpy(mode, &full, offsetof(DDSURFACEDESC, ddsCaps));
  mode->dwSize = sizeof(DDSURFACEDESC);
  mode->ddsCaps.dwCaps = 0;
  return DD_OK;
}

HRESULT DirectDraw::GetDisplayMode(LPDDSURFACEDESC2 mode) {
  if (mode == nullptr || mode->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  describeDisplay(*mode);
  return DD_OK;
}

HRESULT DirectDraw::SetCooperativeLevel(HWND window, DWORD flags) {
  const DWORD mode = flags & (DDSCL_NORMAL | DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE);
  const bool normal = mode == DDSCL_NORMAL;
  const bool exclusive = mode == (DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE);
  if (!normal && !exclusive) return DDERR_INVALIDPARAMS;
  if (exclusive && window == nullptr) return DDERR_INVALIDPARAMS;
  level_ = flags;
  window_ = window;
  return DD_OK;
}

HRESULT DirectDraw::CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* clipper, IUnknown* outer) {
  if (clipper == nullptr) return DDERR_INVALIDPARAMS;
  *clipper = nullptr;
  if (outer != nullptr || flags != 0) return DDERR_INVALIDPARAMS;
  *clipper = new (std::nothrow) Clipper();
  return *clipper != nullptr ? DD_OK : DDERR_OUTOFMEMORY;
}

HRESULT DirectDraw::CreatePalette(DWORD flags, LPPALETTEENTRY entries, LPDIRECTDRAWPALETTE* palette,
                                  IUnknown* outer) {
  if (palette == nullptr) return DDERR_INVALIDPARAMS;
  *palette = nullptr;
  if (outer != nullptr || entries == nullptr) return DDERR_INVALIDPARAMS;
  uint32_t count = 0;
  if (flags & DDPCAPS_8BIT)
    count = 256;
  else if (flags & DDPCAPS_4BIT)
    count = 16;
  else
    return DDERR_INVALIDPARAMS;
  *palette = new (std::nothrow) Palette(flags, entries, count);
  return *palette != nullptr ? DD_OK : DDERR_OUTOFMEMORY;
}

HRESULT DirectDraw::CreateSurface(LPDDSURFACEDESC2 request, LPDIRECTDRAWSURFACE4* out,
                                  IUnknown* outer) {
  if (out == nullptr) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (request == nullptr || request->dwSize != sizeof(DDSURFACEDESC2) || outer != nullptr ||
      !(request->dwFlags & DDSD_CAPS))
    return DDERR_INVALIDPARAMS;
  const DWORD caps = request->ddsCaps.dwCaps;
  if (createFailure.caps & caps) return createFailure.result;

  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  desc.ddsCaps = request->ddsCaps;
  desc.dwTextureStage = request->dwTextureStage;
  const bool primary = (caps & DDSCAPS_PRIMARYSURFACE) != 0;
  const bool chain =
      primary && (request->dwFlags & DDSD_BACKBUFFERCOUNT) && request->dwBackBufferCount > 0;
  if (primary) {
    // The screen: its size and format are the display's.
    if (request->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT))
      return DDERR_INVALIDPARAMS;
    DDSURFACEDESC2 display;
    describeDisplay(display);
    desc.dwWidth = display.dwWidth;
    desc.dwHeight = display.dwHeight;
    desc.ddpfPixelFormat = display.ddpfPixelFormat;
    if (chain) {
      if (!(caps & DDSCAPS_FLIP) || !(caps & DDSCAPS_COMPLEX) || request->dwBackBufferCount > 3)
        return DDERR_INVALIDCAPS;
      if ((level_ & (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)) != (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN))
        return DDERR_NOEXCLUSIVEMODE;
    }
  } else {
    if ((request->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT))
      return DDERR_INVALIDPARAMS;
    if (request->dwWidth == 0 || request->dwHeight == 0 || request->dwWidth > 8192 ||
        request->dwHeight > 8192)
      return DDERR_INVALIDPARAMS;
    desc.dwWidth = request->dwWidth;
    desc.dwHeight = request->dwHeight;
    if (request->dwFlags & DDSD_PIXELFORMAT) {
      desc.ddpfPixelFormat = request->ddpfPixelFormat;
      desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    } else if (caps & DDSCAPS_ZBUFFER) {
      return DDERR_INVALIDPIXELFORMAT;
    } else {
      DDSURFACEDESC2 display;
      describeDisplay(display);
      desc.ddpfPixelFormat = display.ddpfPixelFormat;
    }
    const bool depth = (desc.ddpfPixelFormat.dwFlags & DDPF_ZBUFFER) != 0;
    if (depth != ((caps & DDSCAPS_ZBUFFER) != 0)) return DDERR_INVALIDPIXELFORMAT;
  }
  if (bytesPerPixel(desc.ddpfPixelFormat) == 0) return DDERR_INVALIDPIXELFORMAT;
  if (!(caps & (DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY)))
    desc.ddsCaps.dwCaps |= DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM;
  if (primary) desc.ddsCaps.dwCaps |= DDSCAPS_VISIBLE | (chain ? DDSCAPS_FRONTBUFFER : 0);

  auto* front = new (std::nothrow) Surface(this, desc);
  if (front == nullptr || !front->allocate()) {
    if (front != nullptr) front->Release();
    return DDERR_OUTOFMEMORY;
  }
  if (chain) {
    DDSURFACEDESC2 backDesc = desc;
    backDesc.dwBackBufferCount = 0;
    backDesc.ddsCaps.dwCaps &= ~(DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER | DDSCAPS_VISIBLE);
    for (DWORD i = 0; i < request->dwBackBufferCount; ++i) {
      // The first back buffer is the one flipped to next.
      if (i == 0)
        backDesc.ddsCaps.dwCaps |= DDSCAPS_BACKBUFFER;
      else
        backDesc.ddsCaps.dwCaps &= ~DDSCAPS_BACKBUFFER;
      auto* back = new (std::nothrow) Surface(this, backDesc);
      if (back == nullptr || !back->allocate()) {
        if (back != nullptr) back->Release();
        front->Release();
        return DDERR_OUTOFMEMORY;
      }
      front->adoptBackBuffer(back);
    }
  }
  *out = front;
  return DD_OK;
}

HRESULT DirectDraw::EnumDisplayModes(DWORD flags, LPDDSURFACEDESC2 filter, LPVOID context,
                                     LPDDENUMMODESCALLBACK2 callback) {
  if (callback == nullptr) return DDERR_INVALIDPARAMS;
  if (filter != nullptr && filter->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  for (const host::DisplayMode& mode : displayModes()) {
    if (filter != nullptr) {
      if ((filter->dwFlags & DDSD_WIDTH) && filter->dwWidth != mode.width) continue;
      if ((filter->dwFlags & DDSD_HEIGHT) && filter->dwHeight != mode.height) continue;
      if ((filter->dwFlags & DDSD_PIXELFORMAT) &&
          filter->ddpfPixelFormat.dwRGBBitCount != mode.bitCount)
        continue;
      if ((filter->dwFlags & DDSD_REFRESHRATE) && filter->dwRefreshRate != mode.refreshRate)
        continue;
    }
    DDSURFACEDESC2 desc;
    describeMode(mode, desc);
    if (!(flags & DDEDM_REFRESHRATES)) {
      desc.dwRefreshRate = 0;
      desc.dwFlags &= ~DDSD_REFRESHRATE;
    }
    if (callback(&desc, context) == DDENUMRET_CANCEL) break;
  }
  return DD_OK;
}

HRESULT DirectDraw::FlipToGDISurface() {
  for (Surface* surface : liveSurfaces())
    if (surface->owner() == this && (surface->caps() & DDSCAPS_FRONTBUFFER))
      return surface->showOriginal();
  return DD_OK;  // no flip chain: the desktop is already what is shown
}

HRESULT DirectDraw::GetCaps(LPDDCAPS driverCaps, LPDDCAPS helCaps) {
  if (driverCaps == nullptr && helCaps == nullptr) return DDERR_INVALIDPARAMS;
  for (LPDDCAPS caps : {driverCaps, helCaps})
    if (caps != nullptr && caps->dwSize != sizeof(DDCAPS)) return DDERR_INVALIDPARAMS;
  for (LPDDCAPS caps : {driverCaps, helCaps}) {
    if (caps == nullptr) continue;
    std::memset(caps, 0, sizeof *caps);
    caps->dwSize = sizeof *caps;
    caps->dwCaps = DDCAPS_BLT | DDCAPS_BLTCOLORFILL | DDCAPS_BLTSTRETCH | DDCAPS_COLORKEY |
                   DDCAPS_PALETTE | DDCAPS_ZBLTS;
    caps->dwCaps2 = DDCAPS2_CANRENDERWINDOWED | DDCAPS2_WIDESURFACES | DDCAPS2_NOPAGELOCKREQUIRED |
                    DDCAPS2_FLIPNOVSYNC;
    caps->dwPalCaps = DDPCAPS_8BIT | DDPCAPS_4BIT | DDPCAPS_ALLOW256;
    caps->dwZBufferBitDepths = DDBD_16 | DDBD_32;
    caps->dwVidMemTotal = caps->dwVidMemFree = 64u << 20;
    caps->ddsCaps.dwCaps = DDSCAPS_BACKBUFFER | DDSCAPS_COMPLEX | DDSCAPS_FLIP |
                           DDSCAPS_FRONTBUFFER | DDSCAPS_OFFSCREENPLAIN | DDSCAPS_PALETTE |
                           DDSCAPS_PRIMARYSURFACE | DDSCAPS_SYSTEMMEMORY | DDSCAPS_TEXTURE |
                           DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY | DDSCAPS_ZBUFFER;
    caps->ddsOldCaps.dwCaps = caps->ddsCaps.dwCaps;
  }
  return DD_OK;
}

HRESULT DirectDraw::RestoreDisplayMode() {
  if (modeSet_) host::current().restoreDisplayMode();
  modeSet_ = false;
  return DD_OK;
}

HRESULT DirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bitCount, DWORD refreshRate,
                                   DWORD flags) {
  if (flags & ~DDSDM_STANDARDVGAMODE) return DDERR_INVALIDPARAMS;
  for (const host::DisplayMode& mode : displayModes()) {
    if (mode.width != width || mode.height != height || mode.bitCount != bitCount) continue;
    if (refreshRate != 0 && mode.refreshRate != 0 && refreshRate != mode.refreshRate) continue;
    host::DisplayMode wanted = mode;
    if (!host::current().setDisplayMode(wanted)) return DDERR_INVALIDMODE;
    modeSet_ = true;
    // A mode change takes the video memory of every surface with it.
    for (Surface* surface : liveSurfaces())
      if (surface->owner() == this) surface->markLost();
    return DD_OK;
  }
  return DDERR_INVALIDMODE;
}

HRESULT DirectDraw::RestoreAllSurfaces() {
  for (Surface* surface : liveSurfaces())
    if (surface->owner() == this) surface->Restore();
  return DD_OK;
}

HRESULT DirectDraw::TestCooperativeLevel() { return DD_OK; }

// ---------------------------------------------------------------------------
// Test hooks

namespace testing {

Exports& exports() { return exportState(); }

void loseAllSurfaces() {
  for (Surface* surface : ddraw::liveSurfaces()) surface->markLost();
}

int liveSurfaces() { return static_cast<int>(ddraw::liveSurfaces().size()); }

int liveDirectDrawObjects() { return liveDirectDraws; }

void failCreateSurface(DWORD caps, HRESULT result) { createFailure = {caps, result}; }

void reset() {
  exportState() = Exports{};
  createFailure = {};
}

}  // namespace testing

}  // namespace kv::ddraw

// ---------------------------------------------------------------------------
// Entry points

HRESULT DirectDrawCreate(GUID* driver, LPDIRECTDRAW* directDraw, IUnknown* outer) {
  if (directDraw == nullptr) return DDERR_INVALIDPARAMS;
  *directDraw = nullptr;
  if (outer != nullptr) return DDERR_INVALIDPARAMS;
  // Only the primary display driver exists; it answers to no GUID or a zero one.
  if (driver != nullptr && *driver != GUID{}) return DDERR_INVALIDPARAMS;
  auto* object = new (std::nothrow) kv::ddraw::DirectDraw();
  if (object == nullptr) return DDERR_OUTOFMEMORY;
  *directDraw = object;
  return DD_OK;
}

namespace {
char primaryDescription[] = "Primary Display Driver";
char primaryName[] = "display";
}  // namespace

HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, LPVOID context) {
  if (callback == nullptr) return DDERR_INVALIDPARAMS;
  callback(nullptr, primaryDescription, primaryName, context);
  return DD_OK;
}

HRESULT DirectDrawEnumerateExA(LPDDENUMCALLBACKEXA callback, LPVOID context, DWORD flags) {
  if (callback == nullptr) return DDERR_INVALIDPARAMS;
  callback(nullptr, primaryDescription, primaryName, context, nullptr);
  return DD_OK;
}

// "DDRAW.DLL" joins the module table as the program starts. Whoever calls the
// DirectDraw stand-in names DirectDrawCreate or an IID defined above, which
// links this file and so this registration.
namespace {

bool directDrawLoaded() { return kv::ddraw::testing::exports().moduleLoaded; }
bool enumerateExExported() { return kv::ddraw::testing::exports().enumerateEx; }

const kv::win::ModuleExport directDrawExports[] = {
    {"DirectDrawCreate", reinterpret_cast<FARPROC>(&DirectDrawCreate), nullptr},
    {"DirectDrawEnumerateA", reinterpret_cast<FARPROC>(&DirectDrawEnumerateA), nullptr},
    {"DirectDrawEnumerateExA", reinterpret_cast<FARPROC>(&DirectDrawEnumerateExA),
     enumerateExExported},
};
const kv::win::Module directDrawModule{"DDRAW.DLL", directDrawLoaded, directDrawExports,
                                       std::size(directDrawExports)};
[[maybe_unused]] const bool directDrawRegistered = kv::win::registerModule(&directDrawModule);

}  // namespace
