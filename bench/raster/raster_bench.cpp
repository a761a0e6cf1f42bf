// Fill rate and small-triangle throughput of both software devices, drawing
// what the demo draws: perspective-correct, Gouraud-modulated, depth-tested,
// textured (16-bit 1555) triangles into a dithered 640x480 RGB565 target.
// The fast device runs on one thread and on one per processor; beside them
// the same scenes go through Mesa's llvmpipe on one thread, so the ratio is
// measured in one run on the machine at hand.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bench/raster/peer.h"
#include "platform/raster/fast/spans.h"
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

// Argument: 0 the reference, 1 the fast device on one thread, 2 the fast
// device on one thread per processor, 3 llvmpipe on one thread.
enum Device { kReference, kFastOne, kFastAll, kPeer };

std::unique_ptr<Rasterizer> make(benchmark::State& bs) {
  switch (bs.range(0)) {
    case kReference:
      bs.SetLabel("reference");
      return makeReference();
    case kFastOne:
      bs.SetLabel(std::string("fast, 1 thread, ") + kv::raster::fast::spanTargetName());
      return makeFast(1);
    default: {
      const int threads = fastThreadCount();
      bs.SetLabel("fast, " + std::to_string(threads) + " threads, " +
                  kv::raster::fast::spanTargetName());
      return makeFast(threads);
    }
  }
}

// Draws the triangles (three vertices each) over and over: as fans on a
// device of ours, as one draw call on the peer.
void run(benchmark::State& bs, const Frame& f, Filter filter,
         const std::vector<std::array<Vertex, 3>>& tris) {
  if (bs.range(0) == kPeer) {
    std::string error;
    auto peer = kv::bench::startPeer(f.texture, filter, error);
    if (!peer) {
      bs.SkipWithError(("llvmpipe: " + error).c_str());
      return;
    }
    bs.SetLabel(peer->renderer() + ", 1 thread");
    std::vector<Vertex> flat;
    for (const auto& t : tris) flat.insert(flat.end(), t.begin(), t.end());
    for (auto _ : bs) peer->draw(flat);
    return;
  }
  auto r = make(bs);
  const State s = f.state(filter);
  for (auto _ : bs) {
    r->clear(nullptr, 0, &f.depthTarget, 0.0f, {0, 0, W, H});
    for (const auto& t : tris) r->drawFan(f.colorTarget, &f.depthTarget, s, t.data(), 3);
    r->finish();
    benchmark::ClobberMemory();
  }
}

// The screen as a floor seen at a slant: an 8x6 grid of quads whose far side
// (top) is four times as deep as the near side, the texture repeating.
void fill(benchmark::State& bs, Filter filter) {
  Frame f;
  std::vector<std::array<Vertex, 3>> tris;
  for (int j = 0; j < 6; ++j) {
    for (int i = 0; i < 8; ++i) {
      auto corner = [&](int ci, int cj) {
        const float rhw = 0.25f + 0.75f * cj / 6.0f;  // nearer at the bottom
        const uint32_t shade = 0xFF000000u | ((40u * ci) << 16) | ((40u * cj) << 8) | 0xC0u;
        return Vertex{float(ci * W / 8), float(cj * H / 6), rhw, rhw, shade, ci * 0.5f, cj * 0.5f};
      };
      tris.push_back({corner(i, j), corner(i + 1, j), corner(i + 1, j + 1)});
      tris.push_back({corner(i, j), corner(i + 1, j + 1), corner(i, j + 1)});
    }
  }
  run(bs, f, filter, tris);
  bs.counters["pixels/s"] =
      benchmark::Counter(double(W) * H, benchmark::Counter::kIsIterationInvariantRate);
}

// Triangles of 8 pixels (legs of 4), scattered over the screen.
void smallTriangles(benchmark::State& bs) {
  Frame f;
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
  run(bs, f, Filter::Nearest, tris);
  bs.counters["triangles/s"] =
      benchmark::Counter(kCount, benchmark::Counter::kIsIterationInvariantRate);
}

