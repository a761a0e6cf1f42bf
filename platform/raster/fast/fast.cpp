// The fast rasterizer ("RGB Emulation"). Each triangle is walked row by row:
// exact integer edge stepping on positions snapped to 1/256 pixel finds each
// row's span (the same pixels the reference covers), and the span is shaded
// four pixels at a time with SSE2, every interpolant evaluated from its plane
// at the pixel (no accumulated drift, one division per pixel only under
// perspective). The shading loop is instantiated for the state bits that
// change its shape; the rest are flags tested once per group of four.
#include <emmintrin.h>

#include <algorithm>
#include <cmath>

#include "platform/raster/pixel.h"

namespace kv::raster {
namespace {

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

// An attribute as a plane over pixel indices: value at the centre of pixel
// (x, y) = at0 + dx * x + dy * y.
struct Plane {
  double at0, dx, dy;
  double at(int x, int y) const { return at0 + dx * x + dy * y; }
};

enum Attr { kZ, kA, kR, kG, kB, kU, kV, kQ, kAttrs };

struct Triangle {
  Plane p[kAttrs];
};

// Per-draw constants, resolved once per fan.
struct Context {
  uint8_t* color;
  int32_t colorPitch;
  bool is565;
  uint8_t* depth;
  int32_t depthPitch;
  int32_t width, height;  // drawable area (colour and depth intersected)

  const uint8_t* texels;
  int32_t texPitch;
  int32_t texBytes;
  int32_t texW, texH;
  TextureFormat texFormat;
  const uint32_t* palette;
  bool colorKey;
  uint32_t key, keyMask;

  ColorOp colorOp;
  AlphaOp alphaOp;
  bool blend;
  BlendFactor srcBlend, dstBlend;
  DepthCompare depthCompare;
  bool depthWrite;
  bool dither;
};

// Four pixels' channels, one pixel per 32-bit lane, each 0..255.
struct Quad {
  __m128i a, r, g, b;
};

inline __m128i mul8(__m128i x, __m128i y) { return _mm_mullo_epi16(x, y); }  // lanes < 256
inline __m128i div255v(__m128i x) {
  x = _mm_add_epi32(x, _mm_set1_epi32(128));
  return _mm_srli_epi32(_mm_add_epi32(x, _mm_srli_epi32(x, 8)), 8);
}
inline __m128i expand5v(__m128i c) { return _mm_or_si128(_mm_slli_epi32(c, 3), _mm_srli_epi32(c, 2)); }
inline __m128i expand6v(__m128i c) { return _mm_or_si128(_mm_slli_epi32(c, 2), _mm_srli_epi32(c, 4)); }
inline __m128i field(__m128i v, int shift, int mask) {
  return _mm_and_si128(_mm_srli_epi32(v, shift), _mm_set1_epi32(mask));
}

Quad decode(const Context& c, __m128i raw) {
  switch (c.texFormat) {
    case TextureFormat::Palette8:  // raw already went through the palette
      return {_mm_srli_epi32(raw, 24), field(raw, 16, 255), field(raw, 8, 255), field(raw, 0, 255)};
    case TextureFormat::ARGB1555:
      return {_mm_and_si128(_mm_srai_epi32(_mm_slli_epi32(raw, 16), 31), _mm_set1_epi32(255)),
              expand5v(field(raw, 10, 31)), expand5v(field(raw, 5, 31)), expand5v(field(raw, 0, 31))};
    case TextureFormat::ARGB4444: {
      const __m128i s = _mm_set1_epi32(17);
      return {mul8(field(raw, 12, 15), s), mul8(field(raw, 8, 15), s), mul8(field(raw, 4, 15), s),
              mul8(field(raw, 0, 15), s)};
    }
    case TextureFormat::RGB565:
      break;
  }
  return {_mm_set1_epi32(255), expand5v(field(raw, 11, 31)), expand6v(field(raw, 5, 63)),
          expand5v(field(raw, 0, 31))};
}

// Raw texels at four wrapped texel positions.
inline __m128i gather(const Context& c, __m128i tx, __m128i ty) {
  alignas(16) int32_t x[4], y[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(x), tx);
  _mm_store_si128(reinterpret_cast<__m128i*>(y), ty);
  alignas(16) uint32_t raw[4];
  for (int i = 0; i < 4; ++i) {
    const uint8_t* p = c.texels + static_cast<intptr_t>(y[i]) * c.texPitch + x[i] * c.texBytes;
    if (c.texBytes == 1) {
      raw[i] = *p;
    } else {
      uint16_t v;
      std::memcpy(&v, p, 2);
      raw[i] = v;
    }
  }
  return _mm_load_si128(reinterpret_cast<const __m128i*>(raw));
}

inline __m128i throughPalette(const Context& c, __m128i index) {
  alignas(16) uint32_t i[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(i), index);
  return _mm_set_epi32(static_cast<int>(c.palette[i[3]]), static_cast<int>(c.palette[i[2]]),
                       static_cast<int>(c.palette[i[1]]), static_cast<int>(c.palette[i[0]]));
}

inline __m128i keyMaskOf(const Context& c, __m128i raw) {  // lanes that are NOT the key
  const __m128i hit = _mm_cmpeq_epi32(_mm_and_si128(raw, _mm_set1_epi32(static_cast<int>(c.keyMask))),
                                      _mm_set1_epi32(static_cast<int>(c.key)));
  return _mm_xor_si128(hit, _mm_set1_epi32(-1));
}

inline __m128i channel(__m128 v) {  // v carries its +0.5 already
  return _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(255.0f)));
}

