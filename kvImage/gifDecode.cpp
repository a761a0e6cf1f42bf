// GIF files of the kit's fixed layout: LZW codes packed least significant bit
// first into length-prefixed sub-blocks.
#include <algorithm>
#include <cstring>

#include "kvImage/decode.h"

namespace kv::image {

namespace {

constexpr size_t GIF_PALETTE = 13;
constexpr size_t GIF_WIDTH = 786;
constexpr size_t GIF_HEIGHT = 788;
constexpr size_t GIF_CODE_SIZE = 791;
constexpr size_t GIF_DATA = 792;
constexpr int GIF_MAX_BITS = 12;

// Takes codes from the sub-blocks straight out of the file buffer. A length
// byte or a block past the file's end, or a zero-length block (the end of the
// data), leaves the reader dry: the stream has no more codes to give.
class CodeReader {
 public:
  CodeReader(const uint8_t* file, size_t size) : file_(file), size_(size), at_(GIF_DATA) {}

  bool read(int codeSize, int* code) {
    while (bits_ < codeSize) {
      if (blockLeft_ == 0) {
        if (at_ >= size_) return false;
        blockLeft_ = file_[at_++];
        if (blockLeft_ == 0 || blockLeft_ > size_ - at_) return false;
      }
      --blockLeft_;
      buffer_ |= static_cast<uint32_t>(file_[at_++]) << bits_;
      bits_ += 8;
    }
    *code = static_cast<int>(buffer_ & ((1u << codeSize) - 1));
    buffer_ >>= codeSize;
    bits_ -= codeSize;
    return true;
  }

 private:
  const uint8_t* file_;
  size_t size_;
  size_t at_;
  size_t blockLeft_ = 0;
  uint32_t buffer_ = 0;  // bits not yet consumed, lowest first
  int bits_ = 0;
};

}  // namespace

Status gifInspect(const uint8_t* file, size_t size, GifLayout* layout, Outcome* outcome) {
  if (size < 3 || std::memcmp(file, "\x47\x49\x46", 3) != 0) {  // "GIF", whatever the charset
    return refuse(outcome, Status::NotGif);
  }
  if (size < GIF_DATA) return refuse(outcome, Status::Truncated);
  const uint8_t codeSize = file[GIF_CODE_SIZE];
  if (codeSize < 2 || codeSize > 9) return refuse(outcome, Status::BadFormat);

  layout->width = le16(file + GIF_WIDTH);
  layout->height = le16(file + GIF_HEIGHT);
  layout->minimumCodeSize = codeSize;
  // An empty picture still gets a byte so the allocation can succeed; the
  // surface system then refuses its size.
  const uint32_t pixels =
      static_cast<uint32_t>(layout->width) * static_cast<uint32_t>(layout->height);
  layout->pixelBytes = pixels == 0 ? 1 : pixels;
  outcome->width = layout->width;
  outcome->height = layout->height;
  return Status::Ok;
}

Status gifDecode(const uint8_t* file, size_t size, const GifLayout& layout, GifTables& tables,
                 ImageDesc* desc, uint8_t* pixels) {
  desc->width = layout.width;
  desc->height = layout.height;
  desc->format = SURFACE_FORMAT_8BPP;
  desc->pixels = pixels;
  std::memcpy(desc->palette, file + GIF_PALETTE, sizeof desc->palette);

  const int rootBits = layout.minimumCodeSize;
  const int clearCode = 1 << rootBits;
  const int endCode = clearCode + 1;
  const int firstFree = clearCode + 2;
  int codeSize = rootBits + 1;
  int topSlot = 1 << codeSize;
  int nextSlot = firstFree;
  int oldCode = 0;
  uint8_t firstChar = 0;
  // A stream that does not open with a clear code starts as though it had.
  bool afterClear = true;

  CodeReader reader(file, size);
  const size_t total = static_cast<size_t>(layout.width) * static_cast<size_t>(layout.height);
  size_t out = 0;
  while (out < total) {
    int code;
    if (!reader.read(codeSize, &code)) return Status::Truncated;
    if (code == endCode) break;
    if (code == clearCode) {
      codeSize = rootBits + 1;
      topSlot = 1 << codeSize;
      nextSlot = firstFree;
      afterClear = true;
      continue;
    }
    if (afterClear) {
      // The first code after a clear defines nothing; one outside the fresh
      // table stands for index 0.
      if (code >= nextSlot) code = 0;
      oldCode = code;
      firstChar = static_cast<uint8_t>(code);
      pixels[out++] = firstChar;
      afterClear = false;
      continue;
    }
    // Only the code being defined by this very step may lie beyond the table.
    if (code > nextSlot) return Status::BadFormat;

    const int current = code;
    int sp = 0;
    if (code == nextSlot) {  // the string of the old code plus its own first byte
      tables.stack[sp++] = firstChar;
      code = oldCode;
    }
    // Each defined code's prefix is an older code, so this chain ends within
    // the table's 4096 entries and the stack cannot overflow.
    while (code >= firstFree) {
      tables.stack[sp++] = tables.suffix[code];
      code = tables.prefix[code];
    }
    tables.stack[sp++] = static_cast<uint8_t>(code);

    // A full table defines nothing until the next clear code.
    if (nextSlot < topSlot) {
      tables.suffix[nextSlot] = static_cast<uint8_t>(code);
      tables.prefix[nextSlot] = static_cast<uint16_t>(oldCode);
      firstChar = static_cast<uint8_t>(code);
      ++nextSlot;
      oldCode = current;
    }
    if (nextSlot >= topSlot && codeSize < GIF_MAX_BITS) {
      topSlot <<= 1;
      ++codeSize;
    }

    // A string longer than the picture's remaining pixels is cut at its end.
    const size_t n = std::min<size_t>(static_cast<size_t>(sp), total - out);
    for (size_t i = 0; i < n; ++i) pixels[out + i] = tables.stack[sp - 1 - i];
    out += n;
  }
  std::memset(pixels + out, 0, layout.pixelBytes - out);
  return Status::Ok;
}

}  // namespace kv::image
