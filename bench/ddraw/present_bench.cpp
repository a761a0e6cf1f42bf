// The cost the stand-ins add around the rasterizers, per frame of the demo:
// presenting a 640 x 480 back buffer (windowed Blt and full-screen Flip, each
// with the headless screen's conversion), clearing target and depth, and the
// device's per-draw work on a fan that covers nothing.
#include <benchmark/benchmark.h>

#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/host/headless/headless.h"
#include "platform/raster/raster.h"

namespace {

const HWND kWindow = reinterpret_cast<HWND>(1);

DDSURFACEDESC2 describe(DWORD caps, DWORD width = 0, DWORD height = 0) {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | (width != 0 ? DDSD_WIDTH | DDSD_HEIGHT : 0);
  desc.ddsCaps.dwCaps = caps;
  desc.dwWidth = width;
  desc.dwHeight = height;
  return desc;
}

struct Machine {
  LPDIRECTDRAW4 dd = nullptr;
  LPDIRECTDRAWSURFACE4 front = nullptr, back = nullptr, z = nullptr;
  LPDIRECT3D3 d3d = nullptr;
  LPDIRECT3DDEVICE3 device = nullptr;
  LPDIRECT3DVIEWPORT3 viewport = nullptr;

  explicit Machine(bool fullScreen) {
    kv::headless::install();
    LPDIRECTDRAW first = nullptr;
    DirectDrawCreate(nullptr, &first, nullptr);
    first->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&dd));
    first->Release();
    if (fullScreen) {
      dd->SetCooperativeLevel(kWindow, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE);
      dd->SetDisplayMode(640, 480, 16, 0, 0);
      DDSURFACEDESC2 desc =
          describe(DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
      desc.dwFlags |= DDSD_BACKBUFFERCOUNT;
      desc.dwBackBufferCount = 1;
      dd->CreateSurface(&desc, &front, nullptr);
      DDSCAPS2 caps{DDSCAPS_BACKBUFFER, 0, 0, 0};
      front->GetAttachedSurface(&caps, &back);
    } else {
      dd->SetCooperativeLevel(kWindow, DDSCL_NORMAL);
      DDSURFACEDESC2 desc = describe(DDSCAPS_PRIMARYSURFACE);
      dd->CreateSurface(&desc, &front, nullptr);
      desc = describe(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE, 640, 480);
      dd->CreateSurface(&desc, &back, nullptr);
    }
    DDSURFACEDESC2 desc = describe(DDSCAPS_ZBUFFER, 640, 480);
    desc.dwFlags |= DDSD_PIXELFORMAT;
    desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    desc.ddpfPixelFormat.dwFlags = DDPF_ZBUFFER;
    desc.ddpfPixelFormat.dwZBufferBitDepth = 32;
    desc.ddpfPixelFormat.dwZBitMask = 0xFFFFFFFF;
    dd->CreateSurface(&desc, &z, nullptr);
    back->AddAttachedSurface(z);
    dd->QueryInterface(IID_IDirect3D3, reinterpret_cast<void**>(&d3d));
    d3d->CreateDevice(IID_IDirect3DRGBDevice, back, &device, nullptr);
    d3d->CreateViewport(&viewport, nullptr);
    device->AddViewport(viewport);
    D3DVIEWPORT2 data{sizeof(D3DVIEWPORT2), 0, 0, 640, 480, -1, 1, 2, 2, 0, 1};
    viewport->SetViewport2(&data);
  }

  ~Machine() {
    viewport->Release();
    device->Release();
    d3d->Release();
    if (back != nullptr) back->Release();
    z->Release();
    front->Release();
    dd->Release();
  }
};

void BM_PresentWindowed(benchmark::State& state) {
  Machine m(false);
  RECT screen{100, 100, 740, 580}, source{0, 0, 640, 480};
  for (auto _ : state) m.front->Blt(&screen, m.back, &source, DDBLT_WAIT, nullptr);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PresentWindowed)->Unit(benchmark::kMicrosecond);

void BM_PresentFullScreen(benchmark::State& state) {
  Machine m(true);
  for (auto _ : state) m.front->Flip(nullptr, DDFLIP_WAIT);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PresentFullScreen)->Unit(benchmark::kMicrosecond);

void BM_ClearTargetAndDepth(benchmark::State& state) {
  Machine m(false);
  D3DRECT all{0, 0, 640, 480};
  for (auto _ : state)
    m.viewport->Clear2(1, &all, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x203040, 0, 0);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ClearTargetAndDepth)->Unit(benchmark::kMicrosecond);

// What a draw costs before any pixel: state resolution and dispatch.
void BM_DrawPrimitiveOverhead(benchmark::State& state) {
  Machine m(false);
  m.device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  m.device->BeginScene();
  kv::raster::Vertex v[4] = {};
  for (auto& vertex : v) vertex.diffuse = 0xFFFFFFFF;
  v[1].sx = v[2].sx = 0.25f;  // a sliver that covers no pixel centre
  v[2].sy = v[3].sy = 0.25f;
  for (auto _ : state)
    m.device->DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, v, 4,
                            0);
  m.device->EndScene();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DrawPrimitiveOverhead);

}  // namespace

BENCHMARK_MAIN();
