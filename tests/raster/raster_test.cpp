// What every raster back end must draw, checked on each of them.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/raster/pixel.h"
#include "tests/raster/canvas.h"

namespace kv::raster::testing {
namespace {

class RasterTest : public ::testing::TestWithParam<Device> {
 protected:
  std::unique_ptr<Rasterizer> r = GetParam().make();

  // An axis-aligned quad as one fan.
  void quad(Canvas& c, const State& s, float x0, float y0, float x1, float y1, uint32_t argb,
            float z = 0.5f, float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1) {
    const Vertex f[4] = {vtx(x0, y0, argb, u0, v0, z), vtx(x1, y0, argb, u1, v0, z),
                         vtx(x1, y1, argb, u1, v1, z), vtx(x0, y1, argb, u0, v1, z)};
    auto color = c.color();
    auto depth = c.depth();
    r->drawFan(color, &depth, s, f, 4);
  }
};

State additive() {
  State s;
  s.blendEnable = true;
  s.srcBlend = BlendFactor::One;
  s.dstBlend = BlendFactor::One;
  return s;
}

// A jittered grid of triangles that tiles the whole target, drawn additively:
// any pixel left out or drawn twice shows as a value other than 8.
TEST_P(RasterTest, TrianglesSharingEdgesCoverEveryPixelOnce) {
  constexpr int W = 97, H = 61, N = 9;
  Canvas c(W, H);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> jitter(-0.25f, 0.25f);  // keeps cells convex
  float gx[N + 1][N + 1], gy[N + 1][N + 1];
  for (int j = 0; j <= N; ++j) {
    for (int i = 0; i <= N; ++i) {
      const bool edgeX = i == 0 || i == N, edgeY = j == 0 || j == N;
      gx[j][i] = float(i) * W / N + (edgeX ? 0 : jitter(rng) * W / N);
      gy[j][i] = float(j) * H / N + (edgeY ? 0 : jitter(rng) * H / N);
    }
  }
  const State s = additive();
  auto color = c.color();
  for (int j = 0; j < N; ++j) {
    for (int i = 0; i < N; ++i) {
      // Each cell a fan of 4 around its centre, alternating windings.
      const float cx = (gx[j][i] + gx[j][i + 1] + gx[j + 1][i] + gx[j + 1][i + 1]) / 4;
      const float cy = (gy[j][i] + gy[j][i + 1] + gy[j + 1][i] + gy[j + 1][i + 1]) / 4;
      Vertex f[6] = {vtx(cx, cy, 0x00080000), vtx(gx[j][i], gy[j][i], 0x00080000),
                     vtx(gx[j][i + 1], gy[j][i + 1], 0x00080000),
                     vtx(gx[j + 1][i + 1], gy[j + 1][i + 1], 0x00080000),
                     vtx(gx[j + 1][i], gy[j + 1][i], 0x00080000), vtx(gx[j][i], gy[j][i], 0x00080000)};
      if ((i + j) % 2) std::reverse(f + 1, f + 6);
      r->drawFan(color, nullptr, s, f, 6);
    }
  }
  int wrong = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) wrong += c.rgb(x, y) != 0x080000;
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(c.guardsIntact());
}

TEST_P(RasterTest, EdgesThroughPixelCentresFollowTheTopLeftRule) {
  Canvas c(8, 8);
  auto color = c.color();
  const State s = additive();
  // Two triangles splitting the square (1.5,1.5)-(5.5,5.5) along its diagonal:
  // its corners and edges all pass through pixel centres.
  const Vertex a[3] = {vtx(1.5f, 1.5f, 0x10), vtx(5.5f, 1.5f, 0x10), vtx(5.5f, 5.5f, 0x10)};
  const Vertex b[3] = {vtx(1.5f, 1.5f, 0x10), vtx(5.5f, 5.5f, 0x10), vtx(1.5f, 5.5f, 0x10)};
  r->drawFan(color, nullptr, s, a, 3);
  r->drawFan(color, nullptr, s, b, 3);
  // Top and left edges are inside, bottom and right ones outside.
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const bool inside = x >= 1 && x < 5 && y >= 1 && y < 5;
      EXPECT_EQ(c.rgb(x, y), inside ? 0x10u : 0u) << x << "," << y;
    }
  }
}

