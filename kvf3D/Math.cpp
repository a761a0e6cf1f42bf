// Vector, matrix and angle math: table trigonometry and the matrix constructors
// every transform of the 3D library is built from.
#include "kvf3D/Math.h"

#include <array>
#include <cmath>

namespace {

// The tables are constant data computed by the compiler: no start-up step, no
// first-use check on the hot path, and the same bytes under every compiler
// (the standard library's sin and atan are not constexpr in C++20).
// The sine table is built with this pi, which leaves a few entries a millionth low.
constexpr double kSinTablePi = 3.141592;
constexpr double kPi = 3.14159265358979323846;

constexpr double seriesSin(double x) {
  // x stays within a quarter turn, where 30 terms are far beyond double precision.
  double term = x, sum = x;
  for (int n = 1; n < 30; ++n) {
    term *= -x * x / ((2 * n) * (2 * n + 1));
    sum += term;
  }
  return sum;
}

constexpr double seriesAtan(double x) {  // |x| <= 1/2
  double power = x, sum = 0.0;
  for (int n = 0; n < 60; ++n) {
    sum += power / (2 * n + 1) * (n % 2 == 0 ? 1.0 : -1.0);
    power *= x * x;
  }
  return sum;
}

constexpr double tableAtan(double x) {  // 0 <= x <= 1
  // Beyond 1/2 shift by pi/4 so that the series argument stays within 1/3.
  return x <= 0.5 ? seriesAtan(x) : kPi / 4 + seriesAtan((x - 1.0) / (x + 1.0));
}

constexpr std::array<float, 1024> makeSinTable() {
  std::array<float, 1024> table{};
  for (int i = 0; i < 1023; ++i) {
    const double value = seriesSin(i * 2 * kSinTablePi / 4096);
    const double millionths = static_cast<double>(static_cast<int64_t>(value * 1e6 + 0.5));
    table[i] = static_cast<float>(millionths / 1e6);
  }
  table[1023] = 1.0f;  // not sin(1023 units): the quarter wave ends on exactly 1
  return table;
}

constexpr std::array<int16_t, 1025> makeAtanTable() {
  std::array<int16_t, 1025> table{};
  for (int i = 0; i <= 1024; ++i) {
    const double angle = tableAtan(i / 1024.0) * 4096 / (2 * kPi);
    int16_t whole = static_cast<int16_t>(angle);  // floor: angle is never negative
    // 45 degrees is exactly 512; keep rounding noise from landing just below.
    if (i == 1024) whole = 512;
    table[i] = whole;
  }
  return table;
}

constexpr auto kvSinTable = makeSinTable();
constexpr auto kvAtanTable = makeAtanTable();
static_assert(kvSinTable[1] == 0.001534f && kvSinTable[512] == 0.707107f);
static_assert(kvAtanTable[1] == 0 && kvAtanTable[2] == 1 && kvAtanTable[1024] == 512);

void setRows(Matrix* out, float r00, float r01, float r02, float r10, float r11, float r12,
             float r20, float r21, float r22) {
  *out = Matrix{
      {r00, r01, r02, 0.0f, r10, r11, r12, 0.0f, r20, r21, r22, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f}};
}

void rotationZ(Matrix* out, Angle a) {
  const float s = kv3dSin(a), c = kv3dCos(a);
  setRows(out, c, s, 0.0f, -s, c, 0.0f, 0.0f, 0.0f, 1.0f);
}

void rotationX(Matrix* out, Angle b) {
  const float s = kv3dSin(b), c = kv3dCos(b);
  setRows(out, 1.0f, 0.0f, 0.0f, 0.0f, c, s, 0.0f, -s, c);
}

void rotationY(Matrix* out, Angle c) {
  const float s = kv3dSin(c), co = kv3dCos(c);
  setRows(out, co, 0.0f, -s, 0.0f, 1.0f, 0.0f, s, 0.0f, co);
}

}  // namespace

