// GIF files: the blocks up to the first image, then its LZW codes packed least
// significant bit first into length-prefixed sub-blocks.
#include <algorithm>
#include <cstring>

#include "kvImage/decode.h"

namespace kv::image {

namespace {

constexpr size_t GIF_HEADER = 13;  // signature, version, logical screen descriptor
constexpr size_t GIF_DESCRIPTOR = 10;
constexpr uint8_t GIF_EXTENSION = 0x21;
constexpr uint8_t GIF_IMAGE = 0x2C;
constexpr uint8_t GIF_TABLE_FLAG = 0x80;
constexpr uint8_t GIF_INTERLACE_FLAG = 0x40;
constexpr int GIF_MAX_BITS = 12;

// Entries of the colour table a flags byte declares, or 0 when it has none.
uint16_t tableEntries(uint8_t flags) {
  return (flags & GIF_TABLE_FLAG) != 0 ? static_cast<uint16_t>(2 << (flags & 7)) : 0;
}

// Takes codes from the sub-blocks straight out of the file buffer. A length
// byte or a block past the file's end, or a zero-length block (the end of the
// data), leaves the reader dry: the stream has no more codes to give.
class CodeReader {
 public:
  CodeReader(const uint8_t* file, size_t size, size_t start)
      : file_(file), size_(size), at_(start) {}

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

// Where decoded pixels go: row after row, or, for an interlaced image, each
// stored row to its place in the passes (every 8th from 0, every 8th from 4,
// every 4th from 2, every 2nd from 1).
class RowWriter {
 public:
  RowWriter(uint8_t* pixels, int32_t width, int32_t height, bool interlaced)
      : pixels_(pixels),
        width_(static_cast<size_t>(width)),
        height_(static_cast<size_t>(height)),
        interlaced_(interlaced),
        left_(width_ * height_),
        row_(pixels) {}

  size_t left() const { return left_; }
  size_t written() const { return width_ * height_ - left_; }

  void put(uint8_t index) {
    row_[column_++] = index;
    if (--left_ != 0 && column_ == width_) nextRow();
  }

 private:
  void nextRow() {
    column_ = 0;
    if (!interlaced_) {
      row_ += width_;
      return;
    }
    static constexpr size_t START[] = {0, 4, 2, 1}, STEP[] = {8, 8, 4, 2};
    y_ += STEP[pass_];
    while (y_ >= height_ && pass_ < 3) y_ = START[++pass_];
    row_ = pixels_ + y_ * width_;
  }

  uint8_t* pixels_;
  size_t width_, height_;
  bool interlaced_;
  size_t left_;
  uint8_t* row_;
  size_t column_ = 0;
  size_t y_ = 0;
  int pass_ = 0;
};

}  // namespace

Status gifInspect(const uint8_t* file, size_t size, GifLayout* layout, Outcome* outcome) {
  if (size < 3 || std::memcmp(file, "\x47\x49\x46", 3) != 0) {  // "GIF", whatever the charset
    return refuse(outcome, Status::NotGif);
  }
  if (size < GIF_HEADER) return refuse(outcome, Status::Truncated);
  const uint16_t globalEntries = tableEntries(file[10]);
  size_t at = GIF_HEADER + size_t{globalEntries} * 3;
  // Extensions (graphic control, comments, application data) say nothing the
  // kit uses; each is a label and sub-blocks up to a zero length.
  while (at < size && file[at] == GIF_EXTENSION) {
    at += 2;
    while (at < size && file[at] != 0) at += size_t{file[at]} + 1;
    ++at;
  }
  if (at >= size) return refuse(outcome, Status::Truncated);
  if (file[at] != GIF_IMAGE) return refuse(outcome, Status::BadFormat);  // a trailer or junk
  if (size - at < GIF_DESCRIPTOR + 1) return refuse(outcome, Status::Truncated);

  const uint8_t* descriptor = file + at;
  const uint8_t imageFlags = descriptor[9];
  const uint16_t localEntries = tableEntries(imageFlags);
  at += GIF_DESCRIPTOR;
  layout->paletteOffset = localEntries != 0 ? at : GIF_HEADER;
  layout->paletteEntries = localEntries != 0 ? localEntries : globalEntries;
  at += size_t{localEntries} * 3;
  if (at >= size) return refuse(outcome, Status::Truncated);
  const uint8_t codeSize = file[at];
  if (codeSize < 2 || codeSize > 9) return refuse(outcome, Status::BadFormat);

  layout->width = le16(descriptor + 5);
  layout->height = le16(descriptor + 7);
  layout->minimumCodeSize = codeSize;
  layout->dataOffset = at + 1;
  layout->interlaced = (imageFlags & GIF_INTERLACE_FLAG) != 0;
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
  const size_t paletteBytes = size_t{layout.paletteEntries} * 3;
  std::memcpy(desc->palette, file + layout.paletteOffset, paletteBytes);
  std::memset(reinterpret_cast<uint8_t*>(desc->palette) + paletteBytes, 0,
              sizeof desc->palette - paletteBytes);

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

  CodeReader reader(file, size, layout.dataOffset);
  // Interlaced rows are not filled in order, so whatever the stream leaves
  // unwritten is cleared up front.
  if (layout.interlaced) std::memset(pixels, 0, layout.pixelBytes);
  RowWriter out(pixels, layout.width, layout.height, layout.interlaced);
  while (out.left() != 0) {
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
      out.put(firstChar);
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
    const size_t n = std::min<size_t>(static_cast<size_t>(sp), out.left());
    for (size_t i = 0; i < n; ++i) out.put(tables.stack[sp - 1 - i]);
  }
  if (!layout.interlaced) std::memset(pixels + out.written(), 0, layout.pixelBytes - out.written());
  return Status::Ok;
}

}  // namespace kv::image
