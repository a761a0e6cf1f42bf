#include "platform/host/headless/display.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/host/png.h"
#include "platform/pixel/rgb565.h"

namespace kv::headless {

Display::Display(const DisplayOptions& options) : options_(options), current_(options.desktop) {
  if (options_.captureEvery < 1) options_.captureEvery = 1;
}

std::vector<host::DisplayMode> Display::displayModes() const {
  std::vector<host::DisplayMode> modes;
  for (uint32_t bits : {8u, 16u, 32u})
    for (auto [w, h] : {std::pair{320u, 200u}, {640u, 480u}, {800u, 600u}, {1024u, 768u}})
      modes.push_back({w, h, bits, 60});
  const host::DisplayMode desktop = options_.desktop;
  if (std::find(modes.begin(), modes.end(), desktop) == modes.end()) modes.push_back(desktop);
  return modes;
}

bool Display::setDisplayMode(const host::DisplayMode& mode) {
  for (const host::DisplayMode& m : displayModes())
    if (m.width == mode.width && m.height == mode.height && m.bitCount == mode.bitCount) {
      current_ = m;
      return true;
    }
  return false;
}

void convertFrame(const host::PresentedFrame& frame, Frame& out) {
  const host::Rect& s = frame.source;
  const host::Rect& d = frame.screen;
  const int32_t sw = s.right - s.left, sh = s.bottom - s.top;
  const int32_t dw = d.right - d.left, dh = d.bottom - d.top;
  if (frame.pixels == nullptr || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) {
    out.width = out.height = 0;
    out.rgb.clear();
    return;
  }
  out.width = dw;
  out.height = dh;
  out.rgb.resize(static_cast<size_t>(dw) * dh);  // keeps its capacity from frame to frame
  const auto* base = static_cast<const uint8_t*>(frame.pixels);
  // Unstretched 16-bit frames, the usual case, need no scaling per pixel; this
  // runs for every presented frame.
  if (sw == dw && frame.bitCount == 16) {
    for (int32_t y = 0; y < dh; ++y) {
      const int32_t sy = s.top + static_cast<int32_t>(static_cast<int64_t>(y) * sh / dh);
      const auto* src =
          reinterpret_cast<const uint16_t*>(base + static_cast<ptrdiff_t>(sy) * frame.pitch) +
          s.left;
      uint32_t* dst = &out.rgb[static_cast<size_t>(y) * dw];
      for (int32_t x = 0; x < dw; ++x) dst[x] = rgbFrom565(src[x]);
    }
    return;
  }
  for (int32_t y = 0; y < dh; ++y) {
    const int32_t sy = s.top + static_cast<int32_t>(static_cast<int64_t>(y) * sh / dh);
    const uint8_t* row = base + static_cast<ptrdiff_t>(sy) * frame.pitch;
    uint32_t* dst = &out.rgb[static_cast<size_t>(y) * dw];
    for (int32_t x = 0; x < dw; ++x) {
      const int32_t sx = s.left + static_cast<int32_t>(static_cast<int64_t>(x) * sw / dw);
      if (frame.bitCount == 32) {
        dst[x] = reinterpret_cast<const uint32_t*>(row)[sx] & 0xFFFFFF;
      } else if (frame.bitCount == 16) {
        dst[x] = rgbFrom565(reinterpret_cast<const uint16_t*>(row)[sx]);
      } else {
        const uint32_t v = row[sx];  // palette indices shown as grey levels
        dst[x] = v << 16 | v << 8 | v;
      }
    }
  }
}

void Display::present(const host::PresentedFrame& frame) {
  ++presented_;
  // Keep a copy of the presented rectangle; converting it is left to lastFrame().
  const host::Rect& s = frame.source;
  const int32_t width = s.right - s.left, height = s.bottom - s.top;
  const int32_t bytes = frame.bitCount == 32 ? 4 : frame.bitCount == 16 ? 2 : 1;
  rawFrame_ = frame;
  if (frame.pixels != nullptr && width > 0 && height > 0) {
    const int32_t rowBytes = width * bytes;
    // Every byte is copied over below: resizing to the same size, as each
    // frame does, neither allocates nor clears.
    raw_.resize(static_cast<size_t>(rowBytes) * height);
    const auto* base = static_cast<const uint8_t*>(frame.pixels);
    for (int32_t y = 0; y < height; ++y)
      std::memcpy(&raw_[static_cast<size_t>(y) * rowBytes],
                  base + static_cast<ptrdiff_t>(s.top + y) * frame.pitch + s.left * bytes,
                  rowBytes);
    rawFrame_.pixels = raw_.data();
    rawFrame_.pitch = rowBytes;
    rawFrame_.source = {0, 0, width, height};
  } else {
    rawFrame_.pixels = nullptr;
  }
  converted_ = false;

  if (options_.onPresent) options_.onPresent(presented_, *this);
  if (options_.captureDir.empty() || captureFailed_) return;
  if ((presented_ - 1) % options_.captureEvery != 0) return;
  const Frame& last = lastFrame();
  if (last.rgb.empty()) return;
  char name[32];
  std::snprintf(name, sizeof name, "/frame_%05lld.png", static_cast<long long>(presented_));
  const std::string path = options_.captureDir + name;
  std::string error;
  if (!host::writePng(path, last.rgb.data(), last.width, last.height, error)) {
    // Once: the next frames would fail the same way.
    std::fprintf(stderr, "kvKIT: cannot write '%s': %s; no more frames are captured\n",
                 path.c_str(), error.c_str());
    captureFailed_ = true;
  }
}

const Frame& Display::lastFrame() const {
  if (!converted_) {
    convertFrame(rawFrame_, last_);
    converted_ = true;
  }
  return last_;
}

}  // namespace kv::headless
