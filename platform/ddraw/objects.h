// The DirectDraw stand-in's objects, as the Direct3D stand-in sees them: it
// draws into surfaces' memory and reads their formats, attachments, palettes
// and colour keys. The kit sees only the interfaces of ddraw.h.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ddraw/ddraw.h"
#include "platform/win/unknown.h"

namespace kv::ddraw {

class DirectDraw;

// ---------------------------------------------------------------------------
// Pixel formats

// The display formats: 8-bit palette indices, RGB565, XRGB8888 (any other depth).
DDPIXELFORMAT displayFormat(uint32_t bitCount);
// Texture formats the software devices offer.
DDPIXELFORMAT paletteFormat8();
DDPIXELFORMAT argb1555Format();
DDPIXELFORMAT argb4444Format();
DDPIXELFORMAT rgb565Format();
DDPIXELFORMAT depthFormat(uint32_t bitDepth);
bool sameFormat(const DDPIXELFORMAT& a, const DDPIXELFORMAT& b);
// Bytes per pixel a surface of this format keeps; 0 for formats it cannot
// hold. Depth buffers always keep 32 bits (the rasterizers' depth).
uint32_t bytesPerPixel(const DDPIXELFORMAT& format);

// ---------------------------------------------------------------------------
// Objects: each counts its references once for all its faces and deletes
// itself at 0 (win::Unknown).

class Clipper final : public win::Unknown<IDirectDrawClipper> {
 public:
  HRESULT GetHWnd(HWND* window) override;
  HRESULT SetHWnd(DWORD flags, HWND window) override;

 private:
  HWND window_ = nullptr;
};

class Palette final : public win::Unknown<IDirectDrawPalette> {
 public:
  Palette(DWORD caps, const PALETTEENTRY* entries, uint32_t count);
  HRESULT GetCaps(LPDWORD caps) override;
  HRESULT GetEntries(DWORD flags, DWORD base, DWORD count, LPPALETTEENTRY entries) override;
  HRESULT SetEntries(DWORD flags, DWORD base, DWORD count, LPPALETTEENTRY entries) override;

  // The entries as opaque ARGB, kept up to date for the rasterizers.
  const uint32_t* argb() const { return argb_.data(); }

 private:
  // Entries base to base + count exist and no flags are given.
  bool validRange(DWORD flags, DWORD base, DWORD count, const PALETTEENTRY* entries) const;

  DWORD caps_;
  uint32_t count_;
  std::array<PALETTEENTRY, 256> entries_{};
  std::array<uint32_t, 256> argb_{};
};

class Surface;

// Something that holds a surface's newest pixels away from its memory while it
// draws into it (a GL device's framebuffer). The surface asks for them back
// before its memory is read or written, and tells the keeper when it goes.
class PixelKeeper {
 public:
  // Copies the newer pixels into the surface's memory (without counting it as
  // a change of the memory).
  virtual void writeBack(Surface& surface) = 0;
  // The surface no longer asks this keeper: it goes, or another keeper came.
  virtual void release(Surface& surface) = 0;
  // A frame going to the screen: shows `area` of the surface's newest pixels
  // as `primary`'s pixels in `to` (the same size and format) without copying
  // them into memory, and keeps the primary's pixels there from then on. With
  // `flip` the two surfaces' memory is about to be exchanged (one back buffer).
  // On true the caller counts one change of the primary's memory (with `flip`
  // of the surface's too), which the keeper has allowed for. False when the
  // keeper cannot: the caller fetches the pixels and shows the memory.
  virtual bool show(Surface& surface, const RECT& area, Surface& primary, const RECT& to,
                    bool flip) {
    return false;
  }

 protected:
  ~PixelKeeper() = default;
};

class Surface final : public win::Unknown<IDirectDrawSurface4, IDirect3DTexture2> {
 public:
  // Made by DirectDraw::CreateSurface; memory is allocated by allocate().
  Surface(DirectDraw* owner, const DDSURFACEDESC2& desc);
  bool allocate();

