// Uncompressed 8-bit and 16-bit Windows bitmaps.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "kvImage/decode.h"

// 16-bit pixel words go to the surface exactly as the file stores them.
static_assert(std::endian::native == std::endian::little);

namespace kv::image {

namespace {

constexpr uint16_t BMP_MAGIC = 19778;  // "BM"
constexpr size_t BMP_HEADERS = 14 + 40;
constexpr size_t BMP_PALETTE_BYTES = 1024;
static_assert(BMP_HEADERS + BMP_PALETTE_BYTES == BMP_HEAD_BYTES);

uint64_t magnitude(int32_t value) {
  return value < 0 ? uint64_t{0} - static_cast<uint64_t>(static_cast<int64_t>(value))
                   : static_cast<uint64_t>(value);
}

}  // namespace

Status bmpInspect(const uint8_t* head, size_t headSize, uint64_t fileSize, BmpLayout* layout,
                  Outcome* outcome) {
  if (headSize < 2 || le16(head) != BMP_MAGIC) return refuse(outcome, Status::NotBitmap);
  if (headSize < BMP_HEADERS) return refuse(outcome, Status::Truncated);
  if (le32(head + 30) != 0) return refuse(outcome, Status::Compressed);

  const uint16_t bits = le16(head + 28);
  if (bits != 8 && bits != 16) {
    outcome->bits = bits;
    return refuse(outcome, Status::UnsupportedBits);
  }
  outcome->format = bits == 8 ? SURFACE_FORMAT_8BPP : SURFACE_FORMAT_16BPP;
  if (bits == 8 && headSize < BMP_HEADERS + BMP_PALETTE_BYTES) {
    return refuse(outcome, Status::Truncated);
  }

  // The sign of the height is ignored on purpose: rows are always placed by
  // the loader's own order, never flipped by the file.
  const uint64_t width = magnitude(static_cast<int32_t>(le32(head + 18)));
  const uint64_t height = magnitude(static_cast<int32_t>(le32(head + 22)));
  if (width == 0 || height == 0) return refuse(outcome, Status::BadSize);

  const uint64_t rowBytes = width * (bits / 8);
  const uint64_t offset = le32(head + 10);
  auto rowsFit = [&](uint64_t stride) {
    return offset + (height - 1) * stride + rowBytes <= fileSize;
  };
  // Rows are as long as the header sizes say, which lets a file pad its rows as
  // it likes; a header whose sizes cannot be right (a file size of 0, rows
  // shorter than the width, rows past the end) falls back to the standard
  // stride, rows rounded up to 4 bytes.
  const uint64_t declaredSize = le32(head + 2);
  const uint64_t declaredStride =
      (declaredSize > offset ? declaredSize - offset : offset - declaredSize) / height;
  uint64_t stride = (width * bits + 31) / 32 * 4;
  if (declaredSize != 0 && declaredStride >= rowBytes && rowsFit(declaredStride)) {
    stride = declaredStride;
  }
  if (!rowsFit(stride)) {
    outcome->width = static_cast<int32_t>(std::min<uint64_t>(width, INT32_MAX));
    outcome->height = static_cast<int32_t>(std::min<uint64_t>(height, INT32_MAX));
    return refuse(outcome, Status::Truncated);
  }
  // Every row lies inside the file, so the picture is no larger than the file.
  const uint64_t pixelBytes = rowBytes * height;
  if (pixelBytes > INT32_MAX) return refuse(outcome, Status::BadSize);

  layout->width = static_cast<int32_t>(width);
  layout->height = static_cast<int32_t>(height);
  layout->format = outcome->format;
  layout->dataOffset = static_cast<uint32_t>(offset);
  layout->stride = stride;
  layout->pixelBytes = static_cast<uint32_t>(pixelBytes);
  outcome->width = layout->width;
  outcome->height = layout->height;
  return Status::Ok;
}

Status bmpDecode(const uint8_t* head, ByteSource& file, const BmpLayout& layout, Rows rows,
                 ImageDesc* desc, uint8_t* pixels) {
  desc->width = layout.width;
  desc->height = layout.height;
  desc->format = layout.format;
  desc->pixels = pixels;
  std::memset(desc->palette, 0, sizeof desc->palette);
  if (layout.format == SURFACE_FORMAT_8BPP) {
    // The palette is always read whole, whatever the header says about colours
    // used: entries are stored blue, green, red, reserved.
    const uint8_t* entry = head + BMP_HEADERS;
    for (auto& colour : desc->palette) {
      colour[0] = entry[2];
      colour[1] = entry[1];
      colour[2] = entry[0];
      entry += 4;
    }
  }

  const size_t rowBytes = layout.pixelBytes / static_cast<uint32_t>(layout.height);
  for (int32_t k = 0; k < layout.height; ++k) {
    const int32_t row = rows == Rows::TopFirst ? layout.height - 1 - k : k;
    if (!file.read(layout.dataOffset + static_cast<uint64_t>(k) * layout.stride,
                   pixels + static_cast<size_t>(row) * rowBytes, rowBytes))
      return Status::Truncated;
  }
  return Status::Ok;
}

}  // namespace kv::image
