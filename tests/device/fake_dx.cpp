#include "tests/device/fake_dx.h"

#include <cstring>

namespace fake {

std::vector<std::string>& calls() {
  static std::vector<std::string> record;
  return record;
}

std::string joinedCalls() {
  std::string joined;
  for (const std::string& call : calls()) joined += call + ";";
  return joined;
}

namespace {
void record(const std::string& call) { calls().push_back(call); }
std::string hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(value));
  return text;
}
}  // namespace

HRESULT Device::BeginScene() {
  record("BeginScene()");
  return beginResult;
}
HRESULT Device::EndScene() {
  record("EndScene()");
  return 0;
}
HRESULT Device::SetRenderTarget(LPDIRECTDRAWSURFACE4 surface, DWORD flags) {
  record("SetRenderTarget(" + static_cast<Surface*>(surface)->name + ")");
  return 0;
}
HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  record("RS(" + std::to_string(state) + "," + std::to_string(value) + ")");
  return 0;
}
HRESULT Device::SetTexture(DWORD stage, LPDIRECT3DTEXTURE2 texture) {
  record(texture != nullptr ? "SetTexture(texture)" : "SetTexture(null)");
  return 0;
}

HRESULT Viewport::Clear2(DWORD count, LPD3DRECT rects, DWORD flags, D3DCOLOR color, D3DVALUE z,
                         DWORD stencil) {
  record("Clear2(" + std::to_string(count) + ",[" + std::to_string(rects->x1) + "," +
         std::to_string(rects->y1) + "," + std::to_string(rects->x2) + "," + std::to_string(rects->y2) +
         "]," + std::to_string(flags) + "," + hex(color) + "," + std::to_string(z) + ")");
  return 0;
}

HRESULT Surface::AddAttachedSurface(LPDIRECTDRAWSURFACE4 surface) {
  record(name + ".AddAttachedSurface");
  return 0;
}
HRESULT Surface::DeleteAttachedSurface(DWORD, LPDIRECTDRAWSURFACE4) {
  record(name + ".DeleteAttachedSurface");
  return 0;
}
HRESULT Surface::GetSurfaceDesc(LPDDSURFACEDESC2 desc) {
  desc->dwWidth = width;
  desc->dwHeight = height;
  return 0;
}
HRESULT Surface::SetColorKey(DWORD flags, LPDDCOLORKEY key) {
  record(name + ".SetColorKey(" + std::to_string(flags) + "," + hex(key->dwColorSpaceLowValue) + "," +
         hex(key->dwColorSpaceHighValue) + ")");
  return 0;
}

HRESULT DirectDraw::CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE4* surface, IUnknown*) {
  lastDesc = *desc;
  record("CreateSurface(" + hex(desc->ddsCaps.dwCaps) + "," + std::to_string(desc->dwWidth) + "x" +
         std::to_string(desc->dwHeight) + ")");
  if (FAILED(createResult)) return createResult;
  created.AddRef();
  *surface = &created;
  return 0;
}

HRESULT DirectDraw::QueryInterface(REFIID id, void** object) {
  if (!(id == IID_IDirect3D3) || direct3D == nullptr) return E_NOINTERFACE;
  direct3D->AddRef();
  *object = direct3D;
  return 0;
}

HRESULT DirectDraw::GetDisplayMode(LPDDSURFACEDESC2 mode) {
  mode->ddpfPixelFormat.dwRGBBitCount = displayBits;
  return 0;
}

HRESULT Direct3D::FindDevice(LPD3DFINDDEVICESEARCH search, LPD3DFINDDEVICERESULT result) {
  record("FindDevice(" + std::to_string(search->dwSize) + "," + std::to_string(search->dwFlags) + "," +
         std::to_string(result->dwSize) + ")");
  if (FAILED(findResult)) return findResult;
  result->ddHwDesc = hardware;
  result->ddSwDesc = software;
  return 0;
}

HRESULT Direct3D::EnumZBufferFormats(REFCLSID, LPD3DENUMPIXELFORMATSCALLBACK callback, LPVOID context) {
  for (DDPIXELFORMAT& format : depthFormats) {
    ++depthFormatsOffered;
    if (callback(&format, context) == DDENUMRET_CANCEL) break;
  }
  return 0;
}

DDPIXELFORMAT depthFormat(DWORD flags, DWORD bits) {
  DDPIXELFORMAT format = {};
  format.dwSize = sizeof format;
  format.dwFlags = flags;
  format.dwZBufferBitDepth = bits;
  return format;
}

Rig::Rig() {
  std::memset(&kvFramework, 0, sizeof kvFramework);
  kvFramework.initialised = 1;
  kvFramework.device = &device;
  kvFramework.viewport = &viewport;
  kvFramework.front = &front;
  kvFramework.back = &back;
  kvFramework.renderTarget = &back;
  kvFramework.directDraw = &directDraw;
  kvFramework.direct3D = &direct3D;
  directDraw.direct3D = &direct3D;
  kvFramework.viewportRect = {0, 0, 640, 480};
  calls().clear();
}

Rig::~Rig() {
  std::memset(&kvFramework, 0, sizeof kvFramework);
  calls().clear();
}

}  // namespace fake
