// Feeds arbitrary bytes to the camera path loader, then evaluates the path.
#include <initializer_list>

#include "fuzz/f3d_common/loader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CameraPath* path = kv3dLoadCAM(kvfuzz::serveInput(data, size, "fuzz.cam"));
  if (path != nullptr) {
    Camera camera{};
    for (float t : {-1.0f, 0.0f, 7.5f, 1e9f}) kv3dSetCameraFrame(&camera, path, t);
    kvfuzz::keep(camera.viewMatrix.m[14] + camera.eye.x);
    kv3dFreeCAM(path);
  }
  kvfuzz::expectPoolWhole();
  return 0;
}
