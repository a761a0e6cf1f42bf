// The fast rasterizer ("RGB Emulation"). Each triangle is walked row by row:
// exact integer edge stepping on positions snapped to 1/256 pixel finds each
// row's span (the same pixels the reference covers), and the span is shaded
// by the SIMD span loops (spans.cpp). Depth and texture coordinates are
// evaluated from their planes at every pixel (no drift; under perspective one
// division per pixel), colours are stepped in fixed point.
#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <thread>
#include <vector>

#include "platform/raster/fast/crew.h"
#include "platform/raster/fast/spans.h"

namespace kv::raster {
namespace {

using namespace fast;

constexpr int64_t S = kSubpixel;

int64_t floorDiv(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}
int64_t ceilDiv(int64_t a, int64_t b) { return -floorDiv(-a, b); }

// The first pixel column whose centre lies on or right of an edge, row after
// row, kept as an exact fraction so that neighbouring triangles agree.
struct EdgeWalk {
  int64_t x, rem, stepX, stepRem, den;

  void start(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t row) {
    const int64_t dy = y1 - y0, dx = x1 - x0;  // dy > 0
    den = dy * S;
    // Column c is on or right of the edge where c >= num / den at this row.
    const int64_t num = (x0 - S / 2) * dy + (row * S + S / 2 - y0) * dx;
    x = ceilDiv(num, den);
    rem = x * den - num;
    stepX = floorDiv(dx, dy);
    stepRem = (dx - stepX * dy) * S;
  }
  // Without a branch: on steep edges whether the column carries is as good
  // as random, and tall thin triangles are mostly such rows.
  void next() {
    x += stepX;
    rem -= stepRem;
    const int64_t carry = rem >> 63;  // -1 where the remainder went negative
    x -= carry;
    rem += den & carry;
  }
};

// Two doubles side by side: two attributes' planes evaluated at once, each
// lane rounded as the same expression on one double would be.
using Pair = double __attribute__((vector_size(2 * sizeof(double))));
using IntPair = int32_t __attribute__((vector_size(2 * sizeof(int32_t))));
using FloatPair = float __attribute__((vector_size(2 * sizeof(float))));

// Each attribute as a plane over pixel indices: its value at the centre of
// pixel (x, y) is at0 + dx * x + dy * y. Planes a draw does not use are 0.
struct Triangle {
  alignas(16) double at0[kAttrs];
  alignas(16) double dx[kAttrs];
  alignas(16) double dy[kAttrs];

