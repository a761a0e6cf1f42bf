// kvconv end to end: models the tests write (OBJ text with its MTL and a PNG,
// glTF JSON with an embedded buffer and image) converted by the tool, then
// read back with the kit's own loaders or shown by kvview; and files it must
// refuse.
#include <gtest/gtest.h>
#include <stb_image.h>
#include <stb_image_write.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "kvKIT.h"
#include "kvSys/Memory.h"
#include "kvconv/motion.h"
#include "platform/host/headless/headless.h"

namespace fs = std::filesystem;

namespace {

// Four colours in 2 x 2 blocks: few enough that quantizing keeps them exactly.
constexpr int kSide = 16;
const uint8_t kColours[4][3] = {{250, 10, 10}, {10, 200, 30}, {20, 40, 230}, {240, 240, 60}};
int colourAt(int x, int y) { return (x / 8) + 2 * (y / 8); }

std::vector<uint8_t> png() {
  std::vector<uint8_t> rgb;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x)
      rgb.insert(rgb.end(), kColours[colourAt(x, y)], kColours[colourAt(x, y)] + 3);
  std::vector<uint8_t> out;
  stbi_write_png_to_func(
      [](void* context, void* data, int size) {
        auto* bytes = static_cast<uint8_t*>(data);
        static_cast<std::vector<uint8_t>*>(context)->insert(
            static_cast<std::vector<uint8_t>*>(context)->end(), bytes, bytes + size);
      },
      &out, kSide, kSide, 3, rgb.data(), kSide * 3);
  return out;
}

std::string base64(const std::vector<uint8_t>& bytes) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t n = uint32_t(bytes[i]) << 16;
    if (i + 1 < bytes.size()) n |= uint32_t(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) n |= bytes[i + 2];
    out += digits[n >> 18 & 63];
    out += digits[n >> 12 & 63];
    out += i + 1 < bytes.size() ? digits[n >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? digits[n & 63] : '=';
  }
  return out;
}

void expectNear(const Vector& got, Vector want, double tolerance) {
  EXPECT_NEAR(got.x, want.x, tolerance);
  EXPECT_NEAR(got.y, want.y, tolerance);
  EXPECT_NEAR(got.z, want.z, tolerance);
}

template <class T>
void append(std::vector<uint8_t>& out, std::initializer_list<T> values) {
  for (T v : values) {
    const auto* b = reinterpret_cast<const uint8_t*>(&v);
    out.insert(out.end(), b, b + sizeof v);
  }
}

