#include <cmath>

#include "f3d_test.h"

namespace {

class LightTest : public F3dTest {};

int at(const uint8_t* plane, int row, int column) { return plane[row * 64 + column]; }

LightTable filled(uint8_t value) {
  LightTable t;
  return *static_cast<LightTable*>(std::memset(&t, value, sizeof t));
}

TEST_F(LightTest, DesignedTables) {
  // White light at forty-five degrees: one plane thrice.
  LightTable* t = kv3dCreateLight(512, 512, 125, 125, 125, 0, 0, 0);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(std::memcmp(t->red, t->green, 2048), 0);
  EXPECT_EQ(std::memcmp(t->red, t->blue, 2048), 0);
  for (auto [row, column, want] :
       {std::tuple(0, 0, 89), {0, 31, 86}, {0, 32, 90}, {0, 63, 86}, {16, 0, 34}, {16, 32, 55}})
    EXPECT_EQ(at(t->red, row, column), want) << row << ", " << column;
  for (int c = 0; c < 64; ++c) EXPECT_EQ(at(t->red, 31, c), 0) << c;
  kv3dFreeLight(t);
  EXPECT_TRUE(poolIsWhole());

  // Coloured light from overhead with ambient: the top row lit, the bottom ambient only.
  LightTable o;
  kv3dInitLight(&o, 1024, 0, 200, 100, 50, 10, 20, 30);
  const auto rgb = [&o](int i) {
    return std::tuple<int, int, int>(o.red[i], o.green[i], o.blue[i]);
  };
  for (int c = 0; c < 64; ++c) {
    EXPECT_EQ(rgb(c), std::tuple(209, 119, 79)) << c;
    EXPECT_EQ(rgb(31 * 64 + c), std::tuple(10, 20, 30)) << c;
  }

  // Arguments use their low bits only.
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

  kv3dInitLight(&t, 1024, 0, 0, 0, 0, 0, 0, 0);
  kv3dAddLight(&t, 1024, 0, 200, 200, 200);
  EXPECT_GE(at(t.red, 0, 5), 199);  // overhead is just under a cosine of 1
  kv3dAddLight(&t, 1024, 0, 200, 200, 200);
  EXPECT_EQ(at(t.red, 0, 5), 255);
}

TEST_F(LightTest, SumAndBlendSaturate) {
  LightTable a = filled(200), b = filled(200), c = filled(100), d = filled(27), e = filled(201),
             out;
  kv3dSumLights(&out, &a, &b);
  EXPECT_EQ(out.green[100], 255);
  kv3dSumLights(&c, &c, &d);  // the output may be an input
  EXPECT_EQ(c.blue[2047], 127);

  const LightTable* one[] = {&e};
  const LightTable* two[] = {&a, &b};
  int32_t full[] = {256}, half[] = {128}, both[] = {256, 256};
  kv3dBlendLights(&out, one, full, 1);
  EXPECT_EQ(std::memcmp(&out, &e, sizeof out), 0);
  kv3dBlendLights(&out, one, half, 1);
  EXPECT_EQ(out.red[0], 100);
  kv3dBlendLights(&out, two, both, 2);
  EXPECT_EQ(out.red[77], 255);
  kv3dBlendLights(&out, two, both, 0);
  EXPECT_EQ(out.red[77], 0);
}

TEST_F(LightTest, LookupPicksRowColumnAndHalf) {
  // A scaled normal reads the edge row.
  const std::pair<Vector, int32_t> cases[] = {{{0, 1, 0}, 16},
                                              {{0, -1, 0}, 31 * 64 + 16},
                                              {{0.6f, 0, 0.8f}, 16 * 64 + 35},
                                              {{-0.6f, 0, -0.8f}, 16 * 64 + 28},
                                              {{0, 2, 0}, 16}};
  for (const auto& [normal, want] : cases) EXPECT_EQ(kv3dLightIndex(&normal), want) << normal;
  for (float wild : {NAN, INFINITY, -INFINITY, 1e30f}) {
    const Vector n{wild, wild, wild};
    const int32_t index = kv3dLightIndex(&n);
    EXPECT_TRUE(index >= 0 && index < 2048) << index;
  }
  // An exhausted pool gives no table; set makes a table current.
  useFreshPool(4);
  EXPECT_EQ(kv3dCreateLight(512, 512, 1, 1, 1, 0, 0, 0), nullptr);
  LightTable t;
  kv3dSetLight(&t);
  EXPECT_EQ(kv3dCurrentLight, &t);
  kv3dSetLight(nullptr);
}

}  // namespace