// The span loop alone, on spans of the argument's length tiling 64 rows (the
// targets stay in cache): the demo's floor span, perspective and
// Gouraud-modulated, 1555 texels on a power-of-two pitch, depth always passing.
void spans(benchmark::State& bs, bool bilinear) {
  namespace fast = kv::raster::fast;
  Frame f;
  fast::Context c;
  c.color = reinterpret_cast<uint8_t*>(f.color.data());
  c.colorPitch = W * 2;
  c.is565 = true;
  c.depth = reinterpret_cast<uint8_t*>(f.depth.data());
  c.depthPitch = W * 4;
  c.width = W;
  c.height = H;
  c.texels = reinterpret_cast<const uint8_t*>(f.texels.data());
  c.texPitch = 512;
  c.texBytes = 2;
  c.texRowShift = 8;
  c.grid = {255 * 2, 255 * 512, 15, 7, 2, 512};
  c.texW = c.texH = 256;
  c.texFormat = TextureFormat::ARGB1555;
  c.depthWrite = true;
  c.dither = true;
  const fast::SpanFn span =
      fast::pickSpan(fast::DepthMode::GreaterEqual, true, true, bilinear, true);
  fast::SpanSteps steps{};
  steps.step[fast::kU] = 0.7f * 65536, steps.step[fast::kV] = 0.2f * 65536;
  steps.step[fast::kQ] = 0.0005f;
  const int32_t colorStep[4] = {0, -(1 << 19), 3 << 18, 1 << 17};
  std::copy(colorStep, colorStep + 4, steps.colorStep);
  steps.left = 0, steps.right = W;
  const int length = static_cast<int>(bs.range(0));
  constexpr int kRows = 64;
  std::vector<fast::SpanRow> rows;
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x + length <= W; x += length) {
      fast::SpanRow r{};
      r.start[fast::kZ] = 0.5f;
      r.start[fast::kU] = 3.0f * 65536, r.start[fast::kV] = (5.0f + y) * 65536;
      r.start[fast::kQ] = 1.0f;
      const int32_t colorStart[4] = {255 << 22, 200 << 22, 100 << 22, 30 << 22};
      std::copy(colorStart, colorStart + 4, r.colorStart);
      r.offset = x;
      r.y = y, r.x0 = x, r.x1 = x + length;
      rows.push_back(r);
    }
  }
  for (auto _ : bs) {
    span(c, steps, rows.data(), static_cast<int>(rows.size()));
    benchmark::ClobberMemory();
  }
  bs.SetLabel(fast::spanTargetName());
  bs.counters["pixels/s"] = benchmark::Counter(double(W / length * length) * kRows,
                                               benchmark::Counter::kIsIterationInvariantRate);
}

void FillNearest(benchmark::State& bs) { fill(bs, Filter::Nearest); }
void FillBilinear(benchmark::State& bs) { fill(bs, Filter::Bilinear); }

// The fast device's tiles are drawn on other threads too, and the peer's
// rasterizer runs on its own: wall time is the measure.
BENCHMARK(FillNearest)
    ->ArgName("device")
    ->DenseRange(0, 3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(FillBilinear)
    ->ArgName("device")
    ->DenseRange(0, 3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(spans, Nearest, false)
    ->Name("SpanNearest")
    ->ArgName("length")
    ->Arg(13)
    ->Arg(40)
    ->Arg(160)
    ->Arg(640);
BENCHMARK_CAPTURE(spans, Bilinear, true)
    ->Name("SpanBilinear")
    ->ArgName("length")
    ->Arg(13)
    ->Arg(40)
    ->Arg(160)
    ->Arg(640);
BENCHMARK(smallTriangles)
    ->Name("SmallTriangles")
    ->ArgName("device")
    ->DenseRange(0, 3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
