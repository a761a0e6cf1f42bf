// Surfaces: memory with a pitch and a format, lock and unlock, loss and
// restore, attachments (a z-buffer; the back buffers of a flip chain), clipper,
// palette, colour keys, flip and blit. Blits and flips into the primary
// surface are handed to the host's screen.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/ddraw/objects.h"
#include "platform/host/host.h"
#include "platform/pixel/rgb565.h"

namespace kv::ddraw {

namespace {

// Registry of live surfaces and of the addresses that DDSurfaceAddress
// handles stand for (slot 0 is the null address).
struct Registry {
  std::vector<Surface*> live;
  std::vector<void*> addresses{nullptr};
  std::vector<uint32_t> freeSlots;
};

Registry& registry() {
  static Registry r;
  return r;
}

uint32_t takeSlot() {
  Registry& r = registry();
  if (!r.freeSlots.empty()) {
    const uint32_t slot = r.freeSlots.back();
    r.freeSlots.pop_back();
    return slot;
  }
  r.addresses.push_back(nullptr);
  return static_cast<uint32_t>(r.addresses.size() - 1);
}

void giveSlot(uint32_t slot) {
  Registry& r = registry();
  r.addresses[slot] = nullptr;
  r.freeSlots.push_back(slot);
}

bool isEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

bool inside(const RECT& r, int32_t width, int32_t height) {
  return r.left >= 0 && r.top >= 0 && r.right <= width && r.bottom <= height && !isEmpty(r);
}

RECT intersect(const RECT& r, int32_t width, int32_t height) {
  return {std::max<LONG>(r.left, 0), std::max<LONG>(r.top, 0), std::min<LONG>(r.right, width),
          std::min<LONG>(r.bottom, height)};
}

uint32_t readPixel(const uint8_t* row, int32_t x, uint32_t bytes) {
  switch (bytes) {
    case 1:
      return row[x];
    case 2:
      return reinterpret_cast<const uint16_t*>(row)[x];
    default:
      return reinterpret_cast<const uint32_t*>(row)[x];
  }
}

void writePixel(uint8_t* row, int32_t x, uint32_t bytes, uint32_t value) {
  switch (bytes) {
    case 1:
      row[x] = static_cast<uint8_t>(value);
      break;
    case 2:
      reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(value);
      break;
    default:
      reinterpret_cast<uint32_t*>(row)[x] = value;
      break;
  }
}

// Converts between the two RGB display formats; other pairs copy raw values.
uint32_t convertPixel(uint32_t value, uint32_t fromBytes, uint32_t toBytes) {
  if (fromBytes == 2 && toBytes == 4) {
    return 0xFF000000u | rgbFrom565(value);
  }
  if (fromBytes == 4 && toBytes == 2)
    return ((value >> 8) & 0xF800) | ((value >> 5) & 0x07E0) | ((value >> 3) & 0x001F);
  return value;
}

bool rgbDisplayFormat(const DDPIXELFORMAT& f) {
  return sameFormat(f, displayFormat(16)) || sameFormat(f, displayFormat(32));
}

}  // namespace

const std::vector<Surface*>& liveSurfaces() { return registry().live; }

}  // namespace kv::ddraw

void* DDSurfaceAddress::resolve() const {
  const auto& addresses = kv::ddraw::registry().addresses;
  return handle < addresses.size() ? addresses[handle] : nullptr;
}

