#include <gtest/gtest.h>

#include "platform/host/headless/contact_sheet.h"

namespace {

using kv::headless::ContactSheet;

uint32_t pixel(const kv::headless::SheetImage& image, int32_t x, int32_t y) {
  return image.rgb[static_cast<size_t>(y) * image.width + x];
}

TEST(ContactSheet, KeepsTheChosenFramesInTheirCells) {
  ContactSheet sheet({2, 5, 9}, 2, 40, 30);
  std::vector<uint32_t> frame(80 * 60);
  for (int64_t n = 1; n <= 6; ++n) {
    std::fill(frame.begin(), frame.end(), static_cast<uint32_t>(n * 0x101010));
    sheet.offer(n, frame.data(), 80, 60);
  }
  EXPECT_EQ(std::tuple(sheet.kept(), sheet.wants(9), sheet.wants(3)), std::tuple(2u, true, false));
  const auto image = sheet.compose();
  // Two columns of 40 x 30 cells with 4-pixel gaps, two rows.
  ASSERT_EQ(std::pair(image.width, image.height), std::pair(2 * 44 + 4, 2 * 34 + 4));
  // Frame 2, frame 5, frame 9 (it never came: dark) and the gaps.
  EXPECT_EQ(std::tuple(pixel(image, 4 + 39, 4 + 29), pixel(image, 48 + 39, 4 + 29),
                       pixel(image, 4 + 39, 38 + 29), pixel(image, 1, 1)),
            std::tuple(0x202020u, 0x505050u, 0x000000u, 0x202024u));

  // Reducing averages each box.
  ContactSheet checker({1}, 1, 40, 40);
  std::vector<uint32_t> fine(80 * 80);
  for (int i = 0; i < 80 * 80; ++i) fine[i] = ((i % 80 + i / 80) & 1) ? 0xFEFEFE : 0;
  checker.offer(1, fine.data(), 80, 80);
  EXPECT_EQ(pixel(checker.compose(), 4 + 39, 4 + 39), 0x7F7F7Fu);
}

TEST(ContactSheet, LabelsNameTheFrame) {
  kv::headless::SheetImage image;
  image.width = 80;
  image.height = 20;
  image.rgb.assign(80 * 20, 0x123456);
  kv::headless::drawLabel(image, 0, 0, "F 1", 1);
  EXPECT_EQ(pixel(image, 0, 0), 0u);  // the dark box
  // The stem of the 1: third glyph (x from 2 + 12), middle column, row 3.
  EXPECT_EQ(pixel(image, 2 + 12 + 2, 1 + 3), 0xFFF0B0u);
  EXPECT_EQ(pixel(image, 79, 19), 0x123456u);
}

}  // namespace
