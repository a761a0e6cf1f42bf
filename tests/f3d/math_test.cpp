#include <cmath>

#include "f3d_test.h"

namespace {

void expectPoint(const Vector& v, float x, float y, float z, float tolerance = 1e-5f) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
}

void expectIdentity(const Matrix& m, float tolerance = 1e-5f) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m[i], i % 5 == 0 ? 1.0f : 0.0f, tolerance) << i;
}

TEST(SineTable, MatchesTheDesignedQuarterWave) {
  // sin(i x 2 x 3.141592 / 4096) rounded to six places, entry 1023 forced to 1.
  for (int i = 0; i < 1023; ++i) {
    const double expected = std::round(std::sin(i * 2 * 3.141592 / 4096) * 1e6) / 1e6;
    ASSERT_EQ(kv3dSin(static_cast<Angle>(i)), static_cast<float>(expected)) << i;
  }
  EXPECT_EQ(kv3dSin(1), 0.001534f);
  EXPECT_EQ(kv3dSin(512), 0.707107f);
  EXPECT_EQ(kv3dSin(1023), 1.0f);
}

TEST(SineTable, QuadrantsReadOneStepOffTheMirror) {
  EXPECT_EQ(kv3dSin(1024), 1.0f);
  EXPECT_EQ(kv3dSin(3072), -1.0f);
  EXPECT_EQ(kv3dCos(0), 1.0f);
  EXPECT_EQ(kv3dCos(2048), -1.0f);
  EXPECT_EQ(kv3dCos(1), kv3dSin(1022));
  EXPECT_EQ(kv3dCos(3072), 0.0f);
  EXPECT_FALSE(std::signbit(kv3dCos(3072)));
  // sin(2048) and sin(65535) are -T[0]: a negative zero.
  EXPECT_EQ(kv3dSin(2048), 0.0f);
  EXPECT_TRUE(std::signbit(kv3dSin(2048)));
  EXPECT_TRUE(std::signbit(kv3dSin(65535)));
  for (int n : {0, 1, 700, 1500, 2500, 4000})
    EXPECT_EQ(kv3dSin(static_cast<Angle>(4096 + n)), kv3dSin(static_cast<Angle>(n))) << n;
}

TEST(Atan2, TableTruncatesAndFollowsTheDesign) {
  // With x = i and z = 1024 the ratio is exactly i, so the table entry shows through.
  for (int i = 1; i < 1024; ++i) {
    const int expected = static_cast<int>(std::floor(std::atan(i / 1024.0) * 4096 / (2 * M_PI)));
    ASSERT_EQ(kv3dAtan2(static_cast<float>(i), 1024.0f), expected) << i;
  }
  EXPECT_EQ(kv3dAtan2(1024.0f, 1024.0f), 512);  // entry 1024
  EXPECT_EQ(kv3dAtan2(1.0f, 1024.0f), 0);
  EXPECT_EQ(kv3dAtan2(2.0f, 1024.0f), 1);
}

TEST(Atan2, DeadZoneAxesAndQuadrants) {
  EXPECT_EQ(kv3dAtan2(0.0002f, -0.0002f), 0);
  EXPECT_EQ(kv3dAtan2(0.0003f, 0.0f), 1024);  // the bound itself is outside the dead zone
  EXPECT_EQ(kv3dAtan2(0.0f, 5.0f), 4096);     // a zero component counts as negative
  EXPECT_EQ(kv3dAtan2(1.0f, 0.0f), 1024);
  EXPECT_EQ(kv3dAtan2(0.0f, -1.0f), 2048);
  EXPECT_EQ(kv3dAtan2(-1.0f, 0.0f), 3072);
  EXPECT_EQ(kv3dAtan2(5.0f, 5.0f), 512);
  EXPECT_EQ(kv3dAtan2(-5.0f, -5.0f), 2560);
  EXPECT_EQ(kv3dAtan2(5.0f, -5.0f), 1536);
  EXPECT_EQ(kv3dAtan2(-5.0f, 5.0f), 3584);
  // Infinities and NaN stay in range instead of indexing outside the table.
  for (float wild : {INFINITY, -INFINITY, NAN, 3e38f}) {
    const int32_t a = kv3dAtan2(wild, wild), b = kv3dAtan2(wild, 1.0f), c = kv3dAtan2(1.0f, wild);
    for (int32_t r : {a, b, c}) EXPECT_TRUE(r >= 0 && r <= 4096) << r;
  }
}

