// The object pipeline: pose the pivot hierarchy, light the vertices from the
// current light table, transform them into the work buffers, then walk the
// faces material by material and hand each to the polygon drawer.
#include <algorithm>

#include "kvf3D/Math.h"

namespace {

// The light of one normal from the current table.
void lightInto(int32_t entry, const Vector* normal) {
  const LightTable* table = kv3dCurrentLight;
  const int32_t cell = kv3dLightIndex(normal);
  kv3dWorkRed[entry] = table->red[cell];
  kv3dWorkGreen[entry] = table->green[cell];
  kv3dWorkBlue[entry] = table->blue[cell];
}

Matrix placementMatrix(const Placement* p) {
  Matrix m;
  kv3dPlacementMatrix(&m, static_cast<Angle>(p->roll), static_cast<Angle>(p->pitch),
                      static_cast<Angle>(p->yaw), &p->position);
  return m;
}

// The pivot whose bound vertices include vertex index i (pivots bind
// consecutive runs of vertices in array order).
const Pivot* pivotOfVertex(const Model* m, int32_t i) {
  int32_t end = 0;
  for (uint32_t k = 0; k < m->pivotCount; ++k) {
    end += m->pivots[k].boundVertexCount;
    if (i < end) return &m->pivots[k];
  }
  return m->pivotCount > 0 ? &m->pivots[m->pivotCount - 1] : nullptr;
}

// Assembles one face into the corner records (alpha is already set), drops it
// when it lies wholly beyond the far distance or wholly before the near
// plane, and draws it. colourOf fills r, g, b of corner k.
template <typename Colour>
void drawFace(const Face& face, int32_t f, ClipVertex* corners, Colour colourOf) {
  const int32_t n = face.cornerCount;
  if (n < 3 || n > 4) return;
  int32_t far = 0, near = 0;
  const float farZ = kv3dFarZ, nearZ = kv3dNearZ;
  for (int32_t k = 0; k < n; ++k) {
    ClipVertex& c = corners[k];
    const int32_t i = face.vertexIndex[k];
    const Vector& p = kv3dWorkVertices[i];
    c.x = p.x;
    c.y = p.y;
    c.z = p.z;
    c.u = face.u[k];
    c.v = face.v[k];
    colourOf(c, f, k, i);
    far += p.z > farZ;
    near += !(p.z >= nearZ);
  }
  if (far != n && near != n) kv3dDrawPolygon(corners, n);
}

// The walk every shading shares: each material selects its texture (when it
// has one) and flags, then its faces follow.
template <typename Colour>
void drawFaces(const Model* m, Colour colourOf, bool white = false) {
  ClipVertex corners[4] = {};
  int32_t f = 0;
  for (int32_t k = 0; k < m->materialCount; ++k) {
    const Material& material = m->materials[k];
    if (material.texture != nullptr) kvSetTexture(material.texture);
    kvSetRenderFlags(static_cast<int32_t>(material.renderFlags));
    for (ClipVertex& c : corners) {
      c.alpha = material.colour[3];
      if (white) c.r = c.g = c.b = 255.0f;
    }
    kv3dDoubleSided = (material.renderFlags & KV_RF_ADDITIVE) != 0 ? 1 : 0;
    for (int32_t i = 0; i < material.faceCount && f < m->faceCount; ++i, ++f)
      drawFace(m->faces[f], f, corners, colourOf);
  }
}

void transformModel(const Model* m, const Matrix* c) {
  kv3dTransformArray(kv3dWorkVertices, m->vertices, m->vertexCount, c);
}

void drawByShading(const Model* m, int32_t shading) {
  switch (shading % KV_SHADING_PIVOTS) {
    case KV_SHADING_NONE:
      kv3dDrawFacesUnshaded(m);
      break;
    case KV_SHADING_GOURAUD:
      kv3dDrawFacesLit(m);
      break;
    case KV_SHADING_FLAT:
      kv3dDrawFacesLitFlat(m);
      break;
    case KV_SHADING_CORNER_COLOURS:
      kv3dDrawFacesCornerColours(m);
      break;
    default:
      kv3dDrawFacesFaceColours(m);
      break;
  }
}

// The pivot paths (shading 5..9): pose, light, transform, draw.
void drawPivotModel(const Matrix* view, Model* m, const Placement* placement) {
  kv3dPosePivots(view, m->pivots, m->pivotCount, placement);
  if (m->shading == KV_SHADING_PIVOTS + KV_SHADING_GOURAUD) kv3dLightPivotVertices(m);
  if (m->shading == KV_SHADING_PIVOTS + KV_SHADING_FLAT) kv3dLightPivotFaces(m);
  kv3dTransformPivotVertices(m);
  drawByShading(m, m->shading);
}

// The work buffers hold an entry per vertex, and per face for flat light. The
// buffers keep no size of their own in the kit's design, so a model larger
// than they are would be written past them: it is refused instead.
bool drawable(const Model* m) {
  if (m->shading < 0 || m->shading >= 2 * KV_SHADING_PIVOTS) return false;
  const bool perFace = m->shading % KV_SHADING_PIVOTS == KV_SHADING_FLAT;
  const int32_t needed = perFace ? std::max(m->vertexCount, m->faceCount) : m->vertexCount;
  if (needed <= kv3dWorkCapacity) return true;
  kvDebugPrint("kv3dDrawModel: %d entries needed, the work buffers hold %d\n", needed,
               kv3dWorkCapacity);
  return false;
}

// The matrix that flattens a model onto y = height along the light of
// elevation a and heading b; false when the light is horizontal.
bool shadowMatrix(Matrix* s, Angle a, Angle b, float height) {
  const float sinA = kv3dSin(a);
  if (sinA == 0.0f) {
    kvDebugPrint("kv3dDrawShadow: a light at elevation %d casts no shadow\n", a & 4095);
    return false;
  }
  const float k1 = kv3dSin(b) * kv3dCos(a) / sinA;
  const float k2 = kv3dCos(b) * kv3dCos(a) / sinA;
  *s = {{1, 0, 0, 0, -k1, 0, -k2, 0, 0, 0, 1, 0, k1 * height, height, k2 * height, 1}};
  return true;
}

void drawShadowWith(const Matrix* c, Model* m, int32_t red, int32_t green, int32_t blue,
                    int32_t alpha) {
  if (!drawable(m)) return;
  if (m->pivotCount != 0) {
    kv3dPosePivots(c, m->pivots, m->pivotCount, nullptr);
    kv3dTransformPivotVertices(m);
  } else {
    transformModel(m, c);
  }
  kv3dDrawFacesColour(m, red, green, blue, alpha);
}

}  // namespace

