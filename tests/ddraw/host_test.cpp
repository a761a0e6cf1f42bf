// The host side of the display: what a presented frame looks like afterwards,
// the PNG capture of presented frames, and the PNG writer itself, checked byte
// by byte and by inflating its picture again.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <tuple>

#include "platform/host/headless/headless.h"
#include "platform/host/png.h"

namespace kv::headless {
namespace {

TEST(HeadlessDisplay, ConvertsBothDepthsToRgb) {
  const uint16_t pixels16[2][4] = {{0xF800, 0x07E0, 0x001F, 0xFFFF}, {0x0000, 0x8410, 0, 0}};
  Frame out;
  convertFrame({pixels16, 8, 16, {0, 0, 4, 2}, {10, 10, 14, 12}}, out);
  ASSERT_EQ(std::tie(out.width, out.height), std::make_tuple(4, 2));
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

TEST(PngWriter, WritesAValidRgbImageAndRefusesWhatItCannot) {
  const uint32_t rgb[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF, 0x000000};
  std::vector<uint8_t> png, header, data;
  std::string error, types;
  ASSERT_TRUE(encodePng(rgb, 3, 2, png, error)) << error;
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(std::string(png.begin(), png.begin() + 8), "\x89PNG\r\n\x1A\n");

  // Walk the chunks, checking each CRC; gather IHDR and IDAT.
  size_t at = 8;
  for (uint32_t length = 0; at + 12 <= png.size(); at += 12 + length) {
    length = bigEndian(&png[at]);
    ASSERT_LE(at + 12 + length, png.size());
    EXPECT_EQ(crc32(0, &png[at + 4], length + 4), bigEndian(&png[at + 8 + length]));
    const std::string type(png.begin() + at + 4, png.begin() + at + 8);
    types += type + " ";
    std::vector<uint8_t>& into = type == "IHDR" ? header : data;
    into.insert(into.end(), png.begin() + at + 8, png.begin() + at + 8 + length);
  }
  EXPECT_EQ(at, png.size());
  EXPECT_EQ(types, "IHDR IDAT IEND ");
  ASSERT_EQ(header.size(), 13u);
  // 3 x 2, 8 bits per channel, RGB.
  EXPECT_EQ(std::make_tuple(bigEndian(&header[0]), bigEndian(&header[4]), header[8], header[9]),
            std::make_tuple(3u, 2u, 8, 2));
  uint8_t raw[2 * (1 + 9)];
  uLongf rawSize = sizeof raw;
  ASSERT_EQ(uncompress(raw, &rawSize, data.data(), static_cast<uLong>(data.size())), Z_OK);
  EXPECT_EQ(std::vector<uint8_t>(raw, raw + rawSize),
            (std::vector<uint8_t>{
                0, 0xFF, 0,    0,    0,    0xFF, 0,    0, 0, 0xFF,  // filter byte, then RGB
                0, 0x12, 0x34, 0x56, 0xFF, 0xFF, 0xFF, 0, 0, 0}));

  const uint32_t one = 0;
  EXPECT_FALSE(encodePng(&one, 0, 1, png, error) || encodePng(nullptr, 1, 1, png, error));
  error.clear();
  EXPECT_FALSE(writePng("/nonexistent-folder/x.png", &one, 1, 1, error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace kv::host
