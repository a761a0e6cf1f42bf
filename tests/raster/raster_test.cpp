// What every raster back end must draw, and what garbage it must survive,
// checked on each of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "platform/host/headless/headless.h"
#include "platform/win/win32.h"
#include "tests/raster/canvas.h"

namespace kv::raster::testing {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
const State kAdditive{
    .blendEnable = true, .srcBlend = BlendFactor::One, .dstBlend = BlendFactor::One};

class RasterTest : public ::testing::TestWithParam<Device> {
 protected:
  void SetUp() override {
    kv::headless::install();
    // As the Direct3D stand-in does, so refusals show in the debugger channel.
    kv::raster::setLogSink(OutputDebugStringA);
  }
  std::unique_ptr<Rasterizer> r = GetParam().make();

  void fan(Canvas& c, const State& s, const Vertex* f, int n) {
    auto color = c.color();
    auto depth = c.depth();
    r->drawFan(color, &depth, s, f, n);
  }
  // An axis-aligned quad as one fan.
  void quad(Canvas& c, const State& s, float x0, float y0, float x1, float y1, uint32_t argb,
            float z = 0.5f, float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1) {
    const Vertex f[4] = {vtx(x0, y0, argb, u0, v0, z), vtx(x1, y0, argb, u1, v0, z),
                         vtx(x1, y1, argb, u1, v1, z), vtx(x0, y1, argb, u0, v1, z)};
    fan(c, s, f, 4);
  }
  void clear(Canvas& c, uint32_t argb) {
    auto color = c.color();
    r->clear(&color, argb, nullptr, 0, {0, 0, c.width, c.height});
  }
};

// A jittered grid of fans that tiles the whole target, drawn additively: any
// pixel left out or drawn twice shows as a value other than 8.
TEST_P(RasterTest, TrianglesSharingEdgesCoverEveryPixelOnce) {
  constexpr int W = 97, H = 61, N = 9;
  Canvas c(W, H);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> jitter(-0.25f, 0.25f);  // keeps cells convex
  float gx[N + 1][N + 1], gy[N + 1][N + 1];
  for (int j = 0; j <= N; ++j) {
    for (int i = 0; i <= N; ++i) {
      gx[j][i] = float(i) * W / N + (i == 0 || i == N ? 0 : jitter(rng) * W / N);
      gy[j][i] = float(j) * H / N + (j == 0 || j == N ? 0 : jitter(rng) * H / N);
    }
  }
  for (int j = 0; j < N; ++j) {
    for (int i = 0; i < N; ++i) {
      // Each cell a fan of 4 around its centre, alternating windings.
      const int cx[5] = {i, i + 1, i + 1, i, i}, cy[5] = {j, j, j + 1, j + 1, j};
      Vertex f[6] = {vtx(0, 0, 0x00080000)};
      for (int k = 0; k < 5; ++k) {
        f[k + 1] = vtx(gx[cy[k]][cx[k]], gy[cy[k]][cx[k]], 0x00080000);
        if (k < 4) f[0].sx += f[k + 1].sx / 4, f[0].sy += f[k + 1].sy / 4;
      }
      if ((i + j) % 2) std::reverse(f + 1, f + 6);
      fan(c, kAdditive, f, 6);
    }
  }
  int wrong = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) wrong += c.rgb(x, y) != 0x080000;
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(c.guardsIntact());

  // Edges through pixel centres: top and left ones are inside, bottom and right ones out.
  Canvas d(8, 8);
  const Vertex a[3] = {vtx(1.5f, 1.5f, 0x10), vtx(5.5f, 1.5f, 0x10), vtx(5.5f, 5.5f, 0x10)};
  const Vertex b[3] = {vtx(1.5f, 1.5f, 0x10), vtx(5.5f, 5.5f, 0x10), vtx(1.5f, 5.5f, 0x10)};
  fan(d, kAdditive, a, 3);
  fan(d, kAdditive, b, 3);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(d.rgb(x, y), x >= 1 && x < 5 && y >= 1 && y < 5 ? 0x10u : 0u) << x << "," << y;
}

