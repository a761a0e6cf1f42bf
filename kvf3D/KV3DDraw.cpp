// Polygon clipping and submission: a convex camera-space polygon is tested
// against the near plane and the four sides of the view, clipped only against
// the planes it straddles, projected, culled when it faces away, and sent to
// the device as one triangle fan.
#include "kvf3D/KV3DDraw.h"

#include <cstring>

#include "kvf3D/State.h"

using kv3d::FanVertex;

int32_t kv3dDoubleSided = 0;

namespace {

// The stored triangle and rectangle of kvSetTriangle and kvSetRectangle.
ClipVertex storedTriangle[3];
ClipVertex storedRectangle[2];

// Corners within this much of a plane count as outside it, so slivers along
// the view's edges are clipped rather than drawn past them.
constexpr float kOutsideMargin = 0.1f;

float sideScaleY() { return kv3dProjDistance / (kvViewCenterY - kvViewTop); }
float sideScaleX() { return kv3dProjDistance / (kvViewCenterX - kvViewLeft); }

// The new corner on the edge from a to b at fraction t: position always, and
// the attributes the current flags will send. The rest is a's, so that no
// field is left unset.
void interpolate(ClipVertex& out, const ClipVertex& a, const ClipVertex& b, float t) {
  out = a;
  out.x = a.x + t * (b.x - a.x);
  out.y = a.y + t * (b.y - a.y);
  out.z = a.z + t * (b.z - a.z);
  const int32_t flags = kvRenderFlags;
  if (flags & KV_RF_COLOR) {
    out.r = a.r + t * (b.r - a.r);
    out.g = a.g + t * (b.g - a.g);
    out.b = a.b + t * (b.b - a.b);
  }
  // The device also reads the alpha of a coloured corner (as the source
  // factor of additive blending), so it is interpolated with the colour.
  if (flags & (KV_RF_ALPHA | KV_RF_COLOR)) out.alpha = a.alpha + t * (b.alpha - a.alpha);
  if ((flags & KV_RF_ALPHA) == 0 && (flags & KV_RF_AUX)) out.aux = a.aux + t * (b.aux - a.aux);
  if (flags & KV_RF_TEXTURE) {
    out.u = a.u + t * (b.u - a.u);
    out.v = a.v + t * (b.v - a.v);
  }
}

// Sutherland-Hodgman against one plane, given as its signed distance (inside
// when >= 0). At most MAX_POLY_VERTS corners are written: a polygon that would
// need more (only a non-convex one can) returns MAX_POLY_VERTS, which the
// drawer refuses.
template <typename Distance, typename OnPlane>
int32_t clipPlane(const ClipVertex* s, ClipVertex* d, int32_t n, Distance distance,
                  OnPlane onPlane) {
  if (n < 3) return 0;
  int32_t out = 0;
  float e = distance(s[0]);
  bool inside = e >= 0.0f;
  for (int32_t i = 0; i < n; ++i) {
    const ClipVertex& q = s[i + 1 < n ? i + 1 : 0];
    const float o = distance(q);
    const bool qInside = o >= 0.0f;
    if (inside) {
      if (out == MAX_POLY_VERTS) return MAX_POLY_VERTS;
      d[out++] = s[i];
    }
    if (inside != qInside) {
      if (out == MAX_POLY_VERTS) return MAX_POLY_VERTS;
      const float t = -e / (o - e);
      interpolate(d[out], s[i], q, t);
      onPlane(d[out++]);
    }
    e = o;
    inside = qInside;
  }
  return out > 2 ? out : 0;
}

// The side planes keep interpolated corners as they come.
void onSide(ClipVertex&) {}

enum Plane { kNear, kTop, kBottom, kRight, kLeft, kPlanes };

// Counts, per plane, the corners that lie outside it (with the margin).
// Returns true when any corner is outside any plane.
bool countOutside(const ClipVertex* c, int32_t n, int32_t counts[kPlanes]) {
  const float ky = sideScaleY(), kx = sideScaleX();
  const float nearLimit = kv3dNearZ + kOutsideMargin;
  bool any = false;
  for (int32_t p = 0; p < kPlanes; ++p) counts[p] = 0;
  for (int32_t i = 0; i < n; ++i) {
    const float x = c[i].x, y = c[i].y, z = c[i].z;
    const float ty = ky * y, tx = kx * x;
    const bool out[kPlanes] = {nearLimit > z, ty + kOutsideMargin > z, kOutsideMargin - ty > z,
                               tx + kOutsideMargin > z, kOutsideMargin - tx > z};
    for (int32_t p = 0; p < kPlanes; ++p) {
      counts[p] += out[p];
      any |= out[p];
    }
  }
  return any;
}

int32_t clipAgainst(int32_t plane, const ClipVertex* s, ClipVertex* d, int32_t n) {
  switch (plane) {
    case kNear:
      return kv3dClipNear(s, d, n);
    case kTop:
      return kv3dClipTop(s, d, n);
    case kBottom:
      return kv3dClipBottom(s, d, n);
    case kRight:
      return kv3dClipRight(s, d, n);
    default:
      return kv3dClipLeft(s, d, n);
  }
}

// Clips c against every plane the counts name. Returns the corners left (in
// *result, which is c or one of the two buffers), 0 when nothing is left or
// when the polygon grew too large (logged).
int32_t clipToView(ClipVertex* c, int32_t n, const int32_t counts[kPlanes],
                   ClipVertex (&buffers)[2][MAX_POLY_VERTS], ClipVertex** result) {
  ClipVertex* current = c;
  int32_t next = 0;
  for (int32_t p = 0; p < kPlanes; ++p) {
    if (counts[p] == 0) continue;
    n = clipAgainst(p, current, buffers[next], n);
    if (n == 0) return 0;
    current = buffers[next];
    next ^= 1;
    if (n >= MAX_POLY_VERTS) {
      kvDebugPrint("numverts>=MAX_POLY_VERTS\n");
      return 0;
    }
  }
  *result = current;
  return n;
}

void project(ClipVertex* c, int32_t n) {
  const float d = kv3dProjDistance, cx = kvViewCenterX, cy = kvViewCenterY;
  for (int32_t i = 0; i < n; ++i) {
    c[i].x = c[i].x * d / c[i].z + cx;
    c[i].y = cy - c[i].y * d / c[i].z;
  }
}

// Front faces run counter-clockwise on the screen (y down).
bool facesViewer(const ClipVertex* c) {
  const float w = (c[0].x - c[1].x) * (c[2].y - c[1].y) - (c[0].y - c[1].y) * (c[2].x - c[1].x);
  return w > 0.0f || kv3dDoubleSided != 0;
}

HRESULT submit(FanVertex* vertices, int32_t n) {
  return kvFramework.device->DrawPrimitive(D3DPT_TRIANGLEFAN, kv3d::kFanVertexFormat, vertices,
                                           static_cast<DWORD>(n), 0);
}

// Submits n projected corners, the depth of each given by depthOf.
template <typename Depth>
HRESULT submitCorners(const char* operation, int32_t n, const ClipVertex* c, Depth depthOf) {
  if (n < 3 || n > kv3d::kFanCapacity) {
    kvDebugPrint("%s: cannot draw %d corners\n", operation, static_cast<int>(n));
    return E_INVALIDARG;
  }
  FanVertex vertices[kv3d::kFanCapacity];
  const int32_t flags = kvRenderFlags;
  for (int32_t i = 0; i < n; ++i) vertices[i] = kv3d::fanVertex(c[i], depthOf(c[i]), flags);
  return submit(vertices, n);
}

// Moves the stored corners so that the first lands on (x, y, u, v).
void moveStored(ClipVertex* corners, int32_t n, float x, float y, float u, float v) {
  const float dx = x - corners[0].x, dy = y - corners[0].y;
  const float du = u - corners[0].u, dv = v - corners[0].v;
  for (int32_t i = 0; i < n; ++i) {
    corners[i].x += dx;
    corners[i].y += dy;
    corners[i].u += du;
    corners[i].v += dv;
  }
}

}  // namespace

