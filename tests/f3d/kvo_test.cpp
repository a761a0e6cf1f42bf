#include "f3d_test.h"

namespace {

// A small valid object; tests change one part and write it out.
struct KvoSpec {
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
  void expectRefused(const KvoSpec& spec, const std::string& reason) {
    kv::headless::clearDebugCapture();
    EXPECT_EQ(kv3dLoadKVO(spec.save().c_str()), nullptr);
    EXPECT_NE(log().find("kv3dLoadKVO: " + reason), std::string::npos) << log();
    EXPECT_NE(log().find("; refused (object.kvo)\n"), std::string::npos) << log();
    EXPECT_TRUE(poolIsWhole());
  }
};

TEST_F(KvoTest, LoadsEveryPartOfAnObject) {
  KvoSpec spec;
  Model* m = kv3dLoadKVO(spec.save().c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->vertexCount, 4);
  EXPECT_EQ(m->vertices[2].y, 1.0f);
  EXPECT_EQ(m->faceCount, 2);
  EXPECT_EQ(m->faces[1].cornerCount, 4);
  EXPECT_EQ(m->faces[1].vertexIndex[3], 3);
  EXPECT_EQ(m->faces[1].u[0], 100.0f);
  EXPECT_EQ(m->faces[1].v[3], 107.0f);
  ASSERT_EQ(m->materialCount, 2);
  EXPECT_EQ(m->materials[0].colour[3], 200.0f);
  EXPECT_EQ(m->materials[0].renderFlags, 0x101u);
  EXPECT_EQ(m->materials[1].colour[0], 9.0f);
  EXPECT_EQ(m->materials[1].faceCount, 1);
  EXPECT_EQ(m->pivotCount, 0u);
  EXPECT_EQ(m->pivots, nullptr);
  EXPECT_EQ(m->shading, 1);
  ASSERT_NE(m->vertexNormals, nullptr);
  EXPECT_EQ(m->faceNormals, nullptr);
  EXPECT_EQ(m->cornerColours, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(m) % alignof(Model), 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(m->materials) % alignof(Material), 0u);
  kv3dFreeKVO(m);
  kv3dFreeKVO(nullptr);
  EXPECT_TRUE(poolIsWhole());
}

TEST_F(KvoTest, PivotsAddFiveToShadingAndStartAtRest) {
  KvoSpec spec;
  spec.shading = 4;
  // The child comes before its parent in the array.
  spec.pivots = {{{1, 2, 3}, 1, 3}, {{4, 5, 6}, -1, 1}};
  Model* m = kv3dLoadKVO(spec.save().c_str());
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
  KvoSpec spec;
  spec.images = {"a.tga", "b.bmp", "c.PCX", "d.gif", "e.GIF", "plain"};
  spec.materials = {{{0, 0, 0, 255}, 0, 0, 1}, {{0, 0, 0, 255}, 1, 0, 1}};
  for (auto& slot : kvImageTable) slot = marker;
  Model* m = kv3dLoadKVO(spec.save().c_str());
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
  KvoSpec spec;
  spec.version = 0x11;
  EXPECT_EQ(kv3dLoadKVO(spec.save().c_str()), nullptr);
  EXPECT_NE(log().find("kv3dLoadKVO: 'version 1.0' 이 아닙니다.(object.kvo)\n"), std::string::npos);
  EXPECT_TRUE(poolIsWhole());
}

TEST_F(KvoTest, RefusesCountsTheFileCannotHold) {
  KvoSpec spec;
  spec.shading = 4;
  spec.shadingBytes = 4 * 2 - 1;
  expectRefused(spec, "truncated, its counts need");
  spec.shadingBytes = 4 * 2;
  Model* exact = kv3dLoadKVO(spec.save().c_str());
  EXPECT_NE(exact, nullptr);
  kv3dFreeKVO(exact);
}

TEST_F(KvoTest, RefusesBadHeaders) {
  KvoSpec shortFile;
  kv::headless::clearDebugCapture();
  EXPECT_EQ(kv3dLoadKVO(shortFile.save("object.kvo", 27).c_str()), nullptr);
  EXPECT_NE(log().find("shorter than its 28-byte header"), std::string::npos);

  KvoSpec mode;
  mode.shading = 7;
  expectRefused(mode, "unknown shading mode 7");

  KvoSpec images;
  images.images.assign(KV_IMAGE_TABLE_SIZE + 1, "x.bmp");
  expectRefused(images, "257 images, the image table holds 256");

  FileBytes negative;
  negative.i32(16).i32(0).i32(0).i32(-1).i32(0).i32(0).i32(0);
  kv::headless::clearDebugCapture();
  EXPECT_EQ(kv3dLoadKVO(negative.save("object.kvo").c_str()), nullptr);
  EXPECT_NE(log().find("negative count"), std::string::npos);

  // Counts the file could hold but the pool cannot: the kit's allocation message.
  useFreshPool(64);
  KvoSpec big;
  big.shading = 0;
  big.vertices.assign(6000, Vector{0, 0, 0});
  kv::headless::clearDebugCapture();
  EXPECT_EQ(kv3dLoadKVO(big.save().c_str()), nullptr);
  EXPECT_NE(log().find("kv3dLoadKVO: Memory allocation error ("), std::string::npos);
  EXPECT_TRUE(poolIsWhole());
}

TEST_F(KvoTest, RefusesBadIndicesAndSums) {
  KvoSpec corners;
  corners.faces[0].corners = 5;
  expectRefused(corners, "face 0 has 5 corners");

  KvoSpec vertex;
  vertex.faces[1].index[3] = 4;
  expectRefused(vertex, "face 1 uses vertex 4 of 4");
  KvoSpec unusedCorner;  // the fourth index of a triangle is never read
  unusedCorner.faces[0].index[3] = 999;
  Model* m = kv3dLoadKVO(unusedCorner.save().c_str());
  EXPECT_NE(m, nullptr);
  kv3dFreeKVO(m);

  KvoSpec image;
  image.materials[1].image = 1;
  expectRefused(image, "material 1 uses image 1 of 1");

  KvoSpec sum;
  sum.materials[1].faces = 2;
  expectRefused(sum, "the materials cover 3 faces, the file has 2");
  KvoSpec negativeFaces;
  negativeFaces.materials[0].faces = -1;
  negativeFaces.materials[1].faces = 3;
  expectRefused(negativeFaces, "material 0 has -1 faces");
}

TEST_F(KvoTest, RefusesBadPivotTrees) {
  KvoSpec parent;
  parent.pivots = {{{0, 0, 0}, -1, 2}, {{0, 0, 0}, 2, 2}};
  expectRefused(parent, "pivot 1 has parent 2 of 2");

  KvoSpec self;
  self.pivots = {{{0, 0, 0}, 0, 4}};
  expectRefused(self, "pivot 0 has parent 0 of 1");

  KvoSpec cycle;
  cycle.pivots = {{{0, 0, 0}, -1, 1}, {{0, 0, 0}, 2, 1}, {{0, 0, 0}, 3, 1}, {{0, 0, 0}, 1, 1}};
  expectRefused(cycle, "the parents of pivot 1 form a cycle");

  KvoSpec bound;
  bound.pivots = {{{0, 0, 0}, -1, 2}, {{0, 0, 0}, 0, 1}};
  expectRefused(bound, "the pivots bind 3 vertices, the file has 4");

  KvoSpec negative;
  negative.pivots = {{{0, 0, 0}, -1, 5}, {{0, 0, 0}, 0, -1}};
  expectRefused(negative, "pivot 1 binds -1 vertices");

  // A deep chain is fine.
  KvoSpec chain;
  chain.vertices.assign(100, Vector{0, 0, 0});
  chain.faces = {{3, {0, 1, 2, 0}}};
  chain.materials = {{{0, 0, 0, 0}, -1, 0, 1}};
  for (int16_t i = 0; i < 100; ++i) chain.pivots.push_back({{0, 0, 0}, int16_t(i - 1), 1});
  Model* m = kv3dLoadKVO(chain.save().c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->pivots[99].parent, &m->pivots[98]);
  kv3dFreeKVO(m);
}

TEST_F(KvoTest, RefusesImagePathsLongerThanTheBuffer) {
  const std::string folder(200, 'd');
  KvoSpec spec;
  spec.images = {std::string(60, 'n') + ".bmp"};
  const std::string path = folder + "\\o.kvo";
  spec.save(path);
  kv::headless::clearDebugCapture();
  EXPECT_EQ(kv3dLoadKVO(path.c_str()), nullptr);
  EXPECT_NE(log().find("image name 0 does not fit the 256-byte path"), std::string::npos);
  // A name that fills its whole 128-byte field without a terminator is still bounded.
  KvoSpec full;
  full.images = {std::string(128, 'z')};
  full.materials[0].image = -1;
  Model* m = kv3dLoadKVO(full.save().c_str());
  EXPECT_NE(m, nullptr);
  kv3dFreeKVO(m);
}

TEST_F(KvoTest, PrintsAHeader) {
  const KVOHeader header{16, 1, 2, 3, 4, 5, 3};
  kv3dPrintKVOHeader(&header);
  for (const char* line : {"version: 1.0\n", "1 images\n", "2 materials\n", "3 vertices\n",
                           "4 faces\n", "5 pivots\n", "precalculated color goroud shading\n"})
    EXPECT_NE(log().find(line), std::string::npos) << line;
  kv::headless::clearDebugCapture();
  const KVOHeader odd{16, 0, 0, 0, 0, 0, 9};
  kv3dPrintKVOHeader(&odd);
  EXPECT_EQ(log().find("shading"), std::string::npos);
}

}  // namespace
