// Surfaces: images that keep their own pixels and a device texture rebuilt from
// them whenever the device changes, in eight groups freed one group at a time.
#include "kvSys/kvSurface.h"

#include <cstdlib>
#include <cstring>

#include "kvKIT.h"
#include "kvSys/Memory.h"

int32_t kvSurfaceGroup = 0;

namespace {

Surface* groups[KV_SURFACE_GROUPS] = {};
Surface* currentTexture = nullptr;
uint8_t keyRed = 0;
uint8_t keyGreen = 0;
uint8_t keyBlue = 0;
// Whether the key colour was found in the current texture's palette.
bool keyFound = false;

constexpr uint32_t kTexturePow2 = 0x02;          // D3DPTEXTURECAPS_POW2
constexpr uint32_t kTextureSquareOnly = 0x20;    // D3DPTEXTURECAPS_SQUAREONLY
constexpr uint32_t kNotColourFormats = 0xE0000;  // luminance, bump luminance, bump du/dv

bool validSide(int32_t side) {
  for (int32_t allowed = 8; allowed <= 256; allowed *= 2)
    if (side == allowed) return true;
  return false;
}

size_t pixelBytes(int32_t width, int32_t height, uint8_t format) {
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  return format == SURFACE_FORMAT_8BPP ? count : count * 2;
}

void releaseDeviceCopy(Surface* surface) {
  if (surface->ddSurface != nullptr) surface->ddSurface->Release();
  if (surface->texture != nullptr) surface->texture->Release();
  surface->ddSurface = nullptr;
  surface->texture = nullptr;
}

struct FormatSearch {
  uint32_t bitCount;
  bool wantAlpha;
  bool wantPalette;
  bool wantFourCC;
  bool found;
  DDPIXELFORMAT* destination;
};

HRESULT CALLBACK textureFormatCallback(DDPIXELFORMAT* format, void* context) {
  if (format == nullptr || context == nullptr) return DDENUMRET_OK;
  FormatSearch* search = static_cast<FormatSearch*>(context);
  if (format->dwFlags & kNotColourFormats) return DDENUMRET_OK;
  if (search->wantPalette) {
    if (!(format->dwFlags & DDPF_PALETTEINDEXED8)) return DDENUMRET_OK;
  } else {
    if (format->dwRGBBitCount < 16) return DDENUMRET_OK;
    if (format->dwFourCC != 0) return DDENUMRET_OK;
    if (((format->dwFlags & DDPF_ALPHAPIXELS) != 0) != search->wantAlpha) return DDENUMRET_OK;
    if (format->dwRGBBitCount != search->bitCount) return DDENUMRET_OK;
  }
  std::memcpy(search->destination, format, sizeof(DDPIXELFORMAT));
  search->found = true;
  return DDENUMRET_CANCEL;
}

bool findTextureFormat(IDirect3DDevice3* device, bool palettized, DDPIXELFORMAT* destination) {
  FormatSearch search = {palettized ? 8u : 16u, true, palettized, false, false, destination};
  device->EnumTextureFormats(textureFormatCallback, &search);
  return search.found;
}

uint32_t raiseToPowerOfTwo(uint32_t side) {
  uint32_t power = 1;
  while (power < side) power *= 2;
  return power;
}

// Fails the restore: the Surface goes off the device and stays valid.
HRESULT restoreFailed(Surface* surface) {
  releaseDeviceCopy(surface);
  kvDebugPrint("Texture Restore error!!\n");
  return 0;
}

void setColorKeyEnable(BOOL enable) {
  kvFramework.device->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, enable);
}

}  // namespace

uint32_t kvMaskShift(uint32_t mask) {
  uint32_t shift = 0;
  while (shift < 32 && (mask >> shift) != 0) ++shift;
  return shift;
}

// A component of `bits` bits placed under its mask, top bits kept. Computed
// wide so that a mask reaching bit 31 cannot shift out of range.
static uint32_t place(uint32_t component, uint32_t bits, uint32_t mask) {
  return static_cast<uint32_t>((static_cast<uint64_t>(component) << kvMaskShift(mask)) >> bits) &
         mask;
}

uint16_t kvTexelFromRGB(const DDPIXELFORMAT& format, uint32_t red, uint32_t green, uint32_t blue) {
  return static_cast<uint16_t>(place(red, 8, format.dwRBitMask) |
                               place(green, 8, format.dwGBitMask) |
                               place(blue, 8, format.dwBBitMask));
}

uint16_t kvTexelFrom565(const DDPIXELFORMAT& format, uint16_t pixel) {
  return static_cast<uint16_t>(place(pixel & 0xF800u, 16, format.dwRBitMask) |
                               place(pixel & 0x07E0u, 11, format.dwGBitMask) |
                               place(pixel & 0x001Fu, 5, format.dwBBitMask));
}

