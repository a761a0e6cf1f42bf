// 8-bit single-plane PCX files, raw or run-length encoded, palette at the end.
#include <algorithm>
#include <cstring>

#include "kvImage/decode.h"

namespace kv::image {

namespace {

constexpr size_t PCX_HEADER = 128;
constexpr size_t PCX_PALETTE_BYTES = 768;
// A run pair gives at most 63 pixels for 2 bytes.
constexpr uint64_t PCX_MAX_PIXELS_PER_BYTE = 32;

int32_t le16Signed(const uint8_t* at) { return static_cast<int16_t>(le16(at)); }

}  // namespace

Status pcxInspect(const uint8_t* file, size_t size, PcxLayout* layout, Outcome* outcome) {
  if (size < PCX_HEADER) return refuse(outcome, Status::Truncated);
  if (file[3] != 8) {
    outcome->bits = static_cast<int8_t>(file[3]);
    return refuse(outcome, Status::UnsupportedBits);
  }
  const int32_t width = le16Signed(file + 8) - le16Signed(file + 4) + 1;
  const int32_t height = le16Signed(file + 10) - le16Signed(file + 6) + 1;
  if (width <= 0 || height <= 0) return refuse(outcome, Status::BadSize);
  outcome->width = width;
  outcome->height = height;
  if (size < PCX_HEADER + PCX_PALETTE_BYTES) return refuse(outcome, Status::Truncated);

  // The pixel data lies between the header and the palette; a picture that
  // data could not fill even with the longest runs is cut short.
  const uint64_t data = size - PCX_HEADER - PCX_PALETTE_BYTES;
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  const bool runLength = file[2] != 0;
  if (pixels > (runLength ? data * PCX_MAX_PIXELS_PER_BYTE : data)) {
    return refuse(outcome, Status::Truncated);
  }
  if (pixels > INT32_MAX) return refuse(outcome, Status::BadSize);

  layout->width = width;
  layout->height = height;
  layout->runLength = runLength;
  layout->pixelBytes = static_cast<uint32_t>(pixels);
  return Status::Ok;
}

Status pcxDecode(const uint8_t* file, size_t size, const PcxLayout& layout, ImageDesc* desc,
                 uint8_t* pixels) {
  desc->width = layout.width;
  desc->height = layout.height;
  desc->format = SURFACE_FORMAT_8BPP;
  desc->pixels = pixels;
  const uint8_t* palette = file + size - PCX_PALETTE_BYTES;
  std::memcpy(desc->palette, palette, sizeof desc->palette);

  const uint8_t* in = file + PCX_HEADER;
  const size_t total = layout.pixelBytes;
  if (!layout.runLength) {
    std::memcpy(pixels, in, total);  // pcxInspect checked that the data holds it
    return Status::Ok;
  }

  // Runs continue across scanlines: the data is one sequence over the picture.
  size_t out = 0;
  while (out < total) {
    if (in == palette) return Status::Truncated;
    const uint8_t value = *in++;
    if ((value & 0xC0) != 0xC0) {
      pixels[out++] = value;
      continue;
    }
    if (in == palette) return Status::Truncated;
    // The last run is cut at the picture's end.
    const size_t run = std::min<size_t>(value & 0x3F, total - out);
    std::memset(pixels + out, *in++, run);
    out += run;
  }
  return Status::Ok;
}

}  // namespace kv::image
