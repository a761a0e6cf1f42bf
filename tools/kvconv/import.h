// A model file read through assimp into the kit's space, with nothing of
// assimp left in it: nodes, meshes, materials, animations and cameras.
//
// The conversion from the source's space: assimp hands every format over
// right-handed with y up (glTF's own convention; assimp turns the others to
// it), column vectors and counter-clockwise front faces. The kit is
// left-handed (x right, y up, z away from the viewer), uses row vectors and
// keeps faces whose corners run the other way round. Mirroring z,
//   kit (x, y, z) = (x, y, -z) x scale,
// turns one into the other: the mirror itself reverses the winding, so every
// face keeps its corner order, and a model facing +z in its source (glTF's
// "front") faces the kit's default camera, which looks along +z.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "kvconv/pose.h"

namespace kvconv {

struct Quat {
  double w = 1, x = 0, y = 0, z = 0;
};
// The row-vector rotation of a unit quaternion.
Affine rotationOf(const Quat& q);

struct SourceNode {
  std::string name;
  int parent = -1;  // index into the node list; parents come first
  Affine local;     // relative to the parent, kit space
  std::vector<int> meshes;
};

struct SourceMesh {
  std::string name;
  int material = 0;
  std::vector<Vec> positions;                  // mesh space (its node's), kit space
  std::vector<Vec> normals;                    // empty when the source has none
  std::vector<std::array<double, 2>> uvs;      // first channel; v = 0 at the image's top
  std::vector<std::array<double, 3>> colours;  // first vertex colour channel, 0..1
  std::vector<std::vector<uint32_t>> faces;    // polygons of 3 or more corners
  std::vector<int> bone;                       // per vertex: the node of its heaviest bone, or -1
};

struct SourceMaterial {
  std::string name;
  std::array<double, 4> colour{1, 1, 1, 1};  // diffuse red, green, blue, opacity
  std::string texture;                       // as the source names it; empty: none
  std::string texturePath;                   // where it was looked for
  std::vector<uint8_t> textureFile;          // an embedded or found file's bytes
  // An embedded texture the source stores uncompressed: RGBA rows, top first.
  int rawWidth = 0, rawHeight = 0;
  std::vector<uint8_t> rawRgba;
};

template <class T>
struct TimedKey {
  double time;  // seconds
  T value;
};

struct Channel {
  int node = -1;
  std::vector<TimedKey<Vec>> positions;
  std::vector<TimedKey<Quat>> rotations;
  std::vector<TimedKey<Vec>> scales;
};

struct SourceAnimation {
  std::string name;
  double duration = 0;  // seconds
  std::vector<Channel> channels;
};

struct SourceCamera {
  std::string name;
  int node = -1;
  Vec position, lookAt{0, 0, 1}, up{0, 1, 0};  // in the node's space, kit space
};

struct SourceScene {
  std::vector<SourceNode> nodes;
  std::vector<SourceMesh> meshes;
  std::vector<SourceMaterial> materials;
  std::vector<SourceAnimation> animations;
  std::vector<SourceCamera> cameras;
  int skinnedMeshes = 0;
};

// Reads `path`; on failure returns false with assimp's reason in `error`.
bool importScene(const std::string& path, SourceScene* scene, std::string* error);

// Multiplies every length (positions, translations, animated positions) by `factor`.
void scaleScene(SourceScene* scene, double factor);

// A node's local matrix at `seconds` under `animation` (none: its rest pose).
Affine localAt(const SourceScene& scene, const SourceAnimation* animation, int node,
               double seconds);
// Every node's model matrix (local, then its parents') at `seconds`.
std::vector<Affine> globalsAt(const SourceScene& scene, const SourceAnimation* animation,
                              double seconds);

}  // namespace kvconv