TEST(MatrixMath, IdentityAndProducts) {
  Matrix r;
  expectIdentity(*kv3dRotationMatrix(&r, 0, 0, 0), 0.0f);

  Matrix a, id, out;
  const Vector position{1, 2, 3};
  kv3dPlacementMatrix(&a, 300, 700, 1900, &position);
  a.m[3] = a.m[7] = 5.0f;  // a fourth column that the product must not read
  kv3dIdentityMatrix(&id);
  kv3dMulMatrix(&out, &a, &id);
  for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14}) EXPECT_EQ(out.m[i], a.m[i]) << i;
  EXPECT_EQ(out.m[3], 0.0f);
  EXPECT_EQ(out.m[7], 0.0f);
  EXPECT_EQ(out.m[15], 1.0f);

  // The output may be an operand.
  Matrix b = a, expected;
  kv3dMulMatrix(&expected, &a, &b);
  kv3dMulMatrix(&b, &a, &b);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(b.m[i], expected.m[i]) << i;
}

TEST(MatrixMath, RotationTurnsAboutZThenXThenY) {
  Matrix r;
  Vector out;
  const Vector x{1, 0, 0};
  // Z by 90 takes x to y; X by 90 then takes y to z. The other order would give y.
  kv3dRotationMatrix(&r, 1024, 1024, 0);
  expectPoint(*kv3dTransform(&out, &x, &r), 0, 0, 1);
  // Then Y by 90 takes z to x.
  kv3dRotationMatrix(&r, 1024, 1024, 1024);
  expectPoint(*kv3dTransform(&out, &x, &r), 1, 0, 0);
  kv3dRotationMatrix(&r, 0, 0, 1024);
  expectPoint(*kv3dTransform(&out, &x, &r), 0, 0, -1);
}

TEST(MatrixMath, InverseAndViewUndoRotationAndPlacement) {
  const Angle angles[][3] = {{0, 0, 0}, {100, 2000, 3000}, {4095, 1024, 77}, {3333, 555, 1234}};
  for (const auto& a : angles) {
    Matrix r, inv, product;
    kv3dRotationMatrix(&r, a[0], a[1], a[2]);
    kv3dInvRotationMatrix(&inv, a[0], a[1], a[2]);
    // Inverse up to the table: sin(-a) reads one step off -sin(a).
    expectIdentity(*kv3dMulMatrix(&product, &r, &inv), 4e-3f);

    // The view moves the eye to the origin, then turns by the inverse rotation.
    const Vector eye{10, -20, 300}, ahead{10, -20, 301};
    Matrix view;
    kv3dViewMatrix(&view, a[0], a[1], a[2], &eye);
    for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10}) EXPECT_EQ(view.m[i], inv.m[i]) << i;
    Vector out, expected;
    kv3dTransform(&out, &eye, &view);
    EXPECT_NEAR(kv3dLength(&out), 0.0f, 1e-4f);
    kv3dTransform(&out, &ahead, &view);
    const Vector unitZ{0, 0, 1};
    kv3dRotate(&expected, &unitZ, &inv);
    expectPoint(out, expected.x, expected.y, expected.z, 1e-4f);
  }
}

TEST(MatrixMath, ArraysTransformOrRotateAndIgnoreEmptyCounts) {
  Matrix m;
  const Vector t{10, 20, 30};
  kv3dPlacementMatrix(&m, 1024, 0, 0, &t);
  const Vector in[2] = {{1, 0, 0}, {0, 1, 0}};
  Vector out[2] = {{7, 7, 7}, {7, 7, 7}};
  kv3dTransformArray(out, in, 0, &m);
  kv3dTransformArray(out, in, -5, &m);
  kv3dRotateArray(out, in, -1, &m);
  expectPoint(out[0], 7, 7, 7, 0);
  kv3dTransformArray(out, in, 2, &m);
  expectPoint(out[1], 9, 20, 30);
  kv3dRotateArray(out, in, 2, &m);
  expectPoint(out[1], -1, 0, 0);
}

TEST(MatrixMath, PivotMatrixScalesAndTurnsAboutThePivot) {
  const Vector pivot{1, 2, 3}, position{-5, 6, 7};
  const Vector unit{1, 1, 1};
  const int32_t none[3] = {0, 0, 0};
  Matrix m;
  Vector out;
  kv3dPivotMatrix(&m, &pivot, &position, none, &unit);
  expectPoint(*kv3dTransform(&out, &pivot, &m), -5, 6, 7);

  // Scale first, then the Z turn (the third angle; the upper bits are ignored).
  const Vector scale{2, 1, 1}, p{2, 2, 3};
  const int32_t turnZ[3] = {0, 0, 0x10000 + 1024};
  kv3dPivotMatrix(&m, &pivot, &position, turnZ, &scale);
  expectPoint(*kv3dTransform(&out, &p, &m), -5, 8, 7);
  // The first angle turns about X.
  const int32_t turnX[3] = {1024, 0, 0};
  const Vector q{1, 3, 3};
  kv3dPivotMatrix(&m, &pivot, &position, turnX, &unit);
  expectPoint(*kv3dTransform(&out, &q, &m), -5, 6, 8);
}

}  // namespace
