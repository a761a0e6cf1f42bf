// Writers of small BMP, GIF and PCX files for the loaders' tests and benchmarks.
// They are written from the formats' public descriptions, independently of the
// decoders, and make every byte a test may look at easy to predict.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace imagefiles {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& file, size_t at, uint16_t value) {
  file[at] = static_cast<uint8_t>(value);
  file[at + 1] = static_cast<uint8_t>(value >> 8);
}
inline void put32(Bytes& file, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// ---- BMP

// BMP palette entry i as the file stores it: blue, green, red, reserved.
inline uint8_t bmpBlue(int i) { return static_cast<uint8_t>(i); }
inline uint8_t bmpGreen(int i) { return static_cast<uint8_t>(255 - i); }
inline uint8_t bmpRed(int i) { return static_cast<uint8_t>(i ^ 0x55); }
constexpr uint8_t BMP_PAD = 0xEE;  // fills the bytes between rows

struct Bmp {
  int32_t width = 8;
  int32_t height = 8;  // stored as given, so it may be negative
  uint16_t bits = 8;
  uint32_t stride = 0;       // 0: rows rounded up to 4 bytes
  uint32_t compression = 0;
  int64_t declaredSize = -1;  // file size field; -1: the true size
  char magic[2] = {'B', 'M'};
};

// `rows` holds the pixel bytes of each row, in file order, packed; each row is
// padded with BMP_PAD up to the stride.
inline Bytes makeBmp(const Bmp& spec, const Bytes& rows) {
  const uint32_t height = static_cast<uint32_t>(spec.height < 0 ? -spec.height : spec.height);
  const uint32_t rowBytes = static_cast<uint32_t>(spec.width < 0 ? -spec.width : spec.width) *
                            (spec.bits / 8);
  const uint32_t stride = spec.stride != 0 ? spec.stride : (rowBytes + 3) / 4 * 4;
  const uint32_t offset = 54 + (spec.bits == 8 ? 1024 : 0);
  Bytes file(offset + stride * height, BMP_PAD);
  file[0] = static_cast<uint8_t>(spec.magic[0]);
  file[1] = static_cast<uint8_t>(spec.magic[1]);
  put32(file, 2, spec.declaredSize < 0 ? static_cast<uint32_t>(file.size())
                                       : static_cast<uint32_t>(spec.declaredSize));
  put32(file, 6, 0);
  put32(file, 10, offset);
  put32(file, 14, 40);
  put32(file, 18, static_cast<uint32_t>(spec.width));
  put32(file, 22, static_cast<uint32_t>(spec.height));
  put16(file, 26, 1);
  put16(file, 28, spec.bits);
  put32(file, 30, spec.compression);
  for (size_t at = 34; at < 54; ++at) file[at] = 0;
  if (spec.bits == 8) {
    for (int i = 0; i < 256; ++i) {
      file[54 + 4 * i] = bmpBlue(i);
      file[55 + 4 * i] = bmpGreen(i);
      file[56 + 4 * i] = bmpRed(i);
      file[57 + 4 * i] = 0;
    }
  }
  for (uint32_t k = 0; k < height && (k + 1) * rowBytes <= rows.size(); ++k) {
    std::copy_n(rows.begin() + k * rowBytes, rowBytes, file.begin() + offset + k * stride);
  }
  return file;
}

// ---- GIF (the kit's fixed layout)

inline uint8_t gifRed(int i) { return static_cast<uint8_t>(i); }
inline uint8_t gifGreen(int i) { return static_cast<uint8_t>(2 * i); }
inline uint8_t gifBlue(int i) { return static_cast<uint8_t>(255 - i); }

// Codes of explicit widths, (code, bits), packed least significant bit first.
inline Bytes packCodes(const std::vector<std::pair<int, int>>& codes) {
  Bytes out;
  uint32_t buffer = 0;
  int bits = 0;
  for (auto [code, width] : codes) {
    buffer |= static_cast<uint32_t>(code) << bits;
    bits += width;
    while (bits >= 8) {
      out.push_back(static_cast<uint8_t>(buffer));
      buffer >>= 8;
      bits -= 8;
    }
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

// Header, 256-entry colour table, image descriptor, code size, then `blocks`
// and the trailer.
inline Bytes makeGif(uint16_t width, uint16_t height, uint8_t minimumCodeSize,
                     const Bytes& blocks) {
  Bytes file = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0xF7, 0, 0};
  put16(file, 6, width);
  put16(file, 8, height);
  for (int i = 0; i < 256; ++i) {
    file.push_back(gifRed(i));
    file.push_back(gifGreen(i));
    file.push_back(gifBlue(i));
  }
  Bytes descriptor = {0x2C, 0, 0, 0, 0, 0, 0, 0, 0, 0, minimumCodeSize};
  put16(descriptor, 5, width);
  put16(descriptor, 7, height);
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
  std::vector<std::pair<int, int>> codes;
  int width = minimumCodeSize + 1;
  int nextCode = clear + 2;    // the encoder's next entry
  int decoderNext = clear + 2; // the entry the decoder defines on the next code
  bool first = true;
  auto emit = [&](int code) {
    codes.emplace_back(code, width);
    if (first) {
      first = false;
      return;
    }
    if (decoderNext < 4096) ++decoderNext;
    if (decoderNext >= (1 << width) && width < 12) ++width;
  };
  codes.emplace_back(clear, width);
  if (!pixels.empty()) {
    int current = pixels[0];
    for (size_t i = 1; i < pixels.size(); ++i) {
      auto found = table.find({current, pixels[i]});
      if (found != table.end()) {
        current = found->second;
        continue;
      }
      emit(current);
      if (nextCode < 4096) table[{current, pixels[i]}] = nextCode++;
      current = pixels[i];
    }
    emit(current);
  }
  codes.emplace_back(clear + 1, width);
  return packCodes(codes);
}

// ---- PCX

inline uint8_t pcxRed(int i) { return static_cast<uint8_t>(255 - i); }
inline uint8_t pcxGreen(int i) { return static_cast<uint8_t>(i); }
inline uint8_t pcxBlue(int i) { return static_cast<uint8_t>(i / 2); }

struct Pcx {
  int16_t xmin = 0, ymin = 0, xmax = 7, ymax = 7;
  uint8_t bits = 8;
  uint8_t encoding = 1;
};

// Header, `data`, the palette marker and the 768-byte palette.
inline Bytes makePcx(const Pcx& spec, const Bytes& data) {
  Bytes file;
  file.reserve(128 + data.size() + 1 + 768);
  file.resize(128, 0);
  file[0] = 10;
  file[1] = 5;
  file[2] = spec.encoding;
  file[3] = spec.bits;
  put16(file, 4, static_cast<uint16_t>(spec.xmin));
  put16(file, 6, static_cast<uint16_t>(spec.ymin));
  put16(file, 8, static_cast<uint16_t>(spec.xmax));
  put16(file, 10, static_cast<uint16_t>(spec.ymax));
  file[65] = 1;
  put16(file, 66, static_cast<uint16_t>(spec.xmax - spec.xmin + 1));
  file.insert(file.end(), data.begin(), data.end());
  file.push_back(0x0C);
  for (int i = 0; i < 256; ++i) {
    file.push_back(pcxRed(i));
    file.push_back(pcxGreen(i));
    file.push_back(pcxBlue(i));
  }
  return file;
}

// Run-length encodes pixels as the format does: runs of up to 63, and any
// value of 192 or more as a run.
inline Bytes pcxEncode(const Bytes& pixels) {
  Bytes out;
  for (size_t at = 0; at < pixels.size();) {
    size_t run = 1;
    while (at + run < pixels.size() && run < 63 && pixels[at + run] == pixels[at]) ++run;
    if (run > 1 || pixels[at] >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | run));
    out.push_back(pixels[at]);
    at += run;
  }
  return out;
}

}  // namespace imagefiles
