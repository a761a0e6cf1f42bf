// DirectDraw (the DirectX 6 interfaces the kit calls): drivers, display modes,
// pixel formats, surfaces with lock and pitch, attached surfaces, clipper,
// palette, flip and blit. The records keep their documented 32-bit layouts
// byte for byte, because the kit stores some of them in kvKIT.vid.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win/com.h"
#include "platform/win/win32.h"

// ---------------------------------------------------------------------------
// Results
// ---------------------------------------------------------------------------

constexpr HRESULT MAKE_DDHRESULT(uint32_t code) { return static_cast<HRESULT>(0x88760000u | code); }

constexpr HRESULT DD_OK = S_OK;
constexpr HRESULT DD_FALSE = 1;
constexpr HRESULT DDERR_GENERIC = E_FAIL;
constexpr HRESULT DDERR_INVALIDPARAMS = E_INVALIDARG;
constexpr HRESULT DDERR_OUTOFMEMORY = E_OUTOFMEMORY;
constexpr HRESULT DDERR_UNSUPPORTED = E_NOTIMPL;
constexpr HRESULT DDERR_ALREADYINITIALIZED = MAKE_DDHRESULT(5);
constexpr HRESULT DDERR_CANNOTATTACHSURFACE = MAKE_DDHRESULT(10);
constexpr HRESULT DDERR_CANNOTDETACHSURFACE = MAKE_DDHRESULT(20);
constexpr HRESULT DDERR_EXCEPTION = MAKE_DDHRESULT(55);
constexpr HRESULT DDERR_INVALIDCAPS = MAKE_DDHRESULT(100);
constexpr HRESULT DDERR_INVALIDCLIPLIST = MAKE_DDHRESULT(110);
constexpr HRESULT DDERR_INVALIDMODE = MAKE_DDHRESULT(120);
constexpr HRESULT DDERR_INVALIDOBJECT = MAKE_DDHRESULT(130);
constexpr HRESULT DDERR_INVALIDPIXELFORMAT = MAKE_DDHRESULT(145);
constexpr HRESULT DDERR_INVALIDRECT = MAKE_DDHRESULT(150);
constexpr HRESULT DDERR_LOCKEDSURFACES = MAKE_DDHRESULT(160);
constexpr HRESULT DDERR_NOCLIPPERATTACHED = MAKE_DDHRESULT(205);
constexpr HRESULT DDERR_NOCOLORKEY = MAKE_DDHRESULT(215);
constexpr HRESULT DDERR_NOEXCLUSIVEMODE = MAKE_DDHRESULT(225);
constexpr HRESULT DDERR_NOTFOUND = MAKE_DDHRESULT(255);
constexpr HRESULT DDERR_NOZBUFFERHW = MAKE_DDHRESULT(330);
constexpr HRESULT DDERR_OUTOFVIDEOMEMORY = MAKE_DDHRESULT(380);
constexpr HRESULT DDERR_SURFACEALREADYATTACHED = MAKE_DDHRESULT(410);
constexpr HRESULT DDERR_SURFACEBUSY = MAKE_DDHRESULT(430);
constexpr HRESULT DDERR_SURFACELOST = MAKE_DDHRESULT(450);
constexpr HRESULT DDERR_SURFACENOTATTACHED = MAKE_DDHRESULT(460);
constexpr HRESULT DDERR_WASSTILLDRAWING = MAKE_DDHRESULT(540);
constexpr HRESULT DDERR_NOHWND = MAKE_DDHRESULT(569);
constexpr HRESULT DDERR_NOPALETTEATTACHED = MAKE_DDHRESULT(572);
constexpr HRESULT DDERR_NOTFLIPPABLE = MAKE_DDHRESULT(582);
constexpr HRESULT DDERR_NOTLOCKED = MAKE_DDHRESULT(584);
constexpr HRESULT DDERR_WRONGMODE = MAKE_DDHRESULT(587);
constexpr HRESULT DDERR_NOTPALETTIZED = MAKE_DDHRESULT(589);
constexpr HRESULT DDERR_INVALIDSURFACETYPE = MAKE_DDHRESULT(592);
constexpr HRESULT DDERR_NOTINITIALIZED = CO_E_NOTINITIALIZED;

// ---------------------------------------------------------------------------
// Flags and capabilities
// ---------------------------------------------------------------------------

