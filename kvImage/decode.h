// The image decoders: each turns a file's bytes into an ImageDesc and a pixel
// buffer, with no allocation and no logging, so that tests, fuzzers and
// benchmarks can drive them from memory without a device. The loaders (load.h)
// wrap them with file reading, buffers, kvCreateSurface and the messages.
//
// Every decoder checks the file against the lengths and offsets it declares: it
// never reads past `size` nor writes past the pixel buffer it was given, and a
// file that cannot give a whole picture is refused with a status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kvKIT.h"

namespace kv::image {

// Little-endian fields at a byte address (files may put them anywhere).
inline uint16_t le16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }
inline uint32_t le32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

enum class Status : uint8_t {
  Ok,
  CannotOpen,       // the file could not be opened
  NoFileMemory,     // no pool block for the file's bytes
  NoPixelMemory,    // no pool block for the pixel buffer
  NoTableMemory,    // no pool block for the LZW tables
  NoSurface,        // kvCreateSurface refused the picture
  NotBitmap,        // BMP: the magic is not BM
  Compressed,       // BMP: compression other than 0
  UnsupportedBits,  // BMP, PCX: a bit count the loader cannot read
  NotGif,           // GIF: the signature is not GIF
  BadFormat,        // GIF: code size out of 2..9, or a code the table cannot hold
  BadSize,          // a width or height of zero or less
  Truncated,        // the file ends before its header, palette or pixels do
};

// What a failed load reports, for the loader's message.
struct Outcome {
  Status status = Status::Ok;
  int32_t bits = 0;   // the bit count, for UnsupportedBits
  int32_t width = 0;  // the picture's size once known
  int32_t height = 0;
  uint8_t format = SURFACE_FORMAT_8BPP;
};

// Records why an inspection refuses the file, and returns it.
inline Status refuse(Outcome* outcome, Status status) {
  outcome->status = status;
  return status;
}

// The order in which BMP rows reach the pixel buffer.
enum class Rows : uint8_t {
  TopFirst,   // the k-th row of the file becomes row H - 1 - k
  FileOrder,  // the k-th row of the file becomes row k
};

// ---- BMP: 14-byte file header, 40-byte info header, a 1024-byte palette for
// 8-bit files, rows at the pixel data offset. Only the head is held whole; the
// rows are read one by one where they lie, so the pixel buffer is the only
// room a bitmap takes.

constexpr size_t BMP_HEAD_BYTES = 14 + 40 + 1024;  // the headers and an 8-bit palette

// Where the rows are read from: the file itself, or its bytes in memory.
class ByteSource {
 public:
  // Copies `bytes` bytes from `offset` on into `to`; false when the source
  // ends first.
  virtual bool read(uint64_t offset, uint8_t* to, size_t bytes) = 0;

 protected:
  ~ByteSource() = default;
};

// A whole file in memory, for tests, fuzzers and benchmarks.
class MemoryBytes final : public ByteSource {
 public:
  MemoryBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool read(uint64_t offset, uint8_t* to, size_t bytes) override {
    if (offset > size_ || bytes > size_ - offset) return false;
    std::memcpy(to, data_ + offset, bytes);
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

struct BmpLayout {
  int32_t width;
  int32_t height;
  uint8_t format;
  uint32_t dataOffset;
  uint64_t stride;      // bytes from one file row to the next
  uint32_t pixelBytes;  // size of the pixel buffer the decode needs
};

// Reads the headers from `head`, the first min(fileSize, BMP_HEAD_BYTES) bytes
// (`headSize`) of a file of `fileSize` bytes, and checks that every row lies
// inside the file. On a failure `outcome` says why (and, for UnsupportedBits,
// the bit count).
Status bmpInspect(const uint8_t* head, size_t headSize, uint64_t fileSize, BmpLayout* layout,
                  Outcome* outcome);
// Fills `desc` (the palette from `head`) and `pixels` (layout.pixelBytes
// bytes) from a file bmpInspect passed, reading its rows from `file`; Truncated
// when a row cannot be read after all (a file cut while it was read).
Status bmpDecode(const uint8_t* head, ByteSource& file, const BmpLayout& layout, Rows rows,
                 ImageDesc* desc, uint8_t* pixels);

// ---- GIF: single-image GIF87a/GIF89a as today's tools write them: a global
// colour table of any size (or none), extension blocks before the image, a local
// colour table, interlaced rows; of an animation, the first image. The kit's own
// fixed layout (a 256-entry global table, the image right after it) is one case.

struct GifLayout {
  int32_t width;
  int32_t height;
  uint8_t minimumCodeSize;
  uint32_t pixelBytes;
  size_t paletteOffset;     // the colour table the image uses
  uint16_t paletteEntries;  // 0..256; the palette's other entries are black
  size_t dataOffset;        // the first sub-block's length byte
  bool interlaced;          // rows stored in the four passes 0/8, 4/8, 2/4, 1/2
};

constexpr int GIF_TABLE_SIZE = 4097;
// The decoder's workspace: a decoded string is pushed on `stack` back to front;
// each defined code is its last byte (`suffix`) after the string of `prefix`.
struct GifTables {
  uint8_t stack[GIF_TABLE_SIZE];
  uint8_t suffix[GIF_TABLE_SIZE];
  uint16_t prefix[GIF_TABLE_SIZE];
};

// Walks the blocks up to the first image descriptor, checking each against the
// file. Refuses a file with no image, a block of unknown kind, or a minimum code
// size outside 2..9.
Status gifInspect(const uint8_t* file, size_t size, GifLayout* layout, Outcome* outcome);
// Decodes into `pixels` (layout.pixelBytes bytes). An end code before the last
// pixel leaves the rest at index 0; codes past the last pixel are not read.
Status gifDecode(const uint8_t* file, size_t size, const GifLayout& layout, GifTables& tables,
                 ImageDesc* desc, uint8_t* pixels);

// ---- PCX: a 128-byte header, 8-bit single-plane data (raw or run-length) from
// offset 128, the palette in the last 768 bytes.

struct PcxLayout {
  int32_t width;
  int32_t height;
  bool runLength;
  uint32_t pixelBytes;
};

Status pcxInspect(const uint8_t* file, size_t size, PcxLayout* layout, Outcome* outcome);
Status pcxDecode(const uint8_t* file, size_t size, const PcxLayout& layout, ImageDesc* desc,
                 uint8_t* pixels);

}  // namespace kv::image