  static Pair pairAt(const double* p, int a) { return Pair{p[a], p[a + 1]}; }
  // Attributes a and a + 1 (a even) at the centre of pixel (x, y).
  Pair at(int a, int x, int y) const {
    const double fx = x, fy = y;
    return (pairAt(at0, a) + pairAt(dx, a) * Pair{fx, fx}) + pairAt(dy, a) * Pair{fy, fy};
  }
};

BlendKind blendKindOf(const State& s) {
  if (!s.blendEnable) return BlendKind::Off;
  if (s.srcBlend == BlendFactor::SrcAlpha && s.dstBlend == BlendFactor::InvSrcAlpha)
    return BlendKind::Over;
  if (s.srcBlend == BlendFactor::One && s.dstBlend == BlendFactor::One) return BlendKind::Add;
  return BlendKind::General;
}

// Wraps a texel coordinate into [0, size); NaN and infinities give 0.
double wrapTexels(double s, int size) {
  if (!std::isfinite(s)) return 0.0;
  const double f = s - std::floor(s / size) * size;
  return (f >= 0.0 && f < size) ? f : 0.0;
}

// A whole number of texture repeats to take off a coordinate, so that the
// values interpolated across a triangle stay small (wrapping ignores it).
double repeatsOf(float t) {
  if (!(std::fabs(t) < 1e6f)) return 0.0;        // also NaN and infinities
  const double whole = static_cast<int32_t>(t);  // toward zero: floor without a library call
  return whole > t ? whole - 1.0 : whole;
}

// Colours in units of 2^-22, clamped to 0..511 units first (NaN to 0).
IntPair fixedColors(Pair v) {
  const Pair zero = {0.0, 0.0}, most = {511.0, 511.0};
  v = v > zero ? v : zero;
  v = v < most ? v : most;
  return __builtin_convertvector(v * Pair{1 << kColorFraction, 1 << kColorFraction}, IntPair);
}

// Colour steps in units of 2^-22 (NaN to 0). Inside a triangle a channel
// changes by at most 255 from one pixel to the next, so 256 per pixel is
// never reached on a span of 2 or more; the clamp only tames slivers thinner
// than a pixel.
IntPair colorSteps(Pair v) {
  const Pair zero = {0.0, 0.0}, least = {-256.0, -256.0}, most = {256.0, 256.0};
  v = v == v ? v : zero;
  v = v > least ? v : least;
  v = v < most ? v : most;
  return __builtin_convertvector(v * Pair{1 << kColorFraction, 1 << kColorFraction}, IntPair);
}

}  // namespace

namespace fast {

// Everything a fan's triangles need besides their corners: resolved once per
// fan, kept with the fan until it is drawn.
struct Draw {
  Context context;
  SpanFn span = nullptr;
  bool textured = false, perspective = false, flat = false;
};

// Resolves a fan's targets and state; false when nothing can be drawn.
bool prepareDraw(Draw& d, const ColorTarget& color, const DepthTarget* depth, const State& state) {
  if (!validColorTarget(color)) return false;
  Context& c = d.context;
  c = Context{};
  c.color = static_cast<uint8_t*>(color.pixels);
  c.colorPitch = color.pitch;
  c.is565 = color.format == ColorFormat::RGB565;
  c.width = color.width;
  c.height = color.height;
  const bool useDepth = state.depthEnable && depth && validDepthTarget(*depth);
  if (useDepth) {
    c.depth = reinterpret_cast<uint8_t*>(depth->depth);
    c.depthPitch = depth->pitch;
    c.width = std::min(c.width, depth->width);
    c.height = std::min(c.height, depth->height);
  }
  const Texture* tex = state.texture && validTexture(*state.texture) ? state.texture : nullptr;
  if (tex) {
    c.texels = static_cast<const uint8_t*>(tex->texels);
    c.texPitch = tex->pitch;
    c.texBytes = texelBytes(tex->format);
    const int k = std::countr_zero(static_cast<uint32_t>(tex->pitch)) - (c.texBytes == 2 ? 1 : 0);
    c.texRowShift = k >= 0 && k < 16 && tex->pitch == c.texBytes << k ? k : -1;
    c.texW = tex->width;
    c.texH = tex->height;
    if (c.texRowShift >= 0) {
      const int texelShift = c.texBytes == 2 ? 1 : 0;
      const int pitchShift = c.texRowShift + texelShift;  // pitch = 1 << pitchShift <= 65536
      c.grid = {(c.texW - 1) << texelShift,
                (c.texH - 1) << pitchShift,
                16 - texelShift,
                16 - pitchShift,
                1 << texelShift,
                1 << pitchShift};
    }
    c.texFormat = tex->format;
    c.palette = tex->palette;
    c.colorKey = state.colorKeyEnable;
    c.keyMask = colorKeyMask(tex->format);
    c.key = state.colorKey & c.keyMask;
  }
  c.colorOp = state.colorOp;
  c.alphaOp = state.alphaOp;
  c.blendKind = blendKindOf(state);
  c.srcBlend = state.srcBlend;
  c.dstBlend = state.dstBlend;
  c.depthCompare = state.depthCompare;
  c.depthWrite = state.depthWrite;
  c.dither = state.dither && c.is565;

  d.textured = tex != nullptr;
  d.perspective = tex && state.perspective;
  d.flat = state.shadeMode == ShadeMode::Flat;
  const DepthMode depthMode = !useDepth ? DepthMode::Off
                              : state.depthCompare == DepthCompare::GreaterEqual
                                  ? DepthMode::GreaterEqual
                                  : DepthMode::Any;
  // The demo's common case gets loops of their own with no state tests in
  // them: a dithered 565 target, no blending, texel x diffuse, no colour key,
  // a texture on a power-of-two pitch, depth greater-or-equal with write.
  const bool plain = tex && c.is565 && c.dither && c.blendKind == BlendKind::Off &&
                     c.colorOp == ColorOp::Modulate && !c.colorKey && c.texRowShift >= 0 &&
                     depthMode == DepthMode::GreaterEqual && c.depthWrite;
  d.span = pickSpan(depthMode, d.textured, d.perspective, state.filter == Filter::Bilinear, plain);
  return true;
}

namespace {

void setupPlanes(Triangle& t, const Vertex* const v[3], const int64_t X[3], const int64_t Y[3],
                 const Draw& d, const uint32_t* flatColor) {
  const Context& c = d.context;
  const double x0 = double(X[0]) / S, y0 = double(Y[0]) / S;
  const double ax = double(X[1] - X[0]) / S, ay = double(Y[1] - Y[0]) / S;
  const double bx = double(X[2] - X[0]) / S, by = double(Y[2] - Y[0]) / S;
  // One division per triangle rather than two per plane.
  const double inverse = 1.0 / (ax * by - bx * ay);
  const double toX = 0.5 - x0, toY = 0.5 - y0;
  // Plane a through its values at the three corners.
  auto plane = [&](int a, double a0, double a1, double a2) {
    const double da = a1 - a0, db = a2 - a0;
    const double dx = (da * by - db * ay) * inverse;
    const double dy = (db * ax - da * bx) * inverse;
    t.dx[a] = dx;
    t.dy[a] = dy;
    t.at0[a] = (a0 + dx * toX) + dy * toY;
  };
  const uint32_t argb[3] = {flatColor ? *flatColor : v[0]->diffuse,
                            flatColor ? *flatColor : v[1]->diffuse,
                            flatColor ? *flatColor : v[2]->diffuse};
  for (int a : {kA, kR, kG, kB}) {
    const int shift = 24 - 8 * a;
    auto channel = [&](int i) { return double((argb[i] >> shift) & 0xFF); };
    plane(a, channel(0), channel(1), channel(2));
    // Half a unit added for rounding, so that the shading loop can truncate.
    t.at0[a] += 0.5;
  }
  plane(kZ, v[0]->sz, v[1]->sz, v[2]->sz);
  for (int a : {kU, kV, kQ}) t.at0[a] = t.dx[a] = t.dy[a] = 0.0;
  if (!d.textured) return;
  const bool perspective = d.perspective;
  const double su = repeatsOf(v[0]->tu), sv = repeatsOf(v[0]->tv);
  auto u = [&](int i) { return (double(v[i]->tu) - su) * c.texW; };
  auto w = [&](int i) { return (double(v[i]->tv) - sv) * c.texH; };
  auto q = [&](int i) { return perspective ? double(v[i]->rhw) : 1.0; };
  // Under perspective u/w, v/w and 1/w are linear on the screen; otherwise u and v.
  auto zu = [&](int i) { return perspective ? u(i) * q(i) : u(i); };
  auto vq = [&](int i) { return perspective ? w(i) * q(i) : w(i); };
  plane(kU, zu(0), zu(1), zu(2));
  plane(kV, vq(0), vq(1), vq(2));
  if (perspective) plane(kQ, q(0), q(1), q(2));
}

// The steps along a row are the triangle's: worked out once, not per span.
void triangleSteps(SpanSteps& s, const Triangle& t, const Draw& d) {
  s.step[kZ] = static_cast<float>(t.dx[kZ]);
  const IntPair ar = colorSteps(t.pairAt(t.dx, kA)), gb = colorSteps(t.pairAt(t.dx, kG));
  s.colorStep[kA] = ar[0], s.colorStep[kR] = ar[1];
  s.colorStep[kG] = gb[0], s.colorStep[kB] = gb[1];
  s.step[kU] = s.step[kV] = s.step[kQ] = 0.0f;
  if (!d.textured) return;
  s.step[kU] = static_cast<float>(t.dx[kU] * 65536.0);
  s.step[kV] = static_cast<float>(t.dx[kV] * 65536.0);
  if (d.perspective) s.step[kQ] = static_cast<float>(t.dx[kQ]);
}

// The start values of a span at pixel (x, y), evaluated from the planes.
template <bool Textured, bool Perspective>
void spanValues(SpanRow& s, const Triangle& t, const Context& c, int x, int y) {
  const IntPair ar = fixedColors(t.at(kA, x, y)), gb = fixedColors(t.at(kG, x, y));
  s.colorStart[kA] = ar[0], s.colorStart[kR] = ar[1];
  s.colorStart[kG] = gb[0], s.colorStart[kB] = gb[1];
  const Pair zu = t.at(kZ, x, y);
  if constexpr (Perspective) {
    // Texture coordinates in texels x 65536 (an exact scaling).
    const FloatPair zu32 = __builtin_convertvector(zu * Pair{1.0, 65536.0}, FloatPair);
    const FloatPair vq32 = __builtin_convertvector(t.at(kV, x, y) * Pair{65536.0, 1.0}, FloatPair);
    s.start[kZ] = zu32[0], s.start[kU] = zu32[1];
    s.start[kV] = vq32[0], s.start[kQ] = vq32[1];
  } else if constexpr (Textured) {
    // Affine coordinates restart near zero on each span, keeping precision.
    s.start[kZ] = static_cast<float>(zu[0]);
    s.start[kU] = static_cast<float>(wrapTexels(zu[1], c.texW) * 65536.0);
    s.start[kV] = static_cast<float>(wrapTexels(t.at(kV, x, y)[0], c.texH) * 65536.0);
    s.start[kQ] = 0.0f;
  } else {
    s.start[kZ] = static_cast<float>(zu[0]);
    s.start[kU] = s.start[kV] = s.start[kQ] = 0.0f;
  }
}

// A small triangle's pixels are fetched while it is set up: scattered small
// triangles otherwise wait on memory at every row's first load. Larger ones
// are fetched row by row ahead of the span loops.
void prefetchSmall(const Context& c, const Rect& clip, const int64_t X[3], int64_t firstRow,
                   int64_t endRow) {
  // The span loops load up to 16 pixels from a span's first.
  constexpr int kRows = 8, kColumns = 16;
  if (endRow - firstRow > kRows) return;
  const int64_t left = std::max<int64_t>(std::min({X[0], X[1], X[2]}) / S, clip.left);
  const int64_t right = std::min<int64_t>(std::max({X[0], X[1], X[2]}) / S, clip.right - 1);
  if (left > right || right - left >= kColumns) return;
  const int64_t last = std::min<int64_t>(right + kColumns - 1, c.width - 1);
  const int bytes = c.is565 ? 2 : 4;
  for (int64_t y = firstRow; y < endRow; ++y) {
    const uint8_t* row = c.color + y * c.colorPitch;
    __builtin_prefetch(row + left * bytes);
    __builtin_prefetch(row + last * bytes);
    if (c.depth) {
      const uint8_t* depthRow = c.depth + y * c.depthPitch;
      __builtin_prefetch(depthRow + left * 4);
      __builtin_prefetch(depthRow + (left + last) * 2);
      __builtin_prefetch(depthRow + last * 4);
    }
  }
}

// Draws the part of triangle (v0, v1, v2) inside clip (already within the
// drawable area).
template <bool Textured, bool Perspective>
void drawTriangle(const Draw& d, const Rect& clip, const Vertex& v0, const Vertex& v1,
                  const Vertex& v2, const uint32_t* flatColor) {
  const Vertex* v[3] = {&v0, &v1, &v2};
  int64_t X[3], Y[3];
  for (int i = 0; i < 3; ++i) {
    if (!snapCoordinate(v[i]->sx, X[i]) || !snapCoordinate(v[i]->sy, Y[i])) return;
  }
  const int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (Y[1] - Y[0]) * (X[2] - X[0]);
  if (area == 0) return;

  // Rows covered: centres from the top vertex (inclusive) to the bottom (exclusive).
  int top = 0, mid = 1, bot = 2;
  if (Y[mid] < Y[top]) std::swap(mid, top);
  if (Y[bot] < Y[top]) std::swap(bot, top);
  if (Y[bot] < Y[mid]) std::swap(bot, mid);
  const int64_t rowTop = ceilDiv(Y[top] - S / 2, S);
  const int64_t rowMid = ceilDiv(Y[mid] - S / 2, S);
  const int64_t rowBot = ceilDiv(Y[bot] - S / 2, S);
  const int64_t firstRow = std::max<int64_t>(rowTop, clip.top);
  const int64_t endRow = std::min<int64_t>(rowBot, clip.bottom);
  if (firstRow >= endRow) return;
  prefetchSmall(d.context, clip, X, firstRow, endRow);

  Triangle t;
  setupPlanes(t, v, X, Y, d, flatColor);

  // The middle vertex is left of the long edge (top to bottom) when the
  // cross product is negative.
  const int64_t cross =
      (X[mid] - X[top]) * (Y[bot] - Y[top]) - (Y[mid] - Y[top]) * (X[bot] - X[top]);
  const bool midLeft = cross < 0;
  EdgeWalk longEdge, shortEdge;
  longEdge.start(X[top], Y[top], X[bot], Y[bot], firstRow);

  SpanSteps steps;
  triangleSteps(steps, t, d);
  steps.left = clip.left;
  steps.right = clip.right;
  const Context& c = d.context;
  // Spans go to the span loops a batch at a time, so that what they share is
  // set up once per batch; a small triangle is one batch.
  constexpr int kBatch = 32;
  SpanRow rows[kBatch];
  int pending = 0;
  auto flush = [&] {
    if (pending > 0) d.span(c, steps, rows, pending);
    pending = 0;
  };
  auto walk = [&](int64_t from, int64_t to) {
    for (int64_t y = from; y < to; ++y) {
      const EdgeWalk& left = midLeft ? shortEdge : longEdge;
      const EdgeWalk& right = midLeft ? longEdge : shortEdge;
      // The span's values start where it enters the drawable area, wherever
      // the clip cuts it, so a pixel comes out the same in any tile.
      const int64_t origin = std::max<int64_t>(left.x, 0);
      const int64_t x0 = std::max<int64_t>(origin, clip.left);
      const int64_t x1 = std::min<int64_t>(right.x, clip.right);
      if (x0 < x1) {
        SpanRow& row = rows[pending];
        spanValues<Textured, Perspective>(row, t, c, static_cast<int>(origin), static_cast<int>(y));
        row.offset = static_cast<int32_t>(x0 - origin);
        row.y = static_cast<int32_t>(y);
        row.x0 = static_cast<int32_t>(x0);
        row.x1 = static_cast<int32_t>(x1);
        if (++pending == kBatch) flush();
      }
      longEdge.next();
      shortEdge.next();
    }
  };
  const int64_t upperEnd = std::min(rowMid, endRow);
  if (firstRow < upperEnd) {
    shortEdge.start(X[top], Y[top], X[mid], Y[mid], firstRow);
    walk(firstRow, upperEnd);
  }
  const int64_t lowerStart = std::max(rowMid, firstRow);
  if (lowerStart < endRow) {
    // The long edge stands on lowerStart: it walked the upper part, or there
    // was none to walk and it started there.
    shortEdge.start(X[mid], Y[mid], X[bot], Y[bot], lowerStart);
    walk(lowerStart, endRow);
  }
  flush();
}

template <bool Textured, bool Perspective>
void drawTriangles(const Draw& d, const Rect& clip, const Vertex* vertices, int count) {
  for (int i = 1; i + 1 < count; ++i) {
    drawTriangle<Textured, Perspective>(d, clip, vertices[0], vertices[i], vertices[i + 1],
                                        d.flat ? &vertices[i].diffuse : nullptr);
  }
}

}  // namespace

// Draws every triangle of a fan within clip.
void drawFanTriangles(const Draw& d, const Rect& clip, const Vertex* vertices, int count) {
  if (d.perspective) return drawTriangles<true, true>(d, clip, vertices, count);
  if (d.textured) return drawTriangles<true, false>(d, clip, vertices, count);
  drawTriangles<false, false>(d, clip, vertices, count);
}

}  // namespace fast

namespace {

bool sameTarget(const ColorTarget& a, const ColorTarget& b) {
  return a.pixels == b.pixels && a.pitch == b.pitch && a.width == b.width && a.height == b.height &&
         a.format == b.format;
}
bool sameTarget(const DepthTarget* a, const DepthTarget* b) {
  if (!a || !b) return a == b;
  return a->depth == b->depth && a->pitch == b->pitch && a->width == b->width &&
         a->height == b->height;
}
bool sameTexture(const Texture* a, const Texture* b) {
  if (!a || !b) return a == b;
  return a->texels == b->texels && a->pitch == b->pitch && a->width == b->width &&
         a->height == b->height && a->format == b->format && a->palette == b->palette;
}
// Textures by what they describe: callers reuse one description for many.
bool sameState(const State& a, const State& b) {
  return sameTexture(a.texture, b.texture) && a.colorOp == b.colorOp && a.alphaOp == b.alphaOp &&
         a.perspective == b.perspective && a.filter == b.filter &&
         a.colorKeyEnable == b.colorKeyEnable && a.colorKey == b.colorKey &&
         a.blendEnable == b.blendEnable && a.srcBlend == b.srcBlend && a.dstBlend == b.dstBlend &&
         a.depthEnable == b.depthEnable && a.depthWrite == b.depthWrite &&
         a.depthCompare == b.depthCompare && a.dither == b.dither && a.shadeMode == b.shadeMode;
}

// The resolved draw of the last fan, reused while the next fans come with the
// same targets and state, as a scene's runs of fans do.
class DrawCache {
 public:
  // The draw for these targets and state; null when nothing can be drawn.
  const fast::Draw* get(const ColorTarget& color, const DepthTarget* depth, const State& state) {
    if (valid_ && sameTarget(color, color_) && sameTarget(depth, depth_ ? &depthCopy_ : nullptr) &&
        sameState(state, state_))
      return &draw_;
    valid_ = false;
    ++generation_;
    if (!fast::prepareDraw(draw_, color, depth, state)) return nullptr;
    // A refused texture or depth target is logged each time it comes, so a
    // draw that refused one is not kept.
    const bool refused =
        (state.texture && !draw_.textured) || (state.depthEnable && depth && !draw_.context.depth);
    if (!refused) {
      valid_ = true;
      color_ = color;
      depth_ = depth != nullptr;
      if (depth) depthCopy_ = *depth;
      state_ = state;
      if (state.texture) {
        texture_ = *state.texture;
        state_.texture = &texture_;
      }
    }
    return &draw_;
  }
  // Counts the draws resolved: the same value, the same draw.
  uint64_t generation() const { return generation_; }

