// The floor and the can. Faces are wound so that they run counter-clockwise
// on the screen when their outer side faces the viewer, which is what the
// kit's back-face test keeps.
#include <algorithm>
#include <cmath>

#include "scene.h"
#include "trig.h"

namespace kvgen {

namespace {

constexpr float kPi = 3.14159265f;

// Render flags of the materials.
constexpr uint16_t kZBuffer = 0x002, kColour = 0x004, kTexture = 0x008;
constexpr uint16_t kPerspective = 0x040, kFilter = 0x080;

Vec3 sub(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - b.y * a.z, a.z * b.x - b.z * a.x, a.x * b.y - a.y * b.x};
}
float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

struct Corner {
  uint16_t vertex;
  float u, v;
};

// Collects vertices (in pivot order) and faces (any order, grouped by
// material when the object is finished).
class Builder {
 public:
  explicit Builder(float scale = 1.0f) : scale_(scale) {}

  uint16_t vertex(Vec3 position, Vec3 normal = {0, 1, 0}) {
    object.vertices.push_back({position.x * scale_, position.y * scale_, position.z * scale_});
    object.vertexNormals.push_back(normal);
    return static_cast<uint16_t>(object.vertices.size() - 1);
  }

  // Adds a face, reversing its corners if needed so that its front is the
  // side the outward direction points to.
  void face(int material, std::vector<Corner> corners, Vec3 outward) {
    const Vec3 p0 = object.vertices[corners[0].vertex];
    const Vec3 p1 = object.vertices[corners[1].vertex];
    const Vec3 p2 = object.vertices[corners[2].vertex];
    if (dot(cross(sub(p1, p0), sub(p2, p0)), outward) > 0)
      std::reverse(corners.begin(), corners.end());
    FaceRec f{};
    f.cornerCount = static_cast<int>(corners.size());
    for (size_t k = 0; k < corners.size(); ++k) {
      f.vertex[k] = corners[k].vertex;
      f.u[k] = corners[k].u;
      f.v[k] = corners[k].v;
    }
    faces_.push_back({material, f});
  }

  // A box of six flat quads in one colour of the label's swatches.
  void box(Vec3 lo, Vec3 hi, Swatch swatch) {
    float u, v;
    swatchUv(swatch, u, v);
    const Vec3 normals[6] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};
    for (const Vec3& n : normals) {
      // The four corners of the side whose outward normal is n.
      std::vector<Corner> corners;
      const int axis = n.x != 0 ? 0 : n.y != 0 ? 1 : 2;
      const float fixed = (n.x + n.y + n.z) > 0 ? (&hi.x)[axis] : (&lo.x)[axis];
      const int a = (axis + 1) % 3, b = (axis + 2) % 3;
      const float as[4] = {(&lo.x)[a], (&hi.x)[a], (&hi.x)[a], (&lo.x)[a]};
      const float bs[4] = {(&lo.x)[b], (&lo.x)[b], (&hi.x)[b], (&hi.x)[b]};
      for (int k = 0; k < 4; ++k) {
        Vec3 p{};
        (&p.x)[axis] = fixed;
        (&p.x)[a] = as[k];
        (&p.x)[b] = bs[k];
        corners.push_back({vertex(p, n), u, v});
      }
      face(1, corners, n);
    }
  }

  // A flat disc of `segments` triangles around a centre, facing up or down.
  void disc(float radius, float y, int segments, bool up, Swatch swatch, float zOffset = 0) {
    float u, v;
    swatchUv(swatch, u, v);
    const Vec3 n{0, up ? 1.0f : -1.0f, 0};
    const uint16_t centre = vertex({0, y, zOffset}, n);
    const uint16_t first = static_cast<uint16_t>(object.vertices.size());
    for (int k = 0; k < segments; ++k) {
      const float a = 2 * kPi * k / segments;
      vertex({radius * sine(a), y, zOffset - radius * cosine(a)}, n);
    }
    for (int k = 0; k < segments; ++k) {
      const uint16_t a = static_cast<uint16_t>(first + k);
      const uint16_t b = static_cast<uint16_t>(first + (k + 1) % segments);
      face(1, {{centre, u, v}, {a, u, v}, {b, u, v}}, n);
    }
  }

