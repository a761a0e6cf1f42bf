// What the fast rasterizer's triangle walk hands to its span loops: the
// per-draw constants, one span's starting values, and the span function
// chosen for the draw's state. The span loops are compiled once per
// instruction set (spans.cpp) and picked when the process first draws; the
// triangle walk around them (fast.cpp) is plain C++.
#pragma once

#include <cstdint>

#include "platform/raster/pixel.h"

namespace kv::raster::fast {

enum class BlendKind : uint8_t { Off, Over, Add, General };
enum class DepthMode : uint8_t { Off, GreaterEqual, Any };

// For textures whose pitch is a power of two: the byte offsets of the texel
// columns and rows that 16.16 coordinates fall in, wrapped, taken from the
// coordinates with one shift and one mask each.
struct TexelGrid {
  int32_t columnMask, rowMask;    // (width - 1) x texel bytes, (height - 1) x pitch
  int32_t columnShift, rowShift;  // 16 - log2(texel bytes), 16 - log2(pitch)
  int32_t columnStep, rowStep;    // texel bytes, pitch
};

// Per-draw constants, resolved once per fan.
struct Context {
  uint8_t* color = nullptr;
  int32_t colorPitch = 0;
  bool is565 = false;
  uint8_t* depth = nullptr;
  int32_t depthPitch = 0;
  int32_t width = 0, height = 0;  // drawable area (colour and depth intersected)

  const uint8_t* texels = nullptr;
  int32_t texPitch = 0;
  int32_t texBytes = 0;
  int32_t texRowShift = -1;  // pitch = texBytes << texRowShift, or -1: offsets by multiplication
  TexelGrid grid{};          // set with texRowShift >= 0 only
  int32_t texW = 0, texH = 0;
  TextureFormat texFormat = TextureFormat::Palette8;
  const uint32_t* palette = nullptr;
  bool colorKey = false;
  uint32_t key = 0, keyMask = 0;

  ColorOp colorOp = ColorOp::Modulate;
  AlphaOp alphaOp = AlphaOp::SelectDiffuse;
  BlendKind blendKind = BlendKind::Off;
  BlendFactor srcBlend = BlendFactor::One, dstBlend = BlendFactor::Zero;
  DepthCompare depthCompare = DepthCompare::GreaterEqual;
  bool depthWrite = false;
  bool dither = false;
};

// Attributes in the order the triangle set-up keeps their planes.
enum Attr { kA, kR, kG, kB, kZ, kU, kV, kQ, kAttrs };

constexpr int kColorFraction = 22;

// What a triangle's spans share. Depth and texture coordinates (texels x
// 65536) are floats evaluated per pixel as start + step * i; the colour
// channels are fixed point with 22 fraction bits, stepped from pixel to pixel
// (the fraction is wide enough that a span never drifts a rounding away from
// the plane).
struct SpanSteps {
  float step[kAttrs];
  int32_t colorStep[4];  // a, r, g, b, in units of 2^-22
  // Columns the spans' loads and stores must stay within (the tile being
  // drawn): pixels of a row outside its span but inside these bounds may be
  // read and written back unchanged.
  int32_t left, right;
};

// One span: pixels x0..x1-1 of row y, both inside the drawable area and
// within the steps' left..right, and its values at its origin.
struct SpanRow {
  float start[kAttrs];    // kZ onwards; the colours are in colorStart
  int32_t colorStart[4];  // a, r, g, b, in units of 2^-22
  // The span's first pixel counted from the pixel the start values are for.
  int32_t offset;
  int32_t y, x0, x1;
};

// Draws a triangle's spans, top to bottom: the set-up the spans share is done
// once per call, not once per row.
using SpanFn = void (*)(const Context&, const SpanSteps&, const SpanRow* rows, int count);

// The span loop for a draw's state, compiled for the best instruction set
// the machine offers.
SpanFn pickSpan(DepthMode depth, bool textured, bool perspective, bool bilinear, bool plain);

// The instruction set the span loops run on, for benchmarks and logs.
const char* spanTargetName();

}  // namespace kv::raster::fast