 private:
  bool valid_ = false;
  uint64_t generation_ = 0;
  fast::Draw draw_;
  ColorTarget color_{};
  bool depth_ = false;
  DepthTarget depthCopy_{};
  State state_;
  Texture texture_{};
};

// With more than one thread, each thread owns rows of the target: the caller
// the top ones, each crew thread those below. Fans wait in batches; a batch
// keeps, for each thread, the fans that touch its rows, and a thread draws
// its rows of each batch in the order the fans came, so the picture depends
// neither on the thread count nor on where the rows are split. Every
// kBatchFans fans, and at a clear, the caller posts the batch to the crew
// and goes on with the scene; it draws its own rows of the batches at the
// end of the scene, so that the crew is never kept waiting for work while
// the caller draws.
//
// A thread keeps its rows from scene to scene, so that their pixels stay in
// its core's cache: moving them between cores cost more than drawing them.
// At the end of each scene the rows are shared out anew so that the threads'
// work comes out even, the caller's own (the kit's transforms, the binning)
// included: from the time each thread spent drawing, and a guess at where on
// the target that work lay.
constexpr size_t kBatchFans = 64;
constexpr int kRing = 32;  // batches: one filling, the others posted

class FastRasterizer final : public Rasterizer {
 public:
  explicit FastRasterizer(int threads)
      : threads_(std::max(threads, 1)),
        split_(static_cast<size_t>(threads_) + 1),
        tally_(static_cast<size_t>(threads_)),
        crew_(threads_, &FastRasterizer::crewShare, this) {
    for (Batch& b : ring_) b.shares.resize(static_cast<size_t>(threads_));
  }