void kv3dDrawModel(const Matrix* view, Model* m) {
  if (!drawable(m)) return;
  if (m->shading >= KV_SHADING_PIVOTS) {
    drawPivotModel(view, m, nullptr);
    return;
  }
  if (m->shading == KV_SHADING_GOURAUD) kv3dLightVertices(m);
  if (m->shading == KV_SHADING_FLAT) kv3dLightFaces(m);
  transformModel(m, view);
  drawByShading(m, m->shading);
}

void kv3dDrawModelAt(const Matrix* view, Model* m, const Placement* placement) {
  if (!drawable(m)) return;
  if (m->shading >= KV_SHADING_PIVOTS) {
    drawPivotModel(view, m, placement);
    return;
  }
  const Matrix p = placementMatrix(placement);
  Matrix c;
  kv3dMulMatrix(&c, &p, view);
  if (m->shading == KV_SHADING_GOURAUD) kv3dLightVerticesRotated(&p, m);
  if (m->shading == KV_SHADING_FLAT) kv3dLightFacesRotated(&p, m);
  transformModel(m, &c);
  drawByShading(m, m->shading);
}

void kv3dDrawShadow(const Matrix* view, Model* m, Angle a, Angle b, int32_t red, int32_t green,
                    int32_t blue, int32_t alpha, float height) {
  Matrix s, c;
  if (!shadowMatrix(&s, a, b, height)) return;
  kv3dMulMatrix(&c, &s, view);
  drawShadowWith(&c, m, red, green, blue, alpha);
}