Surface* kvCreateSurface(ImageDesc* request) {
  if (!validSide(request->width)) {
    kvDebugPrint("kvCreateSurface: surface width %d\n", request->width);
    return nullptr;
  }
  if (!validSide(request->height)) {
    kvDebugPrint("kvCreateSurface: surface hegiht %d\n", request->height);
    return nullptr;
  }
  const int32_t width = request->width;
  const int32_t height = request->height;
  if ((height < width && height * 8 < width) || (height >= width && width * 8 < height)) {
    kvDebugPrint("kvCreateSurface: width:hegiht = %d:%d\n", width, height);
    return nullptr;
  }
  // The group indexes the group table, so a value outside it is refused.
  if (request->group < 0 || request->group >= KV_SURFACE_GROUPS) {
    kvDebugPrint("kvCreateSurface: surface group %d\n", request->group);
    return nullptr;
  }
  if (request->pixels == nullptr) {
    kvDebugPrint("kvCreateSurface: no pixels\n");
    return nullptr;
  }

  Surface* surface = static_cast<Surface*>(kvAllocRecord(sizeof(Surface)));
  if (surface == nullptr) {
    kvDebugPrint("kvCreateSurface: memory allocation error\n");
    return nullptr;
  }
  std::memset(surface, 0, sizeof *surface);
  surface->group = request->group;
  surface->width = width;
  surface->height = height;
  surface->format = request->format;
  if (surface->format == SURFACE_FORMAT_8BPP)
    std::memcpy(surface->palette, request->palette, sizeof surface->palette);

  const size_t bytes = pixelBytes(width, height, surface->format);
  surface->pixels = std::malloc(bytes);
  if (surface->pixels == nullptr) {
    kvDebugPrint("kvCreateSurface: memory allocation error\n");
    kvFreeRecord(surface);
    return nullptr;
  }
  std::memcpy(surface->pixels, request->pixels, bytes);

  surface->next = groups[surface->group];
  groups[surface->group] = surface;
  kvRestoreSurface(surface);
  return surface;
}

IDirectDraw4* kvGetDirectDraw(IDirect3DDevice3* device) {
  if (device == nullptr) return nullptr;
  IDirectDrawSurface4* target = nullptr;
  if (FAILED(device->GetRenderTarget(&target)) || target == nullptr) return nullptr;
  IDirectDraw4* directDraw = nullptr;
  if (FAILED(target->GetDDInterface(reinterpret_cast<void**>(&directDraw)))) directDraw = nullptr;
  target->Release();
  // The framework's own reference keeps the object alive while it is used.
  if (directDraw != nullptr) directDraw->Release();
  return directDraw;
}

