// The demonstration's frame on each software device: one iteration of kvMain's
// loop (keys, choreography, camera, clear, the floor and four posed cans, end
// of scene and present into the headless display's 640 x 480 x 16 target), one
// thread, on the virtual clock so every iteration draws. Set-up and iteration
// are kvMain's own, frame numbers running through the whole script.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include "demo/Kvmain.h"
#include "platform/host/headless/headless.h"

namespace {

// Starts the kit on the headless host with the fast device and sets the scene
// up as kvMain does; false when the data or the device is missing.
bool setUp(DemoScene& scene) {
  kv::headless::install();
  if (chdir(KV_DEMO_DATA) != 0 || !kvSystemInit()) return false;
  if (kvSelectDefaultDriver(KVSEL_RGB_DEVICE) < 0 || !kvSetScreenMode(6)) return false;
  return DemoSetUp(&scene);
}

// The scene is set up once per process; later benchmarks switch the device
// as the F3 dialog would, rebuilding it and every texture.
void runDemoFrames(benchmark::State& state, uint32_t device) {
  static DemoScene scene;
  static bool ready = setUp(scene);
  if (!ready) {
    state.SkipWithError("the kit did not start (data or device missing)");
    return;
  }
  if (device != KVSEL_RGB_DEVICE &&
      (kvSelectDefaultDriver(device) < 0 || kvRebuildDevice(kvFramework.window) < 0)) {
    state.SkipWithError("the device could not be chosen");
    return;
  }
  DemoStartScript(&scene);
  for (auto _ : state) {
    if (scene.frame == kScriptIterations) DemoStartScript(&scene);  // round again
    DemoIteration(&scene);
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DemoFrameFast(benchmark::State& state) { runDemoFrames(state, KVSEL_RGB_DEVICE); }
void BM_DemoFrameReference(benchmark::State& state) { runDemoFrames(state, KVSEL_REF_DEVICE); }

}  // namespace

// One whole run of the script.
BENCHMARK(BM_DemoFrameFast)->Iterations(kScriptIterations)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoFrameReference)->Iterations(kScriptIterations)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