  void drawFan(const ColorTarget& color, const DepthTarget* depth, const State& state,
               const Vertex* vertices, int count) override {
    if (!vertices || count < 3) return;
    const fast::Draw* d = draws_.get(color, depth, state);
    if (!d) return;
    if (threads_ == 1) {
      fast::drawFanTriangles(*d, {0, 0, d->context.width, d->context.height}, vertices, count);
      return;
    }
    bin(*d, color, vertices, count, state.filter == Filter::Bilinear);
  }

  // With threads, a clear waits with the fans, so that each thread fills its
  // own rows and draws into them while they are in its cache.
  void clear(const ColorTarget* color, uint32_t argb, const DepthTarget* depth, float depthValue,
             const Rect& rect) override {
    if (threads_ == 1) return Rasterizer::clear(color, argb, depth, depthValue, rect);
    // Checked (and logged) here once, not by every thread.
    if (color && !validColorTarget(*color)) color = nullptr;
    if (depth && !validDepthTarget(*depth)) depth = nullptr;
    if (!color && !depth) return Rasterizer::clear(nullptr, argb, nullptr, depthValue, rect);
    if (color) {
      useTarget(*color);
    } else if (shapedHeight_ == 0) {
      shapeRows(depth->height);  // a depth buffer cleared before any fan came
    }
    const int height = std::max(color ? color->height : 0, depth ? depth->height : 0);
    const int width = std::max(color ? color->width : 0, depth ? depth->width : 0);
    const int y0 = std::max(rect.top, 0), y1 = std::min(rect.bottom, height);
    const int x0 = std::max(rect.left, 0), x1 = std::min(rect.right, width);
    if (y0 >= y1 || x0 >= x1) return;
    Batch& b = filling();
    b.clears.push_back({color ? *color : ColorTarget{}, depth ? *depth : DepthTarget{},
                        color != nullptr, depth != nullptr, argb, depthValue, rect});
    // A fill costs about an eighth of drawing the same pixels.
    add(b, {0, static_cast<uint32_t>(b.clears.size() - 1), 0}, y0, y1, (x1 - x0 + 7) / 8);
    close();  // work enough to hand out, and at a scene's start the crew has nothing else
  }

