// Fill rate and small-triangle throughput of both software devices, drawing
// what the demo draws: perspective-correct, Gouraud-modulated, depth-tested,
// textured (16-bit 1555) triangles into a dithered 640x480 RGB565 target.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "platform/raster/raster.h"

namespace {

using namespace kv::raster;

constexpr int W = 640, H = 480;

struct Frame {
  std::vector<uint16_t> color = std::vector<uint16_t>(W * H);
  std::vector<uint32_t> depth = std::vector<uint32_t>(W * H);
  std::vector<uint16_t> texels = std::vector<uint16_t>(256 * 256);
  Texture texture{};
  ColorTarget colorTarget{color.data(), W * 2, W, H, ColorFormat::RGB565};
  DepthTarget depthTarget{depth.data(), W * 4, W, H};

  Frame() {
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x)
        texels[y * 256 + x] =
            static_cast<uint16_t>(0x8000 | ((x >> 3) << 10) | ((y >> 3) << 5) | ((x ^ y) & 31));
    texture = {texels.data(), 512, 256, 256, TextureFormat::ARGB1555, nullptr};
  }

  State state(Filter filter) const {
    State s;
    s.texture = &texture;
    s.perspective = true;
    s.filter = filter;
    s.depthEnable = true;
    s.dither = true;
    return s;
  }
};

std::unique_ptr<Rasterizer> make(int which) { return which ? makeFast() : makeReference(); }

// The screen as a floor seen at a slant: an 8x6 grid of quads whose far side
// (top) is four times as deep as the near side, the texture repeating.
void fill(benchmark::State& bs, Filter filter) {
  auto r = make(static_cast<int>(bs.range(0)));
  Frame f;
  const State s = f.state(filter);
  std::vector<std::array<Vertex, 4>> quads;
  for (int j = 0; j < 6; ++j) {
    for (int i = 0; i < 8; ++i) {
      auto corner = [&](int ci, int cj) {
        const float rhw = 0.25f + 0.75f * cj / 6.0f;  // nearer at the bottom
        const uint32_t shade = 0xFF000000u | ((40u * ci) << 16) | ((40u * cj) << 8) | 0xC0u;
        return Vertex{float(ci * W / 8), float(cj * H / 6), rhw, rhw, shade, ci * 0.5f, cj * 0.5f};
      };
      quads.push_back({corner(i, j), corner(i + 1, j), corner(i + 1, j + 1), corner(i, j + 1)});
    }
  }
  for (auto _ : bs) {
    r->clear(nullptr, 0, &f.depthTarget, 0.0f, {0, 0, W, H});
    for (const auto& q : quads) r->drawFan(f.colorTarget, &f.depthTarget, s, q.data(), 4);
    benchmark::ClobberMemory();
  }
  bs.counters["pixels/s"] =
      benchmark::Counter(double(W) * H, benchmark::Counter::kIsIterationInvariantRate);
}

// Triangles of 8 pixels (legs of 4), scattered over the screen.
void smallTriangles(benchmark::State& bs) {
  auto r = make(static_cast<int>(bs.range(0)));
  Frame f;
  const State s = f.state(Filter::Nearest);
  std::mt19937 rng(3);
  constexpr int kCount = 4096;
  std::vector<std::array<Vertex, 3>> tris;
  for (int i = 0; i < kCount; ++i) {
    const float x = float(rng() % (W - 8)) + 0.25f, y = float(rng() % (H - 8)) + 0.25f;
    const float rhw = 0.2f + 0.001f * float(rng() % 800);
    const uint32_t c = 0xFF000000u | (rng() & 0xFFFFFF);
    tris.push_back({Vertex{x, y, rhw, rhw, c, 0.1f, 0.1f},
                    Vertex{x + 4, y, rhw, rhw, c, 0.2f, 0.1f},
                    Vertex{x, y + 4, rhw, rhw, c, 0.1f, 0.2f}});
  }
  for (auto _ : bs) {
    r->clear(nullptr, 0, &f.depthTarget, 0.0f, {0, 0, W, H});
    for (const auto& t : tris) r->drawFan(f.colorTarget, &f.depthTarget, s, t.data(), 3);
    benchmark::ClobberMemory();
  }
  bs.counters["triangles/s"] =
      benchmark::Counter(kCount, benchmark::Counter::kIsIterationInvariantRate);
}

void FillNearest(benchmark::State& bs) { fill(bs, Filter::Nearest); }
void FillBilinear(benchmark::State& bs) { fill(bs, Filter::Bilinear); }

// Argument 0: the reference rasterizer, 1: the fast one.
BENCHMARK(FillNearest)->ArgName("fast")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(FillBilinear)->ArgName("fast")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(smallTriangles)
    ->Name("SmallTriangles")
    ->ArgName("fast")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
