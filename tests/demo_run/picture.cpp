#include "tests/demo_run/picture.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/host/png.h"

namespace kvtest {

namespace {

uint32_t bigEndian(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

int channel(uint32_t pixel, int shift) { return int(pixel >> shift & 0xFF); }

// The PNG predictor that filter type 4 names.
int paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

}  // namespace

Picture halve(const std::string& frame, int32_t width, int32_t height) {
  Picture half{width / 2, height / 2, {}};
  half.rgb.resize(size_t(half.width) * half.height);
  auto at = [&](int32_t x, int32_t y) {
    const size_t i = (size_t(y) * width + x) * 4;
    return uint32_t(uint8_t(frame[i])) | uint32_t(uint8_t(frame[i + 1])) << 8 |
           uint32_t(uint8_t(frame[i + 2])) << 16;
  };
  for (int32_t y = 0; y < half.height; ++y)
    for (int32_t x = 0; x < half.width; ++x) {
      const uint32_t block[4] = {at(2 * x, 2 * y), at(2 * x + 1, 2 * y), at(2 * x, 2 * y + 1),
                                 at(2 * x + 1, 2 * y + 1)};
      uint32_t mean = 0;
      for (int shift : {16, 8, 0}) {
        int sum = 2;  // rounds to nearest
        for (uint32_t p : block) sum += channel(p, shift);
        mean |= uint32_t(sum / 4) << shift;
      }
      half.rgb[size_t(y) * half.width + x] = mean;
    }
  return half;
}

bool readPng(const std::filesystem::path& path, Picture& picture, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (file.size() < 8 || !std::equal(kSignature, kSignature + 8, file.begin())) {
    error = in ? "not a PNG file" : "cannot be read";
    return false;
  }
  std::vector<uint8_t> packed;
  bool header = false;
  for (size_t at = 8; at + 12 <= file.size();) {
    const uint32_t length = bigEndian(&file[at]);
    if (length > file.size() - at - 12) break;
    const std::string type(reinterpret_cast<const char*>(&file[at + 4]), 4);
    const uint8_t* data = &file[at + 8];
    if (type == "IHDR" && length == 13) {
      // 8 bits a channel, RGB, no interlace: what the kit's writer makes.
      if (data[8] != 8 || data[9] != 2 || data[12] != 0) {
        error = "not an 8-bit RGB, non-interlaced PNG";
        return false;
      }
      picture.width = int32_t(bigEndian(data));
      picture.height = int32_t(bigEndian(data + 4));
      header = picture.width > 0 && picture.height > 0 && picture.width <= 4096 &&
               picture.height <= 4096;
    } else if (type == "IDAT") {
      packed.insert(packed.end(), data, data + length);
    }
    at += 12 + size_t(length);
  }
  if (!header) {
    error = "no usable IHDR";
    return false;
  }
  const size_t stride = size_t(picture.width) * 3;
  std::vector<uint8_t> raw((stride + 1) * picture.height);
  uLongf rawSize = uLongf(raw.size());
  if (uncompress(raw.data(), &rawSize, packed.data(), uLong(packed.size())) != Z_OK ||
      rawSize != raw.size()) {
    error = "pixel data does not inflate to the picture's size";
    return false;
  }
  picture.rgb.assign(size_t(picture.width) * picture.height, 0);
  std::vector<uint8_t> previous(stride, 0), row(stride);
  for (int32_t y = 0; y < picture.height; ++y) {
    const uint8_t filter = raw[y * (stride + 1)];
    const uint8_t* in = &raw[y * (stride + 1) + 1];
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= 3 ? row[i - 3] : 0, b = previous[i], c = i >= 3 ? previous[i - 3] : 0;
      const int predicted = filter == 1   ? a
                            : filter == 2 ? b
                            : filter == 3 ? (a + b) / 2
                            : filter == 4 ? paeth(a, b, c)
                                          : 0;
      row[i] = uint8_t(in[i] + predicted);
    }
    if (filter > 4) {
      error = "unknown row filter " + std::to_string(filter);
      return false;
    }
    for (int32_t x = 0; x < picture.width; ++x)
      picture.rgb[size_t(y) * picture.width + x] =
          uint32_t(row[x * 3]) << 16 | uint32_t(row[x * 3 + 1]) << 8 | row[x * 3 + 2];
    previous.swap(row);
  }
  return true;
}

bool writePng(const std::filesystem::path& path, const Picture& picture, std::string& error) {
  return kv::host::writePng(path.string(), picture.rgb.data(), picture.width, picture.height,
                            error);
}

PictureDifference comparePictures(const Picture& actual, const Picture& expected, int tolerance) {
  PictureDifference d;
  if (actual.width != expected.width || actual.height != expected.height ||
      actual.rgb.size() != expected.rgb.size())
    return d;
  d.pixels = int64_t(expected.rgb.size());
  d.marked = expected;
  for (int32_t y = 0; y < expected.height; ++y)
    for (int32_t x = 0; x < expected.width; ++x) {
      const size_t i = size_t(y) * expected.width + x;
      int delta = 0;
      for (int shift : {16, 8, 0})
        delta = std::max(delta,
                         std::abs(channel(actual.rgb[i], shift) - channel(expected.rgb[i], shift)));
      if (delta > d.maxDelta) {
        d.maxDelta = delta;
        d.worstX = x;
        d.worstY = y;
      }
      d.overTolerance += delta > tolerance;
      const uint32_t p = expected.rgb[i];
      const uint32_t grey =
          uint32_t(channel(p, 16) + channel(p, 8) + channel(p, 0)) / 9;  // a third as bright
      d.marked.rgb[i] = delta > tolerance ? 0xFF2020u
                        : delta > 0       ? 0xB08000u
                                          : grey << 16 | grey << 8 | grey;
    }
  return d;
}

}  // namespace kvtest