  // Draws every pending batch, and shares the rows out anew for the next scene.
  void finish() override {
    if (!inScene_) return;
    close();
    drawCallerShares(filling_);
    const auto callerDone = Clock::now();
    crew_.waitFor(filling_);
    balance(callerDone);
  }

  const char* name() const override { return "RGB Emulation"; }

 private:
  using Clock = std::chrono::steady_clock;

  struct Fan {
    uint32_t draw;   // in Batch::draws
    uint32_t first;  // in Batch::vertices; in Batch::clears for a clear
    int count;       // 0: a clear
  };
  struct Clear {
    ColorTarget color;
    DepthTarget depth;
    bool hasColor, hasDepth;
    uint32_t argb;
    float depthValue;
    Rect rect;
  };
  using Palette = std::array<uint32_t, 256>;
  // On lines of their own: the crew reads the batches it draws while the
  // caller fills another one.
  struct alignas(128) Batch {
    std::vector<fast::Draw> draws;
    std::vector<int32_t> drawPalette;  // per draw: its palette copy, or -1
    std::vector<Fan> fans;
    std::vector<Vertex> vertices;
    std::vector<Clear> clears;
    // Palettized textures' palettes as they were when their fans came: the
    // caller may change a palette before the fans are drawn.
    std::vector<Palette> palettes;
    std::vector<std::vector<uint32_t>> shares;  // per thread, the fans that touch its rows
  };
  // Per thread, written by that thread alone while a scene is drawn.
  struct alignas(128) Tally {
    Clock::duration drawing{};  // this scene's
  };

