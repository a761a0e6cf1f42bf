// The PNG writer, checked byte by byte and by inflating its picture again.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "platform/host/png.h"

namespace kv::host {
namespace {

uint32_t bigEndian(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

TEST(PngWriter, WritesAValidRgbImage) {
  const uint32_t rgb[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF, 0x000000};
  std::vector<uint8_t> png;
  std::string error;
  ASSERT_TRUE(encodePng(rgb, 3, 2, png, error)) << error;

  const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  ASSERT_GT(png.size(), 8u + 25 + 12 + 12);
  EXPECT_EQ(std::memcmp(png.data(), signature, 8), 0);

  // Walk the chunks, checking each CRC; gather IHDR and IDAT.
  size_t at = 8;
  std::vector<uint8_t> header, data;
  std::string order;
  while (at + 12 <= png.size()) {
    const uint32_t length = bigEndian(&png[at]);
    ASSERT_LE(at + 12 + length, png.size());
    const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
    const uint32_t crc = static_cast<uint32_t>(crc32(0, &png[at + 4], length + 4));
    EXPECT_EQ(crc, bigEndian(&png[at + 8 + length])) << type;
    const uint8_t* body = &png[at + 8];
    if (type == "IHDR") header.assign(body, body + length);
    if (type == "IDAT") data.insert(data.end(), body, body + length);
    order += type + " ";
    at += 12 + length;
  }
  EXPECT_EQ(at, png.size());
  EXPECT_EQ(order, "IHDR IDAT IEND ");
  ASSERT_EQ(header.size(), 13u);
  EXPECT_EQ(bigEndian(&header[0]), 3u);
  EXPECT_EQ(bigEndian(&header[4]), 2u);
  EXPECT_EQ(header[8], 8);  // bits per channel
  EXPECT_EQ(header[9], 2);  // RGB

  uint8_t raw[2 * (1 + 9)];
  uLongf rawSize = sizeof raw;
  ASSERT_EQ(uncompress(raw, &rawSize, data.data(), static_cast<uLong>(data.size())), Z_OK);
  ASSERT_EQ(rawSize, sizeof raw);
  const uint8_t expected[] = {0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF,
                              0, 0x12, 0x34, 0x56, 0xFF, 0xFF, 0xFF, 0, 0, 0};
  EXPECT_EQ(std::memcmp(raw, expected, sizeof raw), 0);
}

TEST(PngWriter, RefusesEmptyPicturesAndUnwritablePaths) {
  std::vector<uint8_t> png;
  std::string error;
  const uint32_t one = 0;
  EXPECT_FALSE(encodePng(&one, 0, 1, png, error));
  EXPECT_FALSE(encodePng(nullptr, 1, 1, png, error));
  EXPECT_FALSE(writePng("/nonexistent-folder/x.png", &one, 1, 1, error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace kv::host