float kv3dSin(Angle a) {
  const int32_t k = a & 1023;
  // The reflected quadrants read entry 1023 - k (not 1024 - k), one step off
  // the mirror image; sin(2048) is therefore -T[0], a negative zero.
  switch ((a >> 10) & 3) {
    case 0:
      return kvSinTable[k];
    case 1:
      return kvSinTable[~a & 1023];
    case 2:
      return -kvSinTable[k];
    default:
      return -kvSinTable[~a & 1023];
  }
}

float kv3dCos(Angle a) { return kv3dSin(static_cast<Angle>(a + 1024)); }

int32_t kv3dAtan2(float x, float z) {
  constexpr float kDeadZone = 0.0003f;
  if (-kDeadZone < x && x < kDeadZone && -kDeadZone < z && z < kDeadZone) return 0;
  const float ax = std::fabs(x), az = std::fabs(z);
  const bool steep = ax < az;
  const float ratio = steep ? ax * 1024.0f / az : az * 1024.0f / ax;
  // Out of range (or NaN, from infinities) reads entry 0, as the kit always did.
  const int32_t t = ratio >= 0.0f && ratio < 1025.0f ? kvAtanTable[static_cast<int32_t>(ratio)] : 0;
  // A zero component counts with the negative side: the tests are strict.
  const bool px = x > 0.0f, pz = z > 0.0f;
  if (steep) {
    if (px) return pz ? t : 2048 - t;
    return pz ? 4096 - t : 2048 + t;
  }
  if (px) return pz ? 1024 - t : 1024 + t;
  return pz ? 3072 + t : 3072 - t;
}

Vector* kv3dCross(Vector* out, const Vector* a, const Vector* b) {
  *out = Vector{a->y * b->z - b->y * a->z, a->z * b->x - b->z * a->x, a->x * b->y - a->y * b->x};
  return out;
}

float kv3dDot(const Vector* a, const Vector* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }

Vector* kv3dAdd(Vector* out, const Vector* a, const Vector* b) {
  *out = Vector{a->x + b->x, a->y + b->y, a->z + b->z};
  return out;
}

Vector* kv3dSub(Vector* out, const Vector* a, const Vector* b) {
  *out = Vector{a->x - b->x, a->y - b->y, a->z - b->z};
  return out;
}

float kv3dLength(const Vector* v) {
  return static_cast<float>(
      std::sqrt(static_cast<double>(v->x * v->x + v->y * v->y + v->z * v->z)));
}

Vector* kv3dTransform(Vector* out, const Vector* p, const Matrix* m) {
  const float* e = m->m;
  *out = Vector{p->x * e[0] + p->y * e[4] + p->z * e[8] + e[12],
                p->x * e[1] + p->y * e[5] + p->z * e[9] + e[13],
                p->x * e[2] + p->y * e[6] + p->z * e[10] + e[14]};
  return out;
}

Vector* kv3dRotate(Vector* out, const Vector* v, const Matrix* m) {
  const float* e = m->m;
  *out = Vector{v->x * e[0] + v->y * e[4] + v->z * e[8], v->x * e[1] + v->y * e[5] + v->z * e[9],
                v->x * e[2] + v->y * e[6] + v->z * e[10]};
  return out;
}

void kv3dTransformArray(Vector* out, const Vector* in, int32_t count, const Matrix* m) {
  // The elements are read once into locals so the loop need not reload them
  // after every store (out may not alias m, but the compiler cannot know).
  const float m0 = m->m[0], m1 = m->m[1], m2 = m->m[2], m4 = m->m[4], m5 = m->m[5], m6 = m->m[6],
              m8 = m->m[8], m9 = m->m[9], m10 = m->m[10], m12 = m->m[12], m13 = m->m[13],
              m14 = m->m[14];
  for (int32_t i = 0; i < count; ++i) {
    const float x = in[i].x, y = in[i].y, z = in[i].z;
    out[i] = Vector{x * m0 + y * m4 + z * m8 + m12, x * m1 + y * m5 + z * m9 + m13,
                    x * m2 + y * m6 + z * m10 + m14};
  }
}

