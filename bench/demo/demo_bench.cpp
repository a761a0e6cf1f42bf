// The demonstration's frame on each software device and on the OpenGL device
// (llvmpipe here: the same work on a software GL renderer, with one thread and
// with its default threads): camera, clear, the floor and four posed cans,
// end of scene and present into the headless display's 640 x 480 x 16 target. The scene is set up
// as kvMain sets it up and the frame is kvMain's drawn frame, frame numbers running through the
// whole script.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>

#include "demo/Kvmain.h"
#include "kvSys/Memory.h"
#include "platform/gl/context.h"
#include "platform/gl/hardware_device.h"
#include "platform/host/headless/headless.h"

namespace {

struct Scene {
  Model* floor = nullptr;
  Model* can = nullptr;
  Surface* cycle[4] = {};
  LightTable* lights[4] = {};
  Actor actors[4] = {};
  Camera camera{};
  int32_t frame = 0;
};

constexpr int32_t kMotionOffset[4] = {0, 16, 0, 16};

void placeActors(Scene& s) {
  const float x[4] = {800, 800, -800, -800}, z[4] = {800, -800, -800, 800};
  for (int32_t i = 0; i < 4; ++i) {
    s.actors[i] = Actor{};
    s.actors[i].model = s.can;
    s.actors[i].motion = jumpMotion;
    s.actors[i].placement.position = {x[i], 0, z[i]};
    s.actors[i].placement.yaw = static_cast<int16_t>(1024 * i);
  }
  s.camera = Camera{};
  s.camera.pitch = 512;
  s.camera.distance = 2048;
  kv3dCameraOrbitGoal(&s.camera);
  s.frame = 0;
}

// Starts the kit on the headless host with the fast device, as kvMain sets
// up; false when the data or the device is missing.
bool setUp(Scene& s) {
  kv::headless::install();
  kv::gl::registerHardwareDevice({.asked = true});
  if (chdir(KV_DEMO_DATA) != 0 || !kvSystemInit()) return false;
  if (kvSelectDefaultDriver(KVSEL_RGB_DEVICE) < 0 || !kvSetScreenMode(6)) return false;
  if (!kv3dInitWorkBuffers(10000)) return false;
  kvSetViewRect(0, 0, 640, 480);
  kv3dSetProjection(512);
  kv3dSetNearZ(10.0f);
  s.floor = kv3dLoadKVO("바닥.kvo");
  s.can = kv3dLoadKVO("깡통.kvo");
  jumpMotion = kv3dLoadMOT("점프.mot");
  secondMotion = kv3dLoadMOT("꾸기기.mot");
  danceMotion = kv3dLoadMOT("춤자세.mot");
  Surface* textures[4] = {kvLoadBmp("map2a.bmp"), kvLoadBmp("map2b.bmp"), kvLoadBmp("map2c.bmp"),
                          kvLoadBmp("map2d.bmp")};
  for (int32_t t = 0; t < 4; ++t) s.cycle[t] = textures[(t + 1) % 4];
  for (LightTable*& table : s.lights) table = kv3dCreateLight(512, 512, 125, 125, 125, 0, 0, 0);
  kv3dAddLight(s.lights[0], 0xFE00, 1024, 255, 0, 0);
  kv3dAddLight(s.lights[1], 0xFE00, 2048, 0, 255, 0);
  kv3dAddLight(s.lights[2], 0xFE00, 3076, 0, 0, 255);
  if (s.floor == nullptr || s.can == nullptr || s.floor->materialCount < 2) return false;
  placeActors(s);
  return true;
}

// One iteration of kvMain's loop that draws.
void demoFrame(Scene& s) {
  if (s.frame == 2450) placeActors(s);  // round again
  const int32_t f = ++s.frame;
  for (Actor& actor : s.actors) AnimateActor(&actor, f);
  kv3dCameraSmooth(&s.camera);
  DirectCamera(&s.camera, f);
  kv3dCameraLookAt(&s.camera);
  kv3dCameraView(&s.camera);
  kvClear(0, 0, 0);
  if (!kvBeginScene()) return;
  const int32_t t = (f / 32) % 4;
  s.floor->materials[1].texture = s.cycle[t];
  kv3dDrawModel(&s.camera.viewMatrix, s.floor);
  kv3dSetLight(s.lights[t]);
  for (int32_t i = 0; i < 4; ++i) {
    Actor& actor = s.actors[i];
    kv3dSetMotionFrame(actor.model->pivots, actor.model->pivotCount, actor.motion,
                       static_cast<float>((f + kMotionOffset[i]) % 32));
    kv3dDrawModelAt(&s.camera.viewMatrix, actor.model, &actor.placement);
  }
  kvEndScene();
  kvFlip();
}

// The scene is set up once per process; later benchmarks switch the device
// as the F3 dialog would, rebuilding it and every texture.
void runDemoFrames(benchmark::State& state, uint32_t device) {
  static Scene scene;
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
  placeActors(scene);
  for (auto _ : state) demoFrame(scene);
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DemoFrameFast(benchmark::State& state) { runDemoFrames(state, KVSEL_RGB_DEVICE); }
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

// 2450 frames cover the whole script once.
BENCHMARK(BM_DemoFrameFast)->Iterations(2450)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoFrameReference)->Iterations(2450)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoFrameGlOneThread)->Iterations(2450)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoFrameGlDefaultThreads)->Iterations(2450)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
