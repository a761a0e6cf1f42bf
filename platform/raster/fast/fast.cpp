// The fast rasterizer ("RGB Emulation"). Each triangle is walked row by row:
// exact integer edge stepping on positions snapped to 1/256 pixel finds each
// row's span (the same pixels the reference covers), and the span is shaded
// by the SIMD span loops (spans.cpp). Depth and texture coordinates are
// evaluated from their planes at every pixel (no drift; under perspective one
// division per pixel), colours are stepped in fixed point.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/raster/fast/spans.h"
#include "platform/raster/fast/workers.h"

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
  void next() {
    x += stepX;
    rem -= stepRem;
    if (rem < 0) {
      ++x;
      rem += den;
    }
  }
};

// Each attribute as a plane over pixel indices: its value at the centre of
// pixel (x, y) is at0 + dx * x + dy * y.
struct Triangle {
  double at0[kAttrs];
  double dx[kAttrs];
  double dy[kAttrs];

  double at(int a, int x, int y) const { return at0[a] + dx[a] * x + dy[a] * y; }
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
int32_t fixedColor(double v) {
  v = v > 0.0 ? v : 0.0;
  v = v < 511.0 ? v : 511.0;
  return static_cast<int32_t>(v * (1 << kColorFraction));
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
  const double det = ax * by - bx * ay;
  const double toX = 0.5 - x0, toY = 0.5 - y0;
  // Plane a through its values at the three corners.
  auto plane = [&](int a, double a0, double a1, double a2) {
    const double da = a1 - a0, db = a2 - a0;
    const double dx = (da * by - db * ay) / det;
    const double dy = (db * ax - da * bx) / det;
    t.dx[a] = dx;
    t.dy[a] = dy;
    t.at0[a] = (a0 + dx * toX) + dy * toY;
  };
  auto channel = [&](const Vertex& q, int shift) {
    const uint32_t argb = flatColor ? *flatColor : q.diffuse;
    return double((argb >> shift) & 0xFF);
  };
  for (int a : {kA, kR, kG, kB}) {
    const int shift = 24 - 8 * a;
    plane(a, channel(*v[0], shift), channel(*v[1], shift), channel(*v[2], shift));
    // Half a unit added for rounding, so that the shading loop can truncate.
    t.at0[a] += 0.5;
  }
  plane(kZ, v[0]->sz, v[1]->sz, v[2]->sz);
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
  plane(kQ, q(0), q(1), q(2));
}

// The steps along a row are the triangle's: worked out once, not per span.
void triangleSteps(SpanValues& s, const Triangle& t, const Draw& d) {
  s.step[kZ] = static_cast<float>(t.dx[kZ]);
  for (int k = 0; k < 4; ++k) {
    constexpr double one = 1 << kColorFraction;
    // Inside a triangle a channel changes by at most 255 from one pixel to
    // the next, so 256 per pixel is never reached on a span of 2 or more;
    // the clamp only tames slivers thinner than a pixel.
    s.colorStep[k] = saturatingToInt(std::clamp(t.dx[kA + k], -256.0, 256.0) * one);
  }
  s.step[kU] = s.step[kV] = s.step[kQ] = 0.0f;
  s.start[kU] = s.start[kV] = s.start[kQ] = 0.0f;
  if (!d.textured) return;
  for (int a : {kU, kV, kQ}) {
    if (a == kQ && !d.perspective) break;
    const double scale = a == kQ ? 1.0 : 65536.0;
    s.step[a] = static_cast<float>(t.dx[a] * scale);
  }
}

void spanValues(SpanValues& s, const Triangle& t, const Draw& d, int x, int y) {
  for (int k = 0; k < 4; ++k) s.colorStart[k] = fixedColor(t.at(kA + k, x, y));
  s.start[kZ] = static_cast<float>(t.at(kZ, x, y));
  if (!d.textured) return;
  // Texture coordinates in texels x 65536 (an exact scaling).
  if (d.perspective) {
    s.start[kU] = static_cast<float>(t.at(kU, x, y) * 65536.0);
    s.start[kV] = static_cast<float>(t.at(kV, x, y) * 65536.0);
    s.start[kQ] = static_cast<float>(t.at(kQ, x, y));
  } else {
    // Affine coordinates restart near zero on each span, keeping precision.
    const Context& c = d.context;
    s.start[kU] = static_cast<float>(wrapTexels(t.at(kU, x, y), c.texW) * 65536.0);
    s.start[kV] = static_cast<float>(wrapTexels(t.at(kV, x, y), c.texH) * 65536.0);
  }
}

}  // namespace

// Draws the part of triangle (v0, v1, v2) inside clip (already within the
// drawable area).
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

  Triangle t;
  setupPlanes(t, v, X, Y, d, flatColor);

  // The middle vertex is left of the long edge (top to bottom) when the
  // cross product is negative.
  const int64_t cross =
      (X[mid] - X[top]) * (Y[bot] - Y[top]) - (Y[mid] - Y[top]) * (X[bot] - X[top]);
  const bool midLeft = cross < 0;
  EdgeWalk longEdge, shortEdge;
  longEdge.start(X[top], Y[top], X[bot], Y[bot], firstRow);

  SpanValues s;
  triangleSteps(s, t, d);
  s.left = clip.left;
  s.right = clip.right;
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
        spanValues(s, t, d, static_cast<int>(origin), static_cast<int>(y));
        s.offset = static_cast<int32_t>(x0 - origin);
        d.span(d.context, s, static_cast<int>(y), static_cast<int>(x0), static_cast<int>(x1));
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
    longEdge.start(X[top], Y[top], X[bot], Y[bot], lowerStart);
    shortEdge.start(X[mid], Y[mid], X[bot], Y[bot], lowerStart);
    walk(lowerStart, endRow);
  }
}

