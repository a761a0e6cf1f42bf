// The view state (projection distance, near and far planes, view rectangle) and
// the vertex work buffers the renderer fills for the object being drawn.
#include "kvf3D/Math.h"
#include "kvf3D/State.h"

int32_t kv3dWorkCapacity = 0;
Vector* kv3dWorkVertices = nullptr;
float* kv3dWorkRed = nullptr;
float* kv3dWorkGreen = nullptr;
float* kv3dWorkBlue = nullptr;
float kv3dProjDistance = 256.0f;
float kv3dNearZ = 1.0f;
float kv3dFarZ = 32000.0f;
float kvViewLeft = 0.0f, kvViewTop = 0.0f, kvViewRight = 320.0f, kvViewBottom = 240.0f;
float kvViewCenterX = 160.0f, kvViewCenterY = 120.0f;

void kv3dResetProjectionState() {
  // The values above, which the public header fixes as separate variables.
  kv3dWorkCapacity = 0;
  kv3dWorkVertices = nullptr;
  kv3dWorkRed = kv3dWorkGreen = kv3dWorkBlue = nullptr;
  kv3dProjDistance = 256.0f;
  kv3dNearZ = 1.0f;
  kv3dFarZ = 32000.0f;
  kvViewLeft = kvViewTop = 0.0f;
  kvViewRight = 320.0f;
  kvViewBottom = 240.0f;
  kvViewCenterX = 160.0f;
  kvViewCenterY = 120.0f;
}

namespace {

void releaseWorkBuffers() {
  kvFree(kv3dWorkVertices);
  kvFree(kv3dWorkRed);
  kvFree(kv3dWorkGreen);
  kvFree(kv3dWorkBlue);
  kv3dWorkVertices = nullptr;
  kv3dWorkCapacity = 0;
  kv3dWorkRed = kv3dWorkGreen = kv3dWorkBlue = nullptr;
}

// The byte count of n entries, or 0 (which the pool refuses) when it would not fit
// the pool's 32-bit sizes.
int32_t bytesFor(int32_t count, int32_t size) {
  const int64_t bytes = static_cast<int64_t>(count) * size;
  return bytes > 0 && bytes <= INT32_MAX ? static_cast<int32_t>(bytes) : 0;
}

}  // namespace

int16_t kv3dInitWorkBuffers(int32_t count) {
  releaseWorkBuffers();
  // All four are asked for even after a failure, so the pool ends in the same
  // state whichever one failed.
  kv3dWorkVertices = static_cast<Vector*>(kvAlloc(bytesFor(count, sizeof(Vector))));
  kv3dWorkRed = static_cast<float*>(kvAlloc(bytesFor(count, sizeof(float))));
  kv3dWorkGreen = static_cast<float*>(kvAlloc(bytesFor(count, sizeof(float))));
  kv3dWorkBlue = static_cast<float*>(kvAlloc(bytesFor(count, sizeof(float))));
  if (kv3dWorkVertices && kv3dWorkRed && kv3dWorkGreen && kv3dWorkBlue) {
    kv3dWorkCapacity = count;
    return 1;
  }
  releaseWorkBuffers();
  return 0;
}

void kv3dSetProjection(int32_t distance) {
  kv3dProjDistance = static_cast<float>(distance > 0 ? distance : 0);
}

void kv3dSetNearZ(float z) { kv3dNearZ = z; }

void kv3dSetFarZ(float z) { kv3dFarZ = z; }

void kvSetViewRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  // Sums in 64 bits: a rectangle near the int32 limits must not overflow.
  kvViewLeft = static_cast<float>(x);
  kvViewTop = static_cast<float>(y);
  kvViewRight = static_cast<float>(static_cast<int64_t>(x) + width);
  kvViewBottom = static_cast<float>(static_cast<int64_t>(y) + height);
  // The centre comes from the unclamped corner, so clamping never moves it.
  kvViewCenterX = static_cast<float>(width / 2) + kvViewLeft;
  kvViewCenterY = static_cast<float>(height / 2) + kvViewTop;
  if (kvViewLeft < 0.0f) kvViewLeft = 0.0f;
  if (kvViewTop < 0.0f) kvViewTop = 0.0f;
  if (static_cast<float>(kvScreenWidth) <= kvViewRight)
    kvViewRight = static_cast<float>(kvScreenWidth);
  if (static_cast<float>(kvScreenHeight) <= kvViewBottom)
    kvViewBottom = static_cast<float>(kvScreenHeight);
}

void kv3dProjectPoint(const Matrix* m, const Vector* p, int32_t size, int32_t* sx, int32_t* sy,
                      int32_t* ssize) {
  Vector c;
  kv3dTransform(&c, p, m);
  if (c.z >= kv3dNearZ) {
    const float d = kv3dProjDistance;
    *sx = kv3d::truncate(c.x * d / c.z + kvViewCenterX);
    *sy = kv3d::truncate(kvViewCenterY - c.y * d / c.z);
    *ssize = kv3d::truncate(static_cast<float>(size) * d / c.z);
  } else {
    *sx = -1000;
    *sy = -1000;
    *ssize = -1;
  }
}

void kv3dProjectVector(Vector* s, const Vector* c) {
  if (c->z >= kv3dNearZ) {
    const float d = kv3dProjDistance;
    *s = Vector{c->x * d / c->z + kvViewCenterX, kvViewCenterY - c->y * d / c->z, c->z};
  } else {
    *s = Vector{-1000.0f, -1000.0f, -1.0f};
  }
}
