// A contact sheet of a headless run: chosen presented frames, reduced and laid
// out in a grid, each labelled with its frame number, so a run on a server
// still shows what the demonstration drew.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::headless {

// A picture as 0x00RRGGBB per pixel, row 0 first.
struct SheetImage {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> rgb;
};

class ContactSheet {
 public:
  // Keeps the frames numbered in `frames` (1 = the first presented), each
  // reduced to a cell of cellWidth x cellHeight, `columns` to a row.
  ContactSheet(std::vector<int64_t> frames, int32_t columns, int32_t cellWidth, int32_t cellHeight);

  // Whether frame `number` is one of the chosen.
  bool wants(int64_t number) const;
  // Offers presented frame `number`; a chosen one is reduced and kept.
  void offer(int64_t number, const uint32_t* rgb, int32_t width, int32_t height);
  // How many of the chosen frames have been seen.
  size_t kept() const;
  // The grid of the frames kept so far; empty cells stay dark.
  SheetImage compose() const;

 private:
  struct Cell {
    int64_t number;
    std::vector<uint32_t> rgb;  // empty until the frame was offered
  };
  std::vector<Cell> cells_;
  int32_t columns_, cellWidth_, cellHeight_;
};

// Draws text (digits, letters A-Z, space, '=' and '-') at (x, y) in a 5 x 7
// font magnified by scale, on a dark box so it reads on any picture.
void drawLabel(SheetImage& image, int32_t x, int32_t y, const std::string& text, int32_t scale);

}  // namespace kv::headless