// DDSURFACEDESC2::dwFlags: which members are valid.
constexpr DWORD DDSD_CAPS = 0x00000001;
constexpr DWORD DDSD_HEIGHT = 0x00000002;
constexpr DWORD DDSD_WIDTH = 0x00000004;
constexpr DWORD DDSD_PITCH = 0x00000008;
constexpr DWORD DDSD_BACKBUFFERCOUNT = 0x00000020;
constexpr DWORD DDSD_ZBUFFERBITDEPTH = 0x00000040;
constexpr DWORD DDSD_ALPHABITDEPTH = 0x00000080;
constexpr DWORD DDSD_LPSURFACE = 0x00000800;
constexpr DWORD DDSD_PIXELFORMAT = 0x00001000;
constexpr DWORD DDSD_CKDESTOVERLAY = 0x00002000;
constexpr DWORD DDSD_CKDESTBLT = 0x00004000;
constexpr DWORD DDSD_CKSRCOVERLAY = 0x00008000;
constexpr DWORD DDSD_CKSRCBLT = 0x00010000;
constexpr DWORD DDSD_MIPMAPCOUNT = 0x00020000;
constexpr DWORD DDSD_REFRESHRATE = 0x00040000;
constexpr DWORD DDSD_LINEARSIZE = 0x00080000;
constexpr DWORD DDSD_TEXTURESTAGE = 0x00100000;

// DDSCAPS2::dwCaps
constexpr DWORD DDSCAPS_ALPHA = 0x00000002;
constexpr DWORD DDSCAPS_BACKBUFFER = 0x00000004;
constexpr DWORD DDSCAPS_COMPLEX = 0x00000008;
constexpr DWORD DDSCAPS_FLIP = 0x00000010;
constexpr DWORD DDSCAPS_FRONTBUFFER = 0x00000020;
constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x00000040;
constexpr DWORD DDSCAPS_OVERLAY = 0x00000080;
constexpr DWORD DDSCAPS_PALETTE = 0x00000100;
constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x00000200;
constexpr DWORD DDSCAPS_SYSTEMMEMORY = 0x00000800;
constexpr DWORD DDSCAPS_TEXTURE = 0x00001000;
constexpr DWORD DDSCAPS_3DDEVICE = 0x00002000;
constexpr DWORD DDSCAPS_VIDEOMEMORY = 0x00004000;
constexpr DWORD DDSCAPS_VISIBLE = 0x00008000;
constexpr DWORD DDSCAPS_WRITEONLY = 0x00010000;
constexpr DWORD DDSCAPS_ZBUFFER = 0x00020000;
constexpr DWORD DDSCAPS_OWNDC = 0x00040000;
constexpr DWORD DDSCAPS_MIPMAP = 0x00400000;
constexpr DWORD DDSCAPS_ALLOCONLOAD = 0x04000000;
constexpr DWORD DDSCAPS_LOCALVIDMEM = 0x10000000;
constexpr DWORD DDSCAPS_NONLOCALVIDMEM = 0x20000000;
constexpr DWORD DDSCAPS_STANDARDVGAMODE = 0x40000000;
// DDSCAPS2::dwCaps2
constexpr DWORD DDSCAPS2_HINTDYNAMIC = 0x00000004;
constexpr DWORD DDSCAPS2_HINTSTATIC = 0x00000008;
constexpr DWORD DDSCAPS2_TEXTUREMANAGE = 0x00000010;

// DDPIXELFORMAT::dwFlags
constexpr DWORD DDPF_ALPHAPIXELS = 0x00000001;
constexpr DWORD DDPF_ALPHA = 0x00000002;
constexpr DWORD DDPF_FOURCC = 0x00000004;
constexpr DWORD DDPF_PALETTEINDEXED4 = 0x00000008;
constexpr DWORD DDPF_PALETTEINDEXEDTO8 = 0x00000010;
constexpr DWORD DDPF_PALETTEINDEXED8 = 0x00000020;
constexpr DWORD DDPF_RGB = 0x00000040;
constexpr DWORD DDPF_COMPRESSED = 0x00000080;
constexpr DWORD DDPF_RGBTOYUV = 0x00000100;
constexpr DWORD DDPF_YUV = 0x00000200;
constexpr DWORD DDPF_ZBUFFER = 0x00000400;
constexpr DWORD DDPF_PALETTEINDEXED1 = 0x00000800;
constexpr DWORD DDPF_PALETTEINDEXED2 = 0x00001000;
constexpr DWORD DDPF_ZPIXELS = 0x00002000;
constexpr DWORD DDPF_STENCILBUFFER = 0x00004000;
constexpr DWORD DDPF_ALPHAPREMULT = 0x00008000;
constexpr DWORD DDPF_LUMINANCE = 0x00020000;
constexpr DWORD DDPF_BUMPLUMINANCE = 0x00040000;
constexpr DWORD DDPF_BUMPDUDV = 0x00080000;