// Draws every triangle of a fan within clip.
void drawFanTriangles(const Draw& d, const Rect& clip, const Vertex* vertices, int count) {
  for (int i = 1; i + 1 < count; ++i) {
    drawTriangle(d, clip, vertices[0], vertices[i], vertices[i + 1],
                 d.flat ? &vertices[i].diffuse : nullptr);
  }
}

}  // namespace fast

namespace {

// Fans are kept in screen tiles of this size until the scene is drawn.
constexpr int kTileWidth = 64, kTileHeight = 32;

class FastRasterizer final : public Rasterizer {
 public:
  explicit FastRasterizer(int threads) : workers_(std::max(threads, 1)) {}

  void drawFan(const ColorTarget& color, const DepthTarget* depth, const State& state,
               const Vertex* vertices, int count) override {
    if (!vertices || count < 3) return;
    fast::Draw d;
    if (!fast::prepareDraw(d, color, depth, state)) return;
    if (workers_.threads() == 1) {
      fast::drawFanTriangles(d, {0, 0, d.context.width, d.context.height}, vertices, count);
      return;
    }
    bin(d, color, vertices, count);
  }

  // Draws the pending fans tile by tile, each tile on one thread in the
  // order the fans came, so the picture does not depend on the thread count.
  void finish() override {
    if (fans_.empty()) return;
    auto drawTile = [this](int tile) {
      const int columns = columns_;
      const int x = (tile % columns) * kTileWidth, y = (tile / columns) * kTileHeight;
      for (uint32_t f : bins_[tile]) {
        const Fan& fan = fans_[f];
        const Context& c = fan.draw.context;
        const Rect clip{x, y, std::min(x + kTileWidth, c.width),
                        std::min(y + kTileHeight, c.height)};
        if (clip.left < clip.right && clip.top < clip.bottom)
          fast::drawFanTriangles(fan.draw, clip, &vertices_[fan.first], fan.count);
      }
    };
    workers_.run(static_cast<int>(bins_.size()), drawTile);
    for (auto& b : bins_) b.clear();
    fans_.clear();
    vertices_.clear();
  }

  const char* name() const override { return "RGB Emulation"; }

 private:
  struct Fan {
    fast::Draw draw;
    uint32_t first;  // in vertices_
    int count;
  };

  void bin(const fast::Draw& d, const ColorTarget& color, const Vertex* vertices, int count) {
    // Fans for another target wait for nothing: what is pending is drawn first.
    if (!fans_.empty() && (color.pixels != target_.pixels || color.width != target_.width ||
                           color.height != target_.height))
      finish();
    if (fans_.empty() && (color.width != target_.width || color.height != target_.height)) {
      columns_ = (color.width + kTileWidth - 1) / kTileWidth;
      bins_.resize(size_t(columns_) * ((color.height + kTileHeight - 1) / kTileHeight));
    }
    target_ = color;
    // The tiles the fan's corners span; corners the triangle set-up refuses
    // take no part, since no triangle with them is drawn.
    float left = 1e9f, top = 1e9f, right = -1e9f, bottom = -1e9f;
    for (int i = 0; i < count; ++i) {
      const Vertex& v = vertices[i];
      if (!(std::fabs(v.sx) <= kMaxCoordinate && std::fabs(v.sy) <= kMaxCoordinate)) continue;
      left = std::min(left, v.sx), right = std::max(right, v.sx);
      top = std::min(top, v.sy), bottom = std::max(bottom, v.sy);
    }
    // Pixels whose centres the fan covers, with a pixel to spare for snapping.
    const int x0 = std::max(0, static_cast<int>(std::floor(left)) - 1);
    const int y0 = std::max(0, static_cast<int>(std::floor(top)) - 1);
    const int x1 = std::min(d.context.width, static_cast<int>(std::ceil(right)) + 2);
    const int y1 = std::min(d.context.height, static_cast<int>(std::ceil(bottom)) + 2);
    if (x0 >= x1 || y0 >= y1) return;
    const auto index = static_cast<uint32_t>(fans_.size());
    fans_.push_back({d, static_cast<uint32_t>(vertices_.size()), count});
    vertices_.insert(vertices_.end(), vertices, vertices + count);
    for (int ty = y0 / kTileHeight; ty <= (y1 - 1) / kTileHeight; ++ty)
      for (int tx = x0 / kTileWidth; tx <= (x1 - 1) / kTileWidth; ++tx)
        bins_[size_t(ty) * columns_ + tx].push_back(index);
  }

  fast::Workers workers_;
  ColorTarget target_{};  // the target of the pending fans
  int columns_ = 0;
  // Pending fans, their corners and, per tile, the fans that touch it; kept
  // from scene to scene so that a steady scene allocates nothing.
  std::vector<Fan> fans_;
  std::vector<Vertex> vertices_;
  std::vector<std::vector<uint32_t>> bins_;
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
