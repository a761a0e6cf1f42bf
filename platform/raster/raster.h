// The software rasterizers behind the Direct3D stand-in's devices: plain
// descriptions of a render target, a depth buffer, a texture and the render
// state, and one abstract back end that clears and draws triangle fans.
//
// Nothing here allocates: a back end is made once per device and every call
// works on memory the caller owns. Both back ends produce the same coverage
// (see "Geometry"), so pictures from the two devices can be compared pixel by
// pixel; they differ only in rounding of colours and texture coordinates.
#pragma once

#include <cstdint>
#include <memory>

namespace kv::raster {

// Where the back ends write a refused description (one line each): the layer
// above routes them to its log; stderr until it does. Null restores stderr.
using LogSink = void (*)(const char* line);
void setLogSink(LogSink sink);

// ---------------------------------------------------------------------------
// Targets

enum class ColorFormat : uint8_t {
  RGB565,    // 16 bits: red 15..11, green 10..5, blue 4..0; dithered when asked
  XRGB8888,  // 32 bits: blue in the low byte, the top byte written as 0xFF
};

struct ColorTarget {
  void* pixels;   // row 0 first
  int32_t pitch;  // bytes from one row to the next
  int32_t width, height;
  ColorFormat format;
};

// Depth is the kit's 1/z (larger is nearer), compared greater-or-equal against
// a buffer cleared to 0.0. It is kept as the bit pattern of a 32-bit float:
// 1/z spans many octaves from the near plane outward, which a float keeps at
// full relative precision where a fixed-point value would run out of bits for
// distant surfaces. For values >= 0 the float order and the order of the bit
// patterns read as signed integers agree, so the test can be made on either.
struct DepthTarget {
  uint32_t* depth;  // row 0 first
  int32_t pitch;    // bytes from one row to the next
  int32_t width, height;
};

struct Rect {
  int32_t left, top, right, bottom;  // right and bottom exclusive
};

// ---------------------------------------------------------------------------
// Textures

enum class TextureFormat : uint8_t {
  Palette8,  // one byte per texel, an index into the 256-entry ARGB palette
  ARGB1555,
  ARGB4444,
  RGB565,  // alpha reads as 255
};

// Sides must be powers of two from 1 to 4096 (texture coordinates wrap); the
// pitch must hold a row. A texture that breaks this is refused when a fan
// is drawn with it (logged), and the fan is drawn untextured.
struct Texture {
  const void* texels;  // row 0 first
  int32_t pitch;       // bytes from one row to the next
  int32_t width, height;
  TextureFormat format;
  const uint32_t* palette;  // 256 ARGB entries, Palette8 only
};

// ---------------------------------------------------------------------------
// Vertices: the 28-byte transformed, lit vertex (XYZRHW | DIFFUSE | TEX1).

struct Vertex {
  float sx, sy;      // screen position in pixels; pixel (x, y) has its centre at (x + 0.5, y + 0.5)
  float sz;          // depth written to the depth buffer (the kit sends 1/z)
  float rhw;         // 1/w, weights the texture coordinates under perspective correction
  uint32_t diffuse;  // ARGB
  float tu, tv;      // 0..1 spans the texture once
};
static_assert(sizeof(Vertex) == 28, "the device vertex is 28 bytes");

// ---------------------------------------------------------------------------
// Render state: the device states the kit sets, resolved for one draw.

enum class Filter : uint8_t { Nearest, Bilinear };
enum class ShadeMode : uint8_t {
  Flat,     // triangle (0, i, i + 1) of a fan takes the colour of fan vertex i
  Gouraud,  // corner colours interpolated linearly in screen space
};
enum class BlendFactor : uint8_t { Zero, One, SrcAlpha, InvSrcAlpha };
enum class DepthCompare : uint8_t { Always, GreaterEqual, Greater, LessEqual, Less };

// Texture stage 0. Without a texture both ops take the diffuse colour.
enum class ColorOp : uint8_t {
  Modulate,       // texel x diffuse
  SelectTexture,  // texel
  SelectDiffuse,  // diffuse (texture sampled only for the colour key)
};
enum class AlphaOp : uint8_t { Modulate, SelectTexture, SelectDiffuse };

struct State {
  const Texture* texture = nullptr;  // null: untextured
  ColorOp colorOp = ColorOp::Modulate;
  AlphaOp alphaOp = AlphaOp::SelectDiffuse;
  bool perspective = false;         // u, v perspective-correct; otherwise affine
  Filter filter = Filter::Nearest;  // both magnification and minification
  bool colorKeyEnable = false;
  uint32_t colorKey = 0;  // a raw texel value (a palette index for Palette8);
                          // alpha bits are ignored in the comparison
  bool blendEnable = false;
  BlendFactor srcBlend = BlendFactor::SrcAlpha;
  BlendFactor dstBlend = BlendFactor::InvSrcAlpha;
  bool depthEnable = false;  // test (and write, when depthWrite) against the depth target
  bool depthWrite = true;
  DepthCompare depthCompare = DepthCompare::GreaterEqual;
  bool dither = false;  // 4x4 ordered dither on RGB565 targets
  ShadeMode shadeMode = ShadeMode::Gouraud;
};

// ---------------------------------------------------------------------------
// Geometry, the same for every back end:
// - a fan of n vertices is the triangles (0, i, i + 1) for i = 1..n-2, each
//   drawn on its own, whichever way it winds (culling is the kit's);
// - vertex positions are first snapped to 1/256 pixel; a pixel is covered when
//   its centre lies inside the triangle, or on a top or left edge (top-left rule),
//   so triangles that share an edge cover each pixel along it exactly once;
// - depth and colour are interpolated linearly in screen space, u and v too
//   unless perspective correction is on (then u/w, v/w and 1/w are);
// - a triangle with a non-finite position, or a corner farther than 65536
//   pixels from the origin, is not drawn (the kit clips to its view, so this
//   only refuses garbage); a non-finite or huge texture coordinate never reads
//   outside the texture.

class Rasterizer {
 public:
  virtual ~Rasterizer() = default;

