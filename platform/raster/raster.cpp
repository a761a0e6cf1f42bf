#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/raster/pixel.h"

namespace kv::raster {
namespace {

void logToStderr(const char* line) { std::fputs(line, stderr); }

constinit LogSink logSink = logToStderr;

void logRefusal(const char* what, int32_t width, int32_t height, int32_t pitch) {
  char line[160];
  std::snprintf(line, sizeof line, "raster: %s refused (width %d, height %d, pitch %d)\n", what,
                static_cast<int>(width), static_cast<int>(height), static_cast<int>(pitch));
  logSink(line);
}

}  // namespace

void setLogSink(LogSink sink) { logSink = sink != nullptr ? sink : logToStderr; }

bool validColorTarget(const ColorTarget& t) {
  const bool ok = t.pixels && t.width > 0 && t.height > 0 &&
                  (t.format == ColorFormat::RGB565 || t.format == ColorFormat::XRGB8888) &&
                  t.pitch >= static_cast<int64_t>(t.width) * pixelBytes(t.format);
  if (!ok) logRefusal("colour target", t.width, t.height, t.pitch);
  return ok;
}

bool validDepthTarget(const DepthTarget& t) {
  const bool ok = t.depth && t.width > 0 && t.height > 0 &&
                  t.pitch >= static_cast<int64_t>(t.width) * 4 && t.pitch % 4 == 0;
  if (!ok) logRefusal("depth target", t.width, t.height, t.pitch);
  return ok;
}

bool validTexture(const Texture& t) {
  const bool knownFormat = t.format == TextureFormat::Palette8 ||
                           t.format == TextureFormat::ARGB1555 ||
                           t.format == TextureFormat::ARGB4444 || t.format == TextureFormat::RGB565;
  const bool ok = t.texels && knownFormat && isPowerOfTwo(t.width) && isPowerOfTwo(t.height) &&
                  t.width <= 4096 && t.height <= 4096 &&
                  t.pitch >= static_cast<int64_t>(t.width) * texelBytes(t.format) &&
                  (t.format != TextureFormat::Palette8 || t.palette);
  if (!ok) logRefusal("texture", t.width, t.height, t.pitch);
  return ok;
}

namespace {

// Fills n values. Values whose bytes are all alike (black, the far depth 0.0)
// go through memset, which runs several times faster than a loop of stores;
// clearing the depth buffer is a whole-frame cost on every frame.
template <class T>
void fillValues(T* first, int32_t n, T value) {
  const auto byte = static_cast<uint8_t>(value);
  bool uniform = true;
  for (size_t k = 1; k < sizeof(T); ++k)
    uniform = uniform && static_cast<uint8_t>(value >> (8 * k)) == byte;
  if (uniform) {
    std::memset(first, byte, static_cast<size_t>(n) * sizeof(T));
  } else {
    std::fill_n(first, n, value);
  }
}

// Rows r.top..r.bottom-1, columns r.left..r.right-1 of a target of `width`
// values per row. Whole rows with no gap between them are one run: one long
// fill is several times faster than many short ones.
template <class T>
void fillRows(uint8_t* base, int32_t pitch, int32_t width, const Rect& r, T value) {
  uint8_t* first = base + static_cast<intptr_t>(r.top) * pitch;
  if (r.left == 0 && r.right == width && pitch == width * static_cast<int32_t>(sizeof(T))) {
    fillValues(reinterpret_cast<T*>(first), width * (r.bottom - r.top), value);
    return;
  }
  for (int32_t y = r.top; y < r.bottom; ++y, first += pitch)
    fillValues(reinterpret_cast<T*>(first) + r.left, r.right - r.left, value);
}

// rect clipped to a width x height target; false when nothing is left.
bool clipRect(const Rect& rect, int32_t width, int32_t height, Rect& out) {
  out = {std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, width),
         std::min(rect.bottom, height)};
  return out.left < out.right && out.top < out.bottom;
}

}  // namespace

void Rasterizer::clear(const ColorTarget* color, uint32_t argb, const DepthTarget* depth,
                       float depthValue, const Rect& rect) {
  finish();  // pending fans come before the clear
  fill(color, argb, depth, depthValue, rect);
}

void Rasterizer::fill(const ColorTarget* color, uint32_t argb, const DepthTarget* depth,
                      float depthValue, const Rect& rect) {
  Rect r;
  if (color && validColorTarget(*color) && clipRect(rect, color->width, color->height, r)) {
    auto* base = static_cast<uint8_t*>(color->pixels);
    if (color->format == ColorFormat::RGB565) {
      // Clears are not dithered: a cleared frame is one flat colour.
      const Argb c = unpackArgb(argb);
      fillRows(base, color->pitch, color->width, r, pack565(c.r, c.g, c.b, false, 0, 0));
    } else {
      fillRows(base, color->pitch, color->width, r, argb | 0xFF000000u);
    }
  }
  if (depth && validDepthTarget(*depth) && clipRect(rect, depth->width, depth->height, r))
    fillRows(reinterpret_cast<uint8_t*>(depth->depth), depth->pitch, depth->width, r,
             depthBits(depthValue));
}

}  // namespace kv::raster