TEST_P(RasterTest, DepthKeepsTheNearestSurfaceWhicheverIsDrawnFirst) {
  for (bool nearFirst : {false, true}) {
    Canvas c(16, 16);
    State s;
    s.depthEnable = true;
    const float zNear = 0.5f, zFar = 0.1f;  // 1/z: larger is nearer
    if (nearFirst) {
      quad(c, s, 0, 0, 16, 16, 0xFF0000, zNear);
      quad(c, s, 4, 4, 12, 12, 0x00FF00, zFar);
    } else {
      quad(c, s, 4, 4, 12, 12, 0x00FF00, zFar);
      quad(c, s, 0, 0, 16, 16, 0xFF0000, zNear);
    }
    EXPECT_EQ(c.rgb(8, 8), 0xFF0000u);
    EXPECT_FLOAT_EQ(c.depthAt(8, 8), zNear);
  }
  // Equal depth passes greater-or-equal; without depth write the buffer stays.
  Canvas c(8, 8);
  State s;
  s.depthEnable = true;
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
    State s;
    s.texture = &tex;
    s.perspective = perspective;
    s.colorOp = ColorOp::SelectTexture;
    const Vertex f[4] = {{0, 0, 1, 1.0f, ~0u, 0, 0}, {100, 0, 1, 0.25f, ~0u, 1, 0},
                         {100, 4, 1, 0.25f, ~0u, 1, 0}, {0, 4, 1, 1.0f, ~0u, 0, 0}};
    auto color = c.color();
    r->drawFan(color, nullptr, s, f, 4);
    int firstWhite = -1;
    for (int x = 0; x < 100 && firstWhite < 0; ++x)
      if (c.rgb(x, 2) == 0xFFFFFF) firstWhite = x;
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
      auto color = c.color();
      r->clear(&color, 0x123456, nullptr, 0, {0, 0, 8, 8});
      State s;
      s.texture = tex;
      s.colorOp = ColorOp::SelectTexture;
      s.colorKeyEnable = key;
      s.colorKey = 0;
      quad(c, s, 0, 0, 8, 8, ~0u);
      EXPECT_EQ(c.rgb(1, 1), key ? 0x123456u : 0u);  // texel (0, 0)
      EXPECT_EQ(c.rgb(5, 1), 0xFF0000u);             // texel (1, 0)
      EXPECT_EQ(c.rgb(1, 5), 0x00FF00u);             // texel (0, 1)
      EXPECT_EQ(c.rgb(5, 5), key ? 0x123456u : 0u);  // texel (1, 1)
    }
  }
}

TEST_P(RasterTest, BlendModes) {
  Canvas c(8, 8);
  auto color = c.color();
  r->clear(&color, 0x204080, nullptr, 0, {0, 0, 8, 8});
  State s;
  s.blendEnable = true;  // source alpha, inverse source alpha
  quad(c, s, 0, 0, 4, 8, 0x80FF0000);
  // 255 * 128/255 + 0x20 * 127/255 = 128 + 15.9; 0x40 * 127/255 = 31.9; 0x80 * 127/255 = 63.8
  EXPECT_EQ(c.rgb(1, 1), (144u << 16) | (32u << 8) | 64u);
  s.srcBlend = BlendFactor::One;
  s.dstBlend = BlendFactor::One;
  quad(c, s, 4, 0, 8, 8, 0x00F01010);
  EXPECT_EQ(c.rgb(5, 1), (255u << 16) | (0x50u << 8) | 0x90u);  // saturates at 255
}

TEST_P(RasterTest, BilinearFilteringBlendsNeighbourTexels) {
  // 2x2 texels, black and grey in a checker. Pixel x samples u = (x + 1) / 4:
  // pixels 0 and 2 hit texel centres, 1 and 3 lie half way between texels.
  const uint16_t texels[4] = {0x0000, 0x8410, 0x8410, 0x0000};  // black, grey 132,130,132
  const Texture tex{texels, 4, 2, 2, TextureFormat::RGB565, nullptr};
  for (Filter filter : {Filter::Nearest, Filter::Bilinear}) {
    Canvas c(4, 4);
    State s;
    s.texture = &tex;
    s.filter = filter;
    s.colorOp = ColorOp::SelectTexture;
    quad(c, s, 0, 0, 4, 4, ~0u, 0.5f, 0.125f, 0.125f, 1.125f, 1.125f);
    EXPECT_EQ(c.rgb(0, 0), 0u);
    EXPECT_EQ(c.rgb(2, 0), 0x848284u);
    if (filter == Filter::Bilinear) {
      EXPECT_EQ(c.rgb(1, 0), 0x424142u);
      EXPECT_EQ(c.rgb(3, 0), 0x424142u);  // texel 1 and, wrapped, texel 0
      EXPECT_EQ(c.rgb(1, 1), 0x424142u);  // all four texels
    } else {
      EXPECT_EQ(c.rgb(2, 2), 0u);
    }
  }
}