inline __m128i combineColor(ColorOp op, __m128i t, __m128i d) {
  if (op == ColorOp::Modulate) return div255v(mul8(t, d));
  return op == ColorOp::SelectTexture ? t : d;
}
inline __m128i combineAlpha(AlphaOp op, __m128i t, __m128i d) {
  if (op == AlphaOp::Modulate) return div255v(mul8(t, d));
  return op == AlphaOp::SelectTexture ? t : d;
}

inline __m128i factor(BlendFactor f, __m128i alpha) {
  switch (f) {
    case BlendFactor::Zero: return _mm_setzero_si128();
    case BlendFactor::One: return _mm_set1_epi32(255);
    case BlendFactor::SrcAlpha: return alpha;
    case BlendFactor::InvSrcAlpha: return _mm_sub_epi32(_mm_set1_epi32(255), alpha);
  }
  return _mm_setzero_si128();
}

inline __m128i blendV(__m128i s, __m128i fs, __m128i d, __m128i fd) {
  // Each product is below 65536, so 16-bit multiplies in 32-bit lanes are exact.
  const __m128i v = div255v(_mm_add_epi32(mul8(s, fs), mul8(d, fd)));
  return _mm_min_epi16(v, _mm_set1_epi32(255));
}

inline __m128i depthTest(DepthCompare cmp, __m128 z, __m128 stored) {
  switch (cmp) {
    case DepthCompare::Always: return _mm_set1_epi32(-1);
    case DepthCompare::GreaterEqual: return _mm_castps_si128(_mm_cmpge_ps(z, stored));
    case DepthCompare::Greater: return _mm_castps_si128(_mm_cmpgt_ps(z, stored));
    case DepthCompare::LessEqual: return _mm_castps_si128(_mm_cmple_ps(z, stored));
    case DepthCompare::Less: return _mm_castps_si128(_mm_cmplt_ps(z, stored));
  }
  return _mm_setzero_si128();
}

inline __m128i select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// One span's interpolants: value of lane k of group g = start + step * (4g + k).
struct SpanValues {
  float start[kAttrs], step[kAttrs];
  __m128i ditherRB, ditherG;
};

inline __m128 lerp(const SpanValues& s, int a, __m128 index) {
  return _mm_add_ps(_mm_set1_ps(s.start[a]), _mm_mul_ps(_mm_set1_ps(s.step[a]), index));
}