namespace kv::ddraw {

namespace {
uint64_t nextSurfaceId = 1;
}

Surface::Surface(DirectDraw* owner, const DDSURFACEDESC2& desc)
    : owner_(owner), desc_(desc), id_(nextSurfaceId++) {
  registry().live.push_back(this);
  addressSlot_ = takeSlot();
}

Surface::~Surface() {
  discard();
  giveSlot(addressSlot_);
  std::erase(registry().live, this);
}

bool Surface::allocate() {
  const uint32_t bytes = bytesPerPixel(desc_.ddpfPixelFormat);
  // Rows start on 16-byte boundaries, as video memory rows do; callers must
  // walk rows by the pitch, never by width x bytes.
  pitch_ = static_cast<int32_t>((desc_.dwWidth * bytes + 15) & ~15u);
  const size_t size = static_cast<size_t>(pitch_) * desc_.dwHeight;
  memory_.reset(new (std::nothrow) uint8_t[size]());
  originalMemory_ = memory_.get();
  return memory_ != nullptr;
}

void Surface::setKeeper(PixelKeeper* keeper) {
  if (keeper_ == keeper) return;
  if (keeper_ != nullptr) {
    PixelKeeper* previous = keeper_;
    previous->writeBack(*this);
    keeper_ = nullptr;
    previous->release(*this);
  }
  keeper_ = keeper;
}

void Surface::fetchPixels() {
  if (keeper_ != nullptr && memory_ != nullptr) keeper_->writeBack(*this);
}

void Surface::changing() {
  fetchPixels();
  ++generation_;
}

bool Surface::offers(REFIID riid) const {
  return riid != IID_IDirect3DTexture2 || (caps() & DDSCAPS_TEXTURE);
}

void Surface::discard() {
  if (keeper_ != nullptr) {
    PixelKeeper* previous = keeper_;
    keeper_ = nullptr;
    previous->release(*this);
  }
  if (clipper_ != nullptr) clipper_->Release();
  clipper_ = nullptr;
  if (palette_ != nullptr) palette_->Release();
  palette_ = nullptr;
  std::vector<Surface*> attached;
  attached.swap(attached_);
  for (Surface* s : attached) s->Release();
  std::vector<Surface*> chain;
  chain.swap(chain_);
  for (Surface* back : chain) {
    back->discard();
    back->Release();  // the chain's own reference
  }
  memory_.reset();
  originalMemory_ = nullptr;
  lost_ = true;
  locked_ = false;
  registry().addresses[addressSlot_] = nullptr;
}

void Surface::adoptBackBuffer(Surface* back) { chain_.push_back(back); }

Surface* Surface::zBuffer() const {
  for (Surface* s : attached_)
    if (s->caps() & DDSCAPS_ZBUFFER) return s;
  return nullptr;
}

HRESULT Surface::AddAttachedSurface(LPDIRECTDRAWSURFACE4 surface) {
  auto* z = dynamic_cast<Surface*>(surface);
  if (z == nullptr || z == this) return DDERR_INVALIDPARAMS;
  if (!alive() || !z->alive()) return DDERR_SURFACELOST;
  if (!(z->caps() & DDSCAPS_ZBUFFER) || (caps() & DDSCAPS_ZBUFFER))
    return DDERR_CANNOTATTACHSURFACE;
  if (z->width() < width() || z->height() < height()) return DDERR_CANNOTATTACHSURFACE;
  if (zBuffer() != nullptr) return DDERR_SURFACEALREADYATTACHED;
  z->AddRef();
  attached_.push_back(z);
  return DD_OK;
}

HRESULT Surface::DeleteAttachedSurface(DWORD flags, LPDIRECTDRAWSURFACE4 surface) {
  if (flags != 0) return DDERR_INVALIDPARAMS;
  if (surface == nullptr) {  // every explicit attachment
    std::vector<Surface*> attached;
    attached.swap(attached_);
    for (Surface* s : attached) s->Release();
    return DD_OK;
  }
  const auto it = std::find(attached_.begin(), attached_.end(), dynamic_cast<Surface*>(surface));
  if (it == attached_.end()) return DDERR_SURFACENOTATTACHED;
  Surface* s = *it;
  attached_.erase(it);
  s->Release();
  return DD_OK;
}

HRESULT Surface::GetAttachedSurface(LPDDSCAPS2 wanted, LPDIRECTDRAWSURFACE4* surface) {
  if (surface == nullptr) return DDERR_INVALIDPARAMS;
  *surface = nullptr;
  if (wanted == nullptr) return DDERR_INVALIDPARAMS;
  for (const std::vector<Surface*>* list : {&chain_, &attached_})
    for (Surface* s : *list)
      if ((s->caps() & wanted->dwCaps) == wanted->dwCaps) {
        s->AddRef();
        *surface = s;
        return DD_OK;
      }
  return DDERR_NOTFOUND;
}

HRESULT Surface::GetCaps(LPDDSCAPS2 caps) {
  if (caps == nullptr) return DDERR_INVALIDPARAMS;
  *caps = desc_.ddsCaps;
  return DD_OK;
}

HRESULT Surface::GetClipper(LPDIRECTDRAWCLIPPER* clipper) {
  return win::handOut(clipper_, clipper, DDERR_NOCLIPPERATTACHED);
}

HRESULT Surface::SetClipper(LPDIRECTDRAWCLIPPER clipper) {
  auto* ours = dynamic_cast<Clipper*>(clipper);
  if (clipper != nullptr && ours == nullptr) return DDERR_INVALIDPARAMS;
  win::hold(clipper_, ours);
  return DD_OK;
}

HRESULT Surface::GetColorKey(DWORD flags, LPDDCOLORKEY key) {
  if (key == nullptr) return DDERR_INVALIDPARAMS;
  if (flags == DDCKEY_SRCBLT) {
    if (!hasSourceKey_) return DDERR_NOCOLORKEY;
    *key = sourceKey_;
  } else if (flags == DDCKEY_DESTBLT) {
    if (!hasDestKey_) return DDERR_NOCOLORKEY;
    *key = destKey_;
  } else {
    return DDERR_INVALIDPARAMS;
  }
  return DD_OK;
}

HRESULT Surface::SetColorKey(DWORD flags, LPDDCOLORKEY key) {
  // A null key removes it.
  if (flags == DDCKEY_SRCBLT) {
    hasSourceKey_ = key != nullptr;
    if (key != nullptr) sourceKey_ = *key;
  } else if (flags == DDCKEY_DESTBLT) {
    hasDestKey_ = key != nullptr;
    if (key != nullptr) destKey_ = *key;
  } else {
    return DDERR_INVALIDPARAMS;
  }
  return DD_OK;
}

HRESULT Surface::GetPalette(LPDIRECTDRAWPALETTE* palette) {
  return win::handOut(palette_, palette, DDERR_NOPALETTEATTACHED);
}

HRESULT Surface::SetPalette(LPDIRECTDRAWPALETTE palette) {
  auto* ours = dynamic_cast<Palette*>(palette);
  if (palette != nullptr && ours == nullptr) return DDERR_INVALIDPARAMS;
  if (ours != nullptr && !(format().dwFlags & DDPF_PALETTEINDEXED8)) return DDERR_NOTPALETTIZED;
  win::hold(palette_, ours);
  return DD_OK;
}

HRESULT Surface::GetPixelFormat(LPDDPIXELFORMAT pixelFormat) {
  if (pixelFormat == nullptr) return DDERR_INVALIDPARAMS;
  *pixelFormat = format();
  return DD_OK;
}

HRESULT Surface::GetSurfaceDesc(LPDDSURFACEDESC2 desc) {
  if (desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  *desc = desc_;
  desc->dwFlags |= DDSD_PITCH;
  desc->lPitch = pitch_;
  desc->lpSurface = nullptr;
  return DD_OK;
}

HRESULT Surface::IsLost() { return lost_ || owner_ == nullptr ? DDERR_SURFACELOST : DD_OK; }

HRESULT Surface::Restore() {
  if (!alive() || owner_ == nullptr) return DDERR_SURFACELOST;
  if (isPrimary()) {
    // The screen comes back only in the mode it was made for.
    const host::DisplayMode mode = host::current().desktopMode();
    if (mode.width != desc_.dwWidth || mode.height != desc_.dwHeight ||
        !sameFormat(displayFormat(mode.bitCount), format()))
      return DDERR_WRONGMODE;
  }
  lost_ = false;
  ++generation_;
  for (Surface* back : chain_) {
    back->lost_ = false;
    ++back->generation_;
  }
  return DD_OK;
}

HRESULT Surface::Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD flags, HANDLE event) {
  if (desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  if (IsLost() != DD_OK) return DDERR_SURFACELOST;
  if (locked_) return DDERR_SURFACEBUSY;
  const uint32_t bytes = bytesPerPixel(format());
  uint8_t* address = memory_.get();
  if (rect != nullptr) {
    if (!inside(*rect, width(), height())) return DDERR_INVALIDRECT;
    address +=
        static_cast<ptrdiff_t>(rect->top) * pitch_ + static_cast<ptrdiff_t>(rect->left) * bytes;
  }
  // Whatever the caller does with the memory, the keeper's copy is stale after.
  changing();
  locked_ = true;
  registry().addresses[addressSlot_] = address;
  *desc = desc_;
  desc->dwFlags |= DDSD_PITCH | DDSD_LPSURFACE;
  desc->lPitch = pitch_;
  desc->lpSurface.handle = addressSlot_;
  if (hasSourceKey_) {
    desc->dwFlags |= DDSD_CKSRCBLT;
    desc->ddckCKSrcBlt = sourceKey_;
  }
  return DD_OK;
}

HRESULT Surface::Unlock(LPRECT) {
  if (!locked_) return DDERR_NOTLOCKED;
  locked_ = false;
  ++generation_;
  // The address stays resolvable until the memory goes; a primary shows
  // what was written into it.
  if (isPrimary()) present({0, 0, width(), height()});
  return DD_OK;
}

HRESULT Surface::GetDDInterface(LPVOID* directDraw) {
  IDirectDraw4* maker = owner_ != nullptr ? owner_->asDirectDraw4() : nullptr;
  return win::handOut(maker, directDraw, DDERR_INVALIDOBJECT);
}

void Surface::present(const RECT& area) {
  if (!isPrimary() || !alive()) return;
  host::PresentedFrame frame{};
  frame.pixels = memory_.get();
  frame.pitch = pitch_;
  frame.bitCount = format().dwRGBBitCount;
  frame.source = {area.left, area.top, area.right, area.bottom};
  frame.screen = frame.source;
  host::current().present(frame);
}

HRESULT Surface::fill(const RECT& dest, DWORD value) {
  const uint32_t bytes = bytesPerPixel(format());
  for (LONG y = dest.top; y < dest.bottom; ++y) {
    uint8_t* row = memory_.get() + static_cast<ptrdiff_t>(y) * pitch_;
    for (LONG x = dest.left; x < dest.right; ++x) writePixel(row, x, bytes, value);
  }
  return DD_OK;
}

HRESULT Surface::Blt(LPRECT destRect, LPDIRECTDRAWSURFACE4 sourceFace, LPRECT sourceRect,
                     DWORD flags, LPDDBLTFX effects) {
  if (IsLost() != DD_OK) return DDERR_SURFACELOST;
  if (locked_) return DDERR_SURFACEBUSY;
  const RECT dest = destRect != nullptr ? *destRect : RECT{0, 0, width(), height()};
  if (isEmpty(dest)) return DDERR_INVALIDRECT;
  // With a clipper the picture is cut to the surface; without one it must fit.
  if (clipper_ == nullptr && !inside(dest, width(), height())) return DDERR_INVALIDRECT;
  const RECT clipped = intersect(dest, width(), height());

  if (flags & (DDBLT_COLORFILL | DDBLT_DEPTHFILL)) {
    if (effects == nullptr || effects->dwSize != sizeof(DDBLTFX)) return DDERR_INVALIDPARAMS;
    const bool depth = (flags & DDBLT_DEPTHFILL) != 0;
    if (depth != ((caps() & DDSCAPS_ZBUFFER) != 0)) return DDERR_INVALIDPARAMS;
    if (!isEmpty(clipped)) changing();
    if (!isEmpty(clipped)) fill(clipped, depth ? effects->dwFillDepth : effects->dwFillColor);
    if (!isEmpty(clipped)) present(clipped);
    return DD_OK;
  }

  auto* source = dynamic_cast<Surface*>(sourceFace);
  if (source == nullptr) return DDERR_INVALIDPARAMS;
  if (source->IsLost() != DD_OK) return DDERR_SURFACELOST;
  if (source->locked_) return DDERR_SURFACEBUSY;
  const RECT from =
      sourceRect != nullptr ? *sourceRect : RECT{0, 0, source->width(), source->height()};
  if (!inside(from, source->width(), source->height())) return DDERR_INVALIDRECT;
  const uint32_t toBytes = bytesPerPixel(format());
  const uint32_t fromBytes = bytesPerPixel(source->format());
  const bool same = sameFormat(format(), source->format());
  if (!same && !(rgbDisplayFormat(format()) && rgbDisplayFormat(source->format())))
    return DDERR_INVALIDPIXELFORMAT;
  const bool keyed = (flags & DDBLT_KEYSRC) != 0;
  if (keyed && !source->hasSourceKey_) return DDERR_NOCOLORKEY;
  const DDCOLORKEY key = source->sourceKey_;
  if (isEmpty(clipped)) return DD_OK;
  // A frame drawn away from memory goes to the screen from where it is; its
  // pixels reach the primary's memory only when someone asks for them.
  const bool unscaled = int64_t{dest.right} - dest.left == int64_t{from.right} - from.left &&
                        int64_t{dest.bottom} - dest.top == int64_t{from.bottom} - from.top;
  const bool whole = clipped.left == dest.left && clipped.top == dest.top &&
                     clipped.right == dest.right && clipped.bottom == dest.bottom;
  if (isPrimary() && source != this && source->keeper_ != nullptr && same && !keyed && unscaled &&
      whole) {
    if (source->keeper_->show(*source, from, *this, clipped, false)) {
      ++generation_;
      return DD_OK;
    }
  }
  source->fetchPixels();
  changing();

  // In 64 bits: with a clipper the destination may be any rectangle at all.
  const int64_t dw = int64_t{dest.right} - dest.left, dh = int64_t{dest.bottom} - dest.top;
  const int64_t sw = int64_t{from.right} - from.left, sh = int64_t{from.bottom} - from.top;
  const bool straight = same && !keyed && dw == sw && dh == sh;
  // Overlapping copies within one surface go bottom-up when moving down.
  const bool upward = source == this && dest.top > from.top;
  for (LONG i = 0; i < clipped.bottom - clipped.top; ++i) {
    const LONG y = upward ? clipped.bottom - 1 - i : clipped.top + i;
    const LONG sy = static_cast<LONG>(from.top + (int64_t{y} - dest.top) * sh / dh);
    uint8_t* row = memory_.get() + static_cast<ptrdiff_t>(y) * pitch_;
    const uint8_t* sourceRow = source->memory_.get() + static_cast<ptrdiff_t>(sy) * source->pitch_;
    if (straight) {
      const LONG sx = static_cast<LONG>(from.left + (int64_t{clipped.left} - dest.left));
      std::memmove(row + clipped.left * toBytes, sourceRow + sx * fromBytes,
                   static_cast<size_t>(clipped.right - clipped.left) * toBytes);
      continue;
    }
    for (LONG x = clipped.left; x < clipped.right; ++x) {
      const LONG sx = static_cast<LONG>(from.left + (int64_t{x} - dest.left) * sw / dw);
      const uint32_t value = readPixel(sourceRow, sx, fromBytes);
      if (keyed && value >= key.dwColorSpaceLowValue && value <= key.dwColorSpaceHighValue)
        continue;
      writePixel(row, x, toBytes, convertPixel(value, fromBytes, toBytes));
    }
  }
  present(clipped);
  return DD_OK;
}

HRESULT Surface::Flip(LPDIRECTDRAWSURFACE4 targetOverride, DWORD flags) {
  if (chain_.empty()) return DDERR_NOTFLIPPABLE;
  if (IsLost() != DD_OK) return DDERR_SURFACELOST;
  if (locked_) return DDERR_SURFACEBUSY;
  for (Surface* back : chain_) {
    if (back->lost_) return DDERR_SURFACELOST;
    if (back->locked_) return DDERR_SURFACEBUSY;
  }
  if (targetOverride != nullptr && targetOverride != chain_.front()) return DDERR_INVALIDPARAMS;
  // A frame drawn away from memory goes to the screen from where it is, and
  // the memory is exchanged as it stands; the keeper answers for both.
  Surface* next = chain_.front();
  const RECT all{0, 0, width(), height()};
  if (chain_.size() == 1 && next->keeper_ != nullptr &&
      next->keeper_->show(*next, all, *this, all, true)) {
    ++generation_;
    ++next->generation_;
    std::swap(memory_, next->memory_);
    return DD_OK;
  }
  // The buffers move round the chain: the first back buffer goes on screen.
  changing();
  for (Surface* back : chain_) back->changing();
  std::unique_ptr<uint8_t[]> shown = std::move(memory_);
  memory_ = std::move(chain_.front()->memory_);
  for (size_t i = 0; i + 1 < chain_.size(); ++i)
    chain_[i]->memory_ = std::move(chain_[i + 1]->memory_);
  chain_.back()->memory_ = std::move(shown);
  present({0, 0, width(), height()});
  return DD_OK;
}

HRESULT Surface::showOriginal() {
  for (size_t i = 0; i < chain_.size() && memory_.get() != originalMemory_; ++i)
    if (HRESULT hr = Flip(nullptr, DDFLIP_WAIT); FAILED(hr)) return hr;
  return DD_OK;
}

HRESULT Surface::GetHandle(LPDIRECT3DDEVICE3 device, D3DTEXTUREHANDLE* handle) {
  if (handle == nullptr) return DDERR_INVALIDPARAMS;
  *handle = addressSlot_;
  return DD_OK;
}

HRESULT Surface::PaletteChanged(DWORD, DWORD) { return DD_OK; }

HRESULT Surface::Load(LPDIRECT3DTEXTURE2 sourceFace) {
  auto* source = dynamic_cast<Surface*>(sourceFace);
  if (source == nullptr) return DDERR_INVALIDPARAMS;
  if (IsLost() != DD_OK || source->IsLost() != DD_OK) return DDERR_SURFACELOST;
  if (source->width() != width() || source->height() != height() ||
      !sameFormat(source->format(), format()))
    return DDERR_INVALIDPARAMS;
  source->fetchPixels();
  changing();
  const size_t rowBytes = static_cast<size_t>(width()) * bytesPerPixel(format());
  for (int32_t y = 0; y < height(); ++y)
    std::memcpy(memory_.get() + static_cast<ptrdiff_t>(y) * pitch_,
                source->memory_.get() + static_cast<ptrdiff_t>(y) * source->pitch_, rowBytes);
  return DD_OK;
}

}  // namespace kv::ddraw
