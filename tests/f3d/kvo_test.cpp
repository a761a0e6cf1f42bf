#include "f3d_test.h"

namespace {

// A small valid object; tests change one part and write it out.
struct KvoFile {
  int32_t version = 16;
  std::vector<std::string> images = {"label.tga"};
  struct Mat {
    uint8_t colour[4];
    int16_t image;
    uint16_t flags;
    int32_t faces;
  };
  std::vector<Mat> materials = {{{1, 2, 3, 200}, 0, 0x101, 1}, {{9, 8, 7, 6}, -1, 0, 1}};
  std::vector<Vector> vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  struct F {
    int32_t corners;
    uint16_t index[4];
  };
  std::vector<F> faces = {{3, {0, 1, 2, 0}}, {4, {0, 1, 2, 3}}};
  struct P {
    Vector point;
    int16_t parent, bound;
  };
  std::vector<P> pivots;
  int32_t shading = 1;
  int64_t shadingBytes = -1;  // -1: what the mode needs

  FileBytes bytes() const {
    FileBytes b;
    b.i32(version).i32(int32_t(images.size())).i32(int32_t(materials.size()));
    b.i32(int32_t(vertices.size())).i32(int32_t(faces.size())).i32(int32_t(pivots.size()));
    b.i32(shading);
    for (const auto& name : images) b.name(name, 128);
    for (const auto& m : materials) b.raw(m.colour, 4).i16(m.image).u16(m.flags).i32(m.faces);
    for (const auto& v : vertices) b.vec(v.x, v.y, v.z);
    for (size_t f = 0; f < faces.size(); ++f) {
      b.i32(faces[f].corners);
      for (uint16_t i : faces[f].index) b.u16(i);
      for (int k = 0; k < 8; ++k) b.f32(float(f * 100 + k));
    }
    for (const auto& p : pivots) b.vec(p.point.x, p.point.y, p.point.z).i16(p.parent).i16(p.bound);
    int64_t extra = shadingBytes;
    if (extra < 0) {
      const int64_t v = int64_t(vertices.size()), f = int64_t(faces.size());
      extra = shading == 1                   ? 12 * v
              : shading == 2 || shading == 3 ? 12 * f
              : shading == 4                 ? 4 * f
                                             : 0;
    }
    for (int64_t i = 0; i < extra; ++i) b.u8(uint8_t(i));
    return b;
  }
  std::string save(const std::string& path = "object.kvo", size_t limit = SIZE_MAX) const {
    return bytes().save(path, limit);
  }
};

class KvoTest : public F3dTest {
 protected:
  // Loads a file that must be refused, and checks it logged why and kept nothing.
  void expectRefused(const KvoFile& object, const std::string& reason) {
    kv::headless::clearDebugCapture();
    EXPECT_EQ(kv3dLoadKVO(object.save().c_str()), nullptr);
    EXPECT_NE(log().find("kv3dLoadKVO: " + reason), std::string::npos) << log();
    EXPECT_NE(log().find("; refused (object.kvo)\n"), std::string::npos) << log();
    EXPECT_TRUE(poolIsWhole());
  }
};

TEST_F(KvoTest, LoadsEveryPartOfAnObject) {
  KvoFile object;
  Model* m = kv3dLoadKVO(object.save().c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->vertices[2].y, 1.0f);
  EXPECT_EQ(m->faces[1].vertexIndex[3], 3);
  EXPECT_EQ(m->faces[1].v[3], 107.0f);
  ASSERT_EQ(m->materialCount, 2);
  EXPECT_EQ(m->materials[0].colour[3], 200.0f);
  EXPECT_EQ(m->materials[0].renderFlags, 0x101u);
  EXPECT_EQ(m->materials[1].faceCount, 1);
  EXPECT_EQ(m->pivots, nullptr);
  EXPECT_EQ(m->shading, 1);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(m->vertexNormals)[47], 47);  // the last normal byte
  EXPECT_EQ(m->faceNormals, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(m) % alignof(Model), 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(m->materials) % alignof(Material), 0u);
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
  EXPECT_NE(log().find("Pivot: 2\n"), std::string::npos);
  ASSERT_EQ(m->pivotCount, 2u);
  const Pivot& child = m->pivots[0];
  EXPECT_EQ(child.parent, &m->pivots[1]);
  EXPECT_EQ(m->pivots[1].parent, nullptr);
  EXPECT_EQ(child.pivotPoint.z, 3.0f);
  EXPECT_EQ(child.boundVertexCount, 3);
  EXPECT_EQ(child.evaluated, 0);
  EXPECT_EQ(child.scale.x, 1.0f);
  EXPECT_EQ(child.position.y, 0.0f);
  EXPECT_EQ(child.angles[2], 0);
  ASSERT_NE(m->faceColours, nullptr);
  EXPECT_EQ(m->faceColours[7], 7);  // 4 bytes a face, exactly
  EXPECT_EQ(reinterpret_cast<uintptr_t>(m->pivots) % alignof(Pivot), 0u);
  kv3dFreeKVO(m);
  EXPECT_TRUE(poolIsWhole());
}

