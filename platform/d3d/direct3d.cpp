// The Direct3D face of a DirectDraw object: the device list ("RGB Emulation"
// on the fast rasterizer, "Reference Rasterizer" on the reference one), their
// descriptions and formats, device and viewport creation.
#include <cstring>
#include <new>

#include "platform/d3d/objects.h"

const GUID IID_IDirect3D3 = {
    0xBB223240, 0xE72B, 0x11D0, {0xA9, 0xB4, 0x00, 0xAA, 0x00, 0xC0, 0x99, 0x3E}};
const GUID IID_IDirect3DDevice3 = {
    0xB0AB3B60, 0x33D7, 0x11D1, {0xA9, 0x81, 0x00, 0xC0, 0x4F, 0xD7, 0xB1, 0x74}};
const GUID IID_IDirect3DViewport3 = {
    0xB0AB3B61, 0x33D7, 0x11D1, {0xA9, 0x81, 0x00, 0xC0, 0x4F, 0xD7, 0xB1, 0x74}};
const GUID IID_IDirect3DTexture2 = {
    0x93281502, 0x8CF8, 0x11D0, {0x89, 0xAB, 0x00, 0xA0, 0xC9, 0x05, 0x41, 0x29}};
const GUID IID_IDirect3DRGBDevice = {
    0xA4665C60, 0x2673, 0x11CF, {0xA3, 0x1A, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};
const GUID IID_IDirect3DRefDevice = {
    0x50936643, 0x13E9, 0x11D1, {0x89, 0xAA, 0x00, 0xA0, 0xC9, 0x05, 0x41, 0x29}};
const GUID IID_IDirect3DNullDevice = {
    0x8767DF22, 0xBACC, 0x11D1, {0x89, 0x69, 0x00, 0xA0, 0xC9, 0x06, 0x29, 0xA8}};

namespace kv::d3d {

namespace {

// What both software rasterizers can do.
D3DDEVICEDESC softwareDescription() {
  D3DDEVICEDESC d{};
  d.dwSize = sizeof d;
  d.dwFlags = D3DDD_COLORMODEL | D3DDD_DEVCAPS | D3DDD_TRANSFORMCAPS | D3DDD_LIGHTINGCAPS |
              D3DDD_BCLIPPING | D3DDD_LINECAPS | D3DDD_TRICAPS | D3DDD_DEVICERENDERBITDEPTH |
              D3DDD_DEVICEZBUFFERBITDEPTH | D3DDD_MAXBUFFERSIZE | D3DDD_MAXVERTEXCOUNT;
  d.dcmColorModel = D3DCOLOR_RGB;
  d.dwDevCaps = D3DDEVCAPS_FLOATTLVERTEX | D3DDEVCAPS_EXECUTESYSTEMMEMORY |
                D3DDEVCAPS_TLVERTEXSYSTEMMEMORY | D3DDEVCAPS_TEXTURESYSTEMMEMORY |
                D3DDEVCAPS_DRAWPRIMTLVERTEX;
  d.dtcTransformCaps = {sizeof(D3DTRANSFORMCAPS), 0};
  d.bClipping = TRUE;
  d.dlcLightingCaps = {sizeof(D3DLIGHTINGCAPS), 0, 0, 0};
  D3DPRIMCAPS& t = d.dpcTriCaps;
  t.dwSize = sizeof t;
  t.dwMiscCaps =
      D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW;
  t.dwRasterCaps = D3DPRASTERCAPS_DITHER | D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_SUBPIXEL;
  t.dwZCmpCaps = D3DPCMPCAPS_NEVER | D3DPCMPCAPS_LESS | D3DPCMPCAPS_LESSEQUAL |
                 D3DPCMPCAPS_GREATER | D3DPCMPCAPS_GREATEREQUAL | D3DPCMPCAPS_ALWAYS;
  t.dwSrcBlendCaps = t.dwDestBlendCaps =
      D3DPBLENDCAPS_ZERO | D3DPBLENDCAPS_ONE | D3DPBLENDCAPS_SRCALPHA | D3DPBLENDCAPS_INVSRCALPHA;
  t.dwAlphaCmpCaps = D3DPCMPCAPS_ALWAYS;
  t.dwShadeCaps = D3DPSHADECAPS_COLORFLATRGB | D3DPSHADECAPS_COLORGOURAUDRGB |
                  D3DPSHADECAPS_ALPHAFLATBLEND | D3DPSHADECAPS_ALPHAGOURAUDBLEND;
  // Power-of-two sides: the rasterizers wrap coordinates by masking.
  t.dwTextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_ALPHA |
                    D3DPTEXTURECAPS_TRANSPARENCY;
  t.dwTextureFilterCaps = D3DPTFILTERCAPS_NEAREST | D3DPTFILTERCAPS_LINEAR |
                          D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                          D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
  t.dwTextureBlendCaps = D3DPTBLENDCAPS_MODULATE | D3DPTBLENDCAPS_MODULATEALPHA;
  t.dwTextureAddressCaps = D3DPTADDRESSCAPS_WRAP;
  d.dpcLineCaps = t;
  d.dwDeviceRenderBitDepth = DDBD_16 | DDBD_32;
  // 1/z needs the precision; the software devices keep depth in 32 bits only.
  d.dwDeviceZBufferBitDepth = DDBD_32;
  d.dwMaxVertexCount = 65535;
  d.dwMinTextureWidth = d.dwMinTextureHeight = 1;
  d.dwMaxTextureWidth = d.dwMaxTextureHeight = 4096;
  d.dwFVFCaps = 1;
  d.wMaxTextureBlendStages = 1;
  d.wMaxSimultaneousTextures = 1;
  return d;
}

testing::DeviceEntry softwareDevice(const GUID& guid, const char* description, const char* name,
                                    testing::Backend backend) {
  testing::DeviceEntry entry;
  entry.guid = guid;
  entry.description = description;
  entry.name = name;
  entry.desc = softwareDescription();
  // The kit asks for the first 16-bit format with alpha, or a palettized one.
  entry.textureFormats = {ddraw::paletteFormat8(), ddraw::argb1555Format(), ddraw::argb4444Format(),
                          ddraw::rgb565Format()};
  entry.zBufferFormats = {ddraw::depthFormat(32)};
  entry.backend = backend;
  return entry;
}

std::vector<testing::DeviceEntry>& deviceList() {
  static std::vector<testing::DeviceEntry> list = {testing::rgbDevice(),
                                                   testing::referenceDevice()};
  return list;
}

}  // namespace

const std::vector<testing::DeviceEntry>& devices() { return deviceList(); }

const testing::DeviceEntry* findDevice(const GUID& guid) {
  for (const testing::DeviceEntry& entry : deviceList())
    if (entry.guid == guid) return &entry;
  return nullptr;
}

void describe(const testing::DeviceEntry& entry, D3DDEVICEDESC& hardware, D3DDEVICEDESC& software) {
  hardware = software = D3DDEVICEDESC{};
  hardware.dwSize = software.dwSize = sizeof(D3DDEVICEDESC);
  (entry.hardware ? hardware : software) = entry.desc;
}

// The formats are a copy: the callback may change the device list or
// scribble on what it is given.
HRESULT enumFormats(std::vector<DDPIXELFORMAT> formats, LPD3DENUMPIXELFORMATSCALLBACK callback,
                    LPVOID context) {
  if (callback == nullptr) return DDERR_INVALIDPARAMS;
  for (DDPIXELFORMAT& format : formats)
    if (callback(&format, context) == DDENUMRET_CANCEL) break;
  return D3D_OK;
}

IDirect3D3* createDirect3D(ddraw::DirectDraw* directDraw) {
  return new (std::nothrow) Direct3D(directDraw);
}

Direct3D::Direct3D(ddraw::DirectDraw* directDraw) : directDraw_(directDraw) {
  directDraw_->AddRef();
}

Direct3D::~Direct3D() { directDraw_->Release(); }

HRESULT Direct3D::queryOther(REFIID riid, void** object) {
  if (riid == IID_IDirectDraw || riid == IID_IDirectDraw4)
    return directDraw_->QueryInterface(riid, object);
  return E_NOINTERFACE;
}

HRESULT Direct3D::EnumDevices(LPD3DENUMDEVICESCALLBACK callback, LPVOID context) {
  if (callback == nullptr) return DDERR_INVALIDPARAMS;
  // Copies: the callback may keep or scribble on what it is given.
  for (const testing::DeviceEntry& entry : deviceList()) {
    GUID guid = entry.guid;
    std::string description = entry.description, name = entry.name;
    D3DDEVICEDESC hardware, software;
    describe(entry, hardware, software);
    if (callback(&guid, description.data(), name.data(), &hardware, &software, context) ==
        DDENUMRET_CANCEL)
      break;
  }
  return D3D_OK;
}

HRESULT Direct3D::FindDevice(LPD3DFINDDEVICESEARCH search, LPD3DFINDDEVICERESULT result) {
  if (search == nullptr || result == nullptr || search->dwSize != sizeof(D3DFINDDEVICESEARCH) ||
      result->dwSize != sizeof(D3DFINDDEVICERESULT))
    return DDERR_INVALIDPARAMS;
  for (const testing::DeviceEntry& entry : deviceList()) {
    if ((search->dwFlags & D3DFDS_GUID) && entry.guid != search->guid) continue;
    if ((search->dwFlags & D3DFDS_HARDWARE) && (search->bHardware != 0) != entry.hardware) continue;
    if ((search->dwFlags & D3DFDS_COLORMODEL) &&
        !(entry.desc.dcmColorModel & search->dcmColorModel))
      continue;
    std::memset(result, 0, sizeof *result);
    result->dwSize = sizeof *result;
    result->guid = entry.guid;
    describe(entry, result->ddHwDesc, result->ddSwDesc);
    return D3D_OK;
  }
  return DDERR_NOTFOUND;
}

HRESULT Direct3D::CreateViewport(LPDIRECT3DVIEWPORT3* viewport, IUnknown* outer) {
  if (viewport == nullptr) return DDERR_INVALIDPARAMS;
  *viewport = nullptr;
  if (outer != nullptr) return DDERR_INVALIDPARAMS;
  *viewport = new (std::nothrow) Viewport();
  return *viewport != nullptr ? D3D_OK : DDERR_OUTOFMEMORY;
}

HRESULT Direct3D::CreateDevice(REFCLSID guid, LPDIRECTDRAWSURFACE4 renderTarget,
                               LPDIRECT3DDEVICE3* out, IUnknown* outer) {
  if (out == nullptr) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (outer != nullptr) return DDERR_INVALIDPARAMS;
  const testing::DeviceEntry* entry = findDevice(guid);
  if (entry == nullptr) return D3DERR_INVALID_DEVICE;
  auto* target = dynamic_cast<ddraw::Surface*>(renderTarget);
  if (target == nullptr) return DDERR_INVALIDPARAMS;
  if (HRESULT hr = checkRenderTarget(*entry, *target); FAILED(hr)) return hr;
  std::unique_ptr<raster::Rasterizer> rasterizer = entry->backend == testing::Backend::Fast
                                                       ? raster::makeFast(raster::fastThreadCount())
                                                       : raster::makeReference();
  if (rasterizer == nullptr) return D3DERR_INITFAILED;
  auto* device = new (std::nothrow) Device(this, *entry, target, std::move(rasterizer));
  if (device == nullptr) return DDERR_OUTOFMEMORY;
  *out = device;
  return D3D_OK;
}

HRESULT Direct3D::EnumZBufferFormats(REFCLSID guid, LPD3DENUMPIXELFORMATSCALLBACK callback,
                                     LPVOID context) {
  if (callback == nullptr) return DDERR_INVALIDPARAMS;
  const testing::DeviceEntry* entry = findDevice(guid);
  if (entry == nullptr) return D3DERR_INVALID_DEVICE;
  return enumFormats(entry->zBufferFormats, callback, context);
}

// ---------------------------------------------------------------------------
// Test hooks: the device list

namespace testing {

DeviceEntry rgbDevice() {
  return softwareDevice(IID_IDirect3DRGBDevice, "Software rasterizer, fixed-point spans",
                        "RGB Emulation", Backend::Fast);
}

DeviceEntry referenceDevice() {
  return softwareDevice(IID_IDirect3DRefDevice, "Software rasterizer, exact and slow",
                        "Reference Rasterizer", Backend::Reference);
}

DDPIXELFORMAT palette8Format() { return ddraw::paletteFormat8(); }
DDPIXELFORMAT argb1555Format() { return ddraw::argb1555Format(); }
DDPIXELFORMAT argb4444Format() { return ddraw::argb4444Format(); }
DDPIXELFORMAT rgb565Format() { return ddraw::rgb565Format(); }
DDPIXELFORMAT depthFormat(uint32_t bits) { return ddraw::depthFormat(bits); }

void setDevices(const std::vector<DeviceEntry>& list) { deviceList() = list; }

void resetDevices() { deviceList() = {rgbDevice(), referenceDevice()}; }

}  // namespace testing

}  // namespace kv::d3d
