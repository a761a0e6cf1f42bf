#include <cmath>

#include "f3d_test.h"

namespace {

void expectIdentity(const Matrix& m, float tolerance = 1e-5f) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m[i], i % 5 == 0 ? 1.0f : 0.0f, tolerance) << i;
}

TEST(Tables, SineQuarterWaveAndItsQuirks) {
  // sin(i x 2 x 3.141592 / 4096) rounded to six places, entry 1023 forced to 1.
  for (int i = 0; i < 1023; ++i)
    ASSERT_EQ(kv3dSin(Angle(i)), float(std::round(std::sin(i * 2 * 3.141592 / 4096) * 1e6) / 1e6))
        << i;
  // The other quadrants read one step off the mirror.
  const float pairs[][2] = {{kv3dSin(1023), 1}, {kv3dSin(1024), 1},  {kv3dSin(3072), -1},
                            {kv3dCos(0), 1},    {kv3dCos(2048), -1}, {kv3dCos(1), kv3dSin(1022)},
                            {kv3dCos(3072), 0}};
  for (const auto& p : pairs) EXPECT_EQ(p[0], p[1]) << &p - pairs;
  // sin(2048) and sin(65535) are -T[0]: a negative zero; cos(3072) a positive one.
  EXPECT_TRUE(std::signbit(kv3dSin(2048)) && std::signbit(kv3dSin(65535)));
  EXPECT_FALSE(std::signbit(kv3dCos(3072)));
  for (int n : {0, 1, 700, 1500, 2500, 4000})
    EXPECT_EQ(kv3dSin(Angle(4096 + n)), kv3dSin(Angle(n)));
}

TEST(Tables, AtanTruncatesHasADeadZoneAndStaysInRange) {
  // With z = 1024 the ratio is exactly i / 1024, so the table entry shows through.
  for (int i = 1; i < 1024; ++i)
    ASSERT_EQ(kv3dAtan2(float(i), 1024.0f),
              int(std::floor(std::atan(i / 1024.0) * 4096 / (2 * M_PI))))
        << i;
  // A zero component counts as negative; 0.0003 is the dead zone's bound, outside it.
  const std::tuple<float, float, int32_t> cases[] = {
      {1024, 1024, 512}, {0.0002f, -0.0002f, 0}, {0.0003f, 0, 1024}, {0, 5, 4096},
      {1, 0, 1024},      {0, -1, 2048},          {-1, 0, 3072},      {5, 5, 512},
      {-5, -5, 2560},    {5, -5, 1536},          {-5, 5, 3584}};
  for (auto [x, z, want] : cases) EXPECT_EQ(kv3dAtan2(x, z), want) << x << ", " << z;
  // Infinities and NaN must not index outside the table.
  for (float wild : {INFINITY, -INFINITY, NAN, 3e38f})
    for (int32_t r : {kv3dAtan2(wild, wild), kv3dAtan2(wild, 1.0f), kv3dAtan2(1.0f, wild)})
      EXPECT_TRUE(r >= 0 && r <= 4096) << r;
}

TEST(MatrixMath, ProductsIgnoreTheFourthColumnAndMayAlias) {
  Matrix r, a, id, out;
  expectIdentity(*kv3dRotationMatrix(&r, 0, 0, 0), 0.0f);
  const Vector position{1, 2, 3};
  kv3dPlacementMatrix(&a, 300, 700, 1900, &position);
  a.m[3] = a.m[7] = 5.0f;
  kv3dMulMatrix(&out, &a, kv3dIdentityMatrix(&id));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out.m[i], i % 4 < 3 ? a.m[i] : i == 15 ? 1.0f : 0.0f) << i;
  Matrix b = a, expected;
  kv3dMulMatrix(&expected, &a, &b);
  kv3dMulMatrix(&b, &a, &b);
  EXPECT_EQ(std::memcmp(&b, &expected, sizeof b), 0);
}

TEST(MatrixMath, RotationOrderZThenXThenY) {
  // Z by 90 takes x to y; X by 90 then takes y to z (the other order would give
  // y); Y by 90 then takes z to x.
  Matrix r;
  expectNear(apply(*kv3dRotationMatrix(&r, 1024, 1024, 0), {1, 0, 0}), {0, 0, 1});
  expectNear(apply(*kv3dRotationMatrix(&r, 1024, 1024, 1024), {1, 0, 0}), {1, 0, 0});
  expectNear(apply(*kv3dRotationMatrix(&r, 0, 0, 1024), {1, 0, 0}), {0, 0, -1});
}

TEST(MatrixMath, InverseAndViewUndoRotationAndPlacement) {
  const Angle angles[][3] = {{0, 0, 0}, {100, 2000, 3000}, {4095, 1024, 77}, {3333, 555, 1234}};
  const Vector eye{10, -20, 300};
  for (const auto& a : angles) {
    Matrix r, inv, product, view;
    kv3dRotationMatrix(&r, a[0], a[1], a[2]);
    kv3dInvRotationMatrix(&inv, a[0], a[1], a[2]);
    // Inverse up to the table: sin(-a) reads one step off -sin(a).
    expectIdentity(*kv3dMulMatrix(&product, &r, &inv), 4e-3f);
    // The view moves the eye to the origin, then turns by the inverse rotation.
    kv3dViewMatrix(&view, a[0], a[1], a[2], &eye);
    for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10}) EXPECT_EQ(view.m[i], inv.m[i]) << i;
    expectNear(apply(view, eye), {0, 0, 0}, 1e-4f);
  }
}

TEST(MatrixMath, ArraysTransformOrRotateAndIgnoreEmptyCounts) {
  Matrix m;
  const Vector t{10, 20, 30}, in[2] = {{1, 0, 0}, {0, 1, 0}};
  kv3dPlacementMatrix(&m, 1024, 0, 0, &t);
  Vector out[2] = {{7, 7, 7}, {7, 7, 7}};
  kv3dTransformArray(out, in, 0, &m);
  kv3dTransformArray(out, in, -5, &m);
  kv3dRotateArray(out, in, -1, &m);
  EXPECT_EQ(out[0], (Vector{7, 7, 7}));
  kv3dTransformArray(out, in, 2, &m);
  expectNear(out[1], {9, 20, 30});
  kv3dRotateArray(out, in, 2, &m);
  expectNear(out[1], {-1, 0, 0});
}

TEST(MatrixMath, PivotMatrixScalesThenTurnsAboutThePivot) {
  const Vector pivot{1, 2, 3}, position{-5, 6, 7}, unit{1, 1, 1}, stretch{2, 1, 1};
  const int32_t none[3] = {0, 0, 0}, turnZ[3] = {0, 0, 0x10000 + 1024}, turnX[3] = {1024, 0, 0};
  Matrix m;
  expectNear(apply(*kv3dPivotMatrix(&m, &pivot, &position, none, &unit), pivot), position);
  // Scale first, then the Z turn (the third angle; the upper bits are ignored).
  expectNear(apply(*kv3dPivotMatrix(&m, &pivot, &position, turnZ, &stretch), {2, 2, 3}),
             {-5, 8, 7});
  // The first angle turns about X.
  expectNear(apply(*kv3dPivotMatrix(&m, &pivot, &position, turnX, &unit), {1, 3, 3}), {-5, 6, 8});
}

}  // namespace
