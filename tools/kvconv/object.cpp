#include "kvconv/object.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "kvconv/textures.h"

namespace kvconv {

namespace {

// Render flags (the kit's KV_RF_* values).
constexpr uint16_t kAlpha = 0x001, kZBuffer = 0x002, kColour = 0x004, kTexture = 0x008;
constexpr uint16_t kPerspective = 0x040, kFilter = 0x080;

Vec sub(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec cross(Vec a, Vec b) {
  return {a.y * b.z - b.y * a.z, a.z * b.x - b.z * a.x, a.x * b.y - a.y * b.x};
}
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double length(Vec a) { return std::sqrt(dot(a, a)); }
Vec normalised(Vec a) {
  const double n = length(a);
  return n > 0 ? Vec{a.x / n, a.y / n, a.z / n} : Vec{0, 1, 0};
}
bool finite(Vec a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }
kvgen::Vec3 toFile(Vec a) {
  return {static_cast<float>(a.x), static_cast<float>(a.y), static_cast<float>(a.z)};
}

// The polygon's normal by Newell's method (any winding, any shape).
Vec polygonNormal(const std::vector<Vec>& p) {
  Vec n;
  for (size_t i = 0; i < p.size(); ++i) {
    const Vec& a = p[i];
    const Vec& b = p[(i + 1) % p.size()];
    n.x += (a.y - b.y) * (a.z + b.z);
    n.y += (a.z - b.z) * (a.x + b.x);
    n.z += (a.x - b.x) * (a.y + b.y);
  }
  return n;
}

// Splits a polygon into triangles of the same winding by cutting ears, in
// the plane of its normal. Corners are positions in the polygon's order.
std::vector<std::array<size_t, 3>> earClip(const std::vector<Vec>& p) {
  const Vec n = polygonNormal(p);
  std::vector<size_t> left(p.size());
  for (size_t i = 0; i < p.size(); ++i) left[i] = i;
  std::vector<std::array<size_t, 3>> triangles;
  const auto convex = [&](size_t a, size_t b, size_t c) {
    return dot(cross(sub(p[b], p[a]), sub(p[c], p[b])), n) > 0;
  };
  const auto inside = [&](size_t a, size_t b, size_t c, size_t q) {
    return dot(cross(sub(p[b], p[a]), sub(p[q], p[a])), n) >= 0 &&
           dot(cross(sub(p[c], p[b]), sub(p[q], p[b])), n) >= 0 &&
           dot(cross(sub(p[a], p[c]), sub(p[q], p[c])), n) >= 0;
  };
  size_t guard = 0;
  while (left.size() > 3 && guard < p.size() * p.size()) {
    ++guard;
    bool cut = false;
    for (size_t i = 0; i < left.size(); ++i) {
      const size_t a = left[(i + left.size() - 1) % left.size()], b = left[i],
                   c = left[(i + 1) % left.size()];
      if (!convex(a, b, c)) continue;
      bool empty = true;
      for (size_t q : left)
        if (q != a && q != b && q != c && inside(a, b, c, q)) empty = false;
      if (!empty) continue;
      triangles.push_back({a, b, c});
      left.erase(left.begin() + static_cast<long>(i));
      cut = true;
      break;
    }
    if (!cut) break;  // a self-crossing outline: the rest as a fan
  }
  for (size_t i = 1; i + 1 < left.size(); ++i) triangles.push_back({left[0], left[i], left[i + 1]});
  return triangles;
}

bool planarConvexQuad(const std::vector<Vec>& p) {
  const Vec n = normalised(polygonNormal(p));
  for (size_t i = 0; i < 4; ++i) {
    const Vec e = cross(sub(p[(i + 1) % 4], p[i]), sub(p[(i + 2) % 4], p[(i + 1) % 4]));
    if (dot(e, n) <= 0) return false;
    // Out of plane by more than a hundredth of the edge: two triangles instead.
    if (std::abs(dot(sub(p[i], p[0]), n)) > 0.01 * length(sub(p[(i + 1) % 4], p[i]))) return false;
  }
  return true;
}

struct PivotEntry {
  int node;
  int parent;  // pivot index, or -1
  std::vector<uint32_t> vertices;
};

// Which node each mesh vertex follows: its heaviest bone when skinned, else
// the node that holds the mesh.
int vertexNode(const SourceMesh& mesh, size_t vertex, int meshNode) {
  return !mesh.bone.empty() && mesh.bone[vertex] >= 0 ? mesh.bone[vertex] : meshNode;
}

uint8_t byteOf(double value) {
  return static_cast<uint8_t>(std::clamp(value, 0.0, 1.0) * 255.0 + 0.5);
}

}  // namespace

bool sceneBounds(const SourceScene& scene, Vec* low, Vec* high) {
  const std::vector<Affine> globals = globalsAt(scene, nullptr, 0);
  bool any = false;
  for (size_t n = 0; n < scene.nodes.size(); ++n)
    for (int m : scene.nodes[n].meshes)
      for (const Vec& p : scene.meshes[static_cast<size_t>(m)].positions) {
        const Vec q = globals[n].apply(p);
        if (!finite(q)) continue;
        if (!any) *low = *high = q;
        any = true;
        *low = {std::min(low->x, q.x), std::min(low->y, q.y), std::min(low->z, q.z)};
        *high = {std::max(high->x, q.x), std::max(high->y, q.y), std::max(high->z, q.z)};
      }
  return any;
}

bool buildObject(const SourceScene& scene, const ObjectOptions& options, Converted* out,
                 std::string* error) {
  const std::vector<Affine> rest = globalsAt(scene, nullptr, 0);
  kvgen::ObjectRec& object = out->object;
  object.shading = options.shading;

  // Pivots: every node that carries geometry, and its ancestors, parents
  // first. Without a hierarchy, one group at the model's origin.
  std::vector<bool> used(scene.nodes.size(), false);
  for (size_t n = 0; n < scene.nodes.size(); ++n)
    for (int m : scene.nodes[n].meshes) {
      const SourceMesh& mesh = scene.meshes[static_cast<size_t>(m)];
      for (size_t v = 0; v < mesh.positions.size(); ++v)
        used[static_cast<size_t>(vertexNode(mesh, v, static_cast<int>(n)))] = true;
    }
  std::vector<int> pivotOf(scene.nodes.size(), -1);
  std::vector<PivotEntry> pivots;
  if (options.hierarchy) {
    for (size_t n = scene.nodes.size(); n-- > 0;)
      if (used[n] && scene.nodes[n].parent >= 0)
        used[static_cast<size_t>(scene.nodes[n].parent)] = true;
    for (size_t n = 0; n < scene.nodes.size(); ++n) {
      if (!used[n]) continue;
      const int parent = scene.nodes[n].parent;
      pivotOf[n] = static_cast<int>(pivots.size());
      pivots.push_back(
          {static_cast<int>(n), parent >= 0 ? pivotOf[static_cast<size_t>(parent)] : -1, {}});
    }
  }

  // Vertices, in model space at rest, grouped by the pivot they follow (a
  // skinned vertex: its heaviest bone's). A mesh used by several nodes is
  // placed once for each.
  std::vector<std::vector<std::pair<size_t, size_t>>> members(std::max<size_t>(pivots.size(), 1));
  std::vector<std::pair<size_t, size_t>> meshUses;  // (node, mesh) in order
  for (size_t n = 0; n < scene.nodes.size(); ++n)
    for (int m : scene.nodes[n].meshes) meshUses.emplace_back(n, static_cast<size_t>(m));
  for (size_t u = 0; u < meshUses.size(); ++u) {
    const auto [n, m] = meshUses[u];
    const SourceMesh& mesh = scene.meshes[m];
    for (size_t v = 0; v < mesh.positions.size(); ++v) {
      const int node = vertexNode(mesh, v, static_cast<int>(n));
      members[pivots.empty() ? 0 : static_cast<size_t>(pivotOf[static_cast<size_t>(node)])]
          .emplace_back(u, v);
    }
  }
  size_t total = 0;
  for (const auto& list : members) total += list.size();
  if (total == 0) {
    *error = "the scene holds no faces";
    return false;
  }
  if (total > kMaxVertices) {
    *error = "the model has " + std::to_string(total) + " vertices; a KVO holds at most " +
             std::to_string(kMaxVertices) + " (16-bit vertex indices)";
    return false;
  }
  std::vector<std::vector<uint32_t>> objectIndex(meshUses.size());
  for (size_t u = 0; u < meshUses.size(); ++u)
    objectIndex[u].assign(scene.meshes[meshUses[u].second].positions.size(), 0);
  std::vector<Vec> normals;
  std::vector<std::array<double, 3>> vertexColour;
  for (size_t p = 0; p < members.size(); ++p) {
    for (const auto& [u, v] : members[p]) {
      const auto [n, m] = meshUses[u];
      const SourceMesh& mesh = scene.meshes[m];
      const Vec position = rest[n].apply(mesh.positions[v]);
      if (!finite(position)) {
        *error = "mesh \"" + mesh.name + "\" has a vertex that is not a number (" +
                 std::to_string(v) + ")";
        return false;
      }
      const kvgen::Vec3 stored = toFile(position);
      if (!finite({stored.x, stored.y, stored.z})) {
        *error = "mesh \"" + mesh.name + "\" has a vertex beyond the kit's float range (" +
                 std::to_string(v) + "); try a smaller --scale";
        return false;
      }
      objectIndex[u][v] = static_cast<uint32_t>(object.vertices.size());
      object.vertices.push_back(toFile(position));
      normals.push_back(v < mesh.normals.size() && finite(mesh.normals[v])
                            ? normalised(rest[n].rotate(mesh.normals[v]))
                            : Vec{0, 1, 0});
      vertexColour.push_back(v < mesh.colours.size() ? mesh.colours[v]
                                                     : std::array<double, 3>{1, 1, 1});
      if (!pivots.empty()) pivots[p].vertices.push_back(objectIndex[u][v]);
    }
  }

  // Pivots beyond a 16-bit bound count continue in siblings that follow the
  // same node; their tracks repeat its track.
  if (!pivots.empty()) {
    std::vector<PivotEntry> split;
    std::vector<int> first(pivots.size());
    for (size_t p = 0; p < pivots.size(); ++p) {
      first[p] = static_cast<int>(split.size());
      const std::vector<uint32_t>& all = pivots[p].vertices;
      const int parent = pivots[p].parent >= 0 ? first[static_cast<size_t>(pivots[p].parent)] : -1;
      size_t at = 0;
      do {
        const size_t n = std::min(kMaxBoundVertices, all.size() - at);
        split.push_back(
            {pivots[p].node, parent, {all.begin() + long(at), all.begin() + long(at + n)}});
        at += n;
      } while (at < all.size());
    }
    pivots = std::move(split);
    if (pivots.size() > kMaxPivots) {
      *error = "the model needs " + std::to_string(pivots.size()) +
               " pivots; a KVO holds at most " + std::to_string(kMaxPivots) +
               " (16-bit parent indices)";
      return false;
    }
    for (const PivotEntry& p : pivots) {
      const Vec point = rest[static_cast<size_t>(p.node)].translation();
      object.pivots.push_back(
          {toFile(point), static_cast<int16_t>(p.parent), static_cast<int16_t>(p.vertices.size())});
      out->pivotNode.push_back(p.node);
      out->restPivotPoints.push_back(toFile(point));
    }
  }

  // Faces by material, split into the kit's triangles and quads, with the
  // colours precalculated shading would bake for them.
  std::vector<std::vector<kvgen::FaceRec>> facesOf(scene.materials.size());
  std::vector<std::vector<std::array<uint8_t, 12>>> coloursOf(scene.materials.size());
  size_t dropped = 0;
  const Vec light = normalised({-0.4, 0.8, -0.45});  // above, in front, to the left
  for (size_t u = 0; u < meshUses.size(); ++u) {
    const SourceMesh& mesh = scene.meshes[meshUses[u].second];
    const size_t material = std::min<size_t>(static_cast<size_t>(std::max(mesh.material, 0)),
                                             scene.materials.size() - 1);
    const SourceMaterial& look = scene.materials[material];
    const bool textured = !look.texture.empty();
    for (const std::vector<uint32_t>& polygon : mesh.faces) {
      std::vector<Vec> corners;
      for (uint32_t i : polygon) {
        if (i >= mesh.positions.size()) break;
        const kvgen::Vec3& q = object.vertices[objectIndex[u][i]];
        corners.push_back({q.x, q.y, q.z});
      }
      if (corners.size() != polygon.size()) {
        ++dropped;
        continue;
      }
      std::vector<std::vector<size_t>> pieces;
      if (polygon.size() == 3 || (polygon.size() == 4 && planarConvexQuad(corners))) {
        pieces.push_back(polygon.size() == 3 ? std::vector<size_t>{0, 1, 2}
                                             : std::vector<size_t>{0, 1, 2, 3});
      } else {
        for (const auto& t : earClip(corners)) pieces.push_back({t[0], t[1], t[2]});
      }
      for (const std::vector<size_t>& piece : pieces) {
        std::vector<Vec> p;
        for (size_t k : piece) p.push_back(corners[k]);
        const Vec newell = polygonNormal(p);
        if (!(length(newell) > 1e-12)) {  // no area (or not a number): nothing to draw
          ++dropped;
          continue;
        }
        // The kit's front faces wind clockwise about their outward normal.
        const Vec outward = normalised({-newell.x, -newell.y, -newell.z});
        kvgen::FaceRec face{};
        std::array<uint8_t, 12> colour{};
        face.cornerCount = static_cast<int>(piece.size());
        for (size_t k = 0; k < piece.size(); ++k) {
          const uint32_t corner = polygon[piece[k]];
          const uint32_t vertex = objectIndex[u][corner];
          face.vertex[k] = static_cast<uint16_t>(vertex);
          if (corner < mesh.uvs.size()) {
            face.u[k] = static_cast<float>(mesh.uvs[corner][0] * 256.0);
            face.v[k] = static_cast<float>(mesh.uvs[corner][1] * 256.0);
          }
          const Vec n = options.shading == kPrecalculatedFlat ? outward : normals[vertex];
          const double lit = 0.35 + 0.65 * std::max(0.0, dot(n, light));
          // A texture carries the colour; the baked light modulates it.
          for (size_t c = 0; c < 3; ++c)
            colour[c * 4 + k] =
                byteOf((textured ? 1.0 : look.colour[c]) * vertexColour[vertex][c] * lit);
        }
        facesOf[material].push_back(face);
        coloursOf[material].push_back(colour);
      }
    }
  }
  if (dropped > 0 && options.strict) {
    *error = std::to_string(dropped) + " degenerate faces (no area, or corners past the mesh)";
    return false;
  }
  if (dropped > 0)
    out->warnings.push_back(std::to_string(dropped) + " degenerate faces (no area) dropped");

  // Materials: one per source material that has faces; each texture file once.
  const bool realtime = options.shading == kRealtimeGouraud || options.shading == kRealtimeFlat;
  const bool precalculated =
      options.shading == kPrecalculatedGouraud || options.shading == kPrecalculatedFlat;
  std::map<std::string, int16_t> imageOf;
  // Makes a picture only for a key not seen before; -1 when it cannot.
  const auto addImage = [&](const std::string& key, const auto& make) -> int16_t {
    if (auto found = imageOf.find(key); found != imageOf.end()) return found->second;
    kvgen::Image image;
    if (!make(&image)) return -1;
    const std::string name =
        options.imageStem + "_" + std::to_string(out->images.size()) + "." + options.imageExtension;
    out->images.emplace_back(name, image);
    object.images.push_back(name);
    return imageOf[key] = static_cast<int16_t>(out->images.size() - 1);
  };
  for (size_t m = 0; m < scene.materials.size(); ++m) {
    if (facesOf[m].empty()) continue;
    const SourceMaterial& look = scene.materials[m];
    kvgen::MaterialRec material{};
    for (size_t c = 0; c < 4; ++c) material.colour[c] = byteOf(look.colour[c]);
    material.image = -1;
    material.renderFlags = kZBuffer;
    if (!look.texture.empty()) {
      std::string why;
      material.image =
          addImage("texture:" + look.texturePath + "|" + look.texture, [&](kvgen::Image* picture) {
            return makeTexture(look, options.maxTextureSide, picture, &why);
          });
      if (material.image < 0) {
        *error = "material \"" + look.name + "\": " + why;
        return false;
      }
    } else if (!precalculated) {
      // The kit's realtime light never reads a material's colour, and a face
      // without a texture would draw with the one last set: carry the colour
      // in a texture of its own.
      char key[64];
      std::snprintf(key, sizeof key, "solid:%d,%d,%d", material.colour[0], material.colour[1],
                    material.colour[2]);
      material.image = addImage(key, [&](kvgen::Image* picture) {
        *picture = solidTexture(look.colour);
        return true;
      });
    }
    if (material.image >= 0) material.renderFlags |= kTexture | kPerspective | kFilter;
    if (realtime || precalculated) material.renderFlags |= kColour;
    if (material.colour[3] < 255) material.renderFlags |= kAlpha;
    material.faceCount = static_cast<int32_t>(facesOf[m].size());
    object.materials.push_back(material);
    object.faces.insert(object.faces.end(), facesOf[m].begin(), facesOf[m].end());
    for (const auto& c : coloursOf[m]) {
      if (options.shading == kPrecalculatedGouraud) {
        object.cornerColours.insert(object.cornerColours.end(), c.begin(), c.end());
      } else if (options.shading == kPrecalculatedFlat) {
        object.cornerColours.insert(object.cornerColours.end(), {c[0], c[4], c[8], 0});
      }
    }
  }
  if (object.images.size() > kMaxImages) {
    *error = "the model needs " + std::to_string(object.images.size()) +
             " textures; a KVO names at most " + std::to_string(kMaxImages);
    return false;
  }
  if (options.shading == kRealtimeGouraud)
    for (const Vec& n : normals) object.vertexNormals.push_back(toFile(n));
  if (options.shading == kRealtimeFlat)
    for (const kvgen::FaceRec& f : object.faces) {
      const kvgen::Vec3 &a = object.vertices[f.vertex[0]], &b = object.vertices[f.vertex[1]],
                        &c = object.vertices[f.vertex[2]];
      const Vec n =
          cross(sub({b.x, b.y, b.z}, {a.x, a.y, a.z}), sub({c.x, c.y, c.z}, {a.x, a.y, a.z}));
      object.faceNormals.push_back(toFile(normalised({-n.x, -n.y, -n.z})));
    }
  return true;
}

}  // namespace kvconv