  Batch& filling() { return ring_[filling_ % kRing]; }
  bool pending() const { return inScene_; }

  // Draws thread t's rows of batch b, and counts the time it took.
  void drawShare(const Batch& b, int t) {
    const auto start = Clock::now();
    const int top = split_[t], bottom = split_[t + 1];
    for (uint32_t f : b.shares[t]) {
      const Fan& fan = b.fans[f];
      if (fan.count == 0) {
        const Clear& c = b.clears[fan.first];
        const Rect rows{c.rect.left, std::max(c.rect.top, top), c.rect.right,
                        std::min(c.rect.bottom, bottom)};
        fill(c.hasColor ? &c.color : nullptr, c.argb, c.hasDepth ? &c.depth : nullptr, c.depthValue,
             rows);
        continue;
      }
      const fast::Draw& d = b.draws[fan.draw];
      const Rect clip{0, std::max(top, 0), d.context.width, std::min(bottom, d.context.height)};
      if (clip.top < clip.bottom)
        fast::drawFanTriangles(d, clip, &b.vertices[fan.first], fan.count);
    }
    tally_[t].drawing += Clock::now() - start;
  }
  static void crewShare(void* self, uint64_t job, int thread) {
    auto& r = *static_cast<FastRasterizer*>(self);
    r.drawShare(r.ring_[job % kRing], thread);
  }

  // Fans for another target wait for nothing: what is pending is drawn first.
  void useTarget(const ColorTarget& color) {
    if (pending() && (color.pixels != target_.pixels || color.width != target_.width ||
                      color.height != target_.height))
      finish();
    if (!pending() && color.height != shapedHeight_) shapeRows(color.height);
    target_ = color;
  }
  // Rows 0..height-1 in equal shares, and a scene's guess at its work by row;
  // nothing may be pending. The last thread also has the rows below, so that
  // any target the fans come with is covered.
  void shapeRows(int height) {
    shapedHeight_ = height;
    for (int t = 0; t <= threads_; ++t)
      split_[t] = static_cast<int>(static_cast<int64_t>(height) * t / threads_);
    split_[threads_] = std::numeric_limits<int>::max();
    rowCost_.assign(static_cast<size_t>(height) + 1, 0);
  }

