// The product registry behind the device list, and the two software products:
// "RGB Emulation" on the fast rasterizer and "Reference Rasterizer" on the
// reference one.
#include "platform/d3d/device_list.h"

#include <algorithm>

#include "platform/d3d/d3d_testing.h"

namespace kv::d3d {

namespace {

struct Product {
  std::string key;
  DeviceProduct offer;
};

struct Registry {
  std::vector<Product> products;
  std::vector<DeviceEntry> listed;
  bool current = false;     // listed answers the products as they are now
  bool overridden = false;  // a test's own list stands in for the products'
};

DeviceEntry softwareDevice(const GUID& guid, const char* description, const char* name,
                           std::unique_ptr<raster::Rasterizer> (*make)()) {
  DeviceEntry entry;
  entry.guid = guid;
  entry.description = description;
  entry.name = name;
  entry.desc = softwareDescription();
  // The kit asks for the first 16-bit format with alpha, or a palettized one.
  entry.textureFormats = {ddraw::paletteFormat8(), ddraw::argb1555Format(), ddraw::argb4444Format(),
                          ddraw::rgb565Format()};
  entry.zBufferFormats = {ddraw::depthFormat(32)};
  entry.makeBackend = [make] { return makeSoftwareBackend(make()); };
  return entry;
}

Registry& registry() {
  static Registry r{{{"rgb", [] { return std::optional(testing::rgbDevice()); }},
                     {"reference", [] { return std::optional(testing::referenceDevice()); }}}};
  return r;
}

}  // namespace

void registerProduct(const std::string& key, DeviceProduct product, Placement placement) {
  Registry& r = registry();
  std::erase_if(r.products, [&](const Product& p) { return p.key == key; });
  const auto at = placement == Placement::BeforeOthers ? r.products.begin() : r.products.end();
  r.products.insert(at, Product{key, std::move(product)});
  r.current = false;
}

void unregisterProduct(const std::string& key) {
  Registry& r = registry();
  std::erase_if(r.products, [&](const Product& p) { return p.key == key; });
  r.current = false;
}

const std::vector<DeviceEntry>& devices() {
  Registry& r = registry();
  if (!r.current && !r.overridden) {
    r.listed.clear();
    // A product whose back end cannot run here offers nothing and is not listed.
    for (const Product& p : r.products)
      if (std::optional<DeviceEntry> entry = p.offer()) r.listed.push_back(std::move(*entry));
    r.current = true;
  }
  return r.listed;
}

const DeviceEntry* findDevice(const GUID& guid) {
  for (const DeviceEntry& entry : devices())
    if (entry.guid == guid) return &entry;
  return nullptr;
}

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

// ---------------------------------------------------------------------------
// Test hooks: the device list

namespace testing {

DeviceEntry rgbDevice() {
  return softwareDevice(IID_IDirect3DRGBDevice, "Software rasterizer, fixed-point spans",
                        "RGB Emulation",
                        [] { return raster::makeFast(raster::fastThreadCount()); });
}

DeviceEntry referenceDevice() {
  return softwareDevice(IID_IDirect3DRefDevice, "Software rasterizer, exact and slow",
                        "Reference Rasterizer", raster::makeReference);
}

DDPIXELFORMAT palette8Format() { return ddraw::paletteFormat8(); }
DDPIXELFORMAT argb1555Format() { return ddraw::argb1555Format(); }
DDPIXELFORMAT argb4444Format() { return ddraw::argb4444Format(); }
DDPIXELFORMAT rgb565Format() { return ddraw::rgb565Format(); }
DDPIXELFORMAT depthFormat(uint32_t bits) { return ddraw::depthFormat(bits); }

void setDevices(const std::vector<DeviceEntry>& list) {
  Registry& r = registry();
  r.listed = list;
  r.overridden = true;
}

void resetDevices() {
  Registry& r = registry();
  r.overridden = false;
  r.current = false;
}

}  // namespace testing

}  // namespace kv::d3d
