// Sine, cosine, arctangent and hypotenuse made of the operations IEEE 754
// rounds exactly (+, -, *, / and sqrt), so kvgen writes the same bytes under
// every C library and compiler: the library's sinf and atan2f may differ in
// the last bit from one version to the next. The target is built with
// -ffp-contract=off so that no compiler fuses a multiply and an add either.
#pragma once

namespace kvgen {

float sine(float radians);
float cosine(float radians);
// The angle of (x, y) from the positive x axis, in (-pi, pi]; 0 at the origin.
float arctan2(float y, float x);
float hypotenuse(float x, float y);

}  // namespace kvgen