// Shades four neighbouring pixels; `live` marks the lanes of the span.
template <bool Depth, bool Textured, bool Perspective, bool Bilinear>
inline void shadeQuad(const Context& c, const SpanValues& s, __m128 index, __m128i live,
                      uint8_t* color, uint32_t* depth) {
  __m128 z;
  __m128i stored;
  if constexpr (Depth) {
    z = lerp(s, kZ, index);
    stored = _mm_loadu_si128(reinterpret_cast<const __m128i*>(depth));
    live = _mm_and_si128(live, depthTest(c.depthCompare, z, _mm_castsi128_ps(stored)));
    if (_mm_movemask_epi8(live) == 0) return;
  }

  const Quad diffuse{channel(lerp(s, kA, index)), channel(lerp(s, kR, index)),
                     channel(lerp(s, kG, index)), channel(lerp(s, kB, index))};
  Quad out = diffuse;
  if constexpr (Textured) {
    __m128 u = lerp(s, kU, index), v = lerp(s, kV, index);
    if constexpr (Perspective) {
      const __m128 w = _mm_div_ps(_mm_set1_ps(1.0f), lerp(s, kQ, index));
      u = _mm_mul_ps(u, w);
      v = _mm_mul_ps(v, w);
    }
    // Texel coordinates in 16.16; a shift right floors, masks wrap, and any
    // value at all (even from NaN) stays inside the texture.
    const __m128 one16 = _mm_set1_ps(65536.0f);
    const __m128i wMask = _mm_set1_epi32(c.texW - 1), hMask = _mm_set1_epi32(c.texH - 1);
    Quad t;
    if constexpr (Bilinear) {
      const __m128 half = _mm_set1_ps(0.5f);
      const __m128i fu = _mm_cvttps_epi32(_mm_mul_ps(_mm_sub_ps(u, half), one16));
      const __m128i fv = _mm_cvttps_epi32(_mm_mul_ps(_mm_sub_ps(v, half), one16));
      const __m128i x0 = _mm_and_si128(_mm_srai_epi32(fu, 16), wMask);
      const __m128i y0 = _mm_and_si128(_mm_srai_epi32(fv, 16), hMask);
      const __m128i x1 = _mm_and_si128(_mm_add_epi32(x0, _mm_set1_epi32(1)), wMask);
      const __m128i y1 = _mm_and_si128(_mm_add_epi32(y0, _mm_set1_epi32(1)), hMask);
      if (c.colorKey) {
        const __m128i halfTexel = _mm_set1_epi32(32768);
        const __m128i nx = _mm_and_si128(_mm_srai_epi32(_mm_add_epi32(fu, halfTexel), 16), wMask);
        const __m128i ny = _mm_and_si128(_mm_srai_epi32(_mm_add_epi32(fv, halfTexel), 16), hMask);
        live = _mm_and_si128(live, keyMaskOf(c, gather(c, nx, ny)));
        if (_mm_movemask_epi8(live) == 0) return;
      }
      __m128i r00 = gather(c, x0, y0), r10 = gather(c, x1, y0);
      __m128i r01 = gather(c, x0, y1), r11 = gather(c, x1, y1);
      if (c.texFormat == TextureFormat::Palette8) {
        r00 = throughPalette(c, r00), r10 = throughPalette(c, r10);
        r01 = throughPalette(c, r01), r11 = throughPalette(c, r11);
      }
      const Quad t00 = decode(c, r00), t10 = decode(c, r10), t01 = decode(c, r01), t11 = decode(c, r11);
      const __m128 scale = _mm_set1_ps(1.0f / 65536.0f);
      const __m128i low16 = _mm_set1_epi32(0xFFFF);
      const __m128 wx = _mm_mul_ps(_mm_cvtepi32_ps(_mm_and_si128(fu, low16)), scale);
      const __m128 wy = _mm_mul_ps(_mm_cvtepi32_ps(_mm_and_si128(fv, low16)), scale);
      auto mix = [&](__m128i Quad::*ch) {
        const __m128 a = _mm_cvtepi32_ps(t00.*ch), b = _mm_cvtepi32_ps(t10.*ch);
        const __m128 cc = _mm_cvtepi32_ps(t01.*ch), d = _mm_cvtepi32_ps(t11.*ch);
        const __m128 top = _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), wx));
        const __m128 bottom = _mm_add_ps(cc, _mm_mul_ps(_mm_sub_ps(d, cc), wx));
        const __m128 m = _mm_add_ps(top, _mm_mul_ps(_mm_sub_ps(bottom, top), wy));
        return channel(_mm_add_ps(m, _mm_set1_ps(0.5f)));
      };
      t = {mix(&Quad::a), mix(&Quad::r), mix(&Quad::g), mix(&Quad::b)};
    } else {
      const __m128i tx = _mm_and_si128(_mm_srai_epi32(_mm_cvttps_epi32(_mm_mul_ps(u, one16)), 16), wMask);
      const __m128i ty = _mm_and_si128(_mm_srai_epi32(_mm_cvttps_epi32(_mm_mul_ps(v, one16)), 16), hMask);
      __m128i raw = gather(c, tx, ty);
      if (c.colorKey) {
        live = _mm_and_si128(live, keyMaskOf(c, raw));
        if (_mm_movemask_epi8(live) == 0) return;
      }
      if (c.texFormat == TextureFormat::Palette8) raw = throughPalette(c, raw);
      t = decode(c, raw);
    }
    out = {combineAlpha(c.alphaOp, t.a, diffuse.a), combineColor(c.colorOp, t.r, diffuse.r),
           combineColor(c.colorOp, t.g, diffuse.g), combineColor(c.colorOp, t.b, diffuse.b)};
  }

  if (c.is565) {
    const __m128i old = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(color)),
                                           _mm_setzero_si128());
    if (c.blend) {
      const __m128i fs = factor(c.srcBlend, out.a), fd = factor(c.dstBlend, out.a);
      out.r = blendV(out.r, fs, expand5v(field(old, 11, 31)), fd);
      out.g = blendV(out.g, fs, expand6v(field(old, 5, 63)), fd);
      out.b = blendV(out.b, fs, expand5v(field(old, 0, 31)), fd);
    }
    if (c.dither) {
      const __m128i full = _mm_set1_epi32(255);
      out.r = _mm_min_epi16(_mm_add_epi32(out.r, s.ditherRB), full);
      out.g = _mm_min_epi16(_mm_add_epi32(out.g, s.ditherG), full);
      out.b = _mm_min_epi16(_mm_add_epi32(out.b, s.ditherRB), full);
    }
    __m128i p = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_srli_epi32(out.r, 3), 11),
                                          _mm_slli_epi32(_mm_srli_epi32(out.g, 2), 5)),
                             _mm_srli_epi32(out.b, 3));
    p = select(live, p, old);
    // Pack 32-bit lanes holding 0..65535 to 16 bits through the signed pack.
    const __m128i bias = _mm_set1_epi32(0x8000);
    p = _mm_packs_epi32(_mm_sub_epi32(p, bias), _mm_sub_epi32(p, bias));
    p = _mm_xor_si128(p, _mm_set1_epi16(static_cast<short>(0x8000)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(color), p);
  } else {
    const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(color));
    if (c.blend) {
      const __m128i fs = factor(c.srcBlend, out.a), fd = factor(c.dstBlend, out.a);
      out.r = blendV(out.r, fs, field(old, 16, 255), fd);
      out.g = blendV(out.g, fs, field(old, 8, 255), fd);
      out.b = blendV(out.b, fs, field(old, 0, 255), fd);
    }
    __m128i p = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(out.r, 16), _mm_slli_epi32(out.g, 8)),
                             _mm_or_si128(out.b, _mm_set1_epi32(static_cast<int>(0xFF000000u))));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(color), select(live, p, old));
  }
  if constexpr (Depth) {
    if (c.depthWrite) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(depth), select(live, _mm_castps_si128(z), stored));
    }
  }
}