  void bin(const fast::Draw& d, const ColorTarget& color, const Vertex* vertices, int count,
           bool bilinear) {
    useTarget(color);
    // The rows the fan's corners span; corners the triangle set-up refuses
    // take no part, since no triangle with them is drawn.
    float top = 1e9f, bottom = -1e9f, left = 1e9f, right = -1e9f, twiceArea = 0.0f;
    for (int i = 0; i < count; ++i) {
      const Vertex& v = vertices[i];
      if (!(std::fabs(v.sx) <= kMaxCoordinate && std::fabs(v.sy) <= kMaxCoordinate)) continue;
      top = std::min(top, v.sy), bottom = std::max(bottom, v.sy);
      left = std::min(left, v.sx), right = std::max(right, v.sx);
      const Vertex& next = vertices[i + 1 < count ? i + 1 : 0];
      twiceArea += v.sx * next.sy - next.sx * v.sy;
    }
    // Rows whose centres the fan covers, with a row to spare for snapping
    // and one for truncating toward zero.
    const int y0 = std::max(0, static_cast<int>(top) - 2);
    const int y1 = std::min(d.context.height, static_cast<int>(bottom) + 3);
    if (y0 >= y1) return;
    // The guess at the fan's cost: its pixels (at most its box on the
    // target), twice over when filtered, spread evenly over its rows, and a
    // triangle's set-up worth as much as 128 pixels.
    const int x0 = std::max(0, static_cast<int>(left) - 1);
    const int x1 = std::min(d.context.width, static_cast<int>(right) + 2);
    const float box = static_cast<float>(std::max(x1 - x0, 0)) * static_cast<float>(y1 - y0);
    const float area = std::fabs(twiceArea) * 0.5f;  // NaN or infinite: the box
    const float pixels = (area < box ? area : box) * (bilinear ? 2.0f : 1.0f);
    Batch& b = filling();
    const uint32_t draw = drawIndex(b, d);
    const auto first = static_cast<uint32_t>(b.vertices.size());
    b.vertices.insert(b.vertices.end(), vertices, vertices + count);
    add(b, {draw, first, count}, y0, y1, static_cast<int>(pixels / static_cast<float>(y1 - y0)),
        128 * (count - 2));
    if (b.fans.size() >= kBatchFans) close();
  }

  // Puts a fan into the shares of the threads whose rows y0..y1-1 (within
  // the shaped height) touch, and its cost into the scene's guess: perRow on
  // each row, and once more on its first.
  void add(Batch& b, const Fan& fan, int y0, int y1, int perRow, int once = 0) {
    if (!inScene_) {
      inScene_ = true;
      sceneStart_ = Clock::now();
    }
    const auto index = static_cast<uint32_t>(b.fans.size());
    b.fans.push_back(fan);
    int t = static_cast<int>(std::upper_bound(&split_[1], &split_[threads_], y0) - &split_[1]);
    for (; t < threads_ && split_[t] < y1; ++t)
      if (split_[t] < split_[t + 1]) b.shares[t].push_back(index);
    const int last = static_cast<int>(rowCost_.size()) - 1;  // rows below are guessed at none
    const int from = std::min(y0, last), to = std::min(y1, last);
    rowCost_[from] += perRow + once;
    rowCost_[std::min(from + 1, last)] -= once;
    rowCost_[to] -= perRow;
  }

  // Hands the filling batch to the crew and makes the next batch in the
  // ring ready to fill.
  void close() {
    Batch& b = filling();
    if (b.fans.empty()) return;
    for (size_t i = 0; i < b.draws.size(); ++i)
      if (b.drawPalette[i] >= 0) b.draws[i].context.palette = b.palettes[b.drawPalette[i]].data();
    crew_.post();
    ++filling_;
    // The ring is full: the oldest batch is drawn to free its place.
    if (filling_ - callerNext_ == kRing) drawCallerShares(callerNext_ + 1);
    if (filling_ >= kRing) {
      const auto start = Clock::now();
      crew_.waitFor(filling_ - kRing + 1);
      waiting_ += Clock::now() - start;
    }
    Batch& next = filling();
    for (auto& share : next.shares) share.clear();
    next.draws.clear();
    next.drawPalette.clear();
    next.fans.clear();
    next.vertices.clear();
    next.clears.clear();
    next.palettes.clear();
    if (lastDrawBatch_ == &next) lastDrawBatch_ = nullptr;
  }

  // Draws the caller's rows of the posted batches up to (not including) `end`.
  void drawCallerShares(uint64_t end) {
    for (; callerNext_ < end; ++callerNext_) drawShare(ring_[callerNext_ % kRing], 0);
  }

