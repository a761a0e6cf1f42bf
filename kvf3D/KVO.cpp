// KVO objects: a header, image names, materials, vertices, faces, pivots and
// shading data, loaded into one Model block. Every count, length and index of
// the file is checked before it is used; a bad file is refused with one line
// naming the file and the reason, and leaves nothing behind.
#include <algorithm>
#include <cstring>

#include "kvSys/Memory.h"
#include "kvf3D/Math.h"
#include "kvf3D/Reader.h"
#include "kvf3D/State.h"

Surface* kvImageTable[KV_IMAGE_TABLE_SIZE] = {};

namespace {

constexpr int32_t kVersion = 0x10;
constexpr int64_t kHeaderBytes = 28;
constexpr int64_t kNameBytes = 128;
constexpr int64_t kMaterialBytes = 12;
constexpr int64_t kFaceBytes = 44;
constexpr int64_t kPivotBytes = 16;
constexpr int kPathBufferSize = 256;

static_assert(sizeof(KVOHeader) == kHeaderBytes && sizeof(Face) == kFaceBytes);

// The image folder and name of the object being loaded.
char kvImagePath[kPathBufferSize];

int64_t shadingBytes(const KVOHeader& h) {
  switch (h.shading) {
    case KV_SHADING_GOURAUD:
      return 12 * int64_t{h.vertexCount};
    case KV_SHADING_FLAT:
    case KV_SHADING_CORNER_COLOURS:
      return 12 * int64_t{h.faceCount};
    case KV_SHADING_FACE_COLOURS:
      return 4 * int64_t{h.faceCount};
    default:
      return 0;
  }
}

// Where each array sits in the block, and the block's size.
struct Layout {
  int64_t vertices, faces, materials, pivots, shading, total;
};

Layout layoutOf(const KVOHeader& h) {
  Layout l{};
  l.vertices = kv3d::alignUp(sizeof(Model));
  l.faces = kv3d::alignUp(l.vertices + int64_t{h.vertexCount} * sizeof(Vector));
  l.materials = kv3d::alignUp(l.faces + int64_t{h.faceCount} * sizeof(Face));
  l.pivots = kv3d::alignUp(l.materials + int64_t{h.materialCount} * sizeof(Material));
  l.shading = kv3d::alignUp(l.pivots + int64_t{h.pivotCount} * sizeof(Pivot));
  l.total = l.shading + shadingBytes(h);
  return l;
}

// Object paths come from both worlds: "obj\\can.kvo" as stored files name them,
// "obj/can.kvo" as this system's own paths do.
bool isSeparator(char c) { return c == '\\' || c == '/'; }

// The folder part of path (separator included) into the path buffer; returns its length.
size_t setImageFolder(const char* path) {
  size_t length = std::strlen(path);
  while (length > 0 && !isSeparator(path[length - 1])) --length;
  // A separator only at index 0 does not make a folder.
  if (length <= 1 || length >= kPathBufferSize) length = 0;
  std::memcpy(kvImagePath, path, length);
  kvImagePath[length] = '\0';
  return length;
}

// A name from the root ("/etc/..", or "\\x" in the stored files' own form)
// would let an object read any file on the machine; relative names, ".."
// included, stay where the object's author put them.
bool isAbsolute(const char* name) { return isSeparator(name[0]); }

using ImageLoader = Surface* (*)(const char* path);

// The image loader for a name, chosen by its last letter; none for other endings.
ImageLoader loaderFor(const char* name) {
  const size_t length = std::strlen(name);
  switch (length > 0 ? name[length - 1] : '\0') {
    case 'x':
    case 'X':
      return kvLoadPcx;
    case 'p':
    case 'P':
      return kvLoadBmpVFlip;  // keeps the rows in file order
    case 'f':
    case 'F':
      return kvLoadGif;
    default:
      return nullptr;
  }
}

class KVOLoader {
 public:
  explicit KVOLoader(const char* path) : path_(path), file_(path) {}
  ~KVOLoader() { kvFreeRecord(model_); }

  Model* load();

 private:
  bool checkHeader();
  bool readImageNames(bool load);
  bool readMaterials();
  bool readGeometry();
  bool readPivots();
  bool checkPivotTree();
  void takeTextures();