// Bit depths (DDCAPS::dwZBufferBitDepths, D3DDEVICEDESC::dwDeviceRenderBitDepth).
constexpr DWORD DDBD_1 = 0x00004000;
constexpr DWORD DDBD_2 = 0x00002000;
constexpr DWORD DDBD_4 = 0x00001000;
constexpr DWORD DDBD_8 = 0x00000800;
constexpr DWORD DDBD_16 = 0x00000400;
constexpr DWORD DDBD_24 = 0x00000200;
constexpr DWORD DDBD_32 = 0x00000100;

// DDCAPS::dwCaps and dwCaps2 (the ones the stand-in reports).
constexpr DWORD DDCAPS_3D = 0x00000001;
constexpr DWORD DDCAPS_BLT = 0x00000040;
constexpr DWORD DDCAPS_BLTCOLORFILL = 0x04000000;
constexpr DWORD DDCAPS_BLTSTRETCH = 0x00000200;
constexpr DWORD DDCAPS_COLORKEY = 0x00400000;
constexpr DWORD DDCAPS_PALETTE = 0x00008000;
constexpr DWORD DDCAPS_ZBLTS = 0x00100000;
constexpr DWORD DDCAPS2_NOPAGELOCKREQUIRED = 0x00004000;
constexpr DWORD DDCAPS2_WIDESURFACES = 0x00001000;
constexpr DWORD DDCAPS2_CANRENDERWINDOWED = 0x00080000;
constexpr DWORD DDCAPS2_FLIPNOVSYNC = 0x08000000;

// SetCooperativeLevel
constexpr DWORD DDSCL_FULLSCREEN = 0x00000001;
constexpr DWORD DDSCL_ALLOWREBOOT = 0x00000002;
constexpr DWORD DDSCL_NOWINDOWCHANGES = 0x00000004;
constexpr DWORD DDSCL_NORMAL = 0x00000008;
constexpr DWORD DDSCL_EXCLUSIVE = 0x00000010;
constexpr DWORD DDSCL_ALLOWMODEX = 0x00000040;
constexpr DWORD DDSCL_MULTITHREADED = 0x00000400;
constexpr DWORD DDSCL_FPUSETUP = 0x00000800;

// SetDisplayMode, EnumDisplayModes
constexpr DWORD DDSDM_STANDARDVGAMODE = 0x00000001;
constexpr DWORD DDEDM_REFRESHRATES = 0x00000001;

// Enumeration callbacks answer these; DirectDrawEnumerateExA takes DDENUM_*.
constexpr HRESULT DDENUMRET_CANCEL = 0;
constexpr HRESULT DDENUMRET_OK = 1;
constexpr DWORD DDENUM_ATTACHEDSECONDARYDEVICES = 0x00000001;
constexpr DWORD DDENUM_DETACHEDSECONDARYDEVICES = 0x00000002;
constexpr DWORD DDENUM_NONDISPLAYDEVICES = 0x00000004;

// Lock, Flip, Blt
constexpr DWORD DDLOCK_SURFACEMEMORYPTR = 0x00000000;
constexpr DWORD DDLOCK_WAIT = 0x00000001;
constexpr DWORD DDLOCK_READONLY = 0x00000010;
constexpr DWORD DDLOCK_WRITEONLY = 0x00000020;
constexpr DWORD DDLOCK_NOSYSLOCK = 0x00000800;
constexpr DWORD DDFLIP_WAIT = 0x00000001;
constexpr DWORD DDFLIP_NOVSYNC = 0x00000008;
constexpr DWORD DDBLT_COLORFILL = 0x00000400;
constexpr DWORD DDBLT_DDFX = 0x00000800;
constexpr DWORD DDBLT_KEYSRC = 0x00008000;
constexpr DWORD DDBLT_WAIT = 0x01000000;
constexpr DWORD DDBLT_DEPTHFILL = 0x02000000;