  // Closes the object: faces grouped by material, one material record each.
  void finish(std::vector<MaterialRec> materials) {
    std::stable_sort(faces_.begin(), faces_.end(),
                     [](const Tagged& a, const Tagged& b) { return a.material < b.material; });
    for (MaterialRec& m : materials) m.faceCount = 0;
    for (const Tagged& t : faces_) {
      ++materials[t.material].faceCount;
      object.faces.push_back(t.face);
    }
    object.materials = std::move(materials);
  }

  ObjectRec object;

 private:
  struct Tagged {
    int material;
    FaceRec face;
  };
  std::vector<Tagged> faces_;
  float scale_;
};

// --- the can ---------------------------------------------------------------

constexpr int kSegments = 16;
constexpr float kBodyRadius = 70, kBodyBottom = 60, kBodyTop = 280;
constexpr float kLidRadius = 66;

void canBody(Builder& b) {
  // Side: two rings with smooth normals, the label wrapped round them.
  const uint16_t top = static_cast<uint16_t>(b.object.vertices.size());
  for (int ring = 0; ring < 2; ++ring)
    for (int k = 0; k < kSegments; ++k) {
      const float a = -kPi + 2 * kPi * k / kSegments;  // 0 faces -z, the front
      const Vec3 n{sine(a), 0, -cosine(a)};
      b.vertex({kBodyRadius * n.x, ring == 0 ? kBodyTop : kBodyBottom, kBodyRadius * n.z}, n);
    }
  for (int k = 0; k < kSegments; ++k) {
    const int next = (k + 1) % kSegments;
    const float u0 = 256.0f * k / kSegments, u1 = 256.0f * (k + 1) / kSegments;
    const float a = -kPi + 2 * kPi * (k + 0.5f) / kSegments;
    b.face(0,
           {{static_cast<uint16_t>(top + k), u0, 0},
            {static_cast<uint16_t>(top + next), u1, 0},
            {static_cast<uint16_t>(top + kSegments + next), u1, kLabelV},
            {static_cast<uint16_t>(top + kSegments + k), u0, kLabelV}},
           {sine(a), 0, -cosine(a)});
  }
  b.disc(kBodyRadius, kBodyBottom, kSegments, false, Swatch::Silver);
  b.disc(kBodyRadius - 2, kBodyTop - 1, kSegments, true, Swatch::Interior);
}

void canLid(Builder& b) {
  const float y0 = kBodyTop + 1, y1 = kBodyTop + 11;
  b.disc(kLidRadius, y1, kSegments, true, Swatch::Silver);
  b.disc(kLidRadius, y0, kSegments, false, Swatch::Silver);
  float u, v;
  swatchUv(Swatch::Silver, u, v);
  const uint16_t first = static_cast<uint16_t>(b.object.vertices.size());
  for (int ring = 0; ring < 2; ++ring)
    for (int k = 0; k < kSegments; ++k) {
      const float a = 2 * kPi * k / kSegments;
      const Vec3 n{sine(a), 0, -cosine(a)};
      b.vertex({kLidRadius * n.x, ring == 0 ? y1 : y0, kLidRadius * n.z}, n);
    }
  for (int k = 0; k < kSegments; ++k) {
    const int next = (k + 1) % kSegments;
    const float a = 2 * kPi * (k + 0.5f) / kSegments;
    b.face(1,
           {{static_cast<uint16_t>(first + k), u, v},
            {static_cast<uint16_t>(first + next), u, v},
            {static_cast<uint16_t>(first + kSegments + next), u, v},
            {static_cast<uint16_t>(first + kSegments + k), u, v}},
           {sine(a), 0, -cosine(a)});
  }
  b.box({-9, y1, -52}, {9, y1 + 6, -28}, Swatch::Tab);  // the ring pull
}

void canArm(Builder& b, float side) {
  const float inner = 74, outer = 92;
  const float lo = side > 0 ? inner : -outer, hi = side > 0 ? outer : -inner;
  b.box({lo, 144, -10}, {hi, 238, 10}, Swatch::Arm);
  b.box({lo - 4, 112, -14}, {hi + 4, 146, 14}, Swatch::Shoe);  // the glove
}

void canLeg(Builder& b, float side) {
  const float lo = side > 0 ? 18 : -46, hi = side > 0 ? 46 : -18;
  b.box({lo, 14, -14}, {hi, 62, 14}, Swatch::Leg);
  b.box({lo - 3, 0, -46}, {hi + 3, 16, 18}, Swatch::Shoe);
}

}  // namespace

