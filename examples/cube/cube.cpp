// kvcube: a textured cube spinning under a light, on the installed kvKIT.
// The program writes its own object (cube.kvo) and texture (cube.bmp) into
// the working folder, loads them with the kit, and turns the cube every frame.
// The arrow keys change how fast it spins; Escape leaves.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kvKIT.h"
#include "platform/launcher/program.h"

const kv::launcher::ProgramFacts kvProgramFacts{
    .about =
        "Spins a textured cube under a light: a small program on kvKIT.\n"
        "Keys: Left/Right and Up/Down change the spin, Escape leaves.\n",
};

namespace {

constexpr float kHalfSide = 100.0f;
constexpr int32_t kTextureSide = 64;  // the device wants power-of-two sides

// Little-endian writer for the two files.
struct Bytes {
  std::vector<uint8_t> data;
  void u8(uint32_t v) { data.push_back(static_cast<uint8_t>(v)); }
  void u16(uint32_t v) { u8(v), u8(v >> 8); }
  void u32(uint32_t v) { u16(v), u16(v >> 16); }
  void f32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    u32(v);
  }
  bool save(const char* path) const {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    return std::fclose(file) == 0 && written;
  }
};

struct Corner {
  float x, y, z;
};

// A 16-bit (RGB565) bitmap: a crate face, light planks inside a dark frame.
bool writeTexture(const char* path) {
  const uint32_t pixelBytes = kTextureSide * kTextureSide * 2;
  Bytes b;
  b.u8('B'), b.u8('M'), b.u32(54 + pixelBytes), b.u32(0), b.u32(54);
  b.u32(40), b.u32(kTextureSide), b.u32(kTextureSide), b.u16(1), b.u16(16);
  b.u32(0), b.u32(pixelBytes), b.u32(2835), b.u32(2835), b.u32(0), b.u32(0);
  auto rgb565 = [](uint32_t r, uint32_t g, uint32_t bl) {
    return ((r >> 3) << 11) | ((g >> 2) << 5) | (bl >> 3);
  };
  for (int32_t y = 0; y < kTextureSide; ++y)
    for (int32_t x = 0; x < kTextureSide; ++x) {
      const bool frame = x < 6 || y < 6 || x >= kTextureSide - 6 || y >= kTextureSide - 6;
      const bool brace = std::abs(x - y) < 4 || std::abs(x + y - kTextureSide) < 4;
      const bool seam = y % 16 == 0;
      if (frame || brace)
        b.u16(rgb565(120, 70, 30));
      else
        b.u16(seam ? rgb565(170, 120, 60) : rgb565(220, 170, 100));
    }
  return b.save(path);
}

// The object: one textured material, eight corners, six faces, a normal per
// face (flat shading), no pivots.
bool writeObject(const char* path, const char* texture) {
  const float s = kHalfSide;
  const Corner corners[8] = {{-s, -s, -s}, {s, -s, -s}, {s, s, -s}, {-s, s, -s},
                             {-s, -s, s},  {s, -s, s},  {s, s, s},  {-s, s, s}};
  // Each face's corners run in the order the kit's back-face test keeps when
  // the face is seen from outside; its outward normal follows.
  struct Side {
    uint16_t corner[4];
    Corner normal;
  };
  const Side sides[6] = {{{0, 1, 2, 3}, {0, 0, -1}}, {{4, 7, 6, 5}, {0, 0, 1}},
                         {{0, 3, 7, 4}, {-1, 0, 0}}, {{1, 5, 6, 2}, {1, 0, 0}},
                         {{0, 4, 5, 1}, {0, -1, 0}}, {{3, 2, 6, 7}, {0, 1, 0}}};
  Bytes b;
  b.u32(16), b.u32(1), b.u32(1), b.u32(8), b.u32(6), b.u32(0), b.u32(2);  // flat shading
  char name[128] = {};
  std::snprintf(name, sizeof name, "%s", texture);
  for (char c : name) b.u8(static_cast<uint8_t>(c));
  // White, opaque; depth-buffered, textured with perspective and filtering.
  b.u8(255), b.u8(255), b.u8(255), b.u8(255), b.u16(0);
  b.u16(KV_RF_ZBUFFER | KV_RF_COLOR | KV_RF_TEXTURE | KV_RF_PERSPECTIVE | KV_RF_FILTER), b.u32(6);
  for (const Corner& c : corners) b.f32(c.x), b.f32(c.y), b.f32(c.z);
  const float u[4] = {0, 256, 256, 0}, v[4] = {0, 0, 256, 256};  // in 1/256 of the texture
  for (const Side& side : sides) {
    b.u32(4);
    for (uint16_t i : side.corner) b.u16(i);
    for (float f : u) b.f32(f);
    for (float f : v) b.f32(f);
  }
  for (const Side& side : sides) b.f32(side.normal.x), b.f32(side.normal.y), b.f32(side.normal.z);
  return b.save(path);
}

}  // namespace

void kvMain() {
  if (!writeTexture("cube.bmp") || !writeObject("cube.kvo", "cube.bmp")) {
    kvDebugPrint("kvcube: cannot write cube.kvo and cube.bmp in the working folder\n");
    return;
  }
  if (!kvSetScreenMode(6)) {
    kvDebugPrint("kvcube: no screen mode\n");
    return;
  }
  if (!kv3dInitWorkBuffers(64)) return;
  kvSetViewRect(0, 0, 640, 480);
  kv3dSetProjection(512);
  kv3dSetNearZ(10.0f);

  Model* cube = kv3dLoadKVO("cube.kvo");
  LightTable* light = kv3dCreateLight(512, 512, 220, 220, 220, 100, 100, 100);
  if (cube == nullptr || light == nullptr) return;  // the kit logged why
  kv3dSetLight(light);

  Camera camera;
  std::memset(&camera, 0, sizeof camera);
  camera.pitch = 300;
  camera.distance = 600;
  kv3dCameraOrbit(&camera);
  kv3dCameraLookAt(&camera);
  kv3dCameraView(&camera);

  Placement placement;
  std::memset(&placement, 0, sizeof placement);
  int16_t yawStep = 24, pitchStep = 10;  // 4096 units to a turn
  kvSetFrameRate(30);
  while (kvKeyEscape() == 0) {
    const uint8_t keys = kvGetPadDirection(0);
    if (keys & KV_PAD_LEFT) yawStep = static_cast<int16_t>(yawStep - 2);
    if (keys & KV_PAD_RIGHT) yawStep = static_cast<int16_t>(yawStep + 2);
    if (keys & KV_PAD_UP) pitchStep = static_cast<int16_t>(pitchStep + 2);
    if (keys & KV_PAD_DOWN) pitchStep = static_cast<int16_t>(pitchStep - 2);
    placement.yaw = static_cast<int16_t>(placement.yaw + yawStep);
    placement.pitch = static_cast<int16_t>(placement.pitch + pitchStep);
    if (kvFrameSkip() == 0) continue;  // late: turned, not drawn

    kvClear(20, 30, 60);
    if (!kvBeginScene()) continue;
    kv3dDrawModelAt(&camera.viewMatrix, cube, &placement);
    kvEndScene();
    kvFlip();
  }
  kv3dFreeKVO(cube);
}
