#include "kvconv/motion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

namespace kvconv {

namespace {

kvgen::Vec3 toFile(Vec a) {
  return {static_cast<float>(a.x), static_cast<float>(a.y), static_cast<float>(a.z)};
}

void collectTimes(const SourceAnimation& animation, int node, std::vector<double>* seconds) {
  for (const Channel& c : animation.channels) {
    if (c.node != node) continue;
    for (const auto& k : c.positions) seconds->push_back(k.time);
    for (const auto& k : c.rotations) seconds->push_back(k.time);
    for (const auto& k : c.scales) seconds->push_back(k.time);
  }
}

kvgen::KeyRec keyOf(int32_t frame, const PivotPose& pose) {
  return {frame,
          toFile(pose.position),
          degreesFor(pose.angles.y),
          degreesFor(pose.angles.x),
          degreesFor(pose.angles.z),
          toFile(pose.scale)};
}

// Whole-unit angles, unwrapped from the previous key's.
KitAngles rounded(const KitAngles& a) {
  return {std::round(a.z), std::round(a.x), std::round(a.y)};
}

}  // namespace

float degreesFor(double units) {
  const double whole = std::round(units);
  if (whole == 0) return 0.0f;
  // Half a unit away from zero: truncation lands on the whole unit whatever
  // the float's rounding.
  return static_cast<float>((whole + (whole > 0 ? 0.5 : -0.5)) * 360.0 / kUnitsPerTurn);
}

std::vector<int32_t> keyFrames(const std::vector<double>& seconds, double duration, double rate) {
  std::set<int32_t> frames;
  bool whole = true;
  for (double s : seconds) {
    const double f = s * rate;
    if (std::abs(f - std::round(f)) > 1e-3) whole = false;
    frames.insert(static_cast<int32_t>(std::max(0.0, std::round(f))));
  }
  if (!whole) {
    frames.clear();
    const int32_t last = static_cast<int32_t>(std::ceil(duration * rate - 1e-6));
    for (int32_t f = 0; f <= std::max(last, 0); ++f) frames.insert(f);
  }
  if (frames.empty()) frames.insert(0);
  return {frames.begin(), frames.end()};
}

kvgen::MotionRec buildMotion(const SourceScene& scene, const SourceAnimation& animation,
                             const Converted& object, double rate) {
  const std::vector<Affine> rest = globalsAt(scene, nullptr, 0);
  std::vector<Affine> restInverse(rest.size());
  for (size_t i = 0; i < rest.size(); ++i) restInverse[i] = inverse(rest[i]);
  // Every node's pose at a frame, worked out once for all the tracks that key it.
  std::map<int32_t, std::vector<Affine>> posed;
  const auto posesAt = [&](int32_t frame) -> const std::vector<Affine>& {
    auto found = posed.find(frame);
    if (found == posed.end())
      found = posed.emplace(frame, globalsAt(scene, &animation, frame / rate)).first;
    return found->second;
  };
  kvgen::MotionRec motion;
  const size_t pivots = object.pivotNode.size();
  motion.tracks.resize(pivots);
  for (size_t p = 0; p < pivots; ++p) {
    const int node = object.pivotNode[p];
    const int16_t parentPivot = object.object.pivots[p].parent;
    const int parentNode =
        parentPivot >= 0 ? object.pivotNode[static_cast<size_t>(parentPivot)] : -1;
    // The nodes between this pivot and its parent's move it.
    std::vector<double> seconds;
    for (int n = node; n >= 0 && n != parentNode; n = scene.nodes[static_cast<size_t>(n)].parent)
      collectTimes(animation, n, &seconds);
    const kvgen::Vec3& point = object.restPivotPoints[p];
    KitAngles near;
    for (int32_t frame : keyFrames(seconds, animation.duration, rate)) {
      const std::vector<Affine>& now = posesAt(frame);
      const size_t n = static_cast<size_t>(node);
      Affine local = restInverse[n] * now[n];
      if (parentNode >= 0) {
        const size_t q = static_cast<size_t>(parentNode);
        local = local * inverse(restInverse[q] * now[q]);
      }
      PivotPose pose = poseOf(local, {point.x, point.y, point.z}, near);
      pose.angles = rounded(pose.angles);
      near = pose.angles;
      motion.tracks[p].push_back(keyOf(frame, pose));
    }
  }
  return motion;
}

kvgen::Bytes buildCamera(const SourceScene& scene, const SourceAnimation* animation,
                         const SourceCamera& camera, double rate) {
  std::vector<int32_t> frames{0};
  if (animation != nullptr) {
    std::vector<double> seconds;
    for (int n = camera.node; n >= 0; n = scene.nodes[static_cast<size_t>(n)].parent)
      collectTimes(*animation, n, &seconds);
    frames = keyFrames(seconds, animation->duration, rate);
  }
  kvgen::Bytes bytes;
  const auto put = [&bytes](const void* data, size_t n) {
    const auto* b = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), b, b + n);
  };
  const int32_t count = static_cast<int32_t>(frames.size()), none = 0;
  put(&count, 4);
  KitAngles near;
  for (int32_t frame : frames) {
    const Affine g = globalsAt(scene, animation, frame / rate)[static_cast<size_t>(camera.node)];
    const Vec eye = g.apply(camera.position);
    const auto unit = [](Vec v) {
      const double n = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
      return n > 0 ? Vec{v.x / n, v.y / n, v.z / n} : Vec{0, 0, 1};
    };
    const auto cross = [](Vec a, Vec b) {
      return Vec{a.y * b.z - b.y * a.z, a.z * b.x - b.z * a.x, a.x * b.y - a.y * b.x};
    };
    // The kit's camera looks along its own +z with +y up: rows z, y, x.
    const Vec forward = unit(g.rotate(camera.lookAt));
    const Vec right = unit(cross(g.rotate(camera.up), forward));
    const Vec up = cross(forward, right);
    Affine r;
    r.m[0] = {right.x, right.y, right.z};
    r.m[1] = {up.x, up.y, up.z};
    r.m[2] = {forward.x, forward.y, forward.z};
    near = rounded(anglesOf(r, near));
    const float key[10] = {0,
                           static_cast<float>(eye.x),
                           static_cast<float>(eye.y),
                           static_cast<float>(eye.z),
                           degreesFor(near.y),
                           degreesFor(near.x),
                           degreesFor(near.z),
                           1,
                           1,
                           1};
    put(&frame, 4);
    put(key + 1, 36);
  }
  put(&none, 4);  // the carrier of the whole camera
  put(&none, 4);  // the target's carrier, and so no target offset
  return bytes;
}

}  // namespace kvconv
