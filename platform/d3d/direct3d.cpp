// The Direct3D face of a DirectDraw object: the listed devices' descriptions
// and formats, device and viewport creation.
#include <cstring>
#include <new>

#include "platform/d3d/objects.h"

const GUID IID_IDirect3D3 = {
    0xBB223240, 0xE72B, 0x11D0, {0xA9, 0xB4, 0x00, 0xAA, 0x00, 0xC0, 0x99, 0x3E}};
const GUID IID_IDirect3DDevice3 = {
    0xB0AB3B60, 0x33D7, 0x11D1, {0xA9, 0x81, 0x00, 0xC0, 0x4F, 0xD7, 0xB1, 0x74}};
const GUID IID_IDirect3DViewport3 = {
    0xB0AB3B61, 0x33D7, 0x11D1, {0xA9, 0x81, 0x00, 0xC0, 0x4F, 0xD7, 0xB1, 0x74}};
const GUID IID_IDirect3DRGBDevice = {
    0xA4665C60, 0x2673, 0x11CF, {0xA3, 0x1A, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};
const GUID IID_IDirect3DRefDevice = {
    0x50936643, 0x13E9, 0x11D1, {0x89, 0xAA, 0x00, 0xA0, 0xC9, 0x05, 0x41, 0x29}};
const GUID IID_IDirect3DNullDevice = {
    0x8767DF22, 0xBACC, 0x11D1, {0x89, 0x69, 0x00, 0xA0, 0xC9, 0x06, 0x29, 0xA8}};

namespace kv::d3d {

void describe(const DeviceEntry& entry, D3DDEVICEDESC& hardware, D3DDEVICEDESC& software) {
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

// Direct3D's face of a DirectDraw object (QueryInterface(IID_IDirect3D3)); it
// holds a reference on the DirectDraw object.
HRESULT makeDirect3D(ddraw::DirectDraw* directDraw, void** object) {
  *object = static_cast<IDirect3D3*>(new (std::nothrow) Direct3D(directDraw));
  return *object != nullptr ? DD_OK : E_OUTOFMEMORY;
}

// The rasterizers' refusals go to the debugger channel with the rest of the
// device layer's diagnostics.
void rasterLog(const char* line) { OutputDebugStringA(line); }

// Joins the layers below as the program starts. Whoever asks for Direct3D names
// IID_IDirect3D3, defined in this file, which links these registrations.
[[maybe_unused]] const bool registered =
    ddraw::addInterface(IID_IDirect3D3, makeDirect3D) && (raster::setLogSink(rasterLog), true);

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
  for (const DeviceEntry& entry : devices()) {
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
  for (const DeviceEntry& entry : devices()) {
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

namespace {
std::function<void(const DeviceMade&)>& deviceObserver() {
  static std::function<void(const DeviceMade&)> observer;
  return observer;
}
}  // namespace

HRESULT Direct3D::CreateDevice(REFCLSID guid, LPDIRECTDRAWSURFACE4 renderTarget,
                               LPDIRECT3DDEVICE3* out, IUnknown* outer) {
  if (out == nullptr) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (outer != nullptr) return DDERR_INVALIDPARAMS;
  const DeviceEntry* entry = findDevice(guid);
  if (entry == nullptr) return D3DERR_INVALID_DEVICE;
  auto* target = dynamic_cast<ddraw::Surface*>(renderTarget);
  if (target == nullptr) return DDERR_INVALIDPARAMS;
  if (HRESULT hr = checkRenderTarget(*entry, *target); FAILED(hr)) return hr;
  std::unique_ptr<Backend> backend = entry->makeBackend ? entry->makeBackend() : nullptr;
  if (backend == nullptr) return D3DERR_INITFAILED;
  auto* device = new (std::nothrow) Device(this, *entry, target, std::move(backend));
  if (device == nullptr) return DDERR_OUTOFMEMORY;
  *out = device;
  if (deviceObserver()) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    target->GetSurfaceDesc(&desc);
    deviceObserver()({entry->name, desc.dwWidth, desc.dwHeight, desc.ddpfPixelFormat.dwRGBBitCount,
                      (directDraw_->cooperativeLevel() & DDSCL_FULLSCREEN) != 0});
  }
  return D3D_OK;
}

void setDeviceObserver(std::function<void(const DeviceMade&)> observer) {
  deviceObserver() = std::move(observer);
}

HRESULT Direct3D::EnumZBufferFormats(REFCLSID guid, LPD3DENUMPIXELFORMATSCALLBACK callback,
                                     LPVOID context) {
  if (callback == nullptr) return DDERR_INVALIDPARAMS;
  const DeviceEntry* entry = findDevice(guid);
  if (entry == nullptr) return D3DERR_INVALID_DEVICE;
  return enumFormats(entry->zBufferFormats, callback, context);
}

}  // namespace kv::d3d