HRESULT kvRestoreSurface(Surface* surface) {
  releaseDeviceCopy(surface);

  IDirect3DDevice3* device = kvFramework.device;
  IDirectDraw4* directDraw = kvGetDirectDraw(device);
  if (directDraw == nullptr) {
    kvDebugPrint("kvRestoreSurface: DirectDraw device initialization faild\n");
    return restoreFailed(surface);
  }

  D3DDEVICEDESC hardware;
  D3DDEVICEDESC software;
  std::memset(&hardware, 0, sizeof hardware);
  std::memset(&software, 0, sizeof software);
  hardware.dwSize = sizeof hardware;
  software.dwSize = sizeof software;
  if (FAILED(device->GetCaps(&hardware, &software))) {
    kvDebugPrint("kvRestoreSurface: Direct3D GetCaps\n");
    return restoreFailed(surface);
  }
  const uint32_t textureCaps =
      hardware.dwFlags != 0 ? hardware.dpcTriCaps.dwTextureCaps : software.dpcTriCaps.dwTextureCaps;

  DDSURFACEDESC2& desc = surface->desc;
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_TEXTURESTAGE;
  desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
  desc.ddsCaps.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
  desc.dwTextureStage = 0;
  desc.dwWidth = static_cast<uint32_t>(surface->width);
  desc.dwHeight = static_cast<uint32_t>(surface->height);
  if (textureCaps & kTexturePow2) {
    desc.dwWidth = raiseToPowerOfTwo(desc.dwWidth);
    desc.dwHeight = raiseToPowerOfTwo(desc.dwHeight);
  }
  if (textureCaps & kTextureSquareOnly) {
    if (desc.dwHeight >= desc.dwWidth)
      desc.dwWidth = desc.dwHeight;
    else
      desc.dwHeight = desc.dwWidth;
  }

  bool palettized = surface->format == SURFACE_FORMAT_8BPP;
  if (palettized) {
    if (!findTextureFormat(device, true, &desc.ddpfPixelFormat)) {
      kvDebugPrint(
          "kvRestoreSurface: cannot found Direct3D (palettized) pixelformat => create 16bpp\n");
      palettized = false;
      if (!findTextureFormat(device, false, &desc.ddpfPixelFormat)) {
        kvDebugPrint("kvCreateSurface: cannot found Direct3D (16bpp) pixelformat\n");
        return restoreFailed(surface);
      }
    }
  } else if (!findTextureFormat(device, false, &desc.ddpfPixelFormat)) {
    kvDebugPrint("kvRestoreSurface: cannot found Direct3D (16bpp) pixelformat\n");
    return restoreFailed(surface);
  }

  if (FAILED(directDraw->CreateSurface(&desc, &surface->ddSurface, nullptr))) {
    surface->ddSurface = nullptr;
    kvDebugPrint("kvRestoreSurface: DirectDraw::CreateSurface faild\n");
    return restoreFailed(surface);
  }
  if (FAILED(surface->ddSurface->QueryInterface(IID_IDirect3DTexture2,
                                                reinterpret_cast<void**>(&surface->texture)))) {
    surface->texture = nullptr;
    kvDebugPrint("kvRestoreSurface: Direct3D texture create faild\n");
    return restoreFailed(surface);
  }

  if (palettized) {
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i)
      entries[i] = {surface->palette[i][0], surface->palette[i][1], surface->palette[i][2], 0};
    IDirectDrawPalette* palette = nullptr;
    // Without a palette the texture still exists; it draws with whatever colours it gets.
    if (SUCCEEDED(directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette,
                                            nullptr))) {
      surface->ddSurface->SetPalette(palette);
      palette->Release();
    }
  }

  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  HRESULT result;
  do {
    result = surface->ddSurface->Lock(nullptr, &desc, 0, nullptr);
  } while (result == DDERR_WASSTILLDRAWING);
  if (FAILED(result)) {
    kvDebugPrint("kvRestoreSurface: DirectDraw surface lock faild\n");
    return restoreFailed(surface);
  }

  const uint32_t width = static_cast<uint32_t>(surface->width);
  const uint32_t height = static_cast<uint32_t>(surface->height);
  const uint32_t lockedBits = desc.ddpfPixelFormat.dwRGBBitCount;
  uint8_t* base = static_cast<uint8_t*>(desc.lpSurface);
  // The upload writes only where the lock says there is memory for the image.
  const uint32_t texelBytes = palettized ? 1 : 2;
  if (base == nullptr || desc.dwWidth < width || desc.dwHeight < height ||
      desc.lPitch < static_cast<LONG>(width * texelBytes)) {
    surface->ddSurface->Unlock(nullptr);
    kvDebugPrint("kvRestoreSurface: locked surface is smaller than the image\n");
    return restoreFailed(surface);
  }

  if (surface->format == SURFACE_FORMAT_8BPP) {
    const uint8_t* source = static_cast<const uint8_t*>(surface->pixels);
    if (palettized) {
      for (uint32_t row = 0; row < height; ++row)
        std::memcpy(base + row * desc.lPitch, source + row * width, width);
    } else {
      if (lockedBits != 16) {
        kvDebugPrint("kvCreateSurface: DirectDraw surface RGBBitCount is not 16bpp\n");
        surface->ddSurface->Unlock(nullptr);
        return restoreFailed(surface);
      }
      uint16_t table[256];
      for (int i = 0; i < 256; ++i)
        table[i] = kvTexelFromRGB(desc.ddpfPixelFormat, surface->palette[i][0],
                                  surface->palette[i][1], surface->palette[i][2]);
      for (uint32_t row = 0; row < height; ++row) {
        uint16_t* texels = reinterpret_cast<uint16_t*>(base + row * desc.lPitch);
        const uint8_t* indices = source + row * width;
        for (uint32_t x = 0; x < width; ++x) texels[x] = table[indices[x]];
      }
    }
  } else {
    if (lockedBits != 16) {
      kvDebugPrint("kvRestoreSurface: DirectDraw surface RGBBitCount is not 16bpp\n");
      surface->ddSurface->Unlock(nullptr);
      return restoreFailed(surface);
    }
    const uint16_t* source = static_cast<const uint16_t*>(surface->pixels);
    for (uint32_t row = 0; row < height; ++row) {
      uint16_t* texels = reinterpret_cast<uint16_t*>(base + row * desc.lPitch);
      const uint16_t* pixels = source + row * width;
      for (uint32_t x = 0; x < width; ++x)
        texels[x] = kvTexelFrom565(desc.ddpfPixelFormat, pixels[x]);
    }
  }

  result = surface->ddSurface->Unlock(nullptr);
  if (surface == currentTexture) return kvSetTexture(surface);
  return result;
}

