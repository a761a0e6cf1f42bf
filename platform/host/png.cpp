#include "platform/host/png.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kv::host {

namespace {

void putBigEndian(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// A chunk is length, type, data, and the CRC of type and data.
void putChunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t size) {
  putBigEndian(out, static_cast<uint32_t>(size));
  const size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  if (size > 0) out.insert(out.end(), data, data + size);
  const uLong crc = crc32(0, out.data() + typeAt, static_cast<uInt>(size + 4));
  putBigEndian(out, static_cast<uint32_t>(crc));
}

}  // namespace

bool encodePng(const uint32_t* rgb, int32_t width, int32_t height, std::vector<uint8_t>& png,
               std::string& error) {
  // Rows of filter byte + 3 bytes per pixel must fit the deflate input size.
  if (rgb == nullptr || width <= 0 || height <= 0 || width > 16384 || height > 16384) {
    error = "no picture, or a size beyond 16384 pixels";
    return false;
  }
  const size_t rowBytes = 1 + static_cast<size_t>(width) * 3;
  std::vector<uint8_t> raw(rowBytes * height);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = &raw[y * rowBytes];
    row[0] = 0;  // filter: none
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t p = rgb[static_cast<size_t>(y) * width + x];
      row[1 + x * 3] = static_cast<uint8_t>(p >> 16);
      row[2 + x * 3] = static_cast<uint8_t>(p >> 8);
      row[3 + x * 3] = static_cast<uint8_t>(p);
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) !=
      Z_OK) {
    error = "deflate failed";
    return false;
  }

  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  png.assign(kSignature, kSignature + 8);
  std::vector<uint8_t> header;
  putBigEndian(header, static_cast<uint32_t>(width));
  putBigEndian(header, static_cast<uint32_t>(height));
  header.insert(header.end(),
                {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter set, no interlace
  putChunk(png, "IHDR", header.data(), header.size());
  putChunk(png, "IDAT", packed.data(), packedSize);
  putChunk(png, "IEND", nullptr, 0);
  return true;
}

bool writePng(const std::string& path, const uint32_t* rgb, int32_t width, int32_t height,
              std::string& error) {
  std::vector<uint8_t> png;
  if (!encodePng(rgb, width, height, png, error)) return false;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  if (std::fclose(file) != 0 || !written) {
    error = "write failed";
    return false;
  }
  return true;
}

}  // namespace kv::host
