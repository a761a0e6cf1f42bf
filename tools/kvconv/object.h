// A source scene as one KVO object: pivots from its node tree, vertices
// grouped by pivot, faces of 3 or 4 corners grouped by material, the shading
// data the chosen mode needs, and the textures its materials name.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "kvconv/import.h"
#include "kvgen/formats.h"

namespace kvconv {

// The kit's shading modes, by the numbers a KVO file stores.
enum Shading : int32_t {
  kNoShading = 0,
  kRealtimeGouraud = 1,
  kRealtimeFlat = 2,
  kPrecalculatedGouraud = 3,
  kPrecalculatedFlat = 4,
};

// The kit's limits a file must keep.
constexpr size_t kMaxVertices = 65535;       // 16-bit vertex indices
constexpr size_t kMaxBoundVertices = 32767;  // a pivot's 16-bit bound count
constexpr size_t kMaxPivots = 32767;         // 16-bit parent indices
constexpr size_t kMaxImages = 256;           // the kit's image table
constexpr size_t kMaxImageName = 127;        // a 128-byte name field and its NUL

struct ObjectOptions {
  int32_t shading = kRealtimeGouraud;
  bool hierarchy = false;  // pivots from the node tree; else one rigid object
  std::string imageStem;   // texture files are named stem_N.ext
  std::string imageExtension = "bmp";
  int maxTextureSide = 256;
  bool strict = false;  // degenerate faces refuse the model instead of being dropped
};

struct Converted {
  kvgen::ObjectRec object;
  std::vector<std::pair<std::string, kvgen::Image>> images;  // file name, picture
  std::vector<int> pivotNode;                                // the source node each pivot follows
  std::vector<kvgen::Vec3> restPivotPoints;
  std::vector<std::string> warnings;
};

// False with a message naming the limit or the fault when the scene cannot
// become a KVO object.
bool buildObject(const SourceScene& scene, const ObjectOptions& options, Converted* out,
                 std::string* error);

// Model-space bounds of the scene's geometry at rest; false when it has none.
bool sceneBounds(const SourceScene& scene, Vec* low, Vec* high);

}  // namespace kvconv