void kv3dDrawShadowAt(const Matrix* view, Model* m, Angle a, Angle b, int32_t red, int32_t green,
                      int32_t blue, int32_t alpha, float height, const Placement* placement) {
  Matrix s, t, c;
  if (!shadowMatrix(&s, a, b, height)) return;
  kv3dMulMatrix(&t, &s, view);
  const Matrix p = placementMatrix(placement);
  kv3dMulMatrix(&c, &p, &t);
  drawShadowWith(&c, m, red, green, blue, alpha);
}

void kv3dPosePivots(const Matrix* view, Pivot* pivots, uint32_t count, const Placement* placement) {
  for (uint32_t i = 0; i < count; ++i) {
    Pivot& q = pivots[i];
    kv3dPivotMatrix(&q.worldMatrix, &q.pivotPoint, &q.position, q.angles, &q.scale);
    q.evaluated = 0;
  }
  for (uint32_t i = 0; i < count; ++i)
    if (pivots[i].evaluated == 0) kv3dEvaluatePivot(&pivots[i]);
  // viewMatrix now holds each pivot's model matrix.
  Matrix p;
  if (placement != nullptr) p = placementMatrix(placement);
  for (uint32_t i = 0; i < count; ++i) {
    Pivot& q = pivots[i];
    if (placement != nullptr)
      kv3dMulMatrix(&q.worldMatrix, &q.viewMatrix, &p);
    else
      q.worldMatrix = q.viewMatrix;
    kv3dMulMatrix(&q.viewMatrix, &q.worldMatrix, view);
  }
}

void kv3dEvaluatePivot(Pivot* q) {
  if (q->parent != nullptr) {
    if (q->parent->evaluated == 0) kv3dEvaluatePivot(q->parent);
    kv3dMulMatrix(&q->viewMatrix, &q->worldMatrix, &q->parent->viewMatrix);
  } else {
    q->viewMatrix = q->worldMatrix;
  }
  q->evaluated = 1;
}

void kv3dPosePivotsWorld(Pivot* pivots, uint32_t count, const Placement* placement) {
  for (uint32_t i = 0; i < count; ++i) {
    Pivot& q = pivots[i];
    kv3dPivotMatrix(&q.worldMatrix, &q.pivotPoint, &q.position, q.angles, &q.scale);
    q.evaluated = 0;
  }
  for (uint32_t i = 0; i < count; ++i)
    if (pivots[i].evaluated == 0) kv3dEvaluatePivot(&pivots[i]);
  const Matrix p = placementMatrix(placement);
  for (uint32_t i = 0; i < count; ++i) {
    Pivot& q = pivots[i];
    kv3dMulMatrix(&q.worldMatrix, &q.viewMatrix, &p);
    kv3dTransform(&q.worldPivotPoint, &q.pivotPoint, &q.worldMatrix);
  }
}

void kv3dTransformPivotVertices(const Model* m) {
  int32_t k = 0;
  for (uint32_t i = 0; i < m->pivotCount; ++i) {
    const Pivot& q = m->pivots[i];
    kv3dTransformArray(kv3dWorkVertices + k, m->vertices + k, q.boundVertexCount, &q.viewMatrix);
    k += q.boundVertexCount;
  }
}

void kv3dLightVertices(const Model* m) {
  for (int32_t i = 0; i < m->vertexCount; ++i) lightInto(i, &m->vertexNormals[i]);
}

void kv3dLightVerticesRotated(const Matrix* r, const Model* m) {
  kv3dRotateArray(kv3dWorkVertices, m->vertexNormals, m->vertexCount, r);
  for (int32_t i = 0; i < m->vertexCount; ++i) lightInto(i, &kv3dWorkVertices[i]);
}

