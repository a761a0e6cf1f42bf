// The device framework: DirectDraw, Direct3D, display mode, presentation
// buffers, z-buffer, device and viewport, built in a fixed order, presented,
// restored after loss and torn down with a check that nothing still holds them.
#include "kvSys/d3dframe.h"

#include <cstring>

#include "kvKIT.h"

namespace {

// Framework diagnostics name the call site like every other line of the log.
#define FW_MSG(message) kvFwDebugMsg(__FILE__, __LINE__, 0, message)

// The design reads this bit of a device description's flags as "can colour
// key"; the description flags call it D3DDD_MAXVERTEXCOUNT.
constexpr DWORD kColorKeyCapable = D3DDD_MAXVERTEXCOUNT;

template <typename T>
void releaseAndClear(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

HRESULT reportOutOfVideoMemory(HRESULT platformResult, HRESULT otherwise) {
  if (platformResult == DDERR_OUTOFVIDEOMEMORY) {
    FW_MSG("Error: Out of video memory");
    return DDERR_OUTOFVIDEOMEMORY;
  }
  return otherwise;
}

struct ZBufferSearch {
  DDPIXELFORMAT* format;
  uint32_t wantedFlags;
};

// First 16-bit depth format with exactly the wanted flags wins, else the last
// one with the wanted flags.
HRESULT CALLBACK zBufferFormatCallback(DDPIXELFORMAT* offered, void* context) {
  if (offered == nullptr || context == nullptr) return DDENUMRET_CANCEL;
  ZBufferSearch* search = static_cast<ZBufferSearch*>(context);
  if (offered->dwFlags == search->wantedFlags) {
    std::memcpy(search->format, offered, sizeof(DDPIXELFORMAT));
    if (offered->dwZBufferBitDepth == 16) return DDENUMRET_CANCEL;
  }
  return DDENUMRET_OK;
}

}  // namespace

HRESULT kvFwDebugMsg(const char* source, int32_t line, HRESULT code, const char* message) {
  char prefix[256];
  std::snprintf(prefix, sizeof prefix, "%s(%ld): ", source, static_cast<long>(line));
  OutputDebugStringA(prefix);
  OutputDebugStringA(message);
  if (code != 0) {
    char hr[32];
    std::snprintf(hr, sizeof hr, "(hr=%08lx)\n",
                  static_cast<unsigned long>(static_cast<uint32_t>(code)));
    OutputDebugStringA(hr);
  }
  OutputDebugStringA("\n");
  return code;
}

void kvInitSurfaceDesc(DDSURFACEDESC2* desc, uint32_t flags, uint32_t caps) {
  std::memset(desc, 0, sizeof *desc);
  desc->dwSize = sizeof(DDSURFACEDESC2);
  desc->dwFlags = flags;
  desc->ddsCaps.dwCaps = caps;
  desc->ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
}

void kvInitViewport(D3DVIEWPORT2* viewport, uint32_t width, uint32_t height) {
  std::memset(viewport, 0, sizeof *viewport);
  viewport->dwSize = sizeof(D3DVIEWPORT2);
  viewport->dwX = 0;
  viewport->dwY = 0;
  viewport->dwWidth = width;
  viewport->dwHeight = height;
  viewport->dvClipX = -1.0f;
  viewport->dvClipY = 1.0f;
  viewport->dvClipWidth = 2.0f;
  viewport->dvClipHeight = 2.0f;
  viewport->dvMinZ = 0.0f;
  viewport->dvMaxZ = 1.0f;
}

HRESULT kvFwCreateDirectDraw(DeviceFramework* framework, const GUID* driver, uint32_t flags) {
  IDirectDraw* first = nullptr;
  if (FAILED(DirectDrawCreate(const_cast<GUID*>(driver), &first, nullptr))) {
    FW_MSG("Could not create DirectDraw");
    return KVERR_FW_NO_DIRECTDRAW;
  }
  if (FAILED(first->QueryInterface(IID_IDirectDraw4,
                                   reinterpret_cast<void**>(&framework->directDraw)))) {
    first->Release();
    framework->directDraw = nullptr;
    FW_MSG("Couldn't query for DirectDraw4");
    return KVERR_FW_NO_DIRECTDRAW;
  }
  first->Release();

  uint32_t level = framework->fullscreen ? (DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWREBOOT)
                                         : DDSCL_NORMAL;
  if (!(flags & KVFW_NO_FPUSETUP)) level |= DDSCL_FPUSETUP;
  if (FAILED(framework->directDraw->SetCooperativeLevel(framework->window, level))) {
    FW_MSG("Couldn't set coop level");
    return KVERR_FW_COOP_LEVEL;
  }
  return 0;
}

HRESULT kvFwCreateDirect3D(DeviceFramework* framework, const GUID* device, uint32_t flags) {
  if (FAILED(framework->directDraw->QueryInterface(
          IID_IDirect3D3, reinterpret_cast<void**>(&framework->direct3D)))) {
    framework->direct3D = nullptr;
    FW_MSG("Couldn't query the Direct3D interface");
    return KVERR_FW_NO_DIRECT3D;
  }

  D3DFINDDEVICESEARCH search;
  std::memset(&search, 0, sizeof search);
  search.dwSize = sizeof search;
  search.dwFlags = D3DFDS_GUID;
  search.guid = *device;
  D3DFINDDEVICERESULT found;
  std::memset(&found, 0, sizeof found);
  found.dwSize = sizeof found;
  if (FAILED(framework->direct3D->FindDevice(&search, &found))) {
    FW_MSG("Couldn't find the specified device");
    return KVERR_FW_NO_DIRECT3D;
  }

  if (found.ddHwDesc.dwFlags != 0) {
    framework->deviceMemoryType = DDSCAPS_VIDEOMEMORY;
    framework->deviceDesc = found.ddHwDesc;
  } else {
    framework->deviceMemoryType = DDSCAPS_SYSTEMMEMORY;
    framework->deviceDesc = found.ddSwDesc;
  }
  if (!(framework->deviceDesc.dwFlags & kColorKeyCapable))
    FW_MSG("this device not support colorkey");

  std::memset(&framework->zBufferFormat, 0, sizeof framework->zBufferFormat);
  ZBufferSearch zSearch = {&framework->zBufferFormat, (flags & KVFW_STENCILBUFFER)
                                                          ? (DDPF_ZBUFFER | DDPF_STENCILBUFFER)
                                                          : DDPF_ZBUFFER};
  framework->zBufferFormat.dwFlags = zSearch.wantedFlags;
  framework->direct3D->EnumZBufferFormats(*device, zBufferFormatCallback, &zSearch);
  // Tested whether or not a z-buffer is asked for, as designed.
  if (framework->zBufferFormat.dwSize != sizeof(DDPIXELFORMAT)) {
    FW_MSG("Device doesn't support requested zbuffer format");
    return KVERR_FW_NO_ZBUFFER;
  }
  return 0;
}

HRESULT kvFwCreateBuffers(DeviceFramework* framework, const DDSURFACEDESC2* mode, uint32_t flags) {
  IDirectDraw4* dd = framework->directDraw;
  const bool backBuffer = (flags & KVFW_BACKBUFFER) != 0;
  DDSURFACEDESC2 desc;
  HRESULT result;

  if (framework->fullscreen) {
    const uint32_t width = mode->dwWidth;
    const uint32_t height = mode->dwHeight;
    const uint32_t bits = mode->ddpfPixelFormat.dwRGBBitCount;
    framework->viewportRect = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    framework->screenRect = framework->viewportRect;
    framework->renderWidth = width;
    framework->renderHeight = height;
    const uint32_t modeFlags =
        (width == 320 && height == 200 && bits == 8) ? DDSDM_STANDARDVGAMODE : 0;
    if (FAILED(dd->SetDisplayMode(width, height, bits, mode->dwRefreshRate, modeFlags))) {
      FW_MSG("Can't set display mode");
      return KVERR_FW_BAD_DISPLAY_MODE;
    }

    if (backBuffer) {
      kvInitSurfaceDesc(&desc, DDSD_CAPS | DDSD_BACKBUFFERCOUNT,
                        DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
      desc.dwBackBufferCount = 1;
    } else {
      kvInitSurfaceDesc(&desc, DDSD_CAPS, DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE);
    }
    result = dd->CreateSurface(&desc, &framework->front, nullptr);
    if (FAILED(result)) {
      framework->front = nullptr;
      FW_MSG("Error: Can't create primary surface");
      return reportOutOfVideoMemory(result, KVERR_FW_NO_PRIMARY);
    }

    if (backBuffer) {
      DDSCAPS2 caps;
      std::memset(&caps, 0, sizeof caps);
      caps.dwCaps = DDSCAPS_BACKBUFFER;
      result = framework->front->GetAttachedSurface(&caps, &framework->back);
      if (FAILED(result)) {
        framework->back = nullptr;
        FW_MSG("Error: Can't get/create the backbuffer");
        return reportOutOfVideoMemory(result, KVERR_FW_NO_BACKBUFFER);
      }
    }
  } else {
    RECT client;
    GetClientRect(framework->window, &client);
    POINT topLeft = {client.left, client.top};
    POINT bottomRight = {client.right, client.bottom};
    ClientToScreen(framework->window, &topLeft);
    ClientToScreen(framework->window, &bottomRight);
    framework->viewportRect = client;
    framework->screenRect = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    framework->renderWidth = static_cast<uint32_t>(client.right - client.left);
    framework->renderHeight = static_cast<uint32_t>(client.bottom - client.top);

    kvInitSurfaceDesc(
        &desc, DDSD_CAPS,
        backBuffer ? DDSCAPS_PRIMARYSURFACE : (DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE));
    result = dd->CreateSurface(&desc, &framework->front, nullptr);
    if (FAILED(result)) {
      framework->front = nullptr;
      FW_MSG("Error: Can't create primary surface");
      return reportOutOfVideoMemory(result, KVERR_FW_NO_PRIMARY);
    }

    IDirectDrawClipper* clipper = nullptr;
    if (FAILED(dd->CreateClipper(0, &clipper, nullptr))) {
      FW_MSG("Error: Couldn't create clipper");
      return KVERR_FW_NO_CLIPPER;
    }
    clipper->SetHWnd(0, framework->window);
    framework->front->SetClipper(clipper);
    clipper->Release();  // the front surface keeps its own reference

    if (!backBuffer) {
      // The device renders straight into the window's part of the primary.
      framework->viewportRect = framework->screenRect;
    } else {
      kvInitSurfaceDesc(&desc, DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH,
                        DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE);
      desc.dwWidth = framework->renderWidth;
      desc.dwHeight = framework->renderHeight;
      result = dd->CreateSurface(&desc, &framework->back, nullptr);
      if (FAILED(result)) {
        framework->back = nullptr;
        FW_MSG("Error: Couldn't create the backbuffer");
        return reportOutOfVideoMemory(result, KVERR_FW_NO_BACKBUFFER);
      }
    }
  }

  framework->renderTarget = framework->back != nullptr ? framework->back : framework->front;
  framework->renderTarget->AddRef();
  return 0;
}

HRESULT kvFwCreateZBuffer(DeviceFramework* framework) {
  if (framework->deviceDesc.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_ZBUFFERLESSHSR) return 0;

  DDSURFACEDESC2 desc;
  kvInitSurfaceDesc(&desc, DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT,
                    DDSCAPS_ZBUFFER | framework->deviceMemoryType);
  desc.dwWidth = framework->renderWidth;
  desc.dwHeight = framework->renderHeight;
  desc.ddpfPixelFormat = framework->zBufferFormat;
  const HRESULT result = framework->directDraw->CreateSurface(&desc, &framework->zBuffer, nullptr);
  if (FAILED(result)) {
    framework->zBuffer = nullptr;
    FW_MSG("Error: Couldn't create a ZBuffer surface");
    return reportOutOfVideoMemory(result, KVERR_FW_NO_ZBUFFER);
  }
  if (FAILED(framework->renderTarget->AddAttachedSurface(framework->zBuffer))) {
    FW_MSG("Error: Couldn't attach zbuffer to render surface");
    return KVERR_FW_NO_ZBUFFER;
  }
  return 0;
}

HRESULT kvFwCreate3DDevice(DeviceFramework* framework, const GUID* device) {
  DDSURFACEDESC2 display;
  std::memset(&display, 0, sizeof display);
  display.dwSize = sizeof display;
  framework->directDraw->GetDisplayMode(&display);
  if (display.ddpfPixelFormat.dwRGBBitCount <= 8) return KVERR_FW_INVALID_MODE;

  if (FAILED(framework->direct3D->CreateDevice(*device, framework->renderTarget, &framework->device,
                                               nullptr))) {
    framework->device = nullptr;
    FW_MSG("Couldn't create the D3DDevice");
    return KVERR_FW_NO_3D_DEVICE;
  }
  return 0;
}

HRESULT kvFwCreateViewport(DeviceFramework* framework) {
  D3DVIEWPORT2 data;
  kvInitViewport(&data, framework->renderWidth, framework->renderHeight);
  if (FAILED(framework->direct3D->CreateViewport(&framework->viewport, nullptr))) {
    framework->viewport = nullptr;
    FW_MSG("Error: Couldn't create a viewport");
    return KVERR_FW_NO_VIEWPORT;
  }
  if (FAILED(framework->device->AddViewport(framework->viewport))) {
    FW_MSG("Error: Couldn't add the viewport");
    return KVERR_FW_NO_VIEWPORT;
  }
  if (FAILED(framework->viewport->SetViewport2(&data))) {
    FW_MSG("Error: Couldn't set the viewport data");
    return KVERR_FW_NO_VIEWPORT;
  }
  if (FAILED(framework->device->SetCurrentViewport(framework->viewport))) {
    FW_MSG("Error: Couldn't set current viewport to device");
    return KVERR_FW_NO_VIEWPORT;
  }
  return 0;
}

// Releases every object in teardown order; returns whether the device and the
// DirectDraw object really went away.
static bool releaseObjects(DeviceFramework* framework) {
  bool clean = true;
  releaseAndClear(framework->viewport);
  if (framework->device != nullptr) {
    if (framework->device->Release() > 0) {
      FW_MSG("Error: D3DDevice object is still referenced!");
      clean = false;
    }
    framework->device = nullptr;
  }
  // In full screen the back buffer belongs to the front's flip chain, but
  // GetAttachedSurface counted a reference for us: forgetting it would keep
  // the buffer's record alive after the chain is gone.
  releaseAndClear(framework->back);
  releaseAndClear(framework->renderTarget);
  releaseAndClear(framework->zBuffer);
  releaseAndClear(framework->front);
  releaseAndClear(framework->direct3D);
  if (framework->directDraw != nullptr) {
    framework->directDraw->SetCooperativeLevel(framework->window, DDSCL_NORMAL);
    // Release until it says the object is gone; a count that never falls is a leak
    // the caller hears of, not a reason to spin forever.
    ULONG count = 0;
    for (int attempts = 0; attempts < 1024; ++attempts) {
      count = framework->directDraw->Release();
      if (count == 0) break;
    }
    if (count != 0) clean = false;
    framework->directDraw = nullptr;
  }
  return clean;
}

HRESULT kvFwInitialize(DeviceFramework* framework, HWND window, const GUID* driver,
                       const GUID* device, const DDSURFACEDESC2* mode, uint32_t flags) {
  if (window == nullptr || ((flags & KVFW_FULLSCREEN) && mode == nullptr)) return E_INVALIDARG;
  framework->window = window;
  framework->fullscreen = (flags & KVFW_FULLSCREEN) ? 1 : 0;

  HRESULT result = kvFwCreateDirectDraw(framework, driver, flags);
  if (SUCCEEDED(result) && device != nullptr) result = kvFwCreateDirect3D(framework, device, flags);
  if (SUCCEEDED(result)) result = kvFwCreateBuffers(framework, mode, flags);
  if (SUCCEEDED(result) && device != nullptr) {
    if (flags & KVFW_ZBUFFER) result = kvFwCreateZBuffer(framework);
    if (SUCCEEDED(result)) result = kvFwCreate3DDevice(framework, device);
    if (SUCCEEDED(result)) result = kvFwCreateViewport(framework);
  }

  if (FAILED(result)) {
    releaseObjects(framework);
    if (result == E_FAIL) result = KVERR_FW_INIT_FAILED;
  }
  framework->initialised = 1;
  kvRestoreAllSurfaces();
  return result;
}

HRESULT kvFwDestroyObjects(DeviceFramework* framework) {
  if (!framework->initialised) return 0;
  framework->initialised = 0;
  kvReleaseAllSurfaces();  // textures go before the device
  return releaseObjects(framework) ? 0 : KVERR_FW_NONZERO_REFCOUNT;
}

HRESULT kvFwShowFrame(DeviceFramework* framework, int32_t wait) {
  if (!framework->initialised || framework->front == nullptr) {
    kvDebugPrint("d3d not initialized\n");
    return KVERR_FW_NOT_INITIALIZED;
  }
  if (framework->back == nullptr) {
    if (framework->front->IsLost() == DDERR_SURFACELOST) {
      kvFwRestoreSurfaces(framework);
      kvRestoreAllSurfaces();
    }
    kvDebugPrint("Surface Lost\n");
    return DDERR_SURFACELOST;
  }
  const HRESULT result =
      framework->fullscreen
          ? framework->front->Flip(nullptr, wait ? DDFLIP_WAIT : 0)
          : framework->front->Blt(&framework->screenRect, framework->back, &framework->viewportRect,
                                  wait ? DDBLT_WAIT : 0, nullptr);
  // A lost chain would refuse every later frame: bring it and the textures back
  // now, and still tell the caller this frame was lost.
  if (result == DDERR_SURFACELOST) {
    kvFwRestoreSurfaces(framework);
    kvRestoreAllSurfaces();
  }
  return result;
}

HRESULT kvFwFlipToGDISurface(DeviceFramework* framework, int32_t redrawMenu) {
  if (framework->directDraw == nullptr || !framework->fullscreen) return 0;
  framework->directDraw->FlipToGDISurface();
  if (redrawMenu) {
    DrawMenuBar(framework->window);
    RedrawWindow(framework->window, nullptr, nullptr, RDW_FRAME);
  }
  return 0;
}

HRESULT kvFwRestoreSurfaces(DeviceFramework* framework) {
  IDirectDrawSurface4* surfaces[] = {framework->front, framework->back, framework->zBuffer};
  for (IDirectDrawSurface4* surface : surfaces)
    if (surface != nullptr && surface->IsLost() == DDERR_SURFACELOST) surface->Restore();
  return 0;
}

void kvFwMove(DeviceFramework* framework, int32_t x, int32_t y) {
  if (framework->fullscreen) return;
  framework->screenRect = {x, y, x + static_cast<LONG>(framework->renderWidth),
                           y + static_cast<LONG>(framework->renderHeight)};
  if (framework->back == nullptr) framework->viewportRect = framework->screenRect;
}

HRESULT ChangeRenderTarget(DeviceFramework* framework, IDirectDrawSurface4* surface) {
  if (surface == nullptr) return E_INVALIDARG;
  DDSURFACEDESC2 desc;
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  surface->GetSurfaceDesc(&desc);
  framework->renderWidth = desc.dwWidth;
  framework->renderHeight = desc.dwHeight;

  const bool hadZBuffer = framework->zBuffer != nullptr;
  if (hadZBuffer) {
    framework->renderTarget->DeleteAttachedSurface(0, framework->zBuffer);
    releaseAndClear(framework->zBuffer);
  }
  surface->AddRef();
  releaseAndClear(framework->renderTarget);
  framework->renderTarget = surface;
  if (hadZBuffer && FAILED(kvFwCreateZBuffer(framework))) {
    FW_MSG("ChangeRenderTarget() - zbuffer create failed");
    return KVERR_FW_NO_ZBUFFER;
  }
  if (framework->device == nullptr ||
      FAILED(framework->device->SetRenderTarget(framework->renderTarget, 0)))
    return KVERR_FW_NO_RENDER_TARGET;
  return 0;
}