Vec3 canPivotPoint(int pivot) {
  Vec3 p{0, 0, 0};
  switch (pivot) {
    case kBody:
      p = {0, kBodyBottom, 0};
      break;
    case kLid:
      p = {0, kBodyTop + 1, kLidRadius};
      break;  // the hinge at the back
    case kArmLeft:
      p = {-80, 236, 0};
      break;
    case kArmRight:
      p = {80, 236, 0};
      break;
    case kLegLeft:
      p = {-32, 62, 0};
      break;
    case kLegRight:
      p = {32, 62, 0};
      break;
    default:
      break;
  }
  return {p.x * kCanScale, p.y * kCanScale, p.z * kCanScale};
}

ObjectRec makeCan() {
  Builder b(kCanScale);
  b.object.shading = 1;  // realtime Gouraud, so the coloured lights show
  b.object.images = {"label.pcx"};
  const int16_t parents[kCanPivots] = {-1, kRoot, kBody, kBody, kBody, kRoot, kRoot};
  for (int p = 0; p < kCanPivots; ++p) {
    const size_t before = b.object.vertices.size();
    switch (p) {
      case kBody:
        canBody(b);
        break;
      case kLid:
        canLid(b);
        break;
      case kArmLeft:
        canArm(b, -1);
        break;
      case kArmRight:
        canArm(b, 1);
        break;
      case kLegLeft:
        canLeg(b, -1);
        break;
      case kLegRight:
        canLeg(b, 1);
        break;
      default:
        break;  // the root carries the others and no geometry
    }
    b.object.pivots.push_back(
        {canPivotPoint(p), parents[p], static_cast<int16_t>(b.object.vertices.size() - before)});
  }
  b.finish({{{255, 255, 255, 255}, 0, kZBuffer | kColour | kTexture | kPerspective | kFilter, 0},
            {{255, 255, 255, 255}, 0, kZBuffer | kColour | kTexture | kPerspective, 0}});
  return b.object;
}

// --- the floor -------------------------------------------------------------

ObjectRec makeFloor() {
  constexpr int kCells = 24;
  constexpr float kCell = 256, kHalf = kCells * kCell / 2;
  Builder b;
  b.object.shading = 3;  // colours baked into the corners: a pool of light
  b.object.images = {"tile.gif", "map2a.bmp"};
  for (int j = 0; j <= kCells; ++j)
    for (int i = 0; i <= kCells; ++i) b.vertex({i * kCell - kHalf, 0, j * kCell - kHalf});
  for (int j = 0; j < kCells; ++j)
    for (int i = 0; i < kCells; ++i) {
      auto at = [&](int di, int dj) {
        return static_cast<uint16_t>((j + dj) * (kCells + 1) + i + di);
      };
      b.face((i + j) & 1,
             {{at(0, 1), 0, 0}, {at(1, 1), 256, 0}, {at(1, 0), 256, 256}, {at(0, 0), 0, 256}},
             {0, 1, 0});
    }
  b.finish({{{255, 255, 255, 255}, 0, kZBuffer | kColour | kTexture | kPerspective, 0},
            {{255, 255, 255, 255}, 1, kZBuffer | kColour | kTexture | kPerspective, 0}});
  // Corner colours: bright in the middle where the cans play, fading into
  // the dark at the edges so the floor has no hard end.
  for (const FaceRec& f : b.object.faces) {
    uint8_t colours[12];
    for (int k = 0; k < 4; ++k) {
      const Vec3 p = b.object.vertices[f.vertex[k]];
      const float d = hypotenuse(p.x, p.z);
      const float light = std::clamp(1.3f - d / 2800.0f, 0.0f, 1.0f);
      colours[k] = static_cast<uint8_t>(255 * light);
      colours[k + 4] = static_cast<uint8_t>(248 * light);
      colours[k + 8] =
          static_cast<uint8_t>(std::min(255.0f, 232 * light + 50 * light * (1 - light)));
    }
    b.object.cornerColours.insert(b.object.cornerColours.end(), colours, colours + 12);
  }
  b.object.vertexNormals.clear();
  return b.object;
}

}  // namespace kvgen