int32_t kv3dClipNear(const ClipVertex* s, ClipVertex* d, int32_t n) {
  // New corners are put exactly on the plane (interpolation could land a hair
  // in front of it), so every corner that reaches projection has z >= near.
  const float nearZ = kv3dNearZ;
  return clipPlane(
      s, d, n, [nearZ](const ClipVertex& c) { return c.z - nearZ; },
      [nearZ](ClipVertex& c) { c.z = nearZ; });
}

int32_t kv3dClipTop(const ClipVertex* s, ClipVertex* d, int32_t n) {
  const float ky = sideScaleY();
  return clipPlane(
      s, d, n, [ky](const ClipVertex& c) { return c.z - ky * c.y; }, onSide);
}

int32_t kv3dClipBottom(const ClipVertex* s, ClipVertex* d, int32_t n) {
  const float ky = sideScaleY();
  return clipPlane(
      s, d, n, [ky](const ClipVertex& c) { return c.z + ky * c.y; }, onSide);
}

int32_t kv3dClipRight(const ClipVertex* s, ClipVertex* d, int32_t n) {
  const float kx = sideScaleX();
  return clipPlane(
      s, d, n, [kx](const ClipVertex& c) { return c.z - kx * c.x; }, onSide);
}

int32_t kv3dClipLeft(const ClipVertex* s, ClipVertex* d, int32_t n) {
  const float kx = sideScaleX();
  return clipPlane(
      s, d, n, [kx](const ClipVertex& c) { return c.z + kx * c.x; }, onSide);
}