  // Fills rect (clipped to each target) of the colour target with argb and of
  // the depth target with depth. Either target may be null. The same for
  // every back end: clears are plain fills, after the pending fans. A back
  // end that keeps fans may keep the clear with them, and fill later.
  virtual void clear(const ColorTarget* color, uint32_t argb, const DepthTarget* depth,
                     float depthValue, const Rect& rect);

  // Draws a triangle fan of count vertices (fewer than 3: nothing). depth may be
  // null, which leaves the depth states without effect; with depth in use,
  // drawing stays within the area both targets cover.
  virtual void drawFan(const ColorTarget& color, const DepthTarget* depth, const State& state,
                       const Vertex* vertices, int count) = 0;

  virtual const char* name() const = 0;

  // Draws whatever drawFan has left pending. A back end may keep fans and
  // draw them later (on several threads); anything that reads or writes the
  // targets' or a texture's memory other than through this back end must
  // call this first. Clears do it themselves.
  virtual void finish() {}

 protected:
  // The fill a clear makes, now.
  static void fill(const ColorTarget* color, uint32_t argb, const DepthTarget* depth,
                   float depthValue, const Rect& rect);
};

// "Reference": plain and exact, the oracle for tests.
std::unique_ptr<Rasterizer> makeReference();
// "RGB Emulation": fixed-point spans, written for speed. With more than one
// thread each thread draws its own rows of the target, the fans in the
// order they came, as the scene goes and on finish(): the picture is the
// same for any count.
// With one it draws each fan as it comes.
std::unique_ptr<Rasterizer> makeFast(int threads);
std::unique_ptr<Rasterizer> makeFast();  // one thread
// The thread count for the device: the environment variable KV_THREADS
// (the launcher's --threads sets it), else one per processor.
int fastThreadCount();

}  // namespace kv::raster
