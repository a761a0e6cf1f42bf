// The 3D library's per-frame work (transforming vertices, posing a pivot
// hierarchy with a motion) and its set-up work (building a light table).
#include <benchmark/benchmark.h>

#include <vector>

#include "kvKIT.h"
#include "kvSys/Memory.h"
#include "platform/host/headless/headless.h"

namespace {

void freshPool() {
  kv::headless::install();
  kvResetMemoryForTests();
  kvSetSystemMemory(4096);
}

void BM_CreateLightTable(benchmark::State& state) {
  freshPool();
  for (auto _ : state) {
    LightTable* table = kv3dCreateLight(512, 512, 125, 125, 125, 0, 0, 0);
    kv3dAddLight(table, 0xFE00, 1024, 255, 0, 0);
    benchmark::DoNotOptimize(table->red[100]);
    kv3dFreeLight(table);
  }
}
BENCHMARK(BM_CreateLightTable);

void BM_TransformVertices(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  std::vector<Vector> in(count), out(count);
  for (int i = 0; i < count; ++i) in[i] = Vector{float(i % 100), float(i / 100), float(i % 7)};
  Matrix m;
  const Vector position{10, 20, 300};
  kv3dPlacementMatrix(&m, 300, 700, 1900, &position);
  for (auto _ : state) {
    kv3dTransformArray(out.data(), in.data(), count, &m);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_TransformVertices)->Arg(10000);

// A can: body, lid, two arms, two legs, with a motion of 32 frames.
void BM_PoseSixPivots(benchmark::State& state) {
  Pivot pivots[6]{};
  const int16_t parents[6] = {-1, 0, 0, 0, 0, 0};
  for (int i = 0; i < 6; ++i) {
    pivots[i].parent = parents[i] < 0 ? nullptr : &pivots[parents[i]];
    pivots[i].pivotPoint = Vector{float(i), float(i * 2), 0};
  }
  Key keys[6][5];
  Track tracks[6];
  for (int i = 0; i < 6; ++i) {
    for (int k = 0; k < 5; ++k)
      keys[i][k] =
          Key{uint32_t(k * 8), {float(k), float(i), 0}, {k * 100, i * 50, k * 30}, {1, 1, 1}};
    tracks[i] = Track{5, keys[i]};
  }
  const Motion motion{0, 6, tracks};
  Matrix view;
  const Vector eye{0, 100, -500};
  kv3dViewMatrix(&view, 0, 100, 0, &eye);
  float t = 0;
  for (auto _ : state) {
    kv3dSetMotionFrame(pivots, 6, &motion, t);
    // What the renderer does next: local matrices, then the hierarchy, then the view.
    for (Pivot& p : pivots)
      kv3dPivotMatrix(&p.worldMatrix, &p.pivotPoint, &p.position, p.angles, &p.scale);
    for (Pivot& p : pivots) {
      if (p.parent != nullptr)
        kv3dMulMatrix(&p.viewMatrix, &p.worldMatrix, &p.parent->viewMatrix);
      else
        p.viewMatrix = p.worldMatrix;
    }
    for (Pivot& p : pivots) kv3dMulMatrix(&p.worldMatrix, &p.viewMatrix, &view);
    benchmark::DoNotOptimize(pivots[5].worldMatrix.m[12]);
    t = t >= 31.0f ? 0.0f : t + 1.0f;
  }
}
BENCHMARK(BM_PoseSixPivots);

}  // namespace

BENCHMARK_MAIN();
