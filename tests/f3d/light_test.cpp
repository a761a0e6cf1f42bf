#include <cmath>

#include "f3d_test.h"

namespace {

class LightTest : public F3dTest {};

int at(const uint8_t* plane, int row, int column) { return plane[row * 64 + column]; }

LightTable filled(uint8_t value) {
  LightTable t;
  std::memset(&t, value, sizeof t);
  return t;
}

TEST_F(LightTest, WhiteLightAtFortyFiveDegrees) {
  LightTable* t = kv3dCreateLight(512, 512, 125, 125, 125, 0, 0, 0);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(std::memcmp(t->red, t->green, 2048), 0);
  EXPECT_EQ(std::memcmp(t->red, t->blue, 2048), 0);
  EXPECT_EQ(at(t->red, 0, 0), 89);
  EXPECT_EQ(at(t->red, 0, 31), 86);
  EXPECT_EQ(at(t->red, 0, 32), 90);
  EXPECT_EQ(at(t->red, 0, 63), 86);
  EXPECT_EQ(at(t->red, 16, 0), 34);
  EXPECT_EQ(at(t->red, 16, 32), 55);
  for (int c = 0; c < 64; ++c) EXPECT_EQ(at(t->red, 31, c), 0) << c;
  kv3dFreeLight(t);
  EXPECT_TRUE(poolIsWhole());
}

TEST_F(LightTest, OverheadColouredLightWithAmbient) {
  LightTable t;
  kv3dInitLight(&t, 1024, 0, 200, 100, 50, 10, 20, 30);
  for (int c = 0; c < 64; ++c) {
    EXPECT_EQ(at(t.red, 0, c), 209) << c;
    EXPECT_EQ(at(t.green, 0, c), 119) << c;
    EXPECT_EQ(at(t.blue, 0, c), 79) << c;
    EXPECT_EQ(at(t.red, 31, c), 10) << c;
    EXPECT_EQ(at(t.green, 31, c), 20) << c;
    EXPECT_EQ(at(t.blue, 31, c), 30) << c;
  }
}

TEST_F(LightTest, ArgumentsUseTheirLowBitsOnly) {
  LightTable plain, wide;
  kv3dInitLight(&plain, 3584, 1000, 125, 60, 7, 1, 2, 3);
  kv3dInitLight(&wide, 0xFE00, 0x10000 + 1000, 256 + 125, 512 + 60, 7, 256 + 1, 2, 3);
  EXPECT_EQ(std::memcmp(&plain, &wide, sizeof plain), 0);
}

TEST_F(LightTest, AddingLights) {
  LightTable base, t;
  kv3dInitLight(&base, 512, 512, 125, 125, 125, 0, 0, 0);
  t = base;
  kv3dAddLight(&t, 0xFE00, 1024, 0, 0, 0);
  EXPECT_EQ(std::memcmp(&t, &base, sizeof t), 0);

  // The demo's red light from below lifts the lower rows of the red plane only.
  kv3dAddLight(&t, 0xFE00, 1024, 255, 0, 0);
  EXPECT_GT(at(t.red, 31, 16), at(base.red, 31, 16));
  EXPECT_EQ(std::memcmp(t.green, base.green, 2048), 0);

  LightTable bright;
  kv3dInitLight(&bright, 1024, 0, 0, 0, 0, 0, 0, 0);
  kv3dAddLight(&bright, 1024, 0, 200, 200, 200);
  EXPECT_GE(at(bright.red, 0, 5), 199);  // overhead is just under a cosine of 1
  kv3dAddLight(&bright, 1024, 0, 200, 200, 200);
  EXPECT_EQ(at(bright.red, 0, 5), 255);
}

TEST_F(LightTest, SumAndBlendSaturate) {
  LightTable a = filled(200), b = filled(200), out;
  kv3dSumLights(&out, &a, &b);
  EXPECT_EQ(out.green[100], 255);
  LightTable c = filled(100), d = filled(27);
  kv3dSumLights(&c, &c, &d);  // the output may be an input
  EXPECT_EQ(c.blue[2047], 127);

  LightTable e = filled(201);
  const LightTable* one[] = {&e};
  int32_t full[] = {256}, half[] = {128};
  kv3dBlendLights(&out, one, full, 1);
  EXPECT_EQ(std::memcmp(&out, &e, sizeof out), 0);
  kv3dBlendLights(&out, one, half, 1);
  EXPECT_EQ(out.red[0], 100);
  const LightTable* two[] = {&a, &b};
  int32_t weights[] = {256, 256};
  kv3dBlendLights(&out, two, weights, 2);
  EXPECT_EQ(out.red[77], 255);
  kv3dBlendLights(&out, two, weights, 0);
  EXPECT_EQ(out.red[77], 0);
}

TEST_F(LightTest, LookupPicksRowColumnAndHalf) {
  const auto cell = [](float x, float y, float z) {
    const Vector n{x, y, z};
    return kv3dLightIndex(&n);
  };
  EXPECT_EQ(cell(0, 1, 0), 0 * 64 + 16);
  EXPECT_EQ(cell(0, -1, 0), 31 * 64 + 16);
  EXPECT_EQ(cell(0.6f, 0, 0.8f), 16 * 64 + 35);
  EXPECT_EQ(cell(-0.6f, 0, -0.8f), 16 * 64 + 28);
  EXPECT_EQ(cell(0, 2, 0), 16);  // a scaled normal reads the edge row
  for (float wild : {NAN, INFINITY, -INFINITY, 1e30f}) {
    const int32_t index = cell(wild, wild, wild);
    EXPECT_TRUE(index >= 0 && index < 2048) << index;
  }
}

TEST_F(LightTest, CreateFailsOnAnExhaustedPoolAndSetMakesCurrent) {
  useFreshPool(4);
  EXPECT_EQ(kv3dCreateLight(512, 512, 1, 1, 1, 0, 0, 0), nullptr);
  LightTable t;
  kv3dSetLight(&t);
  EXPECT_EQ(kv3dCurrentLight, &t);
  kv3dSetLight(nullptr);
}

}  // namespace
