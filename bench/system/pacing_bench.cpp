// Frame pacing in real time: how much of a core a paced loop takes and how
// close its rate comes to the schedule's, and how late a sleep wakes here
// (which sets how much of each wait kvWait spins instead of sleeping).
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <vector>

#include "kvKIT.h"
#include "platform/host/headless/headless.h"
#include "platform/host/host.h"

namespace {

double seconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A loop turn's own work: busy for this long, as drawing a frame is.
void work(double forSeconds) {
  const double end = seconds(CLOCK_MONOTONIC) + forSeconds;
  while (seconds(CLOCK_MONOTONIC) < end) {
  }
}

// A real-time host whose sleeps can be cut short, so that kvWait spins longer:
// by `extraSpinMs` more than it asks, or (extra < 0) throughout, as a wait that
// never sleeps would.
class RealClock final : public kv::host::Host {
 public:
  explicit RealClock(int extraSpinMs) : extra_(extraSpinMs), start_(kv::host::monotonicNow()) {}
  uint64_t now() override { return kv::host::monotonicNow() - start_; }
  void sleep(uint32_t ms) override {
    if (extra_ < 0) return;
    if (static_cast<int>(ms) > extra_) kv::host::Host::sleep(ms - static_cast<uint32_t>(extra_));
  }
  bool keyDown(int) override { return false; }
  void debugOutput(std::string_view) override {}

 private:
  int extra_;
  uint64_t start_;
};

// 30 updates a second (a 33 ms period: 30.30 a second) with 2 ms of work a turn,
// for 10 s of real time. The argument is the extra spin: 0 is kvWait as it is,
// -1 a wait that spins throughout (for comparison).
void BM_PacedLoop30(benchmark::State& state) {
  RealClock clock(static_cast<int>(state.range(0)));
  kv::host::setCurrent(&clock);
  for (auto _ : state) {
    kvSetFrameRate(30);
    const double wallStart = seconds(CLOCK_MONOTONIC);
    const double cpuStart = seconds(CLOCK_PROCESS_CPUTIME_ID);
    int64_t turns = 0, drawn = 0;
    while (seconds(CLOCK_MONOTONIC) - wallStart < 10.0) {
      work(0.002);
      drawn += kvFrameSkip();
      ++turns;
    }
    const double wall = seconds(CLOCK_MONOTONIC) - wallStart;
    state.counters["cpu_percent"] = 100.0 * (seconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart) / wall;
    state.counters["updates_per_s"] = static_cast<double>(turns) / wall;
    state.counters["drawn_per_s"] = static_cast<double>(drawn) / wall;
  }
  kv::headless::install();
}
BENCHMARK(BM_PacedLoop30)
    ->Arg(0)
    ->Arg(1)
    ->Arg(-1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// How late Sleep(n) returns, over 200 sleeps of 1 to 20 ms: the median and the
// worst, in microseconds.
void BM_SleepOvershoot(benchmark::State& state) {
  kv::headless::Options options;
  options.clock = kv::headless::Clock::Real;
  kv::headless::install(options);
  for (auto _ : state) {
    std::vector<double> late;
    for (int i = 0; i < 200; ++i) {
      const int ms = 1 + i % 20;
      const double start = seconds(CLOCK_MONOTONIC);
      Sleep(static_cast<DWORD>(ms));
      late.push_back((seconds(CLOCK_MONOTONIC) - start - ms * 1e-3) * 1e6);
    }
    std::sort(late.begin(), late.end());
    state.counters["late_median_us"] = late[late.size() / 2];
    state.counters["late_p99_us"] = late[late.size() * 99 / 100];
    state.counters["late_max_us"] = late.back();
  }
}
BENCHMARK(BM_SleepOvershoot)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
