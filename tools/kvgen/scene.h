// The demonstration's assets, made procedurally and deterministically.
#pragma once

#include "formats.h"

namespace kvgen {

// Images (128 x 128, 8-bit palette).
Image floorPattern(int which);  // 0..3: map2a..map2d
Image floorTile();              // the fixed floor cells
Image canLabel();               // the can's label, with swatches for its parts

// Swatches in the lower part of the can's label image: the texel centre of
// each, in the 1/256 units of face coordinates.
enum class Swatch { Silver, Interior, Arm, Leg, Shoe, Tab };
void swatchUv(Swatch swatch, float& u, float& v);
// The label band covers face v from 0 (top of the body) to kLabelV (bottom).
constexpr float kLabelV = 192.0f;

// Objects.
ObjectRec makeFloor();
ObjectRec makeCan();

// The can's pivots, in file order.
enum CanPivot { kRoot, kBody, kLid, kArmLeft, kArmRight, kLegLeft, kLegRight, kCanPivots };
// The can is modelled about 300 high and drawn this much larger.
constexpr float kCanScale = 1.3f;
// Rest position of each pivot point (model units, y up, the can faces -z).
Vec3 canPivotPoint(int pivot);

// Motions over 32 frames, one track per can pivot.
MotionRec makeJump();
MotionRec makeSquash();
MotionRec makeDance();

}  // namespace kvgen