TEST_P(RasterTest, DitherSpreadsAColourBetweenTwoLevels) {
  // Red 132 lies half way between the 5-bit levels 16 (128) and 17 (136).
  for (bool dither : {false, true}) {
    Canvas c(8, 8, ColorFormat::RGB565);
    State s;
    s.dither = dither;
    quad(c, s, 0, 0, 8, 8, 0xFF840000);
    int sum = 0;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) sum += c.pixel(x, y) >> 11;
    EXPECT_EQ(sum, dither ? 16 * 16 + 8 : 16 * 16);
    EXPECT_EQ(c.pixel(0, 0), c.pixel(4, 4));  // the pattern repeats every 4 pixels
  }
}

TEST_P(RasterTest, EachTextureFormatDecodesToFullScaleChannels) {
  uint32_t palette[256] = {};
  palette[7] = 0x80123456;
  const uint8_t p8 = 7;
  const uint16_t t1555 = 0x7C1F, t4444 = 0xF0F8, t565 = 0x07E0;
  const Texture textures[] = {{&p8, 1, 1, 1, TextureFormat::Palette8, palette},
                              {&t1555, 2, 1, 1, TextureFormat::ARGB1555, nullptr},
                              {&t4444, 2, 1, 1, TextureFormat::ARGB4444, nullptr},
                              {&t565, 2, 1, 1, TextureFormat::RGB565, nullptr}};
  const uint32_t expected[] = {0x123456, 0xFF00FF, 0x00FF88, 0x00FF00};
  for (int i = 0; i < 4; ++i) {
    Canvas c(4, 4);
    State s;
    s.texture = &textures[i];
    quad(c, s, 0, 0, 4, 4, 0xFFFFFFFF);  // modulate by white leaves the texel
    EXPECT_EQ(c.rgb(2, 2), expected[i]) << "format " << i;
  }
  // Texel alpha 136 (4444 alpha 8) under alpha blending over black: modulated by
  // the diffuse alpha 128 it gives 68, selected from the diffuse alone 128.
  const uint16_t translucentRed = 0x8F00;
  const Texture red{&translucentRed, 2, 1, 1, TextureFormat::ARGB4444, nullptr};
  for (AlphaOp op : {AlphaOp::Modulate, AlphaOp::SelectDiffuse}) {
    Canvas c(4, 4);
    State s;
    s.texture = &red;
    s.alphaOp = op;
    s.blendEnable = true;
    quad(c, s, 0, 0, 4, 4, 0x80FFFFFF);
    EXPECT_EQ(c.rgb(2, 2), op == AlphaOp::Modulate ? 0x440000u : 0x800000u);
  }
}

TEST_P(RasterTest, GouraudAndFlatShading) {
  Canvas c(64, 4);
  auto color = c.color();
  const Vertex f[4] = {vtx(0, 0, 0xFF000000), vtx(64, 0, 0xFFFF0000), vtx(64, 4, 0xFFFF0000),
                       vtx(0, 4, 0xFF000000)};
  r->drawFan(color, nullptr, State{}, f, 4);
  // Pixel x has its centre at x + 0.5: red = 255 * (x + 0.5) / 64, rounded.
  for (int x : {0, 10, 31, 63}) EXPECT_EQ(c.rgb(x, 1) >> 16, uint32_t(std::lround(255 * (x + 0.5) / 64)));
  State flat;
  flat.shadeMode = ShadeMode::Flat;
  const Vertex g[4] = {vtx(0, 0, 0xFF0000FF), vtx(64, 0, 0xFFFF0000), vtx(64, 4, 0xFF00FF00),
                       vtx(0, 4, 0xFF0000FF)};
  r->drawFan(color, nullptr, flat, g, 4);
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

INSTANTIATE_TEST_SUITE_P(Devices, RasterTest, ::testing::ValuesIn(kDevices),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kv::raster::testing
