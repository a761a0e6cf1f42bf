// The host side of the display: what a presented frame looks like afterwards,
// the PNG capture of presented frames, and the PNG writer itself, checked byte
// by byte and by inflating its picture again.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>

#include "platform/host/headless/headless.h"
#include "platform/host/png.h"

namespace kv::headless {
namespace {

TEST(HeadlessDisplay, ConvertsBothDepthsToRgb) {
  const uint16_t pixels16[2][4] = {{0xF800, 0x07E0, 0x001F, 0xFFFF}, {0x0000, 0x8410, 0, 0}};
  Frame out;
  convertFrame({pixels16, 8, 16, {0, 0, 4, 2}, {10, 10, 14, 12}}, out);
  ASSERT_EQ(out.width, 4);
  ASSERT_EQ(out.height, 2);
  // Mid grey keeps its proportions.
  EXPECT_EQ(std::vector<uint32_t>(out.rgb.begin(), out.rgb.begin() + 6),
            (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0, 0x848284}));

  // A source rectangle away from the origin, doubled on screen; alpha dropped.
  const uint32_t pixels32[2][3] = {{0, 0, 0}, {0, 0xFF123456, 0x00ABCDEF}};
  convertFrame({pixels32, 12, 32, {1, 1, 3, 2}, {0, 0, 4, 2}}, out);
  ASSERT_EQ(out.width, 4);
  EXPECT_EQ(std::vector<uint32_t>(out.rgb.begin(), out.rgb.begin() + 4),
            (std::vector<uint32_t>{0x123456, 0x123456, 0xABCDEF, 0xABCDEF}));
  EXPECT_EQ(out.rgb[7], 0xABCDEFu);

  convertFrame({pixels32, 12, 32, {1, 1, 1, 2}, {0, 0, 4, 2}}, out);
  EXPECT_TRUE(out.rgb.empty());
}

TEST(HeadlessDisplay, CapturesEveryKthPresentedFrame) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kv_capture_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  Options options;
  options.display.captureDir = dir.string();
  options.display.captureEvery = 2;
  install(options);
  const uint16_t pixels[4] = {0xF800, 0xF800, 0xF800, 0xF800};
  for (int i = 0; i < 3; ++i) host::current().present({pixels, 4, 16, {0, 0, 2, 2}, {0, 0, 2, 2}});
  EXPECT_EQ(presentedFrameCount(), 3);
  EXPECT_EQ(lastFrame().rgb[3], 0xFF0000u);
  EXPECT_TRUE(std::filesystem::exists(dir / "frame_00001.png"));
  EXPECT_FALSE(std::filesystem::exists(dir / "frame_00002.png"));
  EXPECT_TRUE(std::filesystem::exists(dir / "frame_00003.png"));
  std::filesystem::remove_all(dir);
  install();
}

}  // namespace
}  // namespace kv::headless

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