TEST_P(RasterTest, DepthKeepsTheNearestSurfaceWhicheverIsDrawnFirst) {
  State s{.depthEnable = true};
  for (bool nearFirst : {false, true}) {
    Canvas c(16, 16);  // 1/z: larger is nearer
    if (nearFirst) quad(c, s, 0, 0, 16, 16, 0xFF0000, 0.5f);
    quad(c, s, 4, 4, 12, 12, 0x00FF00, 0.1f);
    if (!nearFirst) quad(c, s, 0, 0, 16, 16, 0xFF0000, 0.5f);
    EXPECT_EQ(c.rgb(8, 8), 0xFF0000u);
    EXPECT_FLOAT_EQ(c.depthAt(8, 8), 0.5f);
  }
  // Equal depth passes greater-or-equal; without depth write the buffer stays.
  Canvas c(8, 8);
  quad(c, s, 0, 0, 8, 8, 0x0000FF, 0.25f);
  quad(c, s, 0, 0, 8, 8, 0x00FF00, 0.25f);
  EXPECT_EQ(c.rgb(3, 3), 0x00FF00u);
  s.depthWrite = false;
  quad(c, s, 0, 0, 8, 8, 0xFF0000, 0.75f);
  EXPECT_EQ(c.rgb(3, 3), 0xFF0000u);
  EXPECT_FLOAT_EQ(c.depthAt(3, 3), 0.25f);
  s.depthWrite = true;
  s.depthCompare = DepthCompare::Less;
  quad(c, s, 0, 0, 8, 8, 0xFFFFFF, 0.5f);
  EXPECT_EQ(c.rgb(3, 3), 0xFF0000u);
}

// A 2-texel-wide texture, black then white, across a quad whose right side is
// four times as far as its left: the switch sits at u = 0.5, which is half way
// across the screen when affine and 80% across when perspective-correct.
TEST_P(RasterTest, PerspectiveCorrectionMovesTheTextureAlongTheSlant) {
  const uint16_t texels[2] = {0x0000, 0xFFFF};
  const Texture tex{texels, 4, 2, 1, TextureFormat::RGB565, nullptr};
  for (bool perspective : {false, true}) {
    Canvas c(100, 4);
    const State s{.texture = &tex, .colorOp = ColorOp::SelectTexture, .perspective = perspective};
    const Vertex f[4] = {{0, 0, 1, 1.0f, ~0u, 0, 0},
                         {100, 0, 1, 0.25f, ~0u, 1, 0},
                         {100, 4, 1, 0.25f, ~0u, 1, 0},
                         {0, 4, 1, 1.0f, ~0u, 0, 0}};
    fan(c, s, f, 4);
    int firstWhite = 0;
    while (firstWhite < 100 && c.rgb(firstWhite, 2) != 0xFFFFFF) ++firstWhite;
    EXPECT_EQ(firstWhite, perspective ? 80 : 50);
  }
}

TEST_P(RasterTest, ColourKeyLeavesKeyTexelsUndrawn) {
  // Palette8 keys on the index; 16-bit formats on the colour bits only.
  const uint32_t palette[256] = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
  const uint8_t indices[4] = {0, 1, 2, 0};
  const uint16_t argb1555[4] = {0x8000, 0x7C00, 0x03E0, 0x0000};  // key 0 matches both alphas
  const Texture pal{indices, 2, 2, 2, TextureFormat::Palette8, palette};
  const Texture hi{argb1555, 4, 2, 2, TextureFormat::ARGB1555, nullptr};
  for (const Texture* tex : {&pal, &hi}) {
    for (bool key : {false, true}) {
      Canvas c(8, 8);
      clear(c, 0x123456);
      quad(c, {.texture = tex, .colorOp = ColorOp::SelectTexture, .colorKeyEnable = key}, 0, 0, 8,
           8, ~0u);
      EXPECT_EQ(c.rgb(1, 1), key ? 0x123456u : 0u);  // texel (0, 0)
      EXPECT_EQ(c.rgb(5, 1), 0xFF0000u);             // texel (1, 0)
      EXPECT_EQ(c.rgb(1, 5), 0x00FF00u);             // texel (0, 1)
      EXPECT_EQ(c.rgb(5, 5), key ? 0x123456u : 0u);  // texel (1, 1)
    }
  }
}

TEST_P(RasterTest, BlendModes) {
  Canvas c(8, 8);
  clear(c, 0x204080);
  quad(c, {.blendEnable = true}, 0, 0, 4, 8, 0x80FF0000);  // source alpha, inverse source alpha
  // 255 * 128/255 + 0x20 * 127/255 = 128 + 15.9; 0x40 * 127/255 = 31.9; 0x80 * 127/255 = 63.8
  EXPECT_EQ(c.rgb(1, 1), (144u << 16) | (32u << 8) | 64u);
  quad(c, kAdditive, 4, 0, 8, 8, 0x00F01010);
  EXPECT_EQ(c.rgb(5, 1), (255u << 16) | (0x50u << 8) | 0x90u);  // saturates at 255
}

