// The demonstration's frame on each software device and on the OpenGL device
// (llvmpipe here: the same work on a software GL renderer, with one thread and
// with its default threads): one iteration of kvMain's loop (keys,
// choreography, camera, clear, the floor and four posed cans, end of scene and
// present into the headless display's 640 x 480 x 16 target), on the virtual
// clock so every iteration draws; the fast device on one thread and on one
// per processor. Set-up and iteration are kvMain's own, frame numbers running
// through the whole script.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "demo/Kvmain.h"
#include "platform/gl/context.h"
#include "platform/gl/hardware_device.h"
#include "platform/host/headless/headless.h"
#include "platform/raster/fast/spans.h"
#include "platform/raster/raster.h"

namespace {

// Starts the kit on the headless host with the fast device and sets the scene
// up as kvMain does; false when the data or the device is missing.
bool setUp(DemoScene& scene) {
  kv::headless::install();
  kv::gl::registerHardwareDevice({.asked = true});
  if (chdir(KV_DEMO_DATA) != 0 || !kvSystemInit()) return false;
  if (kvSelectDefaultDriver(KVSEL_RGB_DEVICE) < 0 || !kvSetScreenMode(6)) return false;
  return DemoSetUp(&scene);
}

// The scene is set up once per process; later benchmarks switch the device
// as the F3 dialog would, rebuilding it and every texture. threads (> 0: the
// fast device's) is passed as the launcher passes --threads.
void runDemoFrames(benchmark::State& state, uint32_t device, int threads = 0) {
  static DemoScene scene;
  static bool ready = setUp(scene);
  if (!ready) {
    state.SkipWithError("the kit did not start (data or device missing)");
    return;
  }
  if (threads > 0) {
    setenv("KV_THREADS", std::to_string(threads).c_str(), 1);
    state.SetLabel(std::to_string(threads) + (threads == 1 ? " thread, " : " threads, ") +
                   kv::raster::fast::spanTargetName());
  }
  if ((device != KVSEL_RGB_DEVICE || threads > 0) &&
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

void BM_DemoFrameFast(benchmark::State& state) {
  runDemoFrames(state, KVSEL_RGB_DEVICE, static_cast<int>(state.range(0)));
}
void BM_DemoFrameReference(benchmark::State& state) { runDemoFrames(state, KVSEL_REF_DEVICE); }

// The OpenGL device on a context started with llvmpipe's thread count set
// (empty: its default); the device is left first, so that no device holds
// objects of the context that goes.
void runGlFrames(benchmark::State& state, const char* threads) {
  if (kvFramework.initialised && kvSelectDefaultDriver(KVSEL_RGB_DEVICE) >= 0)
    kvRebuildDevice(kvFramework.window);
  if (*threads != '\0')
    setenv("LP_NUM_THREADS", threads, 1);
  else
    unsetenv("LP_NUM_THREADS");
  kv::gl::setContextStarter(nullptr);  // a new context reads the thread count
  kv::gl::Context* context = kv::gl::sharedContext();
  if (context == nullptr) {
    state.SkipWithError("OpenGL cannot start here");
    return;
  }
  state.SetLabel(context->renderer());
  runDemoFrames(state, KVSEL_PRIMARY_HARDWARE);
}

void BM_DemoFrameGlOneThread(benchmark::State& state) { runGlFrames(state, "1"); }
void BM_DemoFrameGlDefaultThreads(benchmark::State& state) { runGlFrames(state, ""); }

}  // namespace

// One whole run of the script.
// The fast device on one thread and on one per processor; its tiles are
// drawn on other threads too, so wall time is the measure.
BENCHMARK(BM_DemoFrameFast)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(kv::raster::fastThreadCount())
    ->Iterations(kScriptIterations)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoFrameReference)->Iterations(kScriptIterations)->Unit(benchmark::kMillisecond);
// GL draws on its own thread (and llvmpipe on its own): wall time is the measure.
BENCHMARK(BM_DemoFrameGlOneThread)
    ->Iterations(kScriptIterations)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoFrameGlDefaultThreads)
    ->Iterations(kScriptIterations)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