class Kvconv : public ::testing::Test {
 protected:
  void SetUp() override {
    kv::headless::install();
    kvResetMemoryForTests();
    ASSERT_EQ(kvSetSystemMemory(4096), 1);
    // Other checkouts may run these tests at the same time: a folder per process.
    folder_ = fs::path(testing::TempDir()) /
              ("kvconv_" + std::to_string(getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    home_ = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(home_);
    for (int group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
    fs::remove_all(folder_);
  }

  void write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ / name, std::ios::binary) << text;
  }
  void write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(folder_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }

  // Runs kvconv (or `tool`) in the folder; its exit status, with what it said
  // on stderr in `said`.
  int convert(const std::string& arguments, std::string* said = nullptr,
              const char* tool = KVCONV_PATH) {
    const fs::path log = folder_ / "stderr.txt";
    const std::string command = "cd '" + folder_.string() + "' && " + tool + " " + arguments +
                                " >/dev/null 2>'" + log.string() + "'";
    const int status = std::system(command.c_str());
    std::ifstream in(log);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (said != nullptr) *said = text;
    fs::remove(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The kit finds an object's images beside it only from inside its folder.
  Model* load(const std::string& name) {
    fs::current_path(folder_);
    return kv3dLoadKVO(name.c_str());
  }

  // Every texel of the surface shows the PNG's colour at the same place.
  static void expectPicture(const Surface* s) {
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->width, kSide);
    ASSERT_EQ(s->height, kSide);
    ASSERT_EQ(s->format, SURFACE_FORMAT_8BPP);
    const auto* pixels = static_cast<const uint8_t*>(s->pixels);
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x)
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(s->palette[pixels[y * kSide + x]][c], kColours[colourAt(x, y)][c])
              << x << "," << y;
  }

  fs::path folder_, home_;
};

TEST_F(Kvconv, ObjFacesPositionsTexturesAndUntexturedColourComeBackThroughTheKit) {
  write("t.png", png());
  write("m.mtl", "newmtl tex\nKd 1 1 1\nmap_Kd t.png\nnewmtl plain\nKd 1 0 0\n");
  write("shape.obj",
        "mtllib m.mtl\n"
        "v 0 0 0\nv 10 0 0\nv 10 10 0\nv 0 10 0\nv 20 0 5\nv 30 0 5\n"
        "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 0.5 0.5\n"
        "usemtl tex\nf 1/1 2/2 3/3 4/4\n"
        "usemtl plain\nf 2/2 5/5 3/3\nf 5/5 5/5 6/5\n");  // the last face has no area
  std::string said;
  for (std::string format : {"bmp", "gif", "pcx"}) {
    SCOPED_TRACE(format);
    ASSERT_EQ(convert("--scale 2 --texture-format " + format + " shape.obj shape.kvo", &said), 0)
        << said;
    EXPECT_NE(said.find("1 degenerate faces"), std::string::npos) << said;
    Model* model = load("shape.kvo");
    ASSERT_NE(model, nullptr);
    ASSERT_EQ(std::tuple(model->faceCount, model->materialCount, model->pivotCount, model->shading),
              std::tuple(2, 2, 0u, 1));
    // Source corners in order: kit position (x, y, -z) x 2; u x 256, v from the image's top.
    const struct {
      float x, y, z, u, v;
    } quad[] = {{0, 0, 0, 0, 256}, {20, 0, 0, 256, 256}, {20, 20, 0, 256, 0}, {0, 20, 0, 0, 0}},
      triangle[] = {{20, 0, 0, 256, 256}, {40, 0, -10, 128, 128}, {20, 20, 0, 256, 0}};
    for (int f = 0; f < 2; ++f) {
      const Face& face = model->faces[f];
      const auto* want = face.cornerCount == 4 ? quad : triangle;
      ASSERT_EQ(face.cornerCount, f == 0 ? 4 : 3) << "faces by material, in source order";
      for (int k = 0; k < face.cornerCount; ++k) {
        expectNear(model->vertices[face.vertexIndex[k]], {want[k].x, want[k].y, want[k].z}, 0);
        EXPECT_FLOAT_EQ(face.u[k], want[k].u);
        EXPECT_FLOAT_EQ(face.v[k], want[k].v);
      }
    }
    expectPicture(model->materials[0].texture);
    // Realtime light never reads a material's colour: red comes as a texture.
    const Surface* red = model->materials[1].texture;
    ASSERT_NE(red, nullptr);
    const uint8_t* colour = red->palette[static_cast<const uint8_t*>(red->pixels)[0]];
    EXPECT_EQ(std::pair(colour[0], colour[1]), (std::pair<uint8_t, uint8_t>(255, 0)));
    kv3dFreeKVO(model);
    fs::current_path(home_);
  }

  EXPECT_EQ(convert("--strict shape.obj strict.kvo", &said), 1);
  EXPECT_NE(said.find("1 degenerate faces"), std::string::npos) << said;
  EXPECT_FALSE(fs::exists(folder_ / "strict.kvo"));

  // Precalculated: the colour baked into the corners, no texture needed.
  ASSERT_EQ(convert("--scale 2 --shading precalculated-gouraud shape.obj baked.kvo", &said), 0)
      << said;
  Model* baked = load("baked.kvo");
  ASSERT_NE(baked, nullptr);
  EXPECT_EQ(std::tuple(baked->shading, baked->materials[1].texture,
                       baked->materials[1].renderFlags & KV_RF_TEXTURE),
            std::tuple(3, nullptr, 0u));
  for (int k = 0; k < 3; ++k) {
    EXPECT_GT(baked->cornerColours[12 + k], 80) << "red";
    EXPECT_EQ(baked->cornerColours[12 + 4 + k], 0) << "green";
  }
  kv3dFreeKVO(baked);
}

// A body with a lid above it that turns a quarter about y each second.
std::string animatedGltf() {
  std::vector<uint8_t> buffer;
  append<float>(buffer, {0, 0, 0, 10, 0, 0, 0, 10, 0});  // positions
  append<float>(buffer, {0, 0, 1, 0, 0, 1});             // texture coordinates
  append<uint16_t>(buffer, {0, 1, 2, 0});                // indices and padding
  append<float>(buffer, {0, 1, 2, 3});                   // key times
  const float h = std::sqrt(0.5f);
  append<float>(buffer, {0, 0, 0, 1, 0, h, 0, h, 0, 1, 0, 0, 0, h, 0, -h});  // 0, 90, 180, 270
  return R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],
  "nodes": [{"name": "body", "mesh": 0, "children": [1, 2]},
            {"name": "lid", "mesh": 0, "translation": [0, 20, 0]},
            {"name": "eye", "camera": 0, "translation": [0, 5, 30]}],
  "cameras": [{"name": "eye", "type": "perspective", "perspective": {"yfov": 0.8, "znear": 0.1}}],
  "meshes": [{"primitives": [{"attributes": {"POSITION": 0, "TEXCOORD_0": 1}, "indices": 2, "material": 0}]}],
  "materials": [{"pbrMetallicRoughness": {"baseColorTexture": {"index": 0}}}],
  "textures": [{"source": 0}],
  "images": [{"uri": "data:image/png;base64,)" +
         base64(png()) + R"("}],
  "buffers": [{"byteLength": )" +
         std::to_string(buffer.size()) + R"(, "uri": "data:application/octet-stream;base64,)" +
         base64(buffer) + R"("}],
  "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 36},
                  {"buffer": 0, "byteOffset": 36, "byteLength": 24},
                  {"buffer": 0, "byteOffset": 60, "byteLength": 6},
                  {"buffer": 0, "byteOffset": 68, "byteLength": 16},
                  {"buffer": 0, "byteOffset": 84, "byteLength": 64}],
  "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0, 0, 0], "max": [10, 10, 0]},
                {"bufferView": 1, "componentType": 5126, "count": 3, "type": "VEC2"},
                {"bufferView": 2, "componentType": 5123, "count": 3, "type": "SCALAR"},
                {"bufferView": 3, "componentType": 5126, "count": 4, "type": "SCALAR", "min": [0], "max": [3]},
                {"bufferView": 4, "componentType": 5126, "count": 4, "type": "VEC4"}],
  "animations": [{"name": "turn", "channels": [{"sampler": 0, "target": {"node": 1, "path": "rotation"}}],
                  "samplers": [{"input": 3, "output": 4, "interpolation": "LINEAR"}]}]})";
}

