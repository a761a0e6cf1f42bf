#include "tools/kvview/viewer.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int32_t kCameraStep = 40;
constexpr int32_t kAutoOrbit = 16;  // a whole turn in 256 frames
constexpr int32_t kReportEvery = 64;

// The largest key time of any track: the motion's length in frames.
int32_t lastKeyFrame(const Motion* motion) {
  uint32_t last = 0;
  for (int32_t t = 0; t < motion->trackCount; ++t) {
    const Track& track = motion->tracks[t];
    if (track.keyCount > 0 && track.keys[track.keyCount - 1].time > last)
      last = track.keys[track.keyCount - 1].time;
  }
  return static_cast<int32_t>(last);
}

// Without a motion, a model with pivots stands in its rest pose: each pivot
// where its own point is, unturned (the kit's reset puts them all at 0).
void restPose(Model* model) {
  kv3dSetMotionFrame(model->pivots, model->pivotCount, nullptr, 0.0f);
  for (uint32_t i = 0; i < model->pivotCount; ++i)
    model->pivots[i].position = model->pivots[i].pivotPoint;
}

void copyName(char (&destination)[128], const char (&source)[128]) {
  std::memcpy(destination, source, sizeof destination);
}

}  // namespace

int16_t ReadViewRequest(const char* path, ViewRequest* request) {
  std::memset(request, 0, sizeof *request);
  FILE* file = kvFileOpen(path, "rb");
  if (file == nullptr) {
    kvDebugPrint("kvview: cannot open %s\n", path);
    return 0;
  }
  char line[300];
  while (kvFileGets(line, sizeof line, file) != nullptr) {
    char key[16], name[128];
    if (std::sscanf(line, "%15s %127[^\r\n]", key, name) != 2) continue;
    if (std::strcmp(key, "object") == 0) copyName(request->object, name);
    if (std::strcmp(key, "motion") == 0) copyName(request->motion, name);
    if (std::strcmp(key, "camera") == 0) copyName(request->camera, name);
  }
  kvFileClose(file);
  if (request->object[0] == '\0') {
    kvDebugPrint("kvview: %s names no object\n", path);
    return 0;
  }
  return 1;
}