// Colour keys
constexpr DWORD DDCKEY_COLORSPACE = 0x00000001;
constexpr DWORD DDCKEY_DESTBLT = 0x00000002;
constexpr DWORD DDCKEY_DESTOVERLAY = 0x00000004;
constexpr DWORD DDCKEY_SRCBLT = 0x00000008;
constexpr DWORD DDCKEY_SRCOVERLAY = 0x00000010;

// Palettes
constexpr DWORD DDPCAPS_4BIT = 0x00000001;
constexpr DWORD DDPCAPS_8BITENTRIES = 0x00000002;
constexpr DWORD DDPCAPS_8BIT = 0x00000004;
constexpr DWORD DDPCAPS_PRIMARYSURFACE = 0x00000010;
constexpr DWORD DDPCAPS_ALLOW256 = 0x00000040;

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

// A surface address in the 4 bytes that the records reserve for it. The
// records keep their 32-bit layout on this 64-bit machine, so the member holds
// a handle that the stand-in resolves to the locked address; it reads like a
// pointer: (BYTE*)desc.lpSurface, void* p = desc.lpSurface, if (desc.lpSurface).
struct DDSurfaceAddress {
  uint32_t handle;

  template <class T>
  operator T*() const {
    return static_cast<T*>(resolve());
  }
  explicit operator bool() const { return resolve() != nullptr; }
  bool operator==(std::nullptr_t) const { return resolve() == nullptr; }
  DDSurfaceAddress& operator=(std::nullptr_t) {
    handle = 0;
    return *this;
  }

 private:
  void* resolve() const;
};
static_assert(sizeof(DDSurfaceAddress) == 4);

struct DDCOLORKEY {
  DWORD dwColorSpaceLowValue;
  DWORD dwColorSpaceHighValue;
};
static_assert(sizeof(DDCOLORKEY) == 8);

struct DDSCAPS {
  DWORD dwCaps;
};
static_assert(sizeof(DDSCAPS) == 4);

struct DDSCAPS2 {
  DWORD dwCaps;
  DWORD dwCaps2;
  DWORD dwCaps3;
  DWORD dwCaps4;
};
static_assert(sizeof(DDSCAPS2) == 16);

struct DDPIXELFORMAT {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwFourCC;
  union {
    DWORD dwRGBBitCount;
    DWORD dwYUVBitCount;
    DWORD dwZBufferBitDepth;
    DWORD dwAlphaBitDepth;
    DWORD dwLuminanceBitCount;
    DWORD dwBumpBitCount;
  };
  union {
    DWORD dwRBitMask;
    DWORD dwYBitMask;
    DWORD dwStencilBitDepth;
    DWORD dwLuminanceBitMask;
    DWORD dwBumpDuBitMask;
  };
  union {
    DWORD dwGBitMask;
    DWORD dwUBitMask;
    DWORD dwZBitMask;
    DWORD dwBumpDvBitMask;
  };
  union {
    DWORD dwBBitMask;
    DWORD dwVBitMask;
    DWORD dwStencilBitMask;
    DWORD dwBumpLuminanceBitMask;
  };
  union {
    DWORD dwRGBAlphaBitMask;
    DWORD dwYUVAlphaBitMask;
    DWORD dwLuminanceAlphaBitMask;
    DWORD dwRGBZBitMask;
    DWORD dwYUVZBitMask;
  };
};
static_assert(sizeof(DDPIXELFORMAT) == 32);

// The older surface description (IDirectDraw::GetDisplayMode).
struct DDSURFACEDESC {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwHeight;
  DWORD dwWidth;
  union {
    LONG lPitch;
    DWORD dwLinearSize;
  };
  DWORD dwBackBufferCount;
  union {
    DWORD dwMipMapCount;
    DWORD dwZBufferBitDepth;
    DWORD dwRefreshRate;
  };
  DWORD dwAlphaBitDepth;
  DWORD dwReserved;
  DDSurfaceAddress lpSurface;
  DDCOLORKEY ddckCKDestOverlay;
  DDCOLORKEY ddckCKDestBlt;
  DDCOLORKEY ddckCKSrcOverlay;
  DDCOLORKEY ddckCKSrcBlt;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS ddsCaps;
};
static_assert(sizeof(DDSURFACEDESC) == 108);