TEST_P(RasterTest, BilinearFilteringBlendsNeighbourTexels) {
  // 2x2 texels, black and grey in a checker. Pixel x samples u = (x + 1) / 4:
  // pixels 0 and 2 hit texel centres, 1 and 3 lie half way between texels.
  const uint16_t texels[4] = {0x0000, 0x8410, 0x8410, 0x0000};  // black, grey 132,130,132
  const Texture tex{texels, 4, 2, 2, TextureFormat::RGB565, nullptr};
  for (Filter filter : {Filter::Nearest, Filter::Bilinear}) {
    Canvas c(4, 4);
    quad(c, {.texture = &tex, .colorOp = ColorOp::SelectTexture, .filter = filter}, 0, 0, 4, 4, ~0u,
         0.5f, 0.125f, 0.125f, 1.125f, 1.125f);
    EXPECT_EQ(c.rgb(0, 0), 0u);
    EXPECT_EQ(c.rgb(2, 0), 0x848284u);
    if (filter == Filter::Nearest) {
      EXPECT_EQ(c.rgb(2, 2), 0u);
      continue;
    }
    EXPECT_EQ(c.rgb(1, 0), 0x424142u);
    EXPECT_EQ(c.rgb(3, 0), 0x424142u);  // texel 1 and, wrapped, texel 0
    EXPECT_EQ(c.rgb(1, 1), 0x424142u);  // all four texels
  }
}

TEST_P(RasterTest, DitherSpreadsAColourBetweenTwoLevels) {
  // Red 132 lies half way between the 5-bit levels 16 (128) and 17 (136).
  for (bool dither : {false, true}) {
    Canvas c(8, 8, ColorFormat::RGB565);
    quad(c, {.dither = dither}, 0, 0, 8, 8, 0xFF840000);
    int sum = 0;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) sum += c.pixel(x, y) >> 11;
    EXPECT_EQ(sum, dither ? 16 * 16 + 8 : 16 * 16);
    EXPECT_EQ(c.pixel(0, 0), c.pixel(4, 4));  // the pattern repeats every 4 pixels
  }
}

// (Every 16-bit value is checked below; here the palette and texel alpha.)
TEST_P(RasterTest, PaletteEntriesAndTexelAlphaReachThePixel) {
  uint32_t palette[256] = {};
  palette[7] = 0x80123456;
  const uint8_t p8 = 7;
  const Texture indexed{&p8, 1, 1, 1, TextureFormat::Palette8, palette};
  Canvas p(4, 4);
  quad(p, {.texture = &indexed}, 0, 0, 4, 4, 0xFFFFFFFF);  // modulate by white leaves the texel
  EXPECT_EQ(p.rgb(2, 2), 0x123456u);
  // Texel alpha 136 (4444 alpha 8) under alpha blending over black: modulated by
  // the diffuse alpha 128 it gives 68, selected from the diffuse alone 128.
  const uint16_t translucentRed = 0x8F00;
  const Texture red{&translucentRed, 2, 1, 1, TextureFormat::ARGB4444, nullptr};
  for (AlphaOp op : {AlphaOp::Modulate, AlphaOp::SelectDiffuse}) {
    Canvas c(4, 4);
    quad(c, {.texture = &red, .alphaOp = op, .blendEnable = true}, 0, 0, 4, 4, 0x80FFFFFF);
    EXPECT_EQ(c.rgb(2, 2), op == AlphaOp::Modulate ? 0x440000u : 0x800000u);
  }
}