  // IDirectDrawSurface4
  HRESULT AddAttachedSurface(LPDIRECTDRAWSURFACE4 surface) override;
  HRESULT Blt(LPRECT destRect, LPDIRECTDRAWSURFACE4 source, LPRECT sourceRect, DWORD flags,
              LPDDBLTFX effects) override;
  HRESULT DeleteAttachedSurface(DWORD flags, LPDIRECTDRAWSURFACE4 surface) override;
  HRESULT Flip(LPDIRECTDRAWSURFACE4 targetOverride, DWORD flags) override;
  HRESULT GetAttachedSurface(LPDDSCAPS2 caps, LPDIRECTDRAWSURFACE4* surface) override;
  HRESULT GetCaps(LPDDSCAPS2 caps) override;
  HRESULT GetClipper(LPDIRECTDRAWCLIPPER* clipper) override;
  HRESULT GetColorKey(DWORD flags, LPDDCOLORKEY key) override;
  HRESULT GetPalette(LPDIRECTDRAWPALETTE* palette) override;
  HRESULT GetPixelFormat(LPDDPIXELFORMAT format) override;
  HRESULT GetSurfaceDesc(LPDDSURFACEDESC2 desc) override;
  HRESULT IsLost() override;
  HRESULT Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD flags, HANDLE event) override;
  HRESULT Restore() override;
  HRESULT SetClipper(LPDIRECTDRAWCLIPPER clipper) override;
  HRESULT SetColorKey(DWORD flags, LPDDCOLORKEY key) override;
  HRESULT SetPalette(LPDIRECTDRAWPALETTE palette) override;
  HRESULT Unlock(LPRECT rect) override;
  HRESULT GetDDInterface(LPVOID* directDraw) override;

  // IDirect3DTexture2
  HRESULT GetHandle(LPDIRECT3DDEVICE3 device, D3DTEXTUREHANDLE* handle) override;
  HRESULT PaletteChanged(DWORD start, DWORD count) override;
  HRESULT Load(LPDIRECT3DTEXTURE2 source) override;

  // For the Direct3D stand-in and the display.
  uint8_t* pixels() const { return memory_.get(); }
  int32_t pitch() const { return pitch_; }
  int32_t width() const { return static_cast<int32_t>(desc_.dwWidth); }
  int32_t height() const { return static_cast<int32_t>(desc_.dwHeight); }
  const DDPIXELFORMAT& format() const { return desc_.ddpfPixelFormat; }
  DWORD caps() const { return desc_.ddsCaps.dwCaps; }
  bool lost() const { return lost_; }
  bool alive() const { return memory_ != nullptr; }
  Surface* zBuffer() const;
  const Palette* palette() const { return palette_; }
  bool sourceKey(DWORD& value) const {
    value = sourceKey_.dwColorSpaceLowValue;
    return hasSourceKey_;
  }
  DirectDraw* owner() const { return owner_; }

  // Unique for the process and never reused, unlike the object's address.
  uint64_t id() const { return id_; }
  // Counts changes of the memory (unlock, blit, flip, restore, load), so that
  // a copy kept elsewhere knows when it is stale.
  uint64_t generation() const { return generation_; }
  // A keeper takes the surface's pixels (null: memory alone holds them); a
  // previous keeper writes back first and is released.
  void setKeeper(PixelKeeper* keeper);
  PixelKeeper* keeper() const { return keeper_; }
  // The newest pixels into memory, from the keeper if there is one.
  void fetchPixels();

  // Front of a flip chain: takes the back buffer into the chain.
  void adoptBackBuffer(Surface* back);
  // Front of a flip chain: shows the buffer the chain started with.
  HRESULT showOriginal();
  void markLost() { lost_ = true; }
  void orphan() { owner_ = nullptr; }
  // Frees what a destroyed flip chain took with it; a back buffer somebody
  // still holds lives on until its last reference goes, answering every call
  // with DDERR_SURFACELOST, so no release order leaves a dangling pointer.
  void discard();