struct DDSURFACEDESC2 {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwHeight;
  DWORD dwWidth;
  union {
    LONG lPitch;
    DWORD dwLinearSize;
  };
  union {
    DWORD dwBackBufferCount;
    DWORD dwDepth;
  };
  union {
    DWORD dwMipMapCount;
    DWORD dwRefreshRate;
  };
  DWORD dwAlphaBitDepth;
  DWORD dwReserved;
  DDSurfaceAddress lpSurface;
  union {
    DDCOLORKEY ddckCKDestOverlay;
    DWORD dwEmptyFaceColor;
  };
  DDCOLORKEY ddckCKDestBlt;
  DDCOLORKEY ddckCKSrcOverlay;
  DDCOLORKEY ddckCKSrcBlt;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS2 ddsCaps;
  DWORD dwTextureStage;
};
static_assert(sizeof(DDSURFACEDESC2) == 124);
static_assert(offsetof(DDSURFACEDESC2, lpSurface) == 36);
static_assert(offsetof(DDSURFACEDESC2, ddpfPixelFormat) == 72);
static_assert(offsetof(DDSURFACEDESC2, ddsCaps) == 104);

// Driver capabilities, the DirectX 6 form (dwSize 380).
struct DDCAPS {
  DWORD dwSize;
  DWORD dwCaps;
  DWORD dwCaps2;
  DWORD dwCKeyCaps;
  DWORD dwFXCaps;
  DWORD dwFXAlphaCaps;
  DWORD dwPalCaps;
  DWORD dwSVCaps;
  DWORD dwAlphaBltConstBitDepths;
  DWORD dwAlphaBltPixelBitDepths;
  DWORD dwAlphaBltSurfaceBitDepths;
  DWORD dwAlphaOverlayConstBitDepths;
  DWORD dwAlphaOverlayPixelBitDepths;
  DWORD dwAlphaOverlaySurfaceBitDepths;
  DWORD dwZBufferBitDepths;
  DWORD dwVidMemTotal;
  DWORD dwVidMemFree;
  DWORD dwMaxVisibleOverlays;
  DWORD dwCurrVisibleOverlays;
  DWORD dwNumFourCCCodes;
  DWORD dwAlignBoundarySrc;
  DWORD dwAlignSizeSrc;
  DWORD dwAlignBoundaryDest;
  DWORD dwAlignSizeDest;
  DWORD dwAlignStrideAlign;
  DWORD dwRops[8];
  DDSCAPS ddsOldCaps;
  DWORD dwMinOverlayStretch;
  DWORD dwMaxOverlayStretch;
  DWORD dwMinLiveVideoStretch;
  DWORD dwMaxLiveVideoStretch;
  DWORD dwMinHwCodecStretch;
  DWORD dwMaxHwCodecStretch;
  DWORD dwReserved1;
  DWORD dwReserved2;
  DWORD dwReserved3;
  DWORD dwSVBCaps;
  DWORD dwSVBCKeyCaps;
  DWORD dwSVBFXCaps;
  DWORD dwSVBRops[8];
  DWORD dwVSBCaps;
  DWORD dwVSBCKeyCaps;
  DWORD dwVSBFXCaps;
  DWORD dwVSBRops[8];
  DWORD dwSSBCaps;
  DWORD dwSSBCKeyCaps;
  DWORD dwSSBFXCaps;
  DWORD dwSSBRops[8];
  DWORD dwMaxVideoPorts;
  DWORD dwCurrVideoPorts;
  DWORD dwSVBCaps2;
  DWORD dwNLVBCaps;
  DWORD dwNLVBCaps2;
  DWORD dwNLVBCKeyCaps;
  DWORD dwNLVBFXCaps;
  DWORD dwNLVBRops[8];
  DDSCAPS2 ddsCaps;
};
static_assert(sizeof(DDCAPS) == 380);

struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};
static_assert(sizeof(PALETTEENTRY) == 4);

// Blt effects. The members that are pointers in other layouts are kept as
// their DWORD alternatives; the stand-in reads dwSize and dwFillColor.
struct DDBLTFX {
  DWORD dwSize;
  DWORD dwDDFX;
  DWORD dwROP;
  DWORD dwDDROP;
  DWORD dwRotationAngle;
  DWORD dwZBufferOpCode;
  DWORD dwZBufferLow;
  DWORD dwZBufferHigh;
  DWORD dwZBufferBaseDest;
  DWORD dwZDestConstBitDepth;
  DWORD dwZDestConst;
  DWORD dwZSrcConstBitDepth;
  DWORD dwZSrcConst;
  DWORD dwAlphaEdgeBlendBitDepth;
  DWORD dwAlphaEdgeBlend;
  DWORD dwReserved;
  DWORD dwAlphaDestConstBitDepth;
  DWORD dwAlphaDestConst;
  DWORD dwAlphaSrcConstBitDepth;
  DWORD dwAlphaSrcConst;
  union {
    DWORD dwFillColor;
    DWORD dwFillDepth;
    DWORD dwFillPixel;
  };
  DDCOLORKEY ddckDestColorkey;
  DDCOLORKEY ddckSrcColorkey;
};
static_assert(sizeof(DDBLTFX) == 100);

