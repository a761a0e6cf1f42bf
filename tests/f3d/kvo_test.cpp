#include "f3d_test.h"
#include "tests/image/image_files.h"

namespace {

// A small valid object; tests change one part and write it out.
struct KvoFile {
  // clang-format off
  struct Mat { std::array<uint8_t, 4> colour; int16_t image; uint16_t flags; int32_t faces; };
  struct F { int32_t corners; std::array<uint16_t, 4> index; };
  struct P { Vector point; int16_t parent, bound; };
  // clang-format on
  int32_t version = 16, shading = 1;
  int64_t shadingBytes = -1;  // -1: what the mode needs
  std::vector<std::string> images = {"label.tga"};
  std::vector<Mat> materials = {{{1, 2, 3, 200}, 0, 0x101, 1}, {{9, 8, 7, 6}, -1, 0, 1}};
  std::vector<Vector> vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  std::vector<F> faces = {{3, {0, 1, 2, 0}}, {4, {0, 1, 2, 3}}};
  std::vector<P> pivots;

  std::string save(const std::string& path = "object.kvo", size_t limit = SIZE_MAX) const {
    FileBytes b;
    b.i32(version);
    for (size_t n : {images.size(), materials.size(), vertices.size(), faces.size(), pivots.size()})
      b.i32(int32_t(n));
    b.i32(shading);
    for (std::string name : images) {
      name.resize(128, '\0');
      b.bytes.insert(b.bytes.end(), name.begin(), name.end());
    }
    for (const auto& m : materials) b.put(m.colour).put(m.image).put(m.flags).put(m.faces);
    for (const auto& v : vertices) b.vec(v);
    for (size_t f = 0; f < faces.size(); ++f) {
      b.put(faces[f].corners).put(faces[f].index);
      for (int k = 0; k < 8; ++k) b.put(float(f * 100 + k));
    }
    for (const auto& p : pivots) b.vec(p.point).put(p.parent).put(p.bound);
    const int64_t v = int64_t(vertices.size()), f = int64_t(faces.size());
    const int64_t extra = shadingBytes >= 0              ? shadingBytes
                          : shading == 1                 ? 12 * v
                          : shading == 2 || shading == 3 ? 12 * f
                          : shading == 4                 ? 4 * f
                                                         : 0;
    for (int64_t i = 0; i < extra; ++i) b.put(uint8_t(i));
    return b.save(path, limit);
  }
};

class KvoTest : public F3dTest {};

TEST_F(KvoTest, LoadsEveryPartOfAnObject) {
  Model* m = kv3dLoadKVO(KvoFile().save().c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(std::tuple(m->vertices[2], m->faces[1].vertexIndex[3], m->faces[1].v[3]),
            std::tuple(Vector{1, 1, 0}, 3, 107.0f));
  ASSERT_EQ(m->materialCount, 2);
  const Material* mats = m->materials;
  EXPECT_EQ(std::tuple(mats[0].colour[3], mats[0].renderFlags, mats[1].faceCount),
            std::tuple(200.0f, 0x101u, 1));
  EXPECT_EQ(std::tuple(m->pivots, m->shading, m->faceNormals), std::tuple(nullptr, 1, nullptr));
  EXPECT_EQ(reinterpret_cast<uint8_t*>(m->vertexNormals)[47], 47);  // the last normal byte
  EXPECT_EQ(uintptr_t(m) % alignof(Model) + uintptr_t(mats) % alignof(Material), 0u);
  kv3dFreeKVO(m);
  kv3dFreeKVO(nullptr);
  EXPECT_TRUE(poolIsWhole());
}

TEST_F(KvoTest, PivotsAddFiveToShadingAndStartAtRest) {
  KvoFile object;
  object.shading = 4;
  // The child comes before its parent in the array.
  object.pivots = {{{1, 2, 3}, 1, 3}, {{4, 5, 6}, -1, 1}};
  Model* m = kv3dLoadKVO(object.save().c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->shading, 9);
  EXPECT_TRUE(logged("Pivot: 2\n"));
  ASSERT_EQ(m->pivotCount, 2u);
  const Pivot& child = m->pivots[0];
  EXPECT_EQ(std::tuple(child.parent, m->pivots[1].parent), std::tuple(&m->pivots[1], nullptr));
  EXPECT_EQ(std::tuple(child.pivotPoint, child.boundVertexCount, child.evaluated, child.angles[2]),
            std::tuple(Vector{1, 2, 3}, 3, 0, 0));
  EXPECT_EQ(std::tuple(child.scale, child.position), std::tuple(Vector{1, 1, 1}, Vector{}));
  ASSERT_NE(m->faceColours, nullptr);
  EXPECT_EQ(m->faceColours[7], 7);  // 4 bytes a face, exactly
  EXPECT_EQ(uintptr_t(m->pivots) % alignof(Pivot), 0u);
  kv3dFreeKVO(m);
  EXPECT_TRUE(poolIsWhole());
}

TEST_F(KvoTest, ImagesGoToTheTableByTheirLastLetter) {
  // None of the named files exists, so every loader called answers none: a slot
  // that was loaded reads none and a slot that was skipped keeps what it held.
  auto* marker = reinterpret_cast<Surface*>(uintptr_t{0x1000});
  KvoFile object;
  object.images = {"a.tga", "b.bmp", "c.PCX", "d.gif", "e.GIF", "plain"};
  object.materials = {{{0, 0, 0, 255}, 0, 0, 1}, {{0, 0, 0, 255}, 1, 0, 1}};
  for (auto& slot : kvImageTable) slot = marker;
  Model* m = kv3dLoadKVO(object.save().c_str());
  ASSERT_NE(m, nullptr);
  const Surface* want[] = {marker, nullptr, nullptr, nullptr, nullptr, marker, marker};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(kvImageTable[i], want[i]) << i;  // 6: beyond the file's
  EXPECT_EQ(std::tuple(m->materials[0].texture, m->materials[1].texture),
            std::tuple(marker, nullptr));
  kv3dFreeKVO(m);
  for (auto& slot : kvImageTable) slot = nullptr;
}

TEST_F(KvoTest, RefusesEachBrokenPart) {
  EXPECT_TRUE(
      refused(kv3dLoadKVO("missing.kvo"), "kv3dLoadKVO: (missing.kvo) 를 열수 없습니다.\n"));
  // clang-format off
  const struct { void (*change)(KvoFile&); const char* reason; } cases[] = {
      {[](KvoFile& s) { s.shading = 4, s.shadingBytes = 7; }, "truncated, its counts need 324 bytes but it has 323"},
      {[](KvoFile& s) { s.shading = 7; }, "unknown shading mode 7"},
      {[](KvoFile& s) { s.images.assign(257, "x.bmp"); }, "257 images, the image table holds 256"},
      {[](KvoFile& s) { s.faces[0].corners = 5; }, "face 0 has 5 corners"},
      {[](KvoFile& s) { s.faces[1].index[3] = 4; }, "face 1 uses vertex 4 of 4"},
      {[](KvoFile& s) { s.materials[1].image = 1; }, "material 1 uses image 1 of 1"},
      {[](KvoFile& s) { s.materials[1].faces = 2; }, "the materials cover 3 faces, the file has 2"},
      {[](KvoFile& s) { s.materials[0].faces = -1, s.materials[1].faces = 3; }, "material 0 has -1 faces"},
      {[](KvoFile& s) { s.pivots = {{{}, -1, 2}, {{}, 2, 2}}; }, "pivot 1 has parent 2 of 2"},
      {[](KvoFile& s) { s.pivots = {{{}, 0, 4}}; }, "pivot 0 has parent 0 of 1"},
      {[](KvoFile& s) { s.pivots = {{{}, -1, 1}, {{}, 2, 1}, {{}, 3, 1}, {{}, 1, 1}}; }, "the parents of pivot 1 form a cycle"},
      {[](KvoFile& s) { s.pivots = {{{}, -1, 2}, {{}, 0, 1}}; }, "the pivots bind 3 vertices, the file has 4"},
      {[](KvoFile& s) { s.pivots = {{{}, -1, 5}, {{}, 0, -1}}; }, "pivot 1 binds -1 vertices"},
  };
  // clang-format on
  for (const auto& c : cases) {
    KvoFile object;
    c.change(object);
    EXPECT_TRUE(refused(kv3dLoadKVO(object.save().c_str()),
                        "kv3dLoadKVO: " + std::string(c.reason) + "; refused (object.kvo)\n"));
  }
  KvoFile version, longName;
  version.version = 0x11;
  EXPECT_TRUE(refused(kv3dLoadKVO(version.save().c_str()),
                      "kv3dLoadKVO: 'version 1.0' 이 아닙니다.(object.kvo)\n"));
  FileBytes negative;
  for (int32_t v : {16, 0, 0, -1, 0, 0, 0}) negative.i32(v);
  EXPECT_TRUE(refused(kv3dLoadKVO(negative.save("object.kvo").c_str()),
                      "kv3dLoadKVO: negative count in the header; refused (object.kvo)\n"));
  EXPECT_TRUE(refused(kv3dLoadKVO(KvoFile().save("object.kvo", 27).c_str()),
                      "shorter than its 28-byte header"));
  longName.images = {std::string(60, 'n') + ".bmp"};  // beyond the 256-byte path with the folder
  EXPECT_TRUE(refused(kv3dLoadKVO(longName.save(std::string(200, 'd') + "\\o.kvo").c_str()),
                      "image name 0 does not fit the 256-byte path"));

  // Counts the file can hold but the pool cannot: the kit's allocation message.
  useFreshPool(64);
  KvoFile big;
  big.vertices.assign(6000, Vector{0, 0, 0});
  EXPECT_TRUE(refused(kv3dLoadKVO(big.save().c_str()), "kv3dLoadKVO: Memory allocation error ("));
}

TEST_F(KvoTest, AcceptsWhatIsSoundAtTheLimits) {
  KvoFile unusedCorner, fullName, chain;
  unusedCorner.faces[0].index[3] = 999;         // the fourth index of a triangle is never read
  fullName.images = {std::string(128, 'z')};    // fills its field, no terminator
  chain.vertices.assign(100, Vector{0, 0, 0});  // a deep hierarchy, children after parents
  for (int16_t i = 0; i < 100; ++i) chain.pivots.push_back({{0, 0, 0}, int16_t(i - 1), 1});
  for (const KvoFile* object : {&unusedCorner, &fullName, &chain}) {
    Model* m = kv3dLoadKVO(object->save().c_str());
    EXPECT_NE(m, nullptr) << kv::headless::debugCapture();
    kv3dFreeKVO(m);
  }
  EXPECT_TRUE(poolIsWhole());
}

// Images sit beside their object, whichever separator its path uses; a name
// from the root is not read at all, so an object cannot reach the machine's
// other files, and the object still loads, that material untextured.
TEST_F(KvoTest, ImagesAreReadBesideTheObjectAndNeverFromTheRoot) {
  const FileBytes picture{imagefiles::makePcx({}, imagefiles::Bytes(64, 5))};
  std::filesystem::create_directories("d1");
  const std::string absolute = std::filesystem::absolute(picture.save("d1/label.pcx")).string();
  picture.save("d1\\label.pcx");  // the stored files' separator, one name on this system

  KvoFile object;
  object.images = {"label.pcx", absolute, "\\label.pcx"};
  object.materials = {{{0, 0, 0, 255}, 0, 0, 1}, {{0, 0, 0, 255}, 1, 0, 1}};
  for (const char* path : {"d1/can.kvo", "d1\\can.kvo"}) {
    SCOPED_TRACE(path);
    kv::headless::clearDebugCapture();
    Model* m = kv3dLoadKVO(object.save(path).c_str());
    ASSERT_NE(m, nullptr);
    EXPECT_NE(m->materials[0].texture, nullptr) << kv::headless::debugCapture();
    EXPECT_EQ(std::tuple(m->materials[1].texture, kvImageTable[2]), std::tuple(nullptr, nullptr));
    for (int j : {1, 2}) {
      const std::string name = std::to_string(j) + " (" + object.images[j] + ")";
      EXPECT_TRUE(logged("kv3dLoadKVO: image name " + name +
                         " is absolute; only names relative to the object are read (" + path +
                         ")\n"));
    }
    kv3dFreeKVO(m);
    kvFreeSurfaceGroup(0);
  }
  for (auto& slot : kvImageTable) slot = nullptr;
}

}  // namespace