  const char* path_;
  kv3d::FileReader file_;
  int64_t fileSize_ = 0;
  KVOHeader header_{};
  Model* model_ = nullptr;
};

Model* KVOLoader::load() {
  if (!file_.isOpen()) {
    kvDebugPrint("kv3dLoadKVO: (%s) 를 열수 없습니다.\n", path_);
    return nullptr;
  }
  fileSize_ = file_.remaining();
  if (!file_.readValue(&header_)) {
    kvDebugPrint("kv3dLoadKVO: shorter than its 28-byte header; refused (%s)\n", path_);
    return nullptr;
  }
  if (header_.version != kVersion) {
    kvDebugPrint("kv3dLoadKVO: 'version 1.0' 이 아닙니다.(%s)\n", path_);
    return nullptr;
  }
  if (!checkHeader()) return nullptr;

  const Layout layout = layoutOf(header_);
  // A block beyond the pool's 32-bit sizes is refused like an exhausted pool.
  model_ = static_cast<Model*>(kvAllocRecord(layout.total));
  if (model_ == nullptr) {
    kvDebugPrint("kv3dLoadKVO: Memory allocation error (%dbyte)\n",
                 static_cast<int>(std::min<int64_t>(layout.total, INT32_MAX)));
    return nullptr;
  }
  auto* block = reinterpret_cast<uint8_t*>(model_);
  std::memset(block, 0, static_cast<size_t>(layout.total));
  model_->vertexCount = header_.vertexCount;
  model_->vertices = reinterpret_cast<Vector*>(block + layout.vertices);
  model_->faceCount = header_.faceCount;
  model_->faces = reinterpret_cast<Face*>(block + layout.faces);
  model_->materialCount = header_.materialCount;
  model_->materials = reinterpret_cast<Material*>(block + layout.materials);
  model_->pivotCount = static_cast<uint32_t>(header_.pivotCount);
  model_->pivots =
      header_.pivotCount > 0 ? reinterpret_cast<Pivot*>(block + layout.pivots) : nullptr;
  uint8_t* shading = block + layout.shading;
  switch (header_.shading) {
    case KV_SHADING_GOURAUD:
      model_->vertexNormals = reinterpret_cast<Vector*>(shading);
      break;
    case KV_SHADING_FLAT:
      model_->faceNormals = reinterpret_cast<Vector*>(shading);
      break;
    case KV_SHADING_CORNER_COLOURS:
      model_->cornerColours = shading;
      break;
    case KV_SHADING_FACE_COLOURS:
      model_->faceColours = shading;
      break;
    default:
      break;
  }

  // Everything is read and checked first; only a sound file may touch the
  // image table.
  if (!readImageNames(false) || !readMaterials() || !readGeometry() || !readPivots() ||
      !file_.read(shading, shadingBytes(header_)))
    return nullptr;
  if (!file_.seek(kHeaderBytes, fileSize_) || !readImageNames(true)) return nullptr;
  takeTextures();

  if (header_.pivotCount > 0) {
    kvDebugPrint("Pivot: %d\n", header_.pivotCount);
    model_->shading = header_.shading + KV_SHADING_PIVOTS;
    kv3dSetMotionFrame(model_->pivots, model_->pivotCount, nullptr, 0.0f);
  } else {
    model_->shading = header_.shading;
  }
  Model* loaded = model_;
  model_ = nullptr;
  return loaded;
}

bool KVOLoader::checkHeader() {
  const KVOHeader& h = header_;
  if (h.imageCount < 0 || h.materialCount < 0 || h.vertexCount < 0 || h.faceCount < 0 ||
      h.pivotCount < 0) {
    kvDebugPrint("kv3dLoadKVO: negative count in the header; refused (%s)\n", path_);
    return false;
  }
  if (h.shading < KV_SHADING_NONE || h.shading > KV_SHADING_FACE_COLOURS) {
    kvDebugPrint("kv3dLoadKVO: unknown shading mode %d; refused (%s)\n", h.shading, path_);
    return false;
  }
  if (h.imageCount > KV_IMAGE_TABLE_SIZE) {
    kvDebugPrint("kv3dLoadKVO: %d images, the image table holds %d; refused (%s)\n", h.imageCount,
                 KV_IMAGE_TABLE_SIZE, path_);
    return false;
  }
  const int64_t needed = kHeaderBytes + kNameBytes * h.imageCount +
                         kMaterialBytes * h.materialCount + 12 * int64_t{h.vertexCount} +
                         kFaceBytes * h.faceCount + kPivotBytes * h.pivotCount + shadingBytes(h);
  if (needed > fileSize_) {
    kvDebugPrint(
        "kv3dLoadKVO: truncated, its counts need %lld bytes but it has %lld; refused (%s)\n",
        static_cast<long long>(needed), static_cast<long long>(fileSize_), path_);
    return false;
  }
  return true;
}

// Checks every name against the path buffer, and with load set fills the image table.
bool KVOLoader::readImageNames(bool load) {
  const size_t folder = setImageFolder(path_);
  for (int32_t j = 0; j < header_.imageCount; ++j) {
    char name[kNameBytes];
    if (!file_.read(name, kNameBytes)) {
      kvDebugPrint("kv3dLoadKVO: truncated in image name %d; refused (%s)\n", j, path_);
      return false;
    }
    const size_t length = strnlen(name, kNameBytes);
    if (folder + length >= kPathBufferSize) {
      kvDebugPrint("kv3dLoadKVO: image name %d does not fit the %d-byte path; refused (%s)\n", j,
                   kPathBufferSize, path_);
      return false;
    }
    std::memcpy(kvImagePath + folder, name, length);
    kvImagePath[folder + length] = '\0';
    if (!load) continue;
    // Refused like a missing file: the slot is emptied and the object still loads.
    if (isAbsolute(name)) {
      kvDebugPrint(
          "kv3dLoadKVO: image name %d (%s) is absolute; only names relative to the "
          "object are read (%s)\n",
          j, kvImagePath + folder, path_);
      kvImageTable[j] = nullptr;
      continue;
    }
    // Other endings load nothing and leave the slot as an earlier load left it.
    if (const ImageLoader loader = loaderFor(kvImagePath); loader != nullptr)
      kvImageTable[j] = loader(kvImagePath);
  }
  return true;
}

bool KVOLoader::readMaterials() {
  int64_t faces = 0;
  for (int32_t i = 0; i < header_.materialCount; ++i) {
    uint8_t colour[4];
    int16_t image;
    uint16_t flags;
    int32_t faceCount;
    if (!file_.read(colour, 4) || !file_.readValue(&image) || !file_.readValue(&flags) ||
        !file_.readValue(&faceCount)) {
      kvDebugPrint("kv3dLoadKVO: truncated in material %d; refused (%s)\n", i, path_);
      return false;
    }
    if (image >= header_.imageCount) {
      kvDebugPrint("kv3dLoadKVO: material %d uses image %d of %d; refused (%s)\n", i, image,
                   header_.imageCount, path_);
      return false;
    }
    if (faceCount < 0) {
      kvDebugPrint("kv3dLoadKVO: material %d has %d faces; refused (%s)\n", i, faceCount, path_);
      return false;
    }
    faces += faceCount;
    Material& material = model_->materials[i];
    for (int k = 0; k < 4; ++k) material.colour[k] = static_cast<float>(colour[k]);
    material.renderFlags = flags;
    material.faceCount = faceCount;
  }
  if (faces != header_.faceCount) {
    kvDebugPrint("kv3dLoadKVO: the materials cover %lld faces, the file has %d; refused (%s)\n",
                 static_cast<long long>(faces), header_.faceCount, path_);
    return false;
  }
  return true;
}

bool KVOLoader::readGeometry() {
  if (!file_.read(model_->vertices, 12 * int64_t{header_.vertexCount}) ||
      !file_.read(model_->faces, kFaceBytes * header_.faceCount)) {
    kvDebugPrint("kv3dLoadKVO: truncated in the vertices or faces; refused (%s)\n", path_);
    return false;
  }
  for (int32_t f = 0; f < header_.faceCount; ++f) {
    const Face& face = model_->faces[f];
    if (face.cornerCount != 3 && face.cornerCount != 4) {
      kvDebugPrint("kv3dLoadKVO: face %d has %d corners; refused (%s)\n", f, face.cornerCount,
                   path_);
      return false;
    }
    for (int32_t k = 0; k < face.cornerCount; ++k) {
      if (face.vertexIndex[k] >= header_.vertexCount) {
        kvDebugPrint("kv3dLoadKVO: face %d uses vertex %d of %d; refused (%s)\n", f,
                     face.vertexIndex[k], header_.vertexCount, path_);
        return false;
      }
    }
  }
  return true;
}

bool KVOLoader::readPivots() {
  int64_t bound = 0;
  for (int32_t i = 0; i < header_.pivotCount; ++i) {
    Pivot& pivot = model_->pivots[i];
    int16_t parent, count;
    if (!file_.readValue(&pivot.pivotPoint) || !file_.readValue(&parent) ||
        !file_.readValue(&count)) {
      kvDebugPrint("kv3dLoadKVO: truncated in pivot %d; refused (%s)\n", i, path_);
      return false;
    }
    if (parent >= header_.pivotCount || parent == i) {
      kvDebugPrint("kv3dLoadKVO: pivot %d has parent %d of %d; refused (%s)\n", i, parent,
                   header_.pivotCount, path_);
      return false;
    }
    if (count < 0) {
      kvDebugPrint("kv3dLoadKVO: pivot %d binds %d vertices; refused (%s)\n", i, count, path_);
      return false;
    }
    pivot.parent = parent < 0 ? nullptr : &model_->pivots[parent];
    pivot.boundVertexCount = count;
    bound += count;
  }
  if (header_.pivotCount > 0 && bound != header_.vertexCount) {
    kvDebugPrint("kv3dLoadKVO: the pivots bind %lld vertices, the file has %d; refused (%s)\n",
                 static_cast<long long>(bound), header_.vertexCount, path_);
    return false;
  }
  return checkPivotTree();
}

// The renderer walks parents recursively, so a cycle must never load. Each
// chain is followed once, marking pivots in `evaluated` (1 on the current
// chain, 2 known good), which is cleared again afterwards.
bool KVOLoader::checkPivotTree() {
  Pivot* pivots = model_->pivots;
  bool sound = true;
  for (int32_t i = 0; i < header_.pivotCount && sound; ++i) {
    Pivot* walk = &pivots[i];
    while (walk != nullptr && walk->evaluated == 0) {
      walk->evaluated = 1;
      walk = walk->parent;
    }
    if (walk != nullptr && walk->evaluated == 1) {
      kvDebugPrint("kv3dLoadKVO: the parents of pivot %d form a cycle; refused (%s)\n", i, path_);
      sound = false;
    }
    for (Pivot* mark = &pivots[i]; mark != nullptr && mark->evaluated == 1; mark = mark->parent)
      mark->evaluated = 2;
  }
  for (int32_t i = 0; i < header_.pivotCount; ++i) pivots[i].evaluated = 0;
  return sound;
}

void KVOLoader::takeTextures() {
  for (int32_t i = 0; i < header_.materialCount; ++i) {
    uint8_t raw[kMaterialBytes];
    int16_t image = -1;
    // The material section was read once already; a failure here would be a
    // file changed under us, and leaves the material untextured.
    if (file_.read(raw, kMaterialBytes)) std::memcpy(&image, raw + 4, sizeof image);
    model_->materials[i].texture = image < 0 ? nullptr : kvImageTable[image];
  }
}

}  // namespace

Model* kv3dLoadKVO(const char* path) { return KVOLoader(path).load(); }

void kv3dFreeKVO(Model* model) { kvFreeRecord(model); }

void kv3dPrintKVOHeader(const KVOHeader* header) {
  static const char* const kShadingNames[] = {
      "no shading\n", "realtime groud shading\n", "realtime flat shading\n",
      "precalculated color goroud shading\n", "precalculated color flat shading\n"};
  kvDebugPrint("version: %d.%d\n", header->version / 16, header->version % 16);
  kvDebugPrint("%d images\n", header->imageCount);
  kvDebugPrint("%d materials\n", header->materialCount);
  kvDebugPrint("%d vertices\n", header->vertexCount);
  kvDebugPrint("%d faces\n", header->faceCount);
  kvDebugPrint("%d pivots\n", header->pivotCount);
  if (header->shading >= 0 && header->shading <= 4)
    kvDebugPrint("%s", kShadingNames[header->shading]);
}

void kv3dResetObjectState() {
  for (Surface*& image : kvImageTable) image = nullptr;
  std::memset(kvImagePath, 0, sizeof kvImagePath);
}
