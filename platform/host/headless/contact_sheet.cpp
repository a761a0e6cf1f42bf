#include "platform/host/headless/contact_sheet.h"

#include <algorithm>
#include <cctype>

namespace kv::headless {

namespace {

// Rows of a 5 x 7 glyph, bit 4 the leftmost column.
struct Glyph {
  char c;
  uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'=', {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {' ', {0, 0, 0, 0, 0, 0, 0}},
};

const Glyph* glyphFor(char c) {
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const Glyph& g : kFont)
    if (g.c == c) return &g;
  return nullptr;
}

void fill(SheetImage& image, int32_t x0, int32_t y0, int32_t w, int32_t h, uint32_t colour) {
  for (int32_t y = std::max(y0, 0); y < std::min(y0 + h, image.height); ++y)
    for (int32_t x = std::max(x0, 0); x < std::min(x0 + w, image.width); ++x)
      image.rgb[static_cast<size_t>(y) * image.width + x] = colour;
}

// The average of a box of source pixels, per channel.
uint32_t boxAverage(const uint32_t* rgb, int32_t width, int32_t x0, int32_t x1, int32_t y0,
                    int32_t y1) {
  uint32_t r = 0, g = 0, b = 0, n = 0;
  for (int32_t y = y0; y < y1; ++y)
    for (int32_t x = x0; x < x1; ++x) {
      const uint32_t p = rgb[static_cast<size_t>(y) * width + x];
      r += p >> 16 & 0xFF;
      g += p >> 8 & 0xFF;
      b += p & 0xFF;
      ++n;
    }
  if (n == 0) return 0;
  return (r / n) << 16 | (g / n) << 8 | (b / n);
}

}  // namespace

ContactSheet::ContactSheet(std::vector<int64_t> frames, int32_t columns, int32_t cellWidth,
                           int32_t cellHeight)
    : columns_(std::max(columns, 1)), cellWidth_(cellWidth), cellHeight_(cellHeight) {
  for (int64_t number : frames) cells_.push_back({number, {}});
}

void ContactSheet::offer(int64_t number, const uint32_t* rgb, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || rgb == nullptr) return;
  for (Cell& cell : cells_) {
    if (cell.number != number) continue;
    cell.rgb.resize(static_cast<size_t>(cellWidth_) * cellHeight_);
    for (int32_t y = 0; y < cellHeight_; ++y)
      for (int32_t x = 0; x < cellWidth_; ++x) {
        const int32_t x0 = static_cast<int32_t>(static_cast<int64_t>(x) * width / cellWidth_);
        const int32_t x1 = std::max<int32_t>(
            x0 + 1, static_cast<int32_t>(static_cast<int64_t>(x + 1) * width / cellWidth_));
        const int32_t y0 = static_cast<int32_t>(static_cast<int64_t>(y) * height / cellHeight_);
        const int32_t y1 = std::max<int32_t>(
            y0 + 1, static_cast<int32_t>(static_cast<int64_t>(y + 1) * height / cellHeight_));
        cell.rgb[static_cast<size_t>(y) * cellWidth_ + x] =
            boxAverage(rgb, width, x0, std::min(x1, width), y0, std::min(y1, height));
      }
  }
}

bool ContactSheet::wants(int64_t number) const {
  return std::any_of(cells_.begin(), cells_.end(),
                     [number](const Cell& c) { return c.number == number; });
}

size_t ContactSheet::kept() const {
  return static_cast<size_t>(
      std::count_if(cells_.begin(), cells_.end(), [](const Cell& c) { return !c.rgb.empty(); }));
}

SheetImage ContactSheet::compose() const {
  constexpr int32_t kGap = 4;
  const int32_t count = static_cast<int32_t>(cells_.size());
  const int32_t rows = (count + columns_ - 1) / columns_;
  SheetImage sheet;
  sheet.width = columns_ * (cellWidth_ + kGap) + kGap;
  sheet.height = rows * (cellHeight_ + kGap) + kGap;
  sheet.rgb.assign(static_cast<size_t>(sheet.width) * sheet.height, 0x202024);
  for (int32_t i = 0; i < count; ++i) {
    const Cell& cell = cells_[i];
    const int32_t left = kGap + (i % columns_) * (cellWidth_ + kGap);
    const int32_t top = kGap + (i / columns_) * (cellHeight_ + kGap);
    if (cell.rgb.empty()) {
      fill(sheet, left, top, cellWidth_, cellHeight_, 0x000000);
    } else {
      for (int32_t y = 0; y < cellHeight_; ++y)
        std::copy_n(&cell.rgb[static_cast<size_t>(y) * cellWidth_], cellWidth_,
                    &sheet.rgb[static_cast<size_t>(top + y) * sheet.width + left]);
    }
    drawLabel(sheet, left + 4, top + 4, "F " + std::to_string(cell.number), 2);
  }
  return sheet;
}

void drawLabel(SheetImage& image, int32_t x, int32_t y, const std::string& text, int32_t scale) {
  const int32_t advance = 6 * scale;
  const int32_t width = static_cast<int32_t>(text.size()) * advance + 2 * scale;
  fill(image, x, y, width, 9 * scale, 0x000000);
  int32_t penX = x + 2 * scale;
  for (char c : text) {
    if (const Glyph* g = glyphFor(c))
      for (int32_t row = 0; row < 7; ++row)
        for (int32_t col = 0; col < 5; ++col)
          if (g->rows[row] & (0x10 >> col))
            fill(image, penX + col * scale, y + scale + row * scale, scale, scale, 0xFFF0B0);
    penX += advance;
  }
}

}  // namespace kv::headless
