// The headless display: what a presented frame looks like afterwards, and the
// PNG capture of presented frames.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/host/headless/headless.h"

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