  // Shares the rows out anew after a scene whose last rows the caller drew
  // at callerDone, so that each thread's work comes out even: the caller's
  // is its time in the scene but for waiting (its own work and its
  // drawing), a crew thread's its drawing. A thread with more than the
  // threads' mean gives up as much drawing, one with less takes it. The
  // scene's guess says where on the target the drawing lay, and each
  // thread's time drawing its rows what the guess is worth there. Only half
  // the way is gone each time, so that a scene unlike the last does not
  // throw the shares far off.
  void balance(Clock::time_point callerDone) {
    inScene_ = false;
    const int height = shapedHeight_;
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    auto work = [&](int t) {
      const Tally& tally = tally_[t];
      return seconds(t == 0 ? callerDone - sceneStart_ - waiting_ : tally.drawing);
    };
    double drawing = 0.0, mean = 0.0;
    for (int t = 0; t < threads_; ++t) {
      drawing += seconds(tally_[t].drawing);
      mean += work(t) / threads_;
    }
    // Rows' guessed cost, then their time: each thread's time per unit of it.
    costByRow_.resize(static_cast<size_t>(height));
    int64_t running = 0, total = 0;
    for (int y = 0; y < height; ++y) {
      running += rowCost_[y];
      costByRow_[y] = static_cast<double>(std::max<int64_t>(running, 0));
      total += std::max<int64_t>(running, 0);
    }
    // A scene of a few microseconds says little about the next.
    if (drawing > 50e-6 && total > 0) {
      for (int t = 0, y = 0; t < threads_; ++t) {
        const int bottom = std::min(split_[t + 1], height);
        double guessed = 0.0;
        for (int k = y; k < bottom; ++k) guessed += costByRow_[k];
        const double perUnit = guessed > 0.0 ? seconds(tally_[t].drawing) / guessed
                                             : drawing / static_cast<double>(total);
        for (; y < bottom; ++y) costByRow_[y] *= perUnit;
      }
      double wanted = 0.0, before = 0.0;
      for (int t = 1, y = 0; t < threads_; ++t) {
        wanted += std::max(0.0, seconds(tally_[t - 1].drawing) - (work(t - 1) - mean));
        while (y < height && before + costByRow_[y] <= wanted) before += costByRow_[y++];
        split_[t] = std::clamp((split_[t] + y) / 2, split_[t - 1], height);
      }
    }
    std::fill(rowCost_.begin(), rowCost_.end(), 0);
    for (Tally& t : tally_) t.drawing = {};
    waiting_ = {};
  }

  // The batch's copy of the draw: the last one again while the state stays
  // the same, and while a palette the draw reads has not changed.
  uint32_t drawIndex(Batch& b, const fast::Draw& d) {
    const uint32_t* palette =
        d.textured && d.context.texFormat == TextureFormat::Palette8 ? d.context.palette : nullptr;
    if (!b.draws.empty() && draws_.generation() == lastDraw_ && lastDrawBatch_ == &b) {
      const int32_t copy = b.drawPalette.back();
      if (!palette || (paletteSource_ == palette &&
                       std::equal(palette, palette + 256, b.palettes[copy].data())))
        return static_cast<uint32_t>(b.draws.size() - 1);
    }
    int32_t copy = -1;
    if (palette) {
      copy = static_cast<int32_t>(b.palettes.size());
      b.palettes.emplace_back();
      std::copy(palette, palette + 256, b.palettes.back().data());
      paletteSource_ = palette;
    }
    b.draws.push_back(d);
    b.drawPalette.push_back(copy);
    lastDraw_ = draws_.generation();
    lastDrawBatch_ = &b;
    return static_cast<uint32_t>(b.draws.size() - 1);
  }

  const int threads_;
  DrawCache draws_;
  ColorTarget target_{};  // the target of the pending fans
  // Thread t draws rows split_[t]..split_[t + 1] - 1; changed only between
  // scenes, when the crew has nothing.
  std::vector<int> split_;
  int shapedHeight_ = 0;
  // The scene's guess at its drawing cost by row, as differences from the
  // row above (so that a fan adds to two entries, not to all its rows).
  std::vector<int64_t> rowCost_;
  std::vector<double> costByRow_;  // balance()'s working copy
  std::vector<Tally> tally_;
  bool inScene_ = false;  // fans or clears pending since the last finish
  Clock::time_point sceneStart_{};
  Clock::duration waiting_{};  // the caller's this scene, for a batch of the ring
  // Batches kept from scene to scene, so that a steady scene allocates
  // nothing: batch n is ring_[n % kRing], and the crew's job n.
  Batch ring_[kRing];
  uint64_t filling_ = 0;     // the number of the batch being filled
  uint64_t callerNext_ = 0;  // the first batch whose rows the caller has not drawn
  // The draw the filling batch copied last, and the palette it copied.
  uint64_t lastDraw_ = 0;
  const Batch* lastDrawBatch_ = nullptr;
  const uint32_t* paletteSource_ = nullptr;
  fast::Crew crew_;  // last: its threads read the members above until it is gone
};

}  // namespace

int fastThreadCount() {
  if (const char* env = std::getenv("KV_THREADS")) {
    const int n = std::atoi(env);
    if (n > 0) return std::min(n, 256);
  }
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

std::unique_ptr<Rasterizer> makeFast(int threads) {
  return std::make_unique<FastRasterizer>(std::clamp(threads, 1, 256));
}
std::unique_ptr<Rasterizer> makeFast() { return makeFast(1); }

}  // namespace kv::raster