void kv3dDrawPolygon(ClipVertex* c, int32_t n) {
  if (n >= MAX_POLY_VERTS) {
    kvDebugPrint("numverts>=MAX_POLY_VERTS\n");
    return;
  }
  if (n < 3) return;  // no area, and the back-face test reads three corners
  int32_t counts[kPlanes];
  ClipVertex* current = c;
  ClipVertex buffers[2][MAX_POLY_VERTS];
  if (countOutside(c, n, counts)) {
    for (int32_t p = 0; p < kPlanes; ++p)
      if (counts[p] == n) return;  // wholly outside one plane
    n = clipToView(c, n, counts, buffers, &current);
    if (n == 0) return;
  }
  project(current, n);
  if (facesViewer(current)) kvDrawFan(n, current);
}

void kv3dDrawTriangle(ClipVertex* c) {
  int32_t counts[kPlanes];
  if (!countOutside(c, 3, counts)) {
    project(c, 3);
    if (facesViewer(c)) kvDrawTriangle3(&c[0], &c[1], &c[2]);
    return;
  }
  for (int32_t p = 0; p < kPlanes; ++p)
    if (counts[p] == 3) return;
  ClipVertex buffers[2][MAX_POLY_VERTS];
  ClipVertex* current = c;
  const int32_t n = clipToView(c, 3, counts, buffers, &current);
  if (n == 0) return;
  project(current, n);
  if (facesViewer(current)) kvDrawFan(n, current);
}

HRESULT kvDrawFan(int32_t n, const ClipVertex* c) {
  return submitCorners("kvDrawFan", n, c, [](const ClipVertex& v) { return 1.0f / v.z; });
}

HRESULT kvDrawFanDepth(int32_t n, const ClipVertex* c) {
  return submitCorners("kvDrawFanDepth", n, c, [](const ClipVertex& v) { return v.z; });
}

HRESULT kvDrawTriangle3(const ClipVertex* c0, const ClipVertex* c1, const ClipVertex* c2) {
  const int32_t flags = kvRenderFlags;
  FanVertex vertices[3] = {kv3d::fanVertex(*c0, 1.0f / c0->z, flags),
                           kv3d::fanVertex(*c1, 1.0f / c1->z, flags),
                           kv3d::fanVertex(*c2, 1.0f / c2->z, flags)};
  return submit(vertices, 3);
}

void kvSetTriangle(const ClipVertex* c0, const ClipVertex* c1, const ClipVertex* c2) {
  storedTriangle[0] = *c0;
  storedTriangle[1] = *c1;
  storedTriangle[2] = *c2;
}

HRESULT kvDrawTriangleAt(float x, float y, float u, float v) {
  moveStored(storedTriangle, 3, x, y, u, v);
  return kvDrawTriangle3(&storedTriangle[0], &storedTriangle[1], &storedTriangle[2]);
}

HRESULT kvDrawRectangle(const ClipVertex* c1, const ClipVertex* c2) {
  const int32_t flags = kvRenderFlags;
  // Corners in the order (c1.x, c1.y), (c2.x, c1.y), (c2.x, c2.y), (c1.x, c2.y);
  // the first two take c1's depth and colour, the last two c2's.
  ClipVertex corners[4] = {*c1, *c1, *c2, *c2};
  corners[1].x = c2->x;
  corners[1].u = c2->u;
  corners[3].x = c1->x;
  corners[3].u = c1->u;
  FanVertex vertices[4];
  for (int i = 0; i < 4; ++i) vertices[i] = kv3d::fanVertex(corners[i], 1.0f / corners[i].z, flags);
  return submit(vertices, 4);
}

void kvSetRectangle(const ClipVertex* c1, const ClipVertex* c2) {
  storedRectangle[0] = *c1;
  storedRectangle[1] = *c2;
}

HRESULT kvDrawRectangleAt(float x, float y, float u, float v) {
  moveStored(storedRectangle, 2, x, y, u, v);
  return kvDrawRectangle(&storedRectangle[0], &storedRectangle[1]);
}

void kv3dResetDrawState() {
  kv3dDoubleSided = 0;
  std::memset(storedTriangle, 0, sizeof storedTriangle);
  std::memset(storedRectangle, 0, sizeof storedRectangle);
}