void kvRestoreAllSurfaces() {
  for (Surface* head : groups)
    for (Surface* surface = head; surface != nullptr; surface = surface->next)
      kvRestoreSurface(surface);
}

void kvReleaseAllSurfaces() {
  for (Surface* head : groups)
    for (Surface* surface = head; surface != nullptr; surface = surface->next)
      releaseDeviceCopy(surface);
}

int32_t kvFreeSurfaceGroup(int32_t group) {
  if (group < 0 || group >= KV_SURFACE_GROUPS) return group;
  Surface* surface = groups[group];
  while (surface != nullptr) {
    Surface* next = surface->next;
    if (surface == currentTexture) currentTexture = nullptr;
    releaseDeviceCopy(surface);
    std::free(surface->pixels);
    kvFreeRecord(surface);
    surface = next;
  }
  groups[group] = nullptr;
  return group;
}

void kvSetSurfaceGroup(int32_t group) {
  if (group >= 0 && group < KV_SURFACE_GROUPS) kvSurfaceGroup = group;
}

void kvReplaceSurfacePixels(Surface* surface, const void* pixels, const uint8_t* palette) {
  if (surface == nullptr) return;
  if (palette != nullptr) std::memcpy(surface->palette, palette, sizeof surface->palette);
  if (pixels != nullptr)
    std::memcpy(surface->pixels, pixels,
                pixelBytes(surface->width, surface->height, surface->format));
  if (surface->ddSurface != nullptr && surface->texture != nullptr) {
    releaseDeviceCopy(surface);
    kvRestoreSurface(surface);
  }
}

int32_t kvGetSurfaceInfo(Surface* surface, uint8_t selector) {
  if (surface == nullptr) return -1;
  switch (selector) {
    case 0:
      return surface->width;
    case 1:
      return surface->height;
    case 2:
      return surface->format;
    case 3:
      return surface->group;
    default:
      return -1;
  }
}

int32_t kvGetTextureInfo(uint8_t selector) { return kvGetSurfaceInfo(currentTexture, selector); }

Surface* kvGetCurrentTexture() { return currentTexture; }

HRESULT kvSetTexture(Surface* surface) {
  if (surface == nullptr) return 0;
  currentTexture = surface;
  IDirect3DDevice3* device = kvFramework.device;
  // Without a device the choice is kept and bound when the textures are restored.
  if (device == nullptr) return KVERR_FW_NOT_INITIALIZED;
  if (kvRenderFlags & KV_RF_TEXTURE) {
    kvApplyColorKey();
    return device->SetTexture(0, surface->texture);
  }
  setColorKeyEnable(FALSE);
  return device->SetTexture(0, nullptr);
}

void kvApplyColorKey() {
  if (kvFramework.device == nullptr) return;
  Surface* texture = currentTexture;
  if (texture == nullptr || texture->ddSurface == nullptr || !(kvRenderFlags & KV_RF_TEXTURE) ||
      !(kvRenderFlags & KV_RF_COLORKEY)) {
    setColorKeyEnable(FALSE);
    return;
  }
  const uint32_t packed =
      (static_cast<uint32_t>(keyRed) << 16) | (static_cast<uint32_t>(keyGreen) << 8) | keyBlue;
  uint32_t key = packed;
  if (texture->format == SURFACE_FORMAT_8BPP) {
    int index = -1;
    for (int i = 0; i < 256 && index < 0; ++i)
      if (texture->palette[i][0] == keyRed && texture->palette[i][1] == keyGreen &&
          texture->palette[i][2] == keyBlue)
        index = i;
    keyFound = index >= 0;
    if (!keyFound) {
      setColorKeyEnable(FALSE);
      return;
    }
    if (texture->desc.ddpfPixelFormat.dwRGBBitCount != 16) key = static_cast<uint32_t>(index);
  } else {
    keyFound = true;
  }
  DDCOLORKEY colorKey = {key, key};
  texture->ddSurface->SetColorKey(DDCKEY_SRCBLT, &colorKey);
  setColorKeyEnable(TRUE);
}

void kvSetColorKey(uint8_t red, uint8_t green, uint8_t blue) {
  keyRed = red;
  keyGreen = green;
  keyBlue = blue;
  kvApplyColorKey();
}

void kvResetSurfaceState() {
  kvSurfaceGroup = 0;
  for (Surface*& group : groups) group = nullptr;
  currentTexture = nullptr;
  keyRed = keyGreen = keyBlue = 0;
  keyFound = false;
}