TEST_F(KvoTest, ImagesGoToTheTableByTheirLastLetter) {
  // Until the image loaders land every loader answers none, so a slot that was
  // loaded reads none and a slot that was skipped keeps what it held.
  auto* marker = reinterpret_cast<Surface*>(uintptr_t{0x1000});
  KvoFile object;
  object.images = {"a.tga", "b.bmp", "c.PCX", "d.gif", "e.GIF", "plain"};
  object.materials = {{{0, 0, 0, 255}, 0, 0, 1}, {{0, 0, 0, 255}, 1, 0, 1}};
  for (auto& slot : kvImageTable) slot = marker;
  Model* m = kv3dLoadKVO(object.save().c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(kvImageTable[0], marker);
  EXPECT_EQ(kvImageTable[1], nullptr);
  EXPECT_EQ(kvImageTable[2], nullptr);
  EXPECT_EQ(kvImageTable[3], nullptr);
  EXPECT_EQ(kvImageTable[4], nullptr);
  EXPECT_EQ(kvImageTable[5], marker);
  EXPECT_EQ(kvImageTable[6], marker);  // beyond this file's images
  EXPECT_EQ(m->materials[0].texture, marker);
  EXPECT_EQ(m->materials[1].texture, nullptr);
  kv3dFreeKVO(m);
  for (auto& slot : kvImageTable) slot = nullptr;
}

TEST_F(KvoTest, OpenAndVersionFailuresUseTheKitsMessages) {
  EXPECT_EQ(kv3dLoadKVO("missing.kvo"), nullptr);
  EXPECT_NE(log().find("kv3dLoadKVO: (missing.kvo) 를 열수 없습니다.\n"), std::string::npos);
  KvoFile object;
  object.version = 0x11;
  EXPECT_EQ(kv3dLoadKVO(object.save().c_str()), nullptr);
  EXPECT_NE(log().find("kv3dLoadKVO: 'version 1.0' 이 아닙니다.(object.kvo)\n"), std::string::npos);
  EXPECT_TRUE(poolIsWhole());
}

TEST_F(KvoTest, RefusesEachBrokenPart) {
  using Change = void (*)(KvoFile&);
  const struct {
    Change change;
    const char* reason;
  } cases[] = {
      {[](KvoFile& s) { s.shading = 4, s.shadingBytes = 7; },
       "truncated, its counts need 324 bytes but it has 323"},
      {[](KvoFile& s) { s.shading = 7; }, "unknown shading mode 7"},
      {[](KvoFile& s) { s.images.assign(257, "x.bmp"); }, "257 images, the image table holds 256"},
      {[](KvoFile& s) { s.faces[0].corners = 5; }, "face 0 has 5 corners"},
      {[](KvoFile& s) { s.faces[1].index[3] = 4; }, "face 1 uses vertex 4 of 4"},
      {[](KvoFile& s) { s.materials[1].image = 1; }, "material 1 uses image 1 of 1"},
      {[](KvoFile& s) { s.materials[1].faces = 2; }, "the materials cover 3 faces, the file has 2"},
      {[](KvoFile& s) { s.materials[0].faces = -1, s.materials[1].faces = 3; },
       "material 0 has -1 faces"},
      {[](KvoFile& s) {
         s.pivots = {{{}, -1, 2}, {{}, 2, 2}};
       },
       "pivot 1 has parent 2 of 2"},
      {[](KvoFile& s) {
         s.pivots = {{{}, 0, 4}};
       },
       "pivot 0 has parent 0 of 1"},
      {[](KvoFile& s) {
         s.pivots = {{{}, -1, 1}, {{}, 2, 1}, {{}, 3, 1}, {{}, 1, 1}};
       },
       "the parents of pivot 1 form a cycle"},
      {[](KvoFile& s) {
         s.pivots = {{{}, -1, 2}, {{}, 0, 1}};
       },
       "the pivots bind 3 vertices, the file has 4"},
      {[](KvoFile& s) {
         s.pivots = {{{}, -1, 5}, {{}, 0, -1}};
       },
       "pivot 1 binds -1 vertices"},
  };
  for (const auto& c : cases) {
    KvoFile object;
    c.change(object);
    expectRefused(object, c.reason);
  }
  FileBytes negative;
  negative.i32(16).i32(0).i32(0).i32(-1).i32(0).i32(0).i32(0);
  EXPECT_EQ(kv3dLoadKVO(negative.save("object.kvo").c_str()), nullptr);
  EXPECT_EQ(kv3dLoadKVO(KvoFile().save("object.kvo", 27).c_str()), nullptr);
  EXPECT_NE(log().find("shorter than its 28-byte header"), std::string::npos);

  // Counts the file can hold but the pool cannot: the kit's allocation message.
  useFreshPool(64);
  KvoFile big;
  big.vertices.assign(6000, Vector{0, 0, 0});
  EXPECT_EQ(kv3dLoadKVO(big.save().c_str()), nullptr);
  EXPECT_NE(log().find("kv3dLoadKVO: Memory allocation error ("), std::string::npos);
  EXPECT_TRUE(poolIsWhole());
}

TEST_F(KvoTest, AcceptsWhatIsSoundAtTheLimits) {
  KvoFile exact;  // exactly 4 bytes of colour a face
  exact.shading = 4;
  KvoFile unusedCorner;  // the fourth index of a triangle is never read
  unusedCorner.faces[0].index[3] = 999;
  KvoFile fullName;  // a name filling its 128-byte field has no terminator
  fullName.images = {std::string(128, 'z')};
  KvoFile chain;  // a deep hierarchy, children after parents
  chain.vertices.assign(100, Vector{0, 0, 0});
  for (int16_t i = 0; i < 100; ++i) chain.pivots.push_back({{0, 0, 0}, int16_t(i - 1), 1});
  for (const KvoFile* object : {&exact, &unusedCorner, &fullName, &chain}) {
    Model* m = kv3dLoadKVO(object->save().c_str());
    EXPECT_NE(m, nullptr) << log();
    kv3dFreeKVO(m);
  }
  EXPECT_TRUE(poolIsWhole());
}

TEST_F(KvoTest, RefusesImagePathsLongerThanTheBuffer) {
  KvoFile object;
  object.images = {std::string(60, 'n') + ".bmp"};
  const std::string path = std::string(200, 'd') + "\\o.kvo";
  EXPECT_EQ(kv3dLoadKVO(object.save(path).c_str()), nullptr);
  EXPECT_NE(log().find("image name 0 does not fit the 256-byte path"), std::string::npos);
}

}  // namespace