 private:
  ~Surface() override;
  bool offers(REFIID riid) const override;
  bool isPrimary() const { return (caps() & DDSCAPS_PRIMARYSURFACE) != 0; }
  void present(const RECT& area);
  HRESULT fill(const RECT& dest, DWORD value);

  // Memory is about to change: the keeper's copy is fetched and goes stale.
  void changing();

  DirectDraw* owner_;
  DDSURFACEDESC2 desc_;
  uint64_t id_;
  uint64_t generation_ = 0;
  PixelKeeper* keeper_ = nullptr;
  std::unique_ptr<uint8_t[]> memory_;
  int32_t pitch_ = 0;
  uint32_t addressSlot_ = 0;
  bool lost_ = false;
  bool locked_ = false;
  bool hasSourceKey_ = false;
  DDCOLORKEY sourceKey_{};
  bool hasDestKey_ = false;
  DDCOLORKEY destKey_{};
  Clipper* clipper_ = nullptr;
  Palette* palette_ = nullptr;
  // Explicit attachments (a z-buffer) hold a reference; the back buffers of a
  // flip chain belong to the chain and go with its front.
  std::vector<Surface*> attached_;
  std::vector<Surface*> chain_;        // front only: its back buffers, nearest first
  uint8_t* originalMemory_ = nullptr;  // front of a chain: the buffer it started with
};

class DirectDraw final : public win::Unknown<IDirectDraw, IDirectDraw4> {
 public:
  DirectDraw();

  // IDirectDraw
  HRESULT GetDisplayMode(LPDDSURFACEDESC mode) override;
  // IDirectDraw and IDirectDraw4
  HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
  // IDirectDraw4
  HRESULT CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* clipper, IUnknown* outer) override;
  HRESULT CreatePalette(DWORD flags, LPPALETTEENTRY entries, LPDIRECTDRAWPALETTE* palette,
                        IUnknown* outer) override;
  HRESULT CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE4* surface,
                        IUnknown* outer) override;
  HRESULT EnumDisplayModes(DWORD flags, LPDDSURFACEDESC2 filter, LPVOID context,
                           LPDDENUMMODESCALLBACK2 callback) override;
  HRESULT FlipToGDISurface() override;
  HRESULT GetCaps(LPDDCAPS driverCaps, LPDDCAPS helCaps) override;
  HRESULT GetDisplayMode(LPDDSURFACEDESC2 mode) override;
  HRESULT RestoreDisplayMode() override;
  HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitCount, DWORD refreshRate,
                         DWORD flags) override;
  HRESULT RestoreAllSurfaces() override;
  HRESULT TestCooperativeLevel() override;

  IDirectDraw4* asDirectDraw4() { return this; }
  DWORD cooperativeLevel() const { return level_; }

 private:
  ~DirectDraw() override;
  // IID_IDirect3D3: a new Direct3D object on this one.
  HRESULT queryOther(REFIID riid, void** object) override;
  void describeDisplay(DDSURFACEDESC2& desc);

  DWORD level_ = 0;
  HWND window_ = nullptr;
  bool modeSet_ = false;
};

// A face a layer above gives every DirectDraw object (the Direct3D stand-in's
// IDirect3D3): QueryInterface with that IID calls the maker, which answers as
// QueryInterface does. Registered from static initialisers (the table needs no
// construction), so this layer names nothing above it; false when full.
using InterfaceMaker = HRESULT (*)(DirectDraw* directDraw, void** object);
bool addInterface(const GUID& iid, InterfaceMaker make);

// Every live surface, oldest first (the stand-in's registry for loss and tests).
const std::vector<Surface*>& liveSurfaces();

}  // namespace kv::ddraw