TEST_F(Kvconv, GltfHierarchyAndAnimationPoseAsTheSourceAtItsKeys) {
  write("lid.gltf", animatedGltf());
  std::string said;
  ASSERT_EQ(convert("--scale 10 --camera eye lid.gltf lid.kvo", &said), 0) << said;
  Model* model = load("lid.kvo");
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(model->pivotCount, 2u);
  const Pivot *body = &model->pivots[0], *lid = &model->pivots[1];
  EXPECT_EQ(std::tuple(body->parent, lid->parent, body->boundVertexCount, lid->boundVertexCount),
            std::tuple(nullptr, body, 3, 3));
  EXPECT_EQ(lid->pivotPoint.y, 200.0f);
  expectPicture(model->materials[0].texture);

  Motion* motion = kv3dLoadMOT("lid.mot");
  ASSERT_NE(motion, nullptr);
  ASSERT_EQ(motion->trackCount, 2);
  ASSERT_EQ(motion->tracks[0].keyCount, 1);  // the body holds still
  ASSERT_EQ(motion->tracks[1].keyCount, 4);  // keys on whole frames stay as they are
  for (int k = 1; k < 4; ++k) {
    EXPECT_EQ(motion->tracks[1].keys[k].time, 30u * k);
    // A quarter turn each: the angles never wrap back across 0.
    EXPECT_EQ(motion->tracks[1].keys[k].angles[0] - motion->tracks[1].keys[k - 1].angles[0], -1024);
  }

  // At each key the lid's corner (10, 0, 0), turned by k quarters about the
  // source's y and lifted 20, mirrored in z and scaled by 10. One angle unit
  // and the kit's table sine allow a few hundredths at a radius of 100.
  const Placement still{};
  for (int k = 0; k < 4; ++k) {
    kv3dSetMotionFrame(model->pivots, model->pivotCount, motion, 30.0f * k);
    kv3dPosePivotsWorld(model->pivots, model->pivotCount, &still);
    for (int v = 0; v < 3; ++v) {
      const Vector& rest = model->vertices[3 + v];
      const double x = rest.x / 10, y = rest.y / 10 - 20, z = -rest.z / 10;  // source, lid space
      const double angle = k * M_PI / 2;
      const double sx = x * std::cos(angle) + z * std::sin(angle),
                   sz = -x * std::sin(angle) + z * std::cos(angle);
      Vector got;
      kv3dTransform(&got, &rest, &model->pivots[1].worldMatrix);
      SCOPED_TRACE(testing::Message() << "key " << k << " vertex " << v);
      expectNear(got, {float(sx * 10), float((y + 20) * 10), float(-sz * 10)}, 0.1);
    }
  }
  kv3dFreeMOT(motion);
  kv3dFreeKVO(model);

  // The camera at (0, 5, 30) looking down the source's -z: in the kit it
  // stands at z = -300 and sees the body's origin straight ahead.
  CameraPath* path = kv3dLoadCAM("lid.cam");
  ASSERT_NE(path, nullptr);
  Camera camera{};
  kv3dSetCameraFrame(&camera, path, 0.0f);
  const Vector ahead{0, 50, 0};
  Vector seen;
  kv3dTransform(&seen, &ahead, &camera.viewMatrix);
  expectNear(camera.eye, {0, 50, -300}, 1e-3);
  expectNear(seen, {0, 0, 300}, 0.5);
  kv3dFreeCAM(path);
}

