// The camera: an orbit around a target with a spring that eases the eye to its
// goal, a look-at, the view matrix, and recorded paths from CAM files.
#include <bit>
#include <cmath>
#include <cstring>

#include "kvSys/Memory.h"
#include "kvf3D/Math.h"
#include "kvf3D/Reader.h"

namespace {

constexpr int64_t kKeyBytes = 40;

Angle angle(int32_t value) { return static_cast<Angle>(value); }

// The eye's point behind the target at the orbit distance.
Vector orbitPoint(const Camera* camera) {
  Matrix placement;
  kv3dPlacementMatrix(&placement, angle(camera->roll), angle(camera->pitch), angle(camera->yaw),
                      &camera->target);
  const Vector behind{0.0f, 0.0f, -static_cast<float>(camera->distance)};
  Vector point;
  kv3dTransform(&point, &behind, &placement);
  return point;
}

void releasePath(CameraPath* path) {
  for (Key* keys : path->keys) kvFreeRecord(keys);
  kvFreeRecord(path);
}

}  // namespace

Camera* kv3dCameraOrbit(Camera* camera) {
  camera->eye = orbitPoint(camera);
  return camera;
}

Camera* kv3dCameraOrbitGoal(Camera* camera) {
  camera->goal = orbitPoint(camera);
  return camera;
}

Camera* kv3dCameraSmooth(Camera* camera) {
  // One unit below the float nearest 0.95625, as the spring was tuned with.
  constexpr float kDamping = std::bit_cast<float>(0x3F74CCCCu);
  constexpr float kPull = 1.0f / 1024.0f;
  Vector& eye = camera->eye;
  Vector& velocity = camera->velocity;
  const Vector& goal = camera->goal;
  eye = Vector{eye.x + velocity.x, eye.y + velocity.y, eye.z + velocity.z};
  velocity = Vector{(goal.x - eye.x) * kPull + velocity.x * kDamping,
                    (goal.y - eye.y) * kPull + velocity.y * kDamping,
                    (goal.z - eye.z) * kPull + velocity.z * kDamping};
  return camera;
}

Camera* kv3dCameraLookAt(Camera* camera) {
  const int32_t roll = camera->roll;
  Vector toTarget;
  kv3dSub(&toTarget, &camera->target, &camera->eye);
  camera->yaw = kv3dAtan2(toTarget.x, toTarget.z) & 4095;
  camera->pitch = 0;
  camera->roll = 0;
  kv3dCameraView(camera);
  Vector seen;
  kv3dTransform(&seen, &camera->target, &camera->viewMatrix);
  camera->pitch = (4096 - kv3dAtan2(seen.y, seen.z)) & 4095;
  camera->roll = roll;
  return camera;
}

Camera* kv3dCameraView(Camera* camera) {
  kv3dViewMatrix(&camera->viewMatrix, angle(camera->roll), angle(camera->pitch), angle(camera->yaw),
                 &camera->eye);
  return camera;
}

CameraPath* kv3dLoadCAM(const char* path) {
  kv3d::FileReader file(path);
  if (!file.isOpen()) {
    kvDebugPrint("kv3dLoadCAM: %s 를 열수 없습니다.\n", path);
    return nullptr;
  }
  auto* camera = static_cast<CameraPath*>(kvAllocRecord(sizeof(CameraPath)));
  if (camera == nullptr) {
    kvDebugPrint("kv3dLoadCAM: Memory allocation error (%dbyte)\n",
                 static_cast<int>(sizeof(CameraPath)));
    return nullptr;
  }
  std::memset(camera, 0, sizeof *camera);
  for (int track = 0; track < 3; ++track) {
    int32_t count;
    if (!file.readValue(&count) || (count > 0 && !file.has(count, kKeyBytes))) {
      kvDebugPrint("kv3dLoadCAM: track %d is truncated; refused (%s)\n", track, path);
      releasePath(camera);
      return nullptr;
    }
    camera->keyCount[track] = count;
    if (count <= 0) continue;
    camera->keys[track] = static_cast<Key*>(kvAllocRecord(int64_t{count} * sizeof(Key)));
    if (camera->keys[track] == nullptr) {
      kvDebugPrint("kv3dLoadCAM: Memory allocation error\n");
      releasePath(camera);
      return nullptr;
    }
    if (!kv3d::readTrack(file, camera->keys[track], count, "kv3dLoadCAM", path, track)) {
      releasePath(camera);
      return nullptr;
    }
  }
  if (camera->keyCount[2] > 0 && !file.readValue(&camera->targetOffset)) {
    kvDebugPrint("kv3dLoadCAM: the target offset is missing; refused (%s)\n", path);
    releasePath(camera);
    return nullptr;
  }
  const Vector& offset = camera->targetOffset;
  if (!std::isfinite(offset.x) || !std::isfinite(offset.y) || !std::isfinite(offset.z)) {
    kvDebugPrint("kv3dLoadCAM: the target offset is not a finite number; refused (%s)\n", path);
    releasePath(camera);
    return nullptr;
  }
  return camera;
}

void kv3dFreeCAM(CameraPath* path) {
  if (path != nullptr) releasePath(path);
}

void kv3dSetCameraFrame(Camera* camera, const CameraPath* path, float t) {
  if (path == nullptr) {
    kv3dIdentityMatrix(&camera->viewMatrix);
    camera->viewMatrix.m[14] = -200.0f;
    camera->pitch = camera->yaw = camera->roll = 0;
    return;
  }
  // A path without eye keys keeps the camera's own eye and angles.
  if (path->keyCount[0] > 0) {
    Key eye;
    kv3dTrackKey(&eye, path->keys[0], path->keyCount[0], t);
    camera->eye = eye.position;
    camera->yaw = eye.angles[0];
    camera->pitch = eye.angles[1];
    camera->roll = eye.angles[2];
  }
  kv3dCameraView(camera);
  if (path->keyCount[1] > 0) {
    Key carrier;
    kv3dTrackKey(&carrier, path->keys[1], path->keyCount[1], t);
    // For the carriers the key's first angle turns about Z, the third about Y.
    Matrix placement, view = camera->viewMatrix;
    kv3dPlacementMatrix(&placement, angle(carrier.angles[0]), angle(carrier.angles[1]),
                        angle(carrier.angles[2]), &carrier.position);
    kv3dMulMatrix(&camera->viewMatrix, &view, &placement);
    const Vector eye = camera->eye;
    kv3dTransform(&camera->eye, &eye, &placement);
  }
  if (path->keyCount[2] > 0) {
    Key carrier;
    kv3dTrackKey(&carrier, path->keys[2], path->keyCount[2], t);
    Matrix placement;
    kv3dPlacementMatrix(&placement, angle(carrier.angles[0]), angle(carrier.angles[1]),
                        angle(carrier.angles[2]), &carrier.position);
    // The camera aims at the carried target offset (the path's own target),
    // not at the world origin.
    kv3dTransform(&camera->target, &path->targetOffset, &placement);
    kv3dCameraLookAt(camera);
    kv3dCameraView(camera);
  }
}