// Pixels x0..x1-1 of row y; both inside the drawable area.
template <bool Depth, bool Textured, bool Perspective, bool Bilinear>
void drawSpan(const Context& c, const SpanValues& s, int y, int x0, int x1) {
  const int bytes = c.is565 ? 2 : 4;
  uint8_t* color = c.color + static_cast<intptr_t>(y) * c.colorPitch + x0 * bytes;
  uint32_t* depth = nullptr;
  if constexpr (Depth) {
    depth = reinterpret_cast<uint32_t*>(c.depth + static_cast<intptr_t>(y) * c.depthPitch) + x0;
  }
  const __m128 lane = _mm_set_ps(3.0f, 2.0f, 1.0f, 0.0f);
  const __m128i all = _mm_set1_epi32(-1);
  const int n = x1 - x0;
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    shadeQuad<Depth, Textured, Perspective, Bilinear>(
        c, s, _mm_add_ps(_mm_set1_ps(static_cast<float>(i)), lane), all, color + i * bytes,
        depth ? depth + i : nullptr);
  }
  if (i < n) {
    // The last few pixels go through a copy so that no lane touches memory past the span.
    const int rest = n - i;
    alignas(16) uint8_t colorCopy[16] = {};
    alignas(16) uint32_t depthCopy[4] = {};
    std::memcpy(colorCopy, color + i * bytes, rest * bytes);
    if (depth) std::memcpy(depthCopy, depth + i, rest * 4);
    const __m128i live = _mm_cmplt_epi32(_mm_set_epi32(3, 2, 1, 0), _mm_set1_epi32(rest));
    shadeQuad<Depth, Textured, Perspective, Bilinear>(
        c, s, _mm_add_ps(_mm_set1_ps(static_cast<float>(i)), lane), live, colorCopy, depthCopy);
    std::memcpy(color + i * bytes, colorCopy, rest * bytes);
    if (depth) std::memcpy(depth + i, depthCopy, rest * 4);
  }
}