void kv3dRotateArray(Vector* out, const Vector* in, int32_t count, const Matrix* m) {
  const float m0 = m->m[0], m1 = m->m[1], m2 = m->m[2], m4 = m->m[4], m5 = m->m[5], m6 = m->m[6],
              m8 = m->m[8], m9 = m->m[9], m10 = m->m[10];
  for (int32_t i = 0; i < count; ++i) {
    const float x = in[i].x, y = in[i].y, z = in[i].z;
    out[i] = Vector{x * m0 + y * m4 + z * m8, x * m1 + y * m5 + z * m9, x * m2 + y * m6 + z * m10};
  }
}

Matrix* kv3dMulMatrix(Matrix* out, const Matrix* a, const Matrix* b) {
  // Formed in a local first, so that an output sharing an operand is still right.
  const float* x = a->m;
  const float* y = b->m;
  Matrix r;
  for (int row = 0; row < 4; ++row) {
    const float* ar = x + row * 4;
    for (int c = 0; c < 3; ++c)
      r.m[row * 4 + c] = ar[0] * y[c] + ar[1] * y[4 + c] + ar[2] * y[8 + c];
    r.m[row * 4 + 3] = 0.0f;
  }
  r.m[12] += y[12];
  r.m[13] += y[13];
  r.m[14] += y[14];
  r.m[15] = 1.0f;
  *out = r;
  return out;
}

Matrix* kv3dIdentityMatrix(Matrix* out) {
  setRows(out, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f);
  return out;
}

Matrix* kv3dRotationMatrix(Matrix* out, Angle a, Angle b, Angle c) {
  Matrix z, x, y, zx;
  rotationZ(&z, a);
  rotationX(&x, b);
  rotationY(&y, c);
  return kv3dMulMatrix(out, kv3dMulMatrix(&zx, &z, &x), &y);
}

Matrix* kv3dInvRotationMatrix(Matrix* out, Angle a, Angle b, Angle c) {
  Matrix z, x, y, yx;
  rotationZ(&z, static_cast<Angle>(-a));
  rotationX(&x, static_cast<Angle>(-b));
  rotationY(&y, static_cast<Angle>(-c));
  return kv3dMulMatrix(out, kv3dMulMatrix(&yx, &y, &x), &z);
}

Matrix* kv3dPlacementMatrix(Matrix* out, Angle a, Angle b, Angle c, const Vector* position) {
  kv3dRotationMatrix(out, a, b, c);
  out->m[12] = position->x;
  out->m[13] = position->y;
  out->m[14] = position->z;
  return out;
}

Matrix* kv3dViewMatrix(Matrix* out, Angle a, Angle b, Angle c, const Vector* eye) {
  Matrix rotation, translation;
  kv3dInvRotationMatrix(&rotation, a, b, c);
  kv3dIdentityMatrix(&translation);
  translation.m[12] = -eye->x;
  translation.m[13] = -eye->y;
  translation.m[14] = -eye->z;
  return kv3dMulMatrix(out, &translation, &rotation);
}

Matrix* kv3dPivotMatrix(Matrix* out, const Vector* pivot, const Vector* position,
                        const int32_t angles[3], const Vector* scale) {
  Matrix rotation, scaling;
  kv3dPlacementMatrix(&rotation, static_cast<Angle>(angles[2]), static_cast<Angle>(angles[0]),
                      static_cast<Angle>(angles[1]), position);
  setRows(&scaling, scale->x, 0.0f, 0.0f, 0.0f, scale->y, 0.0f, 0.0f, 0.0f, scale->z);
  scaling.m[12] = -pivot->x * scale->x;
  scaling.m[13] = -pivot->y * scale->y;
  scaling.m[14] = -pivot->z * scale->z;
  return kv3dMulMatrix(out, &scaling, &rotation);
}