TEST_F(Kvconv, BadInputIsRefusedByNameAndLeavesNothingBehind) {
  write("t.png", png());
  std::string many = "mtllib m.mtl\nusemtl a\n";
  for (int i = 0; i < 21846; ++i) {
    many += "v " + std::to_string(i) + " 0 0\nv " + std::to_string(i) + " 1 0\nv " +
            std::to_string(i) + " 0 1\n";
    many += "f " + std::to_string(3 * i + 1) + " " + std::to_string(3 * i + 2) + " " +
            std::to_string(3 * i + 3) + "\n";
  }
  const struct {
    std::string name, text, reason;
  } cases[] = {
      {"broken.gltf", "{ this is not json", "not readable as a model"},
      {"missing.obj", "mtllib m.mtl\nusemtl gone\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
       "not found"},
      {"nan.obj", "mtllib m.mtl\nusemtl a\nv nan 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "not a number"},
      {"many.obj", many, "at most 65535"},
  };
  write("m.mtl", "newmtl a\nKd 1 1 1\nnewmtl gone\nmap_Kd gone.png\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write(c.name, c.text);
    std::string said;
    EXPECT_EQ(convert(c.name + " out.kvo", &said), 1);
    EXPECT_NE(said.find(c.name), std::string::npos) << said;
    EXPECT_NE(said.find(c.reason), std::string::npos) << said;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name.find("out") == std::string::npos &&
                  name.find(".kvconv") == std::string::npos)
          << name << " left behind";
    }
  }
}