using SpanFn = void (*)(const Context&, const SpanValues&, int, int, int);

template <bool Depth>
SpanFn pickTextured(bool perspective, bool bilinear) {
  if (perspective) {
    return bilinear ? drawSpan<Depth, true, true, true> : drawSpan<Depth, true, true, false>;
  }
  return bilinear ? drawSpan<Depth, true, false, true> : drawSpan<Depth, true, false, false>;
}

SpanFn pickSpan(bool depth, bool textured, bool perspective, bool bilinear) {
  if (!textured) return depth ? drawSpan<true, false, false, false> : drawSpan<false, false, false, false>;
  return depth ? pickTextured<true>(perspective, bilinear) : pickTextured<false>(perspective, bilinear);
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
  return (std::isfinite(t) && std::fabs(t) < 1e6f) ? std::floor(static_cast<double>(t)) : 0.0;
}

class FastRasterizer final : public Rasterizer {
 public:
  void clear(const ColorTarget* color, uint32_t argb, const DepthTarget* depth, float depthValue,
             const Rect& rect) override {
    clearTargets(color, argb, depth, depthValue, rect);
  }

  void drawFan(const ColorTarget& color, const DepthTarget* depth, const State& state,
               const Vertex* vertices, int count) override {
    if (!vertices || count < 3 || !validColorTarget(color)) return;
    Context c{};
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
      c.texW = tex->width;
      c.texH = tex->height;
      c.texFormat = tex->format;
      c.palette = tex->palette;
      c.colorKey = state.colorKeyEnable;
      c.keyMask = colorKeyMask(tex->format);
      c.key = state.colorKey & c.keyMask;
    }
    c.colorOp = state.colorOp;
    c.alphaOp = state.alphaOp;
    c.blend = state.blendEnable;
    c.srcBlend = state.srcBlend;
    c.dstBlend = state.dstBlend;
    c.depthCompare = state.depthCompare;
    c.depthWrite = state.depthWrite;
    c.dither = state.dither && c.is565;

