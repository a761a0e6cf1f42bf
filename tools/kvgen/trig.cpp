#include "trig.h"

#include <cmath>

namespace kvgen {

namespace {

constexpr double kHalfPi = 1.57079632679489661923;
constexpr double kQuarterPi = 0.78539816339744830962;
constexpr double kTanEighthPi = 0.41421356237309504880;

// Taylor series in double, nested (Horner): within an eighth of a turn twelve
// terms reach far below a float's last bit.
double sinSeries(double r) {  // |r| <= pi/4
  const double r2 = r * r;
  double s = 1.0;
  for (int n = 12; n >= 1; --n) s = 1.0 - r2 / ((2.0 * n) * (2.0 * n + 1.0)) * s;
  return r * s;
}

double cosSeries(double r) {  // |r| <= pi/4
  const double r2 = r * r;
  double s = 1.0;
  for (int n = 12; n >= 1; --n) s = 1.0 - r2 / ((2.0 * n - 1.0) * (2.0 * n)) * s;
  return s;
}

// sin(x + quadrant * pi/2) for |r| <= pi/4.
double sinQuadrant(double r, long long quadrant) {
  switch (quadrant & 3) {
    case 0:
      return sinSeries(r);
    case 1:
      return cosSeries(r);
    case 2:
      return -sinSeries(r);
    default:
      return -cosSeries(r);
  }
}

double sinDouble(double x) {
  // The nearest multiple of pi/2 goes; kvgen's arguments stay within a few
  // dozen turns, where one double of pi/2 keeps the remainder accurate enough.
  const double turns = std::nearbyint(x / kHalfPi);
  return sinQuadrant(x - turns * kHalfPi, static_cast<long long>(turns));
}

double atanSeries(double u) {  // |u| <= tan(pi/8): u^61 is below 1e-23
  const double u2 = u * u;
  double s = 0.0;
  for (int n = 30; n >= 0; --n) s = 1.0 / (2.0 * n + 1.0) - u2 * s;
  return u * s;
}

double atanUnit(double t) {  // 0 <= t <= 1
  return t <= kTanEighthPi ? atanSeries(t) : kQuarterPi + atanSeries((t - 1.0) / (t + 1.0));
}

}  // namespace

float sine(float radians) { return static_cast<float>(sinDouble(radians)); }

float cosine(float radians) { return static_cast<float>(sinDouble(radians + kHalfPi)); }

float arctan2(float y, float x) {
  const double ax = std::fabs(static_cast<double>(x)), ay = std::fabs(static_cast<double>(y));
  if (ax == 0.0 && ay == 0.0) return 0.0f;
  double a = ay <= ax ? atanUnit(ay / ax) : kHalfPi - atanUnit(ax / ay);
  if (x < 0.0f) a = 2.0 * kHalfPi - a;
  return static_cast<float>(y < 0.0f ? -a : a);
}

float hypotenuse(float x, float y) {
  const double dx = x, dy = y;
  return static_cast<float>(std::sqrt(dx * dx + dy * dy));
}

}  // namespace kvgen