using LPDDSURFACEDESC = DDSURFACEDESC*;
using LPDDSURFACEDESC2 = DDSURFACEDESC2*;
using LPDDPIXELFORMAT = DDPIXELFORMAT*;
using LPDDSCAPS2 = DDSCAPS2*;
using LPDDCAPS = DDCAPS*;
using LPDDCOLORKEY = DDCOLORKEY*;
using LPPALETTEENTRY = PALETTEENTRY*;
using LPDDBLTFX = DDBLTFX*;

// ---------------------------------------------------------------------------
// Interfaces
// ---------------------------------------------------------------------------

extern const GUID IID_IDirectDraw;
extern const GUID IID_IDirectDraw4;
extern const GUID IID_IDirectDrawSurface4;
extern const GUID IID_IDirectDrawClipper;
extern const GUID IID_IDirectDrawPalette;
// Each interface class names its id as `iid`, which objects answer to in QueryInterface.

class IDirectDraw;
class IDirectDraw4;
class IDirectDrawSurface4;
class IDirectDrawClipper;
class IDirectDrawPalette;
using LPDIRECTDRAW = IDirectDraw*;
using LPDIRECTDRAW4 = IDirectDraw4*;
using LPDIRECTDRAWSURFACE4 = IDirectDrawSurface4*;
using LPDIRECTDRAWCLIPPER = IDirectDrawClipper*;
using LPDIRECTDRAWPALETTE = IDirectDrawPalette*;

using LPDDENUMMODESCALLBACK = HRESULT (*)(LPDDSURFACEDESC mode, LPVOID context);
using LPDDENUMMODESCALLBACK2 = HRESULT (*)(LPDDSURFACEDESC2 mode, LPVOID context);
using LPDDENUMCALLBACKA = BOOL (*)(GUID* guid, LPSTR description, LPSTR name, LPVOID context);
using LPDDENUMCALLBACKEXA = BOOL (*)(GUID* guid, LPSTR description, LPSTR name, LPVOID context,
                                     HMONITOR monitor);

// The first interface DirectDrawCreate hands out; the kit only asks it for
// IDirectDraw4 and, to learn the desktop depth, for the display mode.
class IDirectDraw : public IUnknown {
 public:
  static constexpr const GUID& iid = IID_IDirectDraw;
  virtual HRESULT GetDisplayMode(LPDDSURFACEDESC mode) = 0;
  virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
};

class IDirectDraw4 : public IUnknown {
 public:
  static constexpr const GUID& iid = IID_IDirectDraw4;
  virtual HRESULT CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* clipper, IUnknown* outer) = 0;
  virtual HRESULT CreatePalette(DWORD flags, LPPALETTEENTRY entries, LPDIRECTDRAWPALETTE* palette,
                                IUnknown* outer) = 0;
  virtual HRESULT CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE4* surface,
                                IUnknown* outer) = 0;
  virtual HRESULT EnumDisplayModes(DWORD flags, LPDDSURFACEDESC2 filter, LPVOID context,
                                   LPDDENUMMODESCALLBACK2 callback) = 0;
  virtual HRESULT FlipToGDISurface() = 0;
  virtual HRESULT GetCaps(LPDDCAPS driverCaps, LPDDCAPS helCaps) = 0;
  virtual HRESULT GetDisplayMode(LPDDSURFACEDESC2 mode) = 0;
  virtual HRESULT RestoreDisplayMode() = 0;
  virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
  virtual HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitCount, DWORD refreshRate,
                                 DWORD flags) = 0;
  virtual HRESULT RestoreAllSurfaces() = 0;
  virtual HRESULT TestCooperativeLevel() = 0;
};