    const bool perspective = tex && state.perspective;
    const SpanFn span = pickSpan(useDepth, tex != nullptr, perspective, state.filter == Filter::Bilinear);
    const bool flat = state.shadeMode == ShadeMode::Flat;
    for (int i = 1; i + 1 < count; ++i) {
      drawTriangle(c, span, vertices[0], vertices[i], vertices[i + 1], tex != nullptr, perspective,
                   flat ? &vertices[i].diffuse : nullptr);
    }
  }

  const char* name() const override { return "RGB Emulation"; }

 private:
  static void drawTriangle(const Context& c, SpanFn span, const Vertex& v0, const Vertex& v1,
                           const Vertex& v2, bool textured, bool perspective,
                           const uint32_t* flatColor) {
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
    const int64_t firstRow = std::max<int64_t>(rowTop, 0);
    const int64_t endRow = std::min<int64_t>(rowBot, c.height);
    if (firstRow >= endRow) return;

    Triangle t;
    setupPlanes(t, v, X, Y, textured, perspective, flatColor, c);

    // The middle vertex is left of the long edge (top to bottom) when the
    // cross product is negative.
    const int64_t cross = (X[mid] - X[top]) * (Y[bot] - Y[top]) - (Y[mid] - Y[top]) * (X[bot] - X[top]);
    const bool midLeft = cross < 0;
    EdgeWalk longEdge, shortEdge;
    longEdge.start(X[top], Y[top], X[bot], Y[bot], firstRow);

    SpanValues s;
    auto walk = [&](int64_t from, int64_t to) {
      for (int64_t y = from; y < to; ++y) {
        const EdgeWalk& left = midLeft ? shortEdge : longEdge;
        const EdgeWalk& right = midLeft ? longEdge : shortEdge;
        const int64_t x0 = std::max<int64_t>(left.x, 0), x1 = std::min<int64_t>(right.x, c.width);
        if (x0 < x1) {
          spanValues(s, t, c, static_cast<int>(x0), static_cast<int>(y), textured, perspective);
          span(c, s, static_cast<int>(y), static_cast<int>(x0), static_cast<int>(x1));
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

  static void setupPlanes(Triangle& t, const Vertex* const v[3], const int64_t X[3], const int64_t Y[3],
                          bool textured, bool perspective, const uint32_t* flatColor,
                          const Context& c) {
    const double x0 = double(X[0]) / S, y0 = double(Y[0]) / S;
    const double ax = double(X[1] - X[0]) / S, ay = double(Y[1] - Y[0]) / S;
    const double bx = double(X[2] - X[0]) / S, by = double(Y[2] - Y[0]) / S;
    const double det = ax * by - bx * ay;
    auto plane = [&](double a0, double a1, double a2) {
      Plane p;
      const double da = a1 - a0, db = a2 - a0;
      p.dx = (da * by - db * ay) / det;
      p.dy = (db * ax - da * bx) / det;
      p.at0 = a0 + p.dx * (0.5 - x0) + p.dy * (0.5 - y0);
      return p;
    };
    t.p[kZ] = plane(v[0]->sz, v[1]->sz, v[2]->sz);
    for (int ch = 0; ch < 4; ++ch) {
      const int shift = 24 - 8 * ch;
      auto get = [&](const Vertex& q) {
        return double(((flatColor ? *flatColor : q.diffuse) >> shift) & 0xFF);
      };
      t.p[kA + ch] = plane(get(*v[0]), get(*v[1]), get(*v[2]));
      t.p[kA + ch].at0 += 0.5;  // rounding, so that the shading loop can truncate
    }
    if (!textured) return;
    const double su = repeatsOf(v[0]->tu), sv = repeatsOf(v[0]->tv);
    auto u = [&](int i) { return (double(v[i]->tu) - su) * c.texW; };
    auto w = [&](int i) { return (double(v[i]->tv) - sv) * c.texH; };
    if (perspective) {
      auto q = [&](int i) { return double(v[i]->rhw); };
      t.p[kU] = plane(u(0) * q(0), u(1) * q(1), u(2) * q(2));
      t.p[kV] = plane(w(0) * q(0), w(1) * q(1), w(2) * q(2));
      t.p[kQ] = plane(q(0), q(1), q(2));
    } else {
      t.p[kU] = plane(u(0), u(1), u(2));
      t.p[kV] = plane(w(0), w(1), w(2));
    }
  }

  static void spanValues(SpanValues& s, const Triangle& t, const Context& c, int x, int y,
                         bool textured, bool perspective) {
    const int lastAttr = !textured ? kU : perspective ? kAttrs : kQ;
    for (int a = 0; a < lastAttr; ++a) {
      s.start[a] = static_cast<float>(t.p[a].at(x, y));
      s.step[a] = static_cast<float>(t.p[a].dx);
    }
    if (textured && !perspective) {
      // Affine coordinates restart near zero on each span, keeping precision.
      s.start[kU] = static_cast<float>(wrapTexels(t.p[kU].at(x, y), c.texW));
      s.start[kV] = static_cast<float>(wrapTexels(t.p[kV].at(x, y), c.texH));
    }
    if (c.dither) {
      alignas(16) int32_t rb[4], g[4];
      for (int k = 0; k < 4; ++k) {
        const int threshold = kBayer4[y & 3][(x + k) & 3];
        rb[k] = threshold >> 1;
        g[k] = threshold >> 2;
      }
      s.ditherRB = _mm_load_si128(reinterpret_cast<const __m128i*>(rb));
      s.ditherG = _mm_load_si128(reinterpret_cast<const __m128i*>(g));
    }
  }
};

}  // namespace

std::unique_ptr<Rasterizer> makeFast() { return std::make_unique<FastRasterizer>(); }

}  // namespace kv::raster
