// Where a picture goes in a view of another size: scaled as large as fits, its
// shape kept, centred, with bands on the two sides that are left over.
#pragma once

#include <algorithm>

namespace kv::sdl {

struct ViewRect {
  int x, y, w, h;
  bool operator==(const ViewRect&) const = default;
};

inline ViewRect fitKeepingAspect(int pictureW, int pictureH, int viewW, int viewH) {
  if (pictureW <= 0 || pictureH <= 0 || viewW <= 0 || viewH <= 0) return {0, 0, 0, 0};
  // Integer cross-multiplication: a view of exactly the picture's shape is
  // filled to the pixel, without a rounding band.
  int w = viewW, h = viewH;
  if (static_cast<long long>(viewW) * pictureH > static_cast<long long>(viewH) * pictureW)
    w = static_cast<int>(static_cast<long long>(viewH) * pictureW / pictureH);
  else
    h = static_cast<int>(static_cast<long long>(viewW) * pictureH / pictureW);
  w = std::max(w, 1);
  h = std::max(h, 1);
  return {(viewW - w) / 2, (viewH - h) / 2, w, h};
}

}  // namespace kv::sdl