class IDirectDrawSurface4 : public IUnknown {
 public:
  static constexpr const GUID& iid = IID_IDirectDrawSurface4;
  virtual HRESULT AddAttachedSurface(LPDIRECTDRAWSURFACE4 surface) = 0;
  virtual HRESULT Blt(LPRECT destRect, LPDIRECTDRAWSURFACE4 source, LPRECT sourceRect, DWORD flags,
                      LPDDBLTFX effects) = 0;
  virtual HRESULT DeleteAttachedSurface(DWORD flags, LPDIRECTDRAWSURFACE4 surface) = 0;
  virtual HRESULT Flip(LPDIRECTDRAWSURFACE4 targetOverride, DWORD flags) = 0;
  virtual HRESULT GetAttachedSurface(LPDDSCAPS2 caps, LPDIRECTDRAWSURFACE4* surface) = 0;
  virtual HRESULT GetCaps(LPDDSCAPS2 caps) = 0;
  virtual HRESULT GetClipper(LPDIRECTDRAWCLIPPER* clipper) = 0;
  virtual HRESULT GetColorKey(DWORD flags, LPDDCOLORKEY key) = 0;
  virtual HRESULT GetPalette(LPDIRECTDRAWPALETTE* palette) = 0;
  virtual HRESULT GetPixelFormat(LPDDPIXELFORMAT format) = 0;
  virtual HRESULT GetSurfaceDesc(LPDDSURFACEDESC2 desc) = 0;
  virtual HRESULT IsLost() = 0;
  virtual HRESULT Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD flags, HANDLE event) = 0;
  virtual HRESULT Restore() = 0;
  virtual HRESULT SetClipper(LPDIRECTDRAWCLIPPER clipper) = 0;
  virtual HRESULT SetColorKey(DWORD flags, LPDDCOLORKEY key) = 0;
  virtual HRESULT SetPalette(LPDIRECTDRAWPALETTE palette) = 0;
  virtual HRESULT Unlock(LPRECT rect) = 0;
  // Hands out the IDirectDraw4 that made the surface, with a reference added.
  virtual HRESULT GetDDInterface(LPVOID* directDraw) = 0;
};

class IDirectDrawClipper : public IUnknown {
 public:
  static constexpr const GUID& iid = IID_IDirectDrawClipper;
  virtual HRESULT GetHWnd(HWND* window) = 0;
  virtual HRESULT SetHWnd(DWORD flags, HWND window) = 0;
};

class IDirectDrawPalette : public IUnknown {
 public:
  static constexpr const GUID& iid = IID_IDirectDrawPalette;
  virtual HRESULT GetCaps(LPDWORD caps) = 0;
  virtual HRESULT GetEntries(DWORD flags, DWORD base, DWORD count, LPPALETTEENTRY entries) = 0;
  virtual HRESULT SetEntries(DWORD flags, DWORD base, DWORD count, LPPALETTEENTRY entries) = 0;
};

// ---------------------------------------------------------------------------
// The texture face of a surface. Direct3D names it, but the surface carries it,
// so it is declared here and the DirectDraw stand-in needs nothing from above.
// ---------------------------------------------------------------------------

using D3DTEXTUREHANDLE = DWORD;
extern const GUID IID_IDirect3DTexture2;
class IDirect3DDevice3;
class IDirect3DTexture2;
using LPDIRECT3DDEVICE3 = IDirect3DDevice3*;
using LPDIRECT3DTEXTURE2 = IDirect3DTexture2*;

// The Direct3D face of a texture surface: QueryInterface(IID_IDirect3DTexture2)
// on an IDirectDrawSurface4 made with DDSCAPS_TEXTURE.
class IDirect3DTexture2 : public IUnknown {
 public:
  static constexpr const GUID& iid = IID_IDirect3DTexture2;
  virtual HRESULT GetHandle(LPDIRECT3DDEVICE3 device, D3DTEXTUREHANDLE* handle) = 0;
  virtual HRESULT PaletteChanged(DWORD start, DWORD count) = 0;
  virtual HRESULT Load(LPDIRECT3DTEXTURE2 source) = 0;
};

// ---------------------------------------------------------------------------
// Entry points (exported by "DDRAW.DLL", see GetProcAddress)
// ---------------------------------------------------------------------------

// A null GUID (or the address of an all-zero one) names the primary display driver.
HRESULT DirectDrawCreate(GUID* driver, LPDIRECTDRAW* directDraw, IUnknown* outer);
HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, LPVOID context);
HRESULT DirectDrawEnumerateExA(LPDDENUMCALLBACKEXA callback, LPVOID context, DWORD flags);
