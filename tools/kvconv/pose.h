// Affine transforms in the kit's conventions: row vectors (p' = p x M), the
// translation in row 3, and rotations as angles Z, then X, then Y in units of
// 4096 a turn. Doubles, so conversions lose nothing before the file's floats.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>

namespace kvconv {

struct Vec {
  double x = 0, y = 0, z = 0;
};

struct Affine {
  std::array<std::array<double, 3>, 4> m{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}}};

  Vec apply(Vec p) const {
    return {p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0],
            p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1],
            p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2]};
  }
  Vec rotate(Vec v) const {
    return {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0],
            v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
            v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]};
  }
  Vec translation() const { return {m[3][0], m[3][1], m[3][2]}; }
};

// a, then b.
Affine operator*(const Affine& a, const Affine& b);
Affine inverse(const Affine& a);
Affine translation(Vec t);

// The kit's elementary angles of one pose, in angle units (not wrapped).
struct KitAngles {
  double z = 0, x = 0, y = 0;  // roll, pitch, yaw
};

// kv3dRotationMatrix(z, x, y) in doubles: Rz, then Rx, then Ry.
Affine rotationMatrix(const KitAngles& angles);
// The angles whose rotation is the rotation part of `r` (orthonormal, det 1).
// Of the two triples that give it, the one nearest `near` after unwrapping
// each angle by whole turns.
KitAngles anglesOf(const Affine& r, const KitAngles& near);

// A pivot's pose: p -> ((p - pivot) * scale) x R(angles) + position.
struct PivotPose {
  Vec position;
  KitAngles angles;
  Vec scale{1, 1, 1};
};
// Splits `local` (the pivot's local matrix) into the kit's pose about `pivot`.
PivotPose poseOf(const Affine& local, Vec pivot, const KitAngles& near);
Affine pivotMatrix(const PivotPose& pose, Vec pivot);

constexpr double kUnitsPerTurn = 4096.0;
constexpr double kPi = 3.14159265358979323846;

}  // namespace kvconv
