// kvview's drawn frame (orbit camera, pose, clear, the model, present into the
// headless 640 x 480 x 16 target) on each software device, for the model in
// $KVVIEW_BENCH_DIR (a folder kvconv wrote), or else the largest model of
// Debian's assimp-testmodels that kvconv converts, converted at start.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/host/headless/headless.h"
#include "tools/kvview/viewer.h"

namespace {

constexpr const char* kLargestTestModel =
    "/usr/share/assimp/models/glTF2/ClearCoat-glTF/ClearCoatTest.gltf";

std::string modelFolder() {
  if (const char* folder = std::getenv("KVVIEW_BENCH_DIR")) return folder;
  const std::string folder = "/tmp/kvview_bench";
  const std::string command = std::string("mkdir -p ") + folder + " && " + KVCONV_PATH + " " +
                              kLargestTestModel + " " + folder + "/model.kvo >/dev/null 2>&1";
  return std::system(command.c_str()) == 0 ? folder : "";
}

Viewer* startViewer(int32_t device) {
  static Viewer viewer;
  static bool started = false;
  if (started) return &viewer;
  const std::string folder = modelFolder();
  kv::headless::install();
  ViewRequest request;
  if (folder.empty() || chdir(folder.c_str()) != 0 || !kvSystemInit()) return nullptr;
  if (kvSelectDefaultDriver(device) < 0 || !kvSetScreenMode(6)) return nullptr;
  kvSetViewRect(0, 0, 640, 480);
  kv3dSetProjection(512);
  if (!ReadViewRequest("kvview.txt", &request) || !ViewerSetUp(&viewer, &request)) return nullptr;
  started = true;
  return &viewer;
}

void BM_KvviewFrame(benchmark::State& state) {
  Viewer* viewer = startViewer(KVSEL_RGB_DEVICE);
  if (viewer == nullptr) {
    state.SkipWithError("no model to view (set KVVIEW_BENCH_DIR or install assimp-testmodels)");
    return;
  }
  for (auto _ : state) {
    viewer->camera.yaw = (viewer->camera.yaw + 16) & 0xFFF;
    ++viewer->frame;
    ViewerDraw(viewer);
  }
  state.counters["faces"] = viewer->model->faceCount;
  state.counters["vertices"] = viewer->model->vertexCount;
}
BENCHMARK(BM_KvviewFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
