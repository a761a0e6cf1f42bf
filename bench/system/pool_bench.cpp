// The pool walks its block list on every allocation and free: how that costs
// as the number of live blocks grows (the kit allocates mostly at load time).
#include <benchmark/benchmark.h>

#include <vector>

#include "kvKIT.h"
#include "kvSys/Memory.h"
#include "platform/host/headless/headless.h"
#include "platform/host/host.h"

namespace {

void freshPool() {
  kv::headless::install();
  kvResetMemoryForTests();
  kvSetSystemMemory(4096);
}

// Allocate `live` blocks of mixed sizes, then free them all (in allocation order).
void BM_PoolAllocFree(benchmark::State& state) {
  const int live = static_cast<int>(state.range(0));
  freshPool();
  std::vector<void*> blocks(static_cast<size_t>(live));
  for (auto _ : state) {
    for (int i = 0; i < live; ++i) blocks[static_cast<size_t>(i)] = kvAlloc(16 + (i * 37) % 500);
    for (void* block : blocks) kvFree(block);
  }
  state.SetItemsProcessed(state.iterations() * live * 2);
  kvResetMemoryForTests();
}
BENCHMARK(BM_PoolAllocFree)->Arg(16)->Arg(256)->Arg(2048);

// A load-time pattern: many records kept, a few temporaries freed between them.
void BM_PoolLoadPattern(benchmark::State& state) {
  freshPool();
  for (auto _ : state) {
    state.PauseTiming();
    kvResetMemoryForTests();
    kvSetSystemMemory(4096);
    state.ResumeTiming();
    for (int i = 0; i < 500; ++i) {
      void* temporary = kvAlloc(4096);
      benchmark::DoNotOptimize(kvAlloc(64 + i % 200));
      kvFree(temporary);
    }
  }
  state.SetItemsProcessed(state.iterations() * 1500);
  kvResetMemoryForTests();
}
BENCHMARK(BM_PoolLoadPattern);

// Pacing on the real clock: 30 per second asked, 1000/33 = 30.3 expected. Runs
// ten seconds of frames and reports the achieved rate.
void BM_PacingRealClock(benchmark::State& state) {
  kv::headless::Options options;
  options.clock = kv::headless::Clock::Real;
  kv::headless::install(options);
  for (auto _ : state) {
    kvSetFrameRate(30);
    kvFrameSkip();  // opens the schedule
    const uint64_t start = kv::host::monotonicNow();
    int drawn = 0;
    for (int frame = 0; frame < 303; ++frame) drawn += kvFrameSkip();
    const double seconds = static_cast<double>(kv::host::monotonicNow() - start) / 65536.0;
    state.counters["frames_per_second"] = 303 / seconds;
    state.counters["drawn"] = drawn;
  }
}
BENCHMARK(BM_PacingRealClock)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
