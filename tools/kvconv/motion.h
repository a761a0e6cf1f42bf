// Animations as MOT motions (one track per pivot) and cameras as CAM paths,
// with keys on the kit's whole frames.
#pragma once

#include <string>

#include "kvconv/import.h"
#include "kvconv/object.h"
#include "kvgen/formats.h"

namespace kvconv {

// The angle in degrees that the kit's loaders turn back into exactly `units`
// (they truncate degrees x 4096 / 360 toward zero).
float degreesFor(double units);

// The frames a track keys: the source's own key times where all of them fall
// on whole frames at `rate`, else every frame of the animation.
std::vector<int32_t> keyFrames(const std::vector<double>& seconds, double duration, double rate);

// One track per pivot of `object`: each pivot's pose relative to its parent,
// about its pivot point, with angles unwrapped from key to key.
kvgen::MotionRec buildMotion(const SourceScene& scene, const SourceAnimation& animation,
                             const Converted& object, double rate);

// A CAM file's bytes: the camera's eye and orientation as track 0, the
// carrier and target tracks empty. `animation` may be none (one key).
kvgen::Bytes buildCamera(const SourceScene& scene, const SourceAnimation* animation,
                         const SourceCamera& camera, double rate);

}  // namespace kvconv
