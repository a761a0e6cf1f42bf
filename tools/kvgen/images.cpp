// The demo's images: four floor patterns, the fixed floor cells and the can's
// label. Each is a function of the pixel position drawn through a colour ramp
// (or, for the label, a handful of flat colours), so the files are the same on
// every run.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <vector>

#include "scene.h"
#include "trig.h"

namespace kvgen {

namespace {

constexpr int kSize = 128;
constexpr float kPi = 3.14159265f;

struct Stop {
  float at;
  Rgb colour;
};

// 256 colours blended between the stops.
std::array<Rgb, 256> ramp(std::initializer_list<Stop> stops) {
  std::array<Rgb, 256> palette{};
  const std::vector<Stop> s(stops);
  for (int i = 0; i < 256; ++i) {
    const float t = i / 255.0f;
    size_t k = 0;
    while (k + 2 < s.size() && t > s[k + 1].at) ++k;
    const float span = s[k + 1].at - s[k].at;
    const float f = std::clamp(span > 0 ? (t - s[k].at) / span : 0.0f, 0.0f, 1.0f);
    auto mix = [f](uint8_t a, uint8_t b) {
      return static_cast<uint8_t>(std::lround(a + (b - a) * f));
    };
    palette[i] = {mix(s[k].colour.r, s[k + 1].colour.r), mix(s[k].colour.g, s[k + 1].colour.g),
                  mix(s[k].colour.b, s[k + 1].colour.b)};
  }
  return palette;
}

// An image whose pixel (x, y) is the ramp at shade(sx, sy), with sx and sy
// running from -1 to 1 across the pixel centres.
Image shaded(std::array<Rgb, 256> palette, const std::function<float(float, float)>& shade) {
  Image image;
  image.width = image.height = kSize;
  image.palette = palette;
  image.pixels.resize(kSize * kSize);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const float sx = (x + 0.5f) / kSize * 2.0f - 1.0f;
      const float sy = (y + 0.5f) / kSize * 2.0f - 1.0f;
      const float value = std::clamp(shade(sx, sy), 0.0f, 1.0f);
      image.at(x, y) = static_cast<uint8_t>(std::lround(value * 255.0f));
    }
  return image;
}

float smoothstep(float edge0, float edge1, float x) {
  const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
  return t * t * (3.0f - 2.0f * t);
}

// Value noise on an integer lattice, wrapping with the given period.
float lattice(int x, int y, int period) {
  x = ((x % period) + period) % period;
  y = ((y % period) + period) % period;
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0f;
}

float noise(float x, float y, int period) {
  const int x0 = static_cast<int>(std::floor(x));
  const int y0 = static_cast<int>(std::floor(y));
  const float fx = smoothstep(0, 1, x - x0), fy = smoothstep(0, 1, y - y0);
  const float a = lattice(x0, y0, period), b = lattice(x0 + 1, y0, period);
  const float c = lattice(x0, y0 + 1, period), d = lattice(x0 + 1, y0 + 1, period);
  return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}

// Glazed tiles: a blue rosette, quarter circles in the corners and a frame.
float ceramic(float sx, float sy) {
  const float r = hypotenuse(sx, sy);
  const float a = arctan2(sy, sx);
  float v = 0.95f;
  const float petal = 0.58f * (0.72f + 0.28f * cosine(8 * a));
  if (r < petal) v = 0.42f + 0.25f * (r / petal);
  if (std::fabs(r - petal) < 0.035f) v = 0.12f;
  if (r < 0.2f) v = 0.9f;
  if (r < 0.1f) v = 0.1f;
  for (float cx : {-1.0f, 1.0f})
    for (float cy : {-1.0f, 1.0f}) {
      const float d = hypotenuse(sx - cx, sy - cy);
      if (d < 0.42f) v = 0.55f + 0.3f * (d / 0.42f);
      if (std::fabs(d - 0.42f) < 0.03f) v = 0.12f;
    }
  const float edge = std::max(std::fabs(sx), std::fabs(sy));
  if (edge > 0.94f) v = 0.05f;
  return v;
}

// Sun rays and rings, bright in the middle.
float sunburst(float sx, float sy) {
  const float r = hypotenuse(sx, sy);
  const float a = arctan2(sy, sx);
  const float rings = 0.5f + 0.5f * cosine(r * 26.0f);
  const float rays = 0.5f + 0.5f * cosine(a * 12.0f + r * 4.0f);
  float v = 0.12f + 0.5f * rings * (0.45f + 0.55f * rays) + 0.45f * (1.0f - std::min(r, 1.0f));
  const float edge = std::max(std::fabs(sx), std::fabs(sy));
  if (edge > 0.95f) v *= 0.35f;
  return v;
}

// Basket weave: strands that change direction from one square to the next.
float weave(float sx, float sy) {
  const float x = (sx + 1) * 4, y = (sy + 1) * 4;  // 8 x 8 squares
  const int cx = static_cast<int>(x), cy = static_cast<int>(y);
  const bool across = ((cx + cy) & 1) == 0;
  const float along = across ? x - cx : y - cy;  // position along the strand
  const float side = across ? y - cy : x - cx;   // position across the strands
  const float strand = side * 3 - std::floor(side * 3);
  const float round = sine(strand * kPi);
  const float ends = smoothstep(0.0f, 0.18f, along) * smoothstep(0.0f, 0.18f, 1 - along);
  return 0.1f + 0.85f * round * (0.55f + 0.45f * ends);
}

// A plasma of crossing waves.
float plasma(float sx, float sy) {
  const float r = hypotenuse(sx - 0.2f, sy + 0.3f);
  const float v =
      sine(sx * 5.0f) + sine(sy * 7.0f + 1.0f) + sine((sx + sy) * 4.5f) + sine(r * 11.0f);
  return 0.5f + v / 8.0f;
}

// Dark stone with a bevelled edge.
float slate(float sx, float sy) {
  const float x = (sx + 1) * 4, y = (sy + 1) * 4;
  float v = 0.35f + 0.35f * noise(x, y, 8) + 0.18f * noise(x * 2, y * 2, 16) +
            0.08f * noise(x * 4, y * 4, 32);
  const float left = sx + 1, top = sy + 1, right = 1 - sx, bottom = 1 - sy;
  const float bevel = 0.07f;
  if (std::min(left, top) < bevel && std::min(left, top) <= std::min(right, bottom))
    v += 0.3f;
  else if (std::min(right, bottom) < bevel)
    v -= 0.25f;
  return v * 0.85f;
}

// --- the label -------------------------------------------------------------

// A tiny 5 x 7 font for the brand on the can's back.
struct Glyph {
  char c;
  uint8_t rows[7];  // bit 4 is the leftmost column
};
constexpr Glyph kGlyphs[] = {
    {'k', {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12}},
    {'v', {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
};

class Canvas {
 public:
  Canvas() : pixels_(kSize * kSize, Rgb{0, 0, 0}) {}
  void set(int x, int y, Rgb c) {
    if (y < 0 || y >= kSize) return;
    x = ((x % kSize) + kSize) % kSize;  // the band wraps round the can
    pixels_[y * kSize + x] = c;
  }
  Rgb get(int x, int y) const { return pixels_[y * kSize + x]; }

  // Filled ellipse about a pixel-centre position.
  void ellipse(float cx, float cy, float rx, float ry, Rgb c) {
    for (int y = static_cast<int>(cy - ry) - 1; y <= cy + ry + 1; ++y)
      for (int x = static_cast<int>(cx - rx) - 1; x <= cx + rx + 1; ++x) {
        const float dx = (x + 0.5f - cx) / rx, dy = (y + 0.5f - cy) / ry;
        if (dx * dx + dy * dy <= 1.0f) set(x, y, c);
      }
  }
  void text(const char* s, int centreX, int top, int scaleY, Rgb c) {
    const int width = static_cast<int>(std::char_traits<char>::length(s)) * 6 - 1;
    int x = centreX - width / 2;
    for (; *s != '\0'; ++s, x += 6)
      for (const Glyph& g : kGlyphs)
        if (g.c == *s)
          for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
              if (g.rows[row] & (0x10 >> col))
                for (int k = 0; k < scaleY; ++k) set(x + col, top + row * scaleY + k, c);
  }

  // Exact colours only: the label uses fewer than 256.
  Image toImage() const {
    Image image;
    image.width = image.height = kSize;
    image.pixels.resize(kSize * kSize);
    int used = 0;
    for (size_t i = 0; i < pixels_.size(); ++i) {
      const Rgb c = pixels_[i];
      int k = 0;
      while (k < used &&
             !(image.palette[k].r == c.r && image.palette[k].g == c.g && image.palette[k].b == c.b))
        ++k;
      if (k == used) {
        if (used == 256) {
          std::fprintf(stderr, "kvgen: the label has more than 256 colours\n");
          std::abort();
        }
        image.palette[used++] = c;
      }
      image.pixels[i] = static_cast<uint8_t>(k);
    }
    return image;
  }

 private:
  std::vector<Rgb> pixels_;
};

constexpr Rgb kSilver{205, 210, 220};
constexpr Rgb kSilverDark{120, 125, 140};
constexpr Rgb kCoral{236, 88, 62};
constexpr Rgb kCoralDeep{196, 56, 48};
constexpr Rgb kCream{252, 238, 205};
constexpr Rgb kNavy{34, 46, 102};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kInk{20, 18, 28};
constexpr Rgb kBlush{255, 150, 150};
constexpr Rgb kInterior{44, 44, 52};
constexpr Rgb kArm{252, 204, 64};
constexpr Rgb kLeg{46, 70, 150};
constexpr Rgb kShoe{245, 245, 240};
constexpr Rgb kTab{170, 176, 190};

constexpr int kLabelRows = static_cast<int>(kLabelV / 2);  // 96 of 128 rows
constexpr int kSwatchWidth = 16;

}  // namespace

Image floorPattern(int which) {
  switch (which) {
    case 0:
      return shaded(ramp({{0.0f, {18, 36, 110}}, {0.5f, {70, 120, 205}}, {1.0f, {248, 246, 236}}}),
                    ceramic);
    case 1:
      return shaded(ramp({{0.0f, {70, 8, 12}}, {0.45f, {230, 110, 20}}, {1.0f, {255, 236, 130}}}),
                    sunburst);
    case 2:
      return shaded(ramp({{0.0f, {8, 34, 14}}, {0.55f, {60, 150, 52}}, {1.0f, {210, 245, 150}}}),
                    weave);
    default:
      return shaded(ramp({{0.0f, {30, 0, 60}},
                          {0.4f, {160, 24, 170}},
                          {0.75f, {50, 200, 235}},
                          {1.0f, {245, 245, 255}}}),
                    plasma);
  }
}

Image floorTile() {
  return shaded(ramp({{0.0f, {20, 22, 30}}, {0.5f, {78, 84, 102}}, {1.0f, {180, 186, 204}}}),
                slate);
}

void swatchUv(Swatch swatch, float& u, float& v) {
  const int column = static_cast<int>(swatch);
  u = (column * kSwatchWidth + kSwatchWidth / 2) * 2.0f;
  v = (kLabelRows + (kSize - kLabelRows) / 2) * 2.0f;
}

Image canLabel() {
  Canvas c;
  // The band: silver rims, coral above a cream wave, navy below it.
  for (int y = 0; y < kLabelRows; ++y)
    for (int x = 0; x < kSize; ++x) {
      const float wave = 64.0f + 4.0f * sine(x * 2 * kPi * 3 / kSize);
      Rgb colour = kCoral;
      if (y > wave + 9)
        colour = kNavy;
      else if (y > wave)
        colour = kCream;
      else if (y > wave - 3)
        colour = kCoralDeep;
      if (y < 6 || y >= kLabelRows - 6) colour = kSilver;
      if (y == 6 || y == kLabelRows - 7) colour = kSilverDark;
      c.set(x, y, colour);
    }
  // The face on the front (u = 128, the middle of the band, faces -z).
  const float front = kSize / 2.0f;
  for (float side : {-1.0f, 1.0f}) {
    const float ex = front + side * 13.0f;
    c.ellipse(ex, 30, 7.5f, 11, kInk);
    c.ellipse(ex, 30, 6, 9.5f, kWhite);
    c.ellipse(ex + side * -1.5f, 32, 3.5f, 5.5f, kInk);
    c.ellipse(ex + side * -1.5f - 1.2f, 29.5f, 1.2f, 1.8f, kWhite);
    c.ellipse(front + side * 23.0f, 47, 4.5f, 3, kBlush);
  }
  // A smile: the lower rim of an ellipse about (front, 38).
  for (int y = 40; y < 58; ++y)
    for (int x = static_cast<int>(front) - 14; x < front + 14; ++x) {
      const float dx = (x + 0.5f - front) / 11.0f, dy = (y + 0.5f - 40.0f) / 12.0f;
      const float d = std::sqrt(dx * dx + dy * dy);
      if (d > 0.82f && d < 1.0f && y > 44) c.set(x, y, kInk);
    }
  // The brand on the back, where the band's two ends meet.
  c.text("kvKIT", 0, 22, 2, kCream);
  c.text("kvKIT", 0, 74, 1, kWhite);
  // Swatches for the parts of the can.
  const Rgb swatches[] = {kSilver, kInterior, kArm, kLeg, kShoe, kTab};
  for (int y = kLabelRows; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const int column = x / kSwatchWidth;
      c.set(x, y, column < 6 ? swatches[column] : kInk);
    }
  return c.toImage();
}

}  // namespace kvgen
