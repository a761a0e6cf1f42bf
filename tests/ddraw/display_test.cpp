// The headless display: what a presented frame looks like afterwards, and the
// PNG capture of presented frames.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/host/headless/headless.h"

namespace kv::headless {
namespace {

host::PresentedFrame frameOf(const void* pixels, int32_t pitch, uint32_t bits, host::Rect source,
                             host::Rect screen) {
  return {pixels, pitch, bits, source, screen};
}

TEST(HeadlessDisplay, ConvertsBothDepthsToRgb) {
  const uint16_t pixels16[2][4] = {{0xF800, 0x07E0, 0x001F, 0xFFFF}, {0x0000, 0x8410, 0, 0}};
  Frame out;
  convertFrame(frameOf(pixels16, 8, 16, {0, 0, 4, 2}, {10, 10, 14, 12}), out);
  ASSERT_EQ(out.width, 4);
  ASSERT_EQ(out.height, 2);
  EXPECT_EQ(out.rgb[0], 0xFF0000u);
  EXPECT_EQ(out.rgb[1], 0x00FF00u);
  EXPECT_EQ(out.rgb[2], 0x0000FFu);
  EXPECT_EQ(out.rgb[3], 0xFFFFFFu);
  EXPECT_EQ(out.rgb[5], 0x848284u);  // mid grey keeps its proportions

  // A source rectangle away from the origin, doubled on screen.
  const uint32_t pixels32[2][3] = {{0, 0, 0}, {0, 0xFF123456, 0x00ABCDEF}};
  convertFrame(frameOf(pixels32, 12, 32, {1, 1, 3, 2}, {0, 0, 4, 2}), out);
  ASSERT_EQ(out.width, 4);
  EXPECT_EQ(out.rgb[0], 0x123456u);
  EXPECT_EQ(out.rgb[1], 0x123456u);
  EXPECT_EQ(out.rgb[2], 0xABCDEFu);
  EXPECT_EQ(out.rgb[7], 0xABCDEFu);

  convertFrame(frameOf(pixels32, 12, 32, {1, 1, 1, 2}, {0, 0, 4, 2}), out);
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
  for (int i = 0; i < 3; ++i) host::current().present(frameOf(pixels, 4, 16, {0, 0, 2, 2}, {0, 0, 2, 2}));
  EXPECT_EQ(presentedFrameCount(), 3);
  EXPECT_EQ(lastFrame().rgb[3], 0xFF0000u);
  EXPECT_TRUE(std::filesystem::exists(dir / "frame_00001.png"));
  EXPECT_FALSE(std::filesystem::exists(dir / "frame_00002.png"));
  EXPECT_TRUE(std::filesystem::exists(dir / "frame_00003.png"));
  std::filesystem::remove_all(dir);
  install();
}

TEST(HeadlessDisplay, SetsOnlyModesItLists) {
  install();
  host::Host& h = host::current();
  EXPECT_EQ(h.desktopMode().bitCount, 16u);
  EXPECT_TRUE(h.setDisplayMode({640, 480, 16, 60}));
  EXPECT_EQ(h.desktopMode().width, 640u);
  EXPECT_FALSE(h.setDisplayMode({641, 480, 16, 60}));
  h.restoreDisplayMode();
  EXPECT_EQ(h.desktopMode().width, 1024u);
}

}  // namespace
}  // namespace kv::headless
