// Writers of small BMP, GIF and PCX files for the loaders' tests and benchmark,
// written from the formats' public descriptions, independently of the decoders.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <utility>
#include <vector>

namespace imagefiles {

using Bytes = std::vector<uint8_t>;

inline void put(Bytes& file, size_t at, uint32_t value, int bytes = 4) {
  for (int i = 0; i < bytes; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Palette entry i of each writer; BMP stores it blue, green, red, reserved.
inline uint8_t paletteByte(int i, int channel) {
  return static_cast<uint8_t>(channel == 0 ? i ^ 0x55 : channel == 1 ? 255 - i : i / 2);
}

struct Bmp {
  int32_t width = 8, height = 8;  // stored as given, so they may be negative
  uint16_t bits = 8;
  uint32_t stride = 0;        // 0: rows rounded up to 4 bytes
  int64_t declaredSize = -1;  // file size field; -1: the true size
};

// `rows` holds each row's pixel bytes, in file order, packed.
inline Bytes makeBmp(const Bmp& shape, const Bytes& rows) {
  const uint32_t height = static_cast<uint32_t>(std::abs(shape.height));
  const uint32_t rowBytes = static_cast<uint32_t>(std::abs(shape.width)) * (shape.bits / 8);
  const uint32_t stride = shape.stride != 0 ? shape.stride : (rowBytes + 3) / 4 * 4;
  const uint32_t offset = 54 + (shape.bits == 8 ? 1024 : 0);
  Bytes file(offset + stride * height, 0xEE);  // 0xEE fills the bytes between rows
  std::fill_n(file.begin(), 54, 0);
  put(file, 0, 'B' | 'M' << 8, 2);
  put(file, 2, static_cast<uint32_t>(shape.declaredSize < 0 ? file.size() : shape.declaredSize));
  put(file, 10, offset);
  put(file, 14, 40);
  put(file, 18, static_cast<uint32_t>(shape.width));
  put(file, 22, static_cast<uint32_t>(shape.height));
  put(file, 26, 1u | shape.bits << 16);  // planes, bits per pixel
  for (int i = 0; shape.bits == 8 && i < 256; ++i)
    for (int c = 0; c < 4; ++c) file[54 + 4 * i + c] = c == 3 ? 0 : paletteByte(i, 2 - c);
  for (uint32_t k = 0; k < height && (k + 1) * rowBytes <= rows.size(); ++k)
    std::copy_n(rows.begin() + k * rowBytes, rowBytes, file.begin() + offset + k * stride);
  return file;
}

// Codes of explicit widths, (code, bits), packed least significant bit first.
inline Bytes packCodes(const std::vector<std::pair<int, int>>& codes) {
  Bytes out;
  uint32_t buffer = 0;
  int bits = 0;
  for (auto [code, width] : codes) {
    buffer |= static_cast<uint32_t>(code) << bits;
    for (bits += width; bits >= 8; bits -= 8, buffer >>= 8)
      out.push_back(static_cast<uint8_t>(buffer));
  }
  if (bits > 0) out.push_back(static_cast<uint8_t>(buffer));
  return out;
}

// Data in sub-blocks of at most `block` bytes, then the zero-length terminator.
inline Bytes subBlocks(const Bytes& data, size_t block = 255) {
  Bytes out;
  for (size_t at = 0; at < data.size(); at += block) {
    const size_t n = std::min(block, data.size() - at);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), data.begin() + at, data.begin() + at + n);
  }
  out.push_back(0);
  return out;
}

// The kit's fixed layout: header, 256-entry colour table, image descriptor,
// code size, `blocks`, trailer.
inline Bytes makeGif(uint16_t width, uint16_t height, uint8_t minimumCodeSize,
                     const Bytes& blocks) {
  const auto lo = [](uint16_t v) { return static_cast<uint8_t>(v); };
  const auto hi = [](uint16_t v) { return static_cast<uint8_t>(v >> 8); };
  Bytes file = {'G',       'I',        'F',        '8',  '9', 'a', lo(width),
                hi(width), lo(height), hi(height), 0xF7, 0,   0};
  for (int i = 0; i < 256; ++i)
    for (int c = 0; c < 3; ++c) file.push_back(paletteByte(i, c));
  const Bytes descriptor = {
      0x2C, 0, 0, 0, 0, lo(width), hi(width), lo(height), hi(height), 0, minimumCodeSize};
  file.insert(file.end(), descriptor.begin(), descriptor.end());
  file.insert(file.end(), blocks.begin(), blocks.end());
  file.push_back(0x3B);
  return file;
}

// A plain LZW encoder: a clear code first, the end code last, and no clear when
// the table fills (later codes then use the full table and define nothing).
inline Bytes lzwEncode(const Bytes& pixels, int minimumCodeSize) {
  const int clear = 1 << minimumCodeSize;
  std::map<std::pair<int, uint8_t>, int> table;
  std::vector<std::pair<int, int>> codes = {{clear, minimumCodeSize + 1}};
  int width = minimumCodeSize + 1, nextCode = clear + 2, emitted = 0;
  // The decoder defines an entry on every code but the first, up to the table's end.
  auto emit = [&](int code) {
    codes.emplace_back(code, width);
    if (++emitted > 1 && std::min(clear + 1 + emitted, 4096) >= (1 << width) && width < 12) ++width;
  };
  int current = pixels.empty() ? -1 : pixels[0];
  for (size_t i = 1; i < pixels.size(); ++i) {
    if (auto found = table.find({current, pixels[i]}); found != table.end()) {
      current = found->second;
      continue;
    }
    emit(current);
    if (nextCode < 4096) table[{current, pixels[i]}] = nextCode++;
    current = pixels[i];
  }
  if (current >= 0) emit(current);
  codes.emplace_back(clear + 1, width);
  return packCodes(codes);
}

struct Pcx {
  int16_t xmin = 0, ymin = 0, xmax = 7, ymax = 7;
  uint8_t bits = 8, encoding = 1;
  bool marker = true;  // the palette marker byte
};

// Header, `data`, the palette marker and the 768-byte palette.
inline Bytes makePcx(const Pcx& shape, const Bytes& data) {
  Bytes file = {10, 5, shape.encoding, shape.bits};
  file.resize(128, 0);
  const int16_t corners[] = {shape.xmin, shape.ymin, shape.xmax, shape.ymax};
  for (int i = 0; i < 4; ++i) put(file, 4 + 2 * i, static_cast<uint16_t>(corners[i]), 2);
  file[65] = 1;
  put(file, 66, static_cast<uint16_t>(shape.xmax - shape.xmin + 1), 2);
  file.insert(file.end(), data.begin(), data.end());
  if (shape.marker) file.push_back(0x0C);
  for (int i = 0; i < 256; ++i)
    for (int c = 0; c < 3; ++c) file.push_back(paletteByte(i, c));
  return file;
}

// Run-length codes pixels as the format does: runs of up to 63, and any value
// of 192 or more as a run.
inline Bytes pcxEncode(const Bytes& pixels) {
  Bytes out;
  for (size_t at = 0, run; at < pixels.size(); at += run) {
    for (run = 1; at + run < pixels.size() && run < 63 && pixels[at + run] == pixels[at];) ++run;
    if (run > 1 || pixels[at] >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | run));
    out.push_back(pixels[at]);
  }
  return out;
}

}  // namespace imagefiles