// Every value of each 16-bit format, one texel to a pixel: channels widen to
// 8 bits by repeating their top bits.
TEST_P(RasterTest, EverySixteenBitTexelDecodesExactly) {
  std::vector<uint16_t> all(65536);
  for (size_t v = 0; v < all.size(); ++v) all[v] = uint16_t(v);
  auto widen = [](uint32_t v, int at, int bits) {
    const uint32_t c = (v >> at) & ((1u << bits) - 1);
    return bits == 4 ? c * 17 : (c << (8 - bits)) | (c >> (2 * bits - 8));
  };
  struct Layout {
    TextureFormat format;
    int at[3], bits[3];  // red, green, blue
  };
  for (const Layout& l : {Layout{TextureFormat::ARGB1555, {10, 5, 0}, {5, 5, 5}},
                          Layout{TextureFormat::RGB565, {11, 5, 0}, {5, 6, 5}},
                          Layout{TextureFormat::ARGB4444, {8, 4, 0}, {4, 4, 4}}}) {
    const Texture t{all.data(), 512, 256, 256, l.format, nullptr};
    Canvas c(256, 256);
    quad(c, {.texture = &t, .colorOp = ColorOp::SelectTexture}, 0, 0, 256, 256, 0xFFFFFFFF);
    int wrong = 0;
    for (uint32_t v = 0; v < 65536; ++v) {
      const uint32_t expected = widen(v, l.at[0], l.bits[0]) << 16 |
                                widen(v, l.at[1], l.bits[1]) << 8 | widen(v, l.at[2], l.bits[2]);
      wrong += c.rgb(int(v % 256), int(v / 256)) != expected;
    }
    EXPECT_EQ(wrong, 0) << "format " << int(l.format);
  }
}

TEST_P(RasterTest, GouraudAndFlatShading) {
  Canvas c(64, 4);
  const Vertex f[4] = {vtx(0, 0, 0xFF000000), vtx(64, 0, 0xFFFF0000), vtx(64, 4, 0xFFFF0000),
                       vtx(0, 4, 0xFF000000)};
  fan(c, {}, f, 4);
  // Pixel x has its centre at x + 0.5: red = 255 * (x + 0.5) / 64, rounded.
  for (int x : {0, 10, 31, 63})
    EXPECT_EQ(c.rgb(x, 1) >> 16, uint32_t(std::lround(255 * (x + 0.5) / 64)));
  const Vertex g[4] = {vtx(0, 0, 0xFF0000FF), vtx(64, 0, 0xFFFF0000), vtx(64, 4, 0xFF00FF00),
                       vtx(0, 4, 0xFF0000FF)};
  fan(c, {.shadeMode = ShadeMode::Flat}, g, 4);
  EXPECT_EQ(c.rgb(60, 0), 0xFF0000u);  // triangle (0, 1, 2) takes vertex 1's colour
  EXPECT_EQ(c.rgb(3, 3), 0x00FF00u);   // triangle (0, 2, 3) takes vertex 2's colour
}

TEST_P(RasterTest, ClearFillsTheClippedRectangle) {
  Canvas c(10, 6, ColorFormat::RGB565);
  auto color = c.color();
  auto depth = c.depth();
  r->clear(&color, 0xFFFF8000, &depth, 0.75f, {-5, 2, 4, 100});
  EXPECT_EQ(c.pixel(0, 2), 0xFC00u);
  EXPECT_EQ(c.pixel(3, 5), 0xFC00u);
  EXPECT_EQ(c.pixel(4, 2), 0u);
  EXPECT_EQ(c.pixel(0, 1), 0u);
  EXPECT_FLOAT_EQ(c.depthAt(3, 5), 0.75f);
  EXPECT_FLOAT_EQ(c.depthAt(4, 5), 0.0f);
  EXPECT_TRUE(c.guardsIntact());
}

// Garbage in: nothing is written outside the target, nothing is read outside
// the texture (the Asan build checks the reads), and every call returns.
TEST_P(RasterTest, BadPositionsDrawNothingAndStayInside) {
  const uint16_t texels[4] = {0x1234, 0x5678, 0x9ABC, 0xDEF0};
  const Texture tex{texels, 4, 2, 2, TextureFormat::RGB565, nullptr};
  const Vertex fans[][3] = {
      {vtx(kNaN, 1), vtx(10, 1), vtx(5, 9)},
      {vtx(1, 1), vtx(kInf, 1), vtx(5, 9)},
      {vtx(-1e9f, -1e9f), vtx(1e9f, -1e9f), vtx(0, 1e9f)},
      {vtx(3, 3), vtx(3, 3), vtx(3, 3)},   // a point
      {vtx(1, 1), vtx(5, 5), vtx(9, 9)},   // collinear
      {vtx(1, 4), vtx(9, 4), vtx(12, 4)},  // flat line on a row of centres
  };
  for (const Texture* t : {static_cast<const Texture*>(nullptr), &tex}) {
    Canvas c(12, 10, ColorFormat::RGB565);
    for (const auto& f : fans)
      fan(c, {.texture = t, .perspective = true, .depthEnable = true}, f, 3);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 12; ++x) ASSERT_EQ(c.pixel(x, y), 0u) << x << "," << y;
    EXPECT_TRUE(c.guardsIntact());
  }
  // Corners far beyond every side, but within the accepted range: the target
  // is covered once, and nothing beyond it is touched.
  Canvas c(33, 17);
  quad(c, kAdditive, -60000, -50000, 60000, 50000, 0x01);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 33; ++x) ASSERT_EQ(c.rgb(x, y), 1u) << x << "," << y;
  EXPECT_TRUE(c.guardsIntact());
}