int16_t ViewerSetUp(Viewer* viewer, const ViewRequest* request) {
  std::memset(viewer, 0, sizeof *viewer);
  viewer->model = kv3dLoadKVO(request->object);
  if (viewer->model == nullptr) return 0;
  Model* model = viewer->model;
  if (!kv3dInitWorkBuffers(model->vertexCount > 0 ? model->vertexCount : 1)) {
    kvDebugPrint("kvview: no work buffers for %d vertices\n", static_cast<int>(model->vertexCount));
    return 0;
  }
  if (request->motion[0] != '\0') {
    viewer->motion = kv3dLoadMOT(request->motion);
    if (viewer->motion == nullptr) return 0;
    if (viewer->motion->trackCount < static_cast<int32_t>(model->pivotCount)) {
      kvDebugPrint("kvview: %s has %d tracks, %s needs %u\n", request->motion,
                   static_cast<int>(viewer->motion->trackCount), request->object,
                   model->pivotCount);
      return 0;
    }
    viewer->motionFrames = lastKeyFrame(viewer->motion) + 1;
  }
  if (request->camera[0] != '\0') {
    viewer->path = kv3dLoadCAM(request->camera);
    if (viewer->path == nullptr) return 0;
  }
  if (viewer->motion == nullptr) restPose(model);

  // The camera looks at the middle of the model from far enough to see all of it.
  Vector low = model->vertexCount > 0 ? model->vertices[0] : Vector{0, 0, 0};
  Vector high = low;
  for (int32_t i = 1; i < model->vertexCount; ++i) {
    const Vector& v = model->vertices[i];
    low = {std::fmin(low.x, v.x), std::fmin(low.y, v.y), std::fmin(low.z, v.z)};
    high = {std::fmax(high.x, v.x), std::fmax(high.y, v.y), std::fmax(high.z, v.z)};
  }
  Vector size;
  kv3dSub(&size, &high, &low);
  const float radius = std::fmax(kv3dLength(&size) / 2.0f, 1.0f);
  viewer->camera.target = {(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};
  viewer->camera.pitch = 300;
  viewer->camera.distance = static_cast<int32_t>(radius * 2.6f) + 1;
  kv3dSetNearZ(std::fmax(radius / 100.0f, 1.0f));
  kv3dSetFarZ(radius * 100.0f);
  viewer->orbitStep = kAutoOrbit;

  viewer->light = kv3dCreateLight(512, 512, 150, 150, 150, 60, 60, 60);
  if (viewer->light == nullptr) {
    kvDebugPrint("ERROR: kv3dCreateLight\n");
    return 0;
  }
  kv3dSetLight(viewer->light);
  kvDebugPrint("kvview: %s: %d vertices, %d faces, %d materials, %u pivots%s%s\n", request->object,
               static_cast<int>(model->vertexCount), static_cast<int>(model->faceCount),
               static_cast<int>(model->materialCount), model->pivotCount,
               viewer->motion != nullptr ? ", playing " : "",
               viewer->motion != nullptr ? request->motion : "");
  viewer->reportTick = kvGetTick();
  return 1;
}

void ViewerDraw(Viewer* viewer) {
  Camera& camera = viewer->camera;
  const int32_t f = viewer->frame;
  if (viewer->path != nullptr) {
    kv3dSetCameraFrame(&camera, viewer->path, static_cast<float>(f));
  } else {
    kv3dCameraOrbit(&camera);
    kv3dCameraLookAt(&camera);
    kv3dCameraView(&camera);
  }
  Model* model = viewer->model;
  if (viewer->motion != nullptr)
    kv3dSetMotionFrame(model->pivots, model->pivotCount, viewer->motion,
                       static_cast<float>(f % viewer->motionFrames));
  kvClear(40, 44, 52);
  if (!kvBeginScene()) return;
  kv3dDrawModelAt(&camera.viewMatrix, model, &viewer->placement);
  kvEndScene();
  kvFlip();
}

void ViewerFrame(Viewer* viewer) {
  Camera& camera = viewer->camera;
  const uint8_t buttons = kvGetPadButtons(0);
  const uint8_t directions = kvGetPadDirection(0);
  // Any turn by hand ends the slow automatic orbit.
  if (directions != 0) viewer->orbitStep = 0;
  if (directions & KV_PAD_LEFT) camera.yaw += kCameraStep;
  if (directions & KV_PAD_RIGHT) camera.yaw -= kCameraStep;
  if (directions & KV_PAD_UP) camera.pitch += kCameraStep;
  if (directions & KV_PAD_DOWN) camera.pitch -= kCameraStep;
  const int32_t zoom = camera.distance / 32 + 1;
  if (buttons & KV_PAD_BUTTON2) camera.distance += zoom;
  if ((buttons & KV_PAD_BUTTON3) && camera.distance > zoom) camera.distance -= zoom;
  camera.yaw = (camera.yaw + viewer->orbitStep) & 0xFFF;
  camera.pitch &= 0xFFF;

  ++viewer->frame;
  if (kvFrameSkip() == 0) return;  // late: nothing is drawn this time
  ViewerDraw(viewer);

  if (++viewer->drawn == kReportEvery) {
    const int32_t now = kvGetTick();
    const int32_t elapsed = (now - viewer->reportTick + 32768) % 32768;  // the tick wraps
    if (elapsed > 0)
      kvDebugPrint("kvview: %d frames in %d ms (%.1f a second)\n", static_cast<int>(viewer->drawn),
                   static_cast<int>(elapsed), viewer->drawn * 1000.0 / elapsed);
    viewer->drawn = 0;
    viewer->reportTick = now;
  }
}

void kvMain() {
  ViewRequest request;
  if (!ReadViewRequest("kvview.txt", &request)) return;
  std::snprintf(kvCaption, KV_CAPTION_SIZE, "kvview: %.54s", request.object);
  if (!kvSetScreenMode(6)) {
    kvDebugPrint("ERROR: kvSetScreenMode\n");
    return;
  }
  kvSetViewRect(0, 0, 640, 480);
  kv3dSetProjection(512);
  static Viewer viewer;
  if (!ViewerSetUp(&viewer, &request)) return;
  kvSetFrameRate(30);
  while (kvKeyEscape() == 0) ViewerFrame(&viewer);
}