void kv3dLightPivotVertices(const Model* m) {
  int32_t k = 0;
  for (uint32_t p = 0; p < m->pivotCount; ++p) {
    const Pivot& q = m->pivots[p];
    const int32_t count = q.boundVertexCount;
    kv3dRotateArray(kv3dWorkVertices, m->vertexNormals + k, count, &q.worldMatrix);
    for (int32_t i = 0; i < count; ++i) lightInto(k + i, &kv3dWorkVertices[i]);
    k += count;
  }
}

// The flat light steps turn one normal at a time, so they need colour entries
// for every face but no vertex entries beyond the model's vertices.
void kv3dLightFaces(const Model* m) {
  for (int32_t f = 0; f < m->faceCount; ++f) lightInto(f, &m->faceNormals[f]);
}

void kv3dLightFacesRotated(const Matrix* r, const Model* m) {
  for (int32_t f = 0; f < m->faceCount; ++f) {
    Vector n;
    kv3dRotate(&n, &m->faceNormals[f], r);
    lightInto(f, &n);
  }
}

// A face turns with the pivot of its first corner.
void kv3dLightPivotFaces(const Model* m) {
  for (int32_t f = 0; f < m->faceCount; ++f) {
    const Pivot* q = pivotOfVertex(m, m->faces[f].vertexIndex[0]);
    Vector n = m->faceNormals[f];
    if (q != nullptr) kv3dRotate(&n, &m->faceNormals[f], &q->worldMatrix);
    lightInto(f, &n);
  }
}

void kv3dDrawFacesColour(const Model* m, int32_t red, int32_t green, int32_t blue, int32_t alpha) {
  kvSetRenderFlags(KV_RF_ZBUFFER | KV_RF_COLOR);
  kv3dDoubleSided = 1;
  ClipVertex corners[4] = {};
  for (ClipVertex& c : corners) {
    c.r = static_cast<float>(red & 0xFF);
    c.g = static_cast<float>(green & 0xFF);
    c.b = static_cast<float>(blue & 0xFF);
    c.alpha = static_cast<float>(alpha & 0xFF);
  }
  for (int32_t f = 0; f < m->faceCount; ++f)
    drawFace(m->faces[f], f, corners, [](ClipVertex&, int32_t, int32_t, int32_t) {});
}

// Unshaded faces send white, so a material that asks for corner colour shows
// its texture as it is.
void kv3dDrawFacesUnshaded(const Model* m) {
  drawFaces(
      m, [](ClipVertex&, int32_t, int32_t, int32_t) {}, true);
}

void kv3dDrawFacesCornerColours(const Model* m) {
  const uint8_t* colours = m->cornerColours;
  drawFaces(m, [colours](ClipVertex& c, int32_t f, int32_t k, int32_t) {
    const uint8_t* face = colours + 12 * f;
    c.r = face[k];
    c.g = face[k + 4];
    c.b = face[k + 8];
  });
}

void kv3dDrawFacesFaceColours(const Model* m) {
  const uint8_t* colours = m->faceColours;
  drawFaces(m, [colours](ClipVertex& c, int32_t f, int32_t, int32_t) {
    const uint8_t* face = colours + 4 * f;
    c.r = face[0];
    c.g = face[1];
    c.b = face[2];
  });
}

void kv3dDrawFacesLit(const Model* m) {
  drawFaces(m, [](ClipVertex& c, int32_t, int32_t, int32_t i) {
    c.r = kv3dWorkRed[i];
    c.g = kv3dWorkGreen[i];
    c.b = kv3dWorkBlue[i];
  });
}

void kv3dDrawFacesLitFlat(const Model* m) {
  drawFaces(m, [](ClipVertex& c, int32_t f, int32_t, int32_t) {
    c.r = kv3dWorkRed[f];
    c.g = kv3dWorkGreen[f];
    c.b = kv3dWorkBlue[f];
  });
}