TEST_P(RasterTest, WildTextureCoordinatesStayInsideTheTexture) {
  // A 1x1 texture and an 8x2 one, against coordinates that are huge, infinite,
  // NaN, or divided by a zero or negative rhw.
  const uint16_t one = 0xF800;
  const uint8_t indices[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  uint32_t palette[256] = {};
  palette[1] = 0xFF00FF00;
  const Texture tiny{&one, 2, 1, 1, TextureFormat::RGB565, nullptr};
  const Texture wide{indices, 8, 8, 2, TextureFormat::Palette8, palette};
  for (const Texture* tex : {&tiny, &wide}) {
    for (Filter filter : {Filter::Nearest, Filter::Bilinear}) {
      for (bool perspective : {false, true}) {
        for (float w : {1e30f, -1e30f, kInf, -kInf, kNaN, 3e9f, -0.0f}) {
          Canvas c(8, 8);
          const Vertex f[4] = {{0, 0, 0.5f, 1, ~0u, w, 0},
                               {8, 0, 0.5f, 0, ~0u, 1, w},
                               {8, 8, 0.5f, -1, ~0u, w, w},
                               {0, 8, 0.5f, 1, ~0u, 0, 1}};
          const State s{.texture = tex,
                        .colorOp = ColorOp::SelectTexture,
                        .perspective = perspective,
                        .filter = filter};
          fan(c, s, f, 4);
          // Whatever texel was chosen, it came from the texture.
          const uint32_t texel = tex == &tiny ? 0xFF0000u : 0x00FF00u;
          for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) ASSERT_EQ(c.rgb(x, y), texel);
          EXPECT_TRUE(c.guardsIntact());
        }
      }
    }
  }
}

TEST_P(RasterTest, RefusedDescriptionsAreLoggedAndNothingIsDrawnThroughThem) {
  Canvas c(8, 8);
  auto color = c.color();
  const Vertex f[3] = {vtx(0, 0), vtx(8, 0), vtx(0, 8)};
  State s;
  r->drawFan(color, nullptr, s, nullptr, 3);
  r->drawFan(color, nullptr, s, f, 2);
  r->drawFan(color, nullptr, s, f, -5);
  ColorTarget narrowPitch = color, noPixels = color;
  narrowPitch.pitch = 8;
  noPixels.pixels = nullptr;
  r->drawFan(narrowPitch, nullptr, s, f, 3);
  r->drawFan(noPixels, nullptr, s, f, 3);
  r->clear(&noPixels, 0xFFFFFF, nullptr, 0, {0, 0, 8, 8});
  EXPECT_EQ(c.rgb(1, 1), 0u);
  EXPECT_NE(kv::headless::debugCapture().find(
                "raster: colour target refused (width 8, height 8, pitch 8)\n"),
            std::string::npos);

  // A texture whose sides are not powers of two is refused; the fan is drawn untextured.
  const uint16_t texels[9] = {};
  const Texture odd{texels, 6, 3, 3, TextureFormat::RGB565, nullptr};
  s.texture = &odd;
  r->drawFan(color, nullptr, s, f, 3);
  EXPECT_EQ(c.rgb(1, 1), 0xFFFFFFu);
  EXPECT_NE(
      kv::headless::debugCapture().find("raster: texture refused (width 3, height 3, pitch 6)\n"),
      std::string::npos);

  // A depth target that cannot hold its rows: drawn without depth.
  DepthTarget depth = c.depth();
  depth.pitch = 4;
  r->drawFan(color, &depth, {.depthEnable = true}, f, 3);
  EXPECT_TRUE(c.guardsIntact());
}

INSTANTIATE_TEST_SUITE_P(Devices, RasterTest, ::testing::ValuesIn(kDevices),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kv::raster::testing
