// The three motions, written as smooth functions of the frame and sampled
// every two frames; the kit's spline passes through every key, so the
// curves come back as drawn. Each loops over 32 frames (key 32 = key 0).
#include <algorithm>
#include <cmath>
#include <functional>

#include "scene.h"
#include "trig.h"

namespace kvgen {

namespace {

constexpr float kPi = 3.14159265f;
constexpr int kFrames = 32;
constexpr int kKeyStep = 2;

// A pivot's pose relative to its rest position; angles in degrees.
struct Pose {
  Vec3 offset{0, 0, 0};
  float yaw = 0, pitch = 0, roll = 0;
  Vec3 scale{1, 1, 1};
};

using Choreography = std::function<Pose(int pivot, float t)>;

MotionRec sample(const Choreography& pose) {
  MotionRec motion;
  motion.header = kFrames;
  for (int p = 0; p < kCanPivots; ++p) {
    std::vector<KeyRec> track;
    const Vec3 rest = canPivotPoint(p);
    for (int t = 0; t <= kFrames; t += kKeyStep) {
      const Pose q = pose(p, static_cast<float>(t % kFrames));
      track.push_back({t,
                       {rest.x + q.offset.x * kCanScale, rest.y + q.offset.y * kCanScale,
                        rest.z + q.offset.z * kCanScale},
                       q.yaw,
                       q.pitch,
                       q.roll,
                       q.scale});
    }
    motion.tracks.push_back(std::move(track));
  }
  return motion;
}

float wave(float t, float period, float phase = 0) { return sine(2 * kPi * (t / period + phase)); }

// Stretches y by sy and keeps the volume with x and z.
Vec3 squash(float sy) {
  const float side = 1.0f / std::sqrt(sy);
  return {side, sy, side};
}

}  // namespace

// Two hops a cycle, a stride each: crouch, spring, legs apart in the air
// (left leg first, then right), arms flung out, the lid lifting at the top.
MotionRec makeJump() {
  return sample([](int pivot, float t) {
    const float p = std::fmod(t, 16.0f) / 16.0f;
    const float stride = t < 16 ? 1.0f : -1.0f;
    const float air = p > 0.2f ? std::max(0.0f, sine(kPi * (p - 0.2f) / 0.7f)) : 0.0f;
    const float crouch = p < 0.2f ? sine(kPi * p / 0.2f) : 0.0f;
    Pose q;
    switch (pivot) {
      case kRoot:
        q.offset.y = 80 * air;
        q.pitch = -8 * air;
        break;
      case kBody:
        q.scale = squash(1 - 0.2f * crouch + 0.08f * air);
        break;
      case kLid:
        q.pitch = 35 * air * air * air;
        break;
      case kArmLeft:
        q.pitch = -35 * stride * air;
        q.roll = -30 * air - 10 * crouch;
        break;
      case kArmRight:
        q.pitch = 35 * stride * air;
        q.roll = 30 * air + 10 * crouch;
        break;
      case kLegLeft:
        q.pitch = 32 * stride * air;
        break;
      case kLegRight:
        q.pitch = -32 * stride * air;
        break;
      default:
        break;
    }
    return q;
  });
}

// Squash and stretch twice a cycle: flattened with arms out and knees apart,
// then tall on tiptoe with arms high and the lid popping open.
MotionRec makeSquash() {
  return sample([](int pivot, float t) {
    const float stretch = cosine(2 * kPi * t / 16.0f);  // 1 tall, -1 flat
    const float up = std::max(stretch, 0.0f);
    const float arms = 45 + 70 * (stretch + 1) / 2;
    Pose q;
    switch (pivot) {
      case kRoot:
        q.offset.y = 24 * up * up;
        break;
      case kBody:
        q.scale = squash(1.05f + 0.27f * stretch);
        break;
      case kLid:
        q.pitch = 55 * up * up;
        break;
      case kArmLeft:
        q.roll = -arms;
        break;
      case kArmRight:
        q.roll = arms;
        break;
      case kLegLeft:
        q.roll = -14 * (1 - stretch) / 2;
        break;
      case kLegRight:
        q.roll = 14 * (1 - stretch) / 2;
        break;
      default:
        break;
    }
    return q;
  });
}

// A bouncing sway on every beat of eight frames, hips twisting, arms waving
// in turn overhead, legs kicking in turn, the lid tipped like a hat.
MotionRec makeDance() {
  return sample([](int pivot, float t) {
    const float beat = std::fabs(sine(kPi * t / 8.0f));
    const float turn = wave(t, 16);
    Pose q;
    switch (pivot) {
      case kRoot:
        q.offset.y = 20 * beat;
        q.roll = 12 * turn;
        q.yaw = 25 * wave(t, 32);
        break;
      case kBody:
        q.scale = squash(0.94f + 0.08f * beat);
        break;
      case kLid:
        q.pitch = 22 + 18 * wave(t, 8);
        break;
      case kArmLeft:
        q.roll = -(95 - 55 * turn);
        q.pitch = 20 * wave(t, 8);
        break;
      case kArmRight:
        q.roll = 95 + 55 * turn;
        q.pitch = -20 * wave(t, 8);
        break;
      case kLegLeft:
        q.pitch = 38 * std::max(0.0f, turn);
        break;
      case kLegRight:
        q.pitch = 38 * std::max(0.0f, -turn);
        break;
      default:
        break;
    }
    return q;
  });
}

}  // namespace kvgen