// kvview headless on an object kvconv made: the captured frames show the
// model in the middle of the picture and the clear colour around it.
TEST_F(Kvconv, KvviewShowsTheConvertedModelWhereItShouldBe) {
  // A red cube, untextured: under realtime light its colour comes as a texture.
  write("m.mtl", "newmtl red\nKd 0.9 0.1 0.1\n");
  write("cube.obj",
        "mtllib m.mtl\nusemtl red\n"
        "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
        "f 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\nf 4 8 7 3\nf 1 5 8 4\nf 2 3 7 6\n");
  std::string said;
  ASSERT_EQ(convert("cube.obj cube.kvo", &said), 0) << said;
  fs::create_directories(folder_ / "frames");
  ASSERT_EQ(convert("--headless -C . --frames 12 --capture frames --every 5 --sheet none"
                    " --log view.log",
                    &said, KVVIEW_PATH),
            0)
      << said;
  std::ifstream log(folder_ / "view.log");
  const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("kvview: cube.kvo: 8 vertices, 6 faces"), std::string::npos) << text;

  int frames = 0;
  for (const auto& entry : fs::directory_iterator(folder_ / "frames")) {
    SCOPED_TRACE(entry.path().filename().string());
    int width = 0, height = 0, channels = 0;
    std::unique_ptr<uint8_t, void (*)(void*)> rgb(
        stbi_load(entry.path().c_str(), &width, &height, &channels, 3), stbi_image_free);
    ASSERT_NE(rgb, nullptr);
    ASSERT_EQ(std::pair(width, height), std::pair(640, 480));
    const auto at = [&](int x, int y) { return rgb.get() + (size_t(y) * width + x) * 3; };
    // The middle is the cube's red, lit; the corners are the clear colour
    // (through a 16-bit screen, so within its steps).
    const uint8_t* middle = at(320, 240);
    EXPECT_TRUE(middle[0] > 60 && middle[0] > 2 * middle[1] && middle[0] > 2 * middle[2])
        << int(middle[0]) << "," << int(middle[1]) << "," << int(middle[2]);
    for (const uint8_t* corner : {at(2, 2), at(637, 2), at(2, 477), at(637, 477)}) {
      EXPECT_NEAR(corner[0], 40, 8);
      EXPECT_NEAR(corner[1], 44, 4);
      EXPECT_NEAR(corner[2], 52, 8);
    }
    ++frames;
  }
  EXPECT_GE(frames, 2);
}

// Any rotation, gimbal-locked ones too, splits into the kit's three angles
// and comes back whole; of the two triples, the one nearest the last is kept.
TEST(KvconvAngles, RotationsSplitIntoTheKitsAnglesAndBackAndDegreesTruncateToTheirUnits) {
  const kvconv::KitAngles cases[] = {
      {0, 0, 0},         {100, 200, 300},  {-700, 1000, 2500},
      {3000, -1023, 17}, {512, 1024, 300}, {40, -1024, -900},
  };
  for (const kvconv::KitAngles& a : cases) {
    const kvconv::Affine r = kvconv::rotationMatrix(a);
    const kvconv::Affine back = kvconv::rotationMatrix(kvconv::anglesOf(r, a));
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(back.m[i][j], r.m[i][j], 1e-9) << a.z << "," << a.x << "," << a.y;
  }
  // Near the previous key, a turn past a whole turn stays unwrapped.
  const kvconv::KitAngles got =
      kvconv::anglesOf(kvconv::rotationMatrix({0, 0, 4100}), {0, 0, 4000});
  EXPECT_NEAR(got.y, 4100, 1e-6);
  EXPECT_NEAR(got.x, 0, 1e-6);
  // Degrees written for the files truncate back to their units.
  for (double units : {0.0, 1.0, -1.0, 1024.0, -113.0, 4095.0, 40000.0, -40001.0, 3.4, -2.6}) {
    const double back = std::trunc(double(kvconv::degreesFor(units)) * 4096.0 / 360.0);
    EXPECT_EQ(back, std::round(units)) << units;
  }
}

}  // namespace
