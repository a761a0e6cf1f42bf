#include "kvconv/pose.h"

namespace kvconv {

Affine operator*(const Affine& a, const Affine& b) {
  Affine out;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c) {
      double sum = r == 3 ? b.m[3][c] : 0.0;
      for (int k = 0; k < 3; ++k) sum += a.m[r][k] * b.m[k][c];
      out.m[r][c] = sum;
    }
  return out;
}

Affine inverse(const Affine& a) {
  const auto& m = a.m;
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  Affine out;
  if (det == 0) return out;
  const double k = 1.0 / det;
  out.m[0] = {(m[1][1] * m[2][2] - m[1][2] * m[2][1]) * k,
              (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * k,
              (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * k};
  out.m[1] = {(m[1][2] * m[2][0] - m[1][0] * m[2][2]) * k,
              (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * k,
              (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * k};
  out.m[2] = {(m[1][0] * m[2][1] - m[1][1] * m[2][0]) * k,
              (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * k,
              (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * k};
  const Vec t = out.rotate(a.translation());
  out.m[3] = {-t.x, -t.y, -t.z};
  return out;
}

Affine translation(Vec t) {
  Affine out;
  out.m[3] = {t.x, t.y, t.z};
  return out;
}

namespace {

double radians(double units) { return units * 2 * kPi / kUnitsPerTurn; }
double units(double radians) { return radians * kUnitsPerTurn / (2 * kPi); }

// `angle` moved by whole turns to lie within half a turn of `near`.
double unwrap(double angle, double near) {
  return angle + std::round((near - angle) / kUnitsPerTurn) * kUnitsPerTurn;
}

double distance(const KitAngles& a, const KitAngles& b) {
  return std::abs(a.z - b.z) + std::abs(a.x - b.x) + std::abs(a.y - b.y);
}

}  // namespace

Affine rotationMatrix(const KitAngles& angles) {
  const double sa = std::sin(radians(angles.z)), ca = std::cos(radians(angles.z));
  const double sb = std::sin(radians(angles.x)), cb = std::cos(radians(angles.x));
  const double sc = std::sin(radians(angles.y)), cc = std::cos(radians(angles.y));
  Affine z, x, y;
  z.m[0] = {ca, sa, 0};
  z.m[1] = {-sa, ca, 0};
  x.m[1] = {0, cb, sb};
  x.m[2] = {0, -sb, cb};
  y.m[0] = {cc, 0, -sc};
  y.m[2] = {sc, 0, cc};
  return z * x * y;
}

KitAngles anglesOf(const Affine& r, const KitAngles& near) {
  // Rz(a) Rx(b) Ry(c) has row 2 = (cos b sin c, -sin b, cos b cos c) and
  // column 1 = (sin a cos b, cos a cos b, -sin b).
  const auto& m = r.m;
  const double b = std::asin(std::clamp(-m[2][1], -1.0, 1.0));
  KitAngles first;
  if (std::abs(std::cos(b)) > 1e-9) {
    first = {units(std::atan2(m[0][1], m[1][1])), units(b), units(std::atan2(m[2][0], m[2][2]))};
  } else {
    // Gimbal lock: only a and c together are fixed; keep yaw where it was and
    // read roll from Rz(a) Rx(b) = r x Ry(-c), whose row 0 is (cos a, ., .)
    // and row 1 (-sin a, ., .).
    const Affine rest = r * rotationMatrix({0, 0, -near.y});
    first = {units(std::atan2(-rest.m[1][0], rest.m[0][0])), units(b), near.y};
  }
  // The same rotation: a + half a turn, half a turn - b, c + half a turn.
  KitAngles second = {first.z + 2048, 2048 - first.x, first.y + 2048};
  for (KitAngles* k : {&first, &second}) {
    k->z = unwrap(k->z, near.z);
    k->x = unwrap(k->x, near.x);
    k->y = unwrap(k->y, near.y);
  }
  return distance(first, near) <= distance(second, near) ? first : second;
}

PivotPose poseOf(const Affine& local, Vec pivot, const KitAngles& near) {
  const Affine a = translation(pivot) * local;  // S R T(position)
  PivotPose pose;
  double scale[3];
  Affine r;
  for (int i = 0; i < 3; ++i) {
    scale[i] = std::sqrt(a.m[i][0] * a.m[i][0] + a.m[i][1] * a.m[i][1] + a.m[i][2] * a.m[i][2]);
    for (int c = 0; c < 3; ++c) r.m[i][c] = scale[i] > 0 ? a.m[i][c] / scale[i] : (i == c);
  }
  // A mirroring pose keeps its reflection in the scale, not in the rotation.
  const auto& m = r.m;
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (det < 0) {
    scale[0] = -scale[0];
    for (int c = 0; c < 3; ++c) r.m[0][c] = -r.m[0][c];
  }
  pose.scale = {scale[0], scale[1], scale[2]};
  pose.angles = anglesOf(r, near);
  pose.position = a.translation();
  return pose;
}

Affine pivotMatrix(const PivotPose& pose, Vec pivot) {
  Affine s;
  s.m[0] = {pose.scale.x, 0, 0};
  s.m[1] = {0, pose.scale.y, 0};
  s.m[2] = {0, 0, pose.scale.z};
  Affine r = rotationMatrix(pose.angles);
  r.m[3] = {pose.position.x, pose.position.y, pose.position.z};
  return translation({-pivot.x, -pivot.y, -pivot.z}) * s * r;
}

}  // namespace kvconv
