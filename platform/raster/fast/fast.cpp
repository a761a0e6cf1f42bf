// The fast rasterizer ("RGB Emulation"). Each triangle is walked row by row:
// exact integer edge stepping on positions snapped to 1/256 pixel finds each
// row's span (the same pixels the reference covers), and the span is shaded
// eight pixels at a time with SSE2, channels in 16-bit lanes. Depth and
// texture coordinates are evaluated from their planes at every pixel (no
// drift; under perspective one division per pixel, four at a time), colours
// are stepped in fixed point. The span loop is instantiated for the state
// bits that change its shape, and once more for the demo's common case
// (textured, modulated, dithered 565, depth greater-or-equal, no blending or
// key, a texture on a power-of-two pitch), whose texel offsets come straight
// from the coordinates and whose 16-bit texels are fetched in pairs for
// bilinear filtering; the remaining states are flags tested once per eight
// pixels.
#include <emmintrin.h>

#include <algorithm>
#include <bit>
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

constexpr int kColorFraction = 22;

// The shading steps must melt into one loop body per span function.
#define KV_HOT inline __attribute__((always_inline))

// Attributes in the pairs that are set up and evaluated together.
enum Attr { kA, kR, kG, kB, kZ, kU, kV, kQ, kAttrs };

// Each attribute as a plane over pixel indices: its value at the centre of
// pixel (x, y) is at0 + dx * x + dy * y. The planes lie side by side so that
// two of them are worked on at once, with the same roundings as one at a time.
struct Triangle {
  alignas(16) double at0[kAttrs];
  alignas(16) double dx[kAttrs];
  alignas(16) double dy[kAttrs];

  double at(int a, int x, int y) const { return at0[a] + dx[a] * x + dy[a] * y; }
  // Attributes a and a + 1 at pixel (x, y).
  __m128d at2(int a, __m128d x, __m128d y) const {
    return _mm_add_pd(_mm_add_pd(_mm_load_pd(at0 + a), _mm_mul_pd(_mm_load_pd(dx + a), x)),
                      _mm_mul_pd(_mm_load_pd(dy + a), y));
  }
};

enum class BlendKind : uint8_t { Off, Over, Add, General };
enum class DepthMode : uint8_t { Off, GreaterEqual, Any };

BlendKind blendKindOf(const State& s) {
  if (!s.blendEnable) return BlendKind::Off;
  if (s.srcBlend == BlendFactor::SrcAlpha && s.dstBlend == BlendFactor::InvSrcAlpha)
    return BlendKind::Over;
  if (s.srcBlend == BlendFactor::One && s.dstBlend == BlendFactor::One) return BlendKind::Add;
  return BlendKind::General;
}

// For textures whose pitch is a power of two: the byte offsets of the texel
// columns and rows that 16.16 coordinates fall in, wrapped, taken from the
// coordinates with one shift and one mask each.
struct TexelGrid {
  __m128i columnMask, rowMask;    // (width - 1) x texel bytes, (height - 1) x pitch
  __m128i columnShift, rowShift;  // 16 - log2(texel bytes), 16 - log2(pitch)
  __m128i columnStep, rowStep;    // texel bytes, pitch

  // texel bytes = 1 << texelShift, pitch = 1 << pitchShift <= 65536
  static TexelGrid of(int width, int height, int texelShift, int pitchShift) {
    return {_mm_set1_epi32((width - 1) << texelShift), _mm_set1_epi32((height - 1) << pitchShift),
            _mm_cvtsi32_si128(16 - texelShift),        _mm_cvtsi32_si128(16 - pitchShift),
            _mm_set1_epi32(1 << texelShift),           _mm_set1_epi32(1 << pitchShift)};
  }
  __m128i column(__m128i fu) const {
    return _mm_and_si128(_mm_sra_epi32(fu, columnShift), columnMask);
  }
  __m128i row(__m128i fv) const { return _mm_and_si128(_mm_sra_epi32(fv, rowShift), rowMask); }
  __m128i nextColumn(__m128i column) const {
    return _mm_and_si128(_mm_add_epi32(column, columnStep), columnMask);
  }
  __m128i nextRow(__m128i row) const { return _mm_and_si128(_mm_add_epi32(row, rowStep), rowMask); }
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
  TexelGrid grid;            // set with texRowShift >= 0 only (left unset: a fan per triangle
                             // is common, and clearing the whole record each time shows)
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

// Four pixels' channels, one pixel per 32-bit lane (bilinear filtering and
// general blending work at this width).
struct Quad {
  __m128i a, r, g, b;
};
// Eight pixels' channels, one pixel per 16-bit lane, each 0..255: the width
// of the common path.
struct Octet {
  __m128i a, r, g, b;
};

inline __m128i mul8(__m128i x, __m128i y) { return _mm_mullo_epi16(x, y); }  // lanes < 256
inline __m128i div255v(__m128i x) {
  x = _mm_add_epi32(x, _mm_set1_epi32(128));
  return _mm_srli_epi32(_mm_add_epi32(x, _mm_srli_epi32(x, 8)), 8);
}
// The same rounding on 16-bit lanes, exact for x <= 255 * 255: with y = x + 128,
// (y + y / 256) / 256 is the high half of y * 257.
inline __m128i div255w(__m128i x) {
  return _mm_mulhi_epu16(_mm_add_epi16(x, _mm_set1_epi16(128)), _mm_set1_epi16(257));
}
inline __m128i expand5v(__m128i c) {
  return _mm_or_si128(_mm_slli_epi32(c, 3), _mm_srli_epi32(c, 2));
}
inline __m128i expand6v(__m128i c) {
  return _mm_or_si128(_mm_slli_epi32(c, 2), _mm_srli_epi32(c, 4));
}
inline __m128i expand5w(__m128i c) {
  return _mm_or_si128(_mm_slli_epi16(c, 3), _mm_srli_epi16(c, 2));
}
inline __m128i expand6w(__m128i c) {
  return _mm_or_si128(_mm_slli_epi16(c, 2), _mm_srli_epi16(c, 4));
}
inline __m128i field(__m128i v, int shift, int mask) {
  return _mm_and_si128(_mm_srli_epi32(v, shift), _mm_set1_epi32(mask));
}
inline __m128i fieldw(__m128i v, int shift, int mask) {
  return _mm_and_si128(_mm_srli_epi16(v, shift), _mm_set1_epi16(static_cast<short>(mask)));
}
// Two vectors of four 32-bit lanes (values within int16) as one of eight 16-bit lanes.
inline __m128i narrow(__m128i lo, __m128i hi) { return _mm_packs_epi32(lo, hi); }
inline __m128i widenLo(__m128i w) { return _mm_unpacklo_epi16(w, _mm_setzero_si128()); }
inline __m128i widenHi(__m128i w) { return _mm_unpackhi_epi16(w, _mm_setzero_si128()); }
inline __m128i select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

KV_HOT Quad decode(const Context& c, __m128i raw) {
  switch (c.texFormat) {
    case TextureFormat::Palette8:  // raw already went through the palette
      return {_mm_srli_epi32(raw, 24), field(raw, 16, 255), field(raw, 8, 255), field(raw, 0, 255)};
    case TextureFormat::ARGB1555:
      return {_mm_and_si128(_mm_srai_epi32(_mm_slli_epi32(raw, 16), 31), _mm_set1_epi32(255)),
              expand5v(field(raw, 10, 31)), expand5v(field(raw, 5, 31)),
              expand5v(field(raw, 0, 31))};
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

// Eight 16-bit texels (not palettized) to channels.
KV_HOT Octet decode16(TextureFormat format, __m128i raw) {
  // A 5-bit field standing alone at bit `at` of each lane, times 33 x 2^(14 - at),
  // has c << 3 | c >> 2 as the product's high half: the one multiplication
  // moves the field down and repeats its top bits (65 x 2^(12 - at) for 6 bits).
  auto widen5 = [](__m128i field, int at) {
    return _mm_mulhi_epu16(field, _mm_set1_epi16(static_cast<short>(33 << (14 - at))));
  };
  auto widen6 = [](__m128i field, int at) {
    return _mm_mulhi_epu16(field, _mm_set1_epi16(static_cast<short>(65 << (12 - at))));
  };
  auto bits = [](__m128i v, int mask) {
    return _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(mask)));
  };
  const __m128i blue = widen5(_mm_slli_epi16(raw, 11), 11);  // the shift clears the bits above
  switch (format) {
    case TextureFormat::ARGB1555:
      return {_mm_srli_epi16(_mm_srai_epi16(raw, 15), 8), widen5(bits(raw, 0x7C00), 10),
              widen5(bits(raw, 0x03E0), 5), blue};
    case TextureFormat::ARGB4444: {
      const __m128i s = _mm_set1_epi16(17);
      return {mul8(_mm_srli_epi16(raw, 12), s), mul8(fieldw(raw, 8, 15), s),
              mul8(fieldw(raw, 4, 15), s), mul8(fieldw(raw, 0, 15), s)};
    }
    default:
      return {_mm_set1_epi16(255), widen5(bits(raw, 0xF800), 11), widen6(bits(raw, 0x07E0), 5),
              blue};
  }
}

// Eight ARGB values, as two vectors of four, to channels.
KV_HOT Octet decodeArgb(__m128i lo, __m128i hi) {
  return {narrow(_mm_srli_epi32(lo, 24), _mm_srli_epi32(hi, 24)),
          narrow(field(lo, 16, 255), field(hi, 16, 255)),
          narrow(field(lo, 8, 255), field(hi, 8, 255)),
          narrow(field(lo, 0, 255), field(hi, 0, 255))};
}

// Byte offsets of four texels (x, y), both already wrapped.
KV_HOT __m128i texelOffsets(const Context& c, __m128i tx, __m128i ty) {
  if (c.texRowShift >= 0) {
    const __m128i texel = _mm_add_epi32(_mm_sll_epi32(ty, _mm_cvtsi32_si128(c.texRowShift)), tx);
    return c.texBytes == 2 ? _mm_add_epi32(texel, texel) : texel;
  }
  alignas(16) int32_t x[4], y[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(x), tx);
  _mm_store_si128(reinterpret_cast<__m128i*>(y), ty);
  auto offset = [&](int i) { return y[i] * c.texPitch + x[i] * c.texBytes; };
  return _mm_set_epi32(offset(3), offset(2), offset(1), offset(0));
}

KV_HOT int texelAt(const Context& c, int32_t offset) {
  if (c.texBytes == 1) return c.texels[offset];
  uint16_t v;
  std::memcpy(&v, c.texels + offset, 2);
  return v;
}

// Raw texels at four wrapped positions, one per 32-bit lane. Built in
// registers: four scalar stores reloaded as one vector would stall on store
// forwarding.
KV_HOT __m128i gather(const Context& c, __m128i tx, __m128i ty) {
  alignas(16) int32_t o[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(o), texelOffsets(c, tx, ty));
  return _mm_set_epi32(texelAt(c, o[3]), texelAt(c, o[2]), texelAt(c, o[1]), texelAt(c, o[0]));
}

// Eight byte offsets in texture memory, given as two vectors of four and
// spilled for the scalar loads that fetch texels.
struct Offsets8 {
  alignas(16) int32_t at[8];

  KV_HOT Offsets8(__m128i first, __m128i last) {
    _mm_store_si128(reinterpret_cast<__m128i*>(at), first);
    _mm_store_si128(reinterpret_cast<__m128i*>(at + 4), last);
  }
  int32_t operator[](int k) const { return at[k]; }
};

// Raw texels at eight offsets, one per 16-bit lane. Sixteen says the texture
// is known to hold 16-bit texels.
template <bool Sixteen>
KV_HOT __m128i gather8At(const Context& c, const Offsets8& o) {
  auto at = [&](int k) {
    if constexpr (Sixteen) {
      uint16_t v;
      std::memcpy(&v, c.texels + o[k], 2);
      return static_cast<int>(v);
    }
    return texelAt(c, o[k]);
  };
  __m128i v = _mm_cvtsi32_si128(at(0));
  v = _mm_insert_epi16(v, at(1), 1);
  v = _mm_insert_epi16(v, at(2), 2);
  v = _mm_insert_epi16(v, at(3), 3);
  v = _mm_insert_epi16(v, at(4), 4);
  v = _mm_insert_epi16(v, at(5), 5);
  v = _mm_insert_epi16(v, at(6), 6);
  v = _mm_insert_epi16(v, at(7), 7);
  return v;
}

// The 16-bit texels at eight offsets and their right-hand neighbours, each
// pair read as one 32-bit word (no offset may be in a row's last column).
KV_HOT void gatherPairs(const Context& c, const Offsets8& o, __m128i& left, __m128i& right) {
  auto pair = [&](int k) {
    int32_t v;
    std::memcpy(&v, c.texels + o[k], 4);
    return v;
  };
  const __m128i w0 = _mm_set_epi32(pair(3), pair(2), pair(1), pair(0));
  const __m128i w1 = _mm_set_epi32(pair(7), pair(6), pair(5), pair(4));
  // Sign-extended halves pack back to their own bits.
  left = narrow(_mm_srai_epi32(_mm_slli_epi32(w0, 16), 16),
                _mm_srai_epi32(_mm_slli_epi32(w1, 16), 16));
  right = narrow(_mm_srai_epi32(w0, 16), _mm_srai_epi32(w1, 16));
}

// The channels of the texels at eight offsets, 16-bit or palettized.
KV_HOT Octet texelsAt(const Context& c, const Offsets8& o) {
  if (c.texFormat != TextureFormat::Palette8) return decode16(c.texFormat, gather8At<true>(c, o));
  auto entry = [&](int k) { return static_cast<int>(c.palette[c.texels[o[k]]]); };
  return decodeArgb(_mm_set_epi32(entry(3), entry(2), entry(1), entry(0)),
                    _mm_set_epi32(entry(7), entry(6), entry(5), entry(4)));
}

// Raw texels at eight wrapped positions, one per 16-bit lane.
KV_HOT __m128i gather8(const Context& c, __m128i tx0, __m128i ty0, __m128i tx1, __m128i ty1) {
  return gather8At<false>(c, Offsets8(texelOffsets(c, tx0, ty0), texelOffsets(c, tx1, ty1)));
}

KV_HOT __m128i throughPalette(const Context& c, __m128i index) {  // four 32-bit lanes
  alignas(16) uint32_t i[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(i), index);
  return _mm_set_epi32(static_cast<int>(c.palette[i[3]]), static_cast<int>(c.palette[i[2]]),
                       static_cast<int>(c.palette[i[1]]), static_cast<int>(c.palette[i[0]]));
}

// 16-bit lanes that are NOT the key.
KV_HOT __m128i notKeyed(const Context& c, __m128i raw16) {
  const __m128i hit =
      _mm_cmpeq_epi16(_mm_and_si128(raw16, _mm_set1_epi16(static_cast<short>(c.keyMask))),
                      _mm_set1_epi16(static_cast<short>(c.key)));
  return _mm_xor_si128(hit, _mm_set1_epi32(-1));
}

KV_HOT __m128i channel(__m128 v) {  // v carries its +0.5 already
  return _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(255.0f)));
}

KV_HOT __m128i combineColor(ColorOp op, __m128i t, __m128i d) {
  if (op == ColorOp::Modulate) return div255w(mul8(t, d));
  return op == ColorOp::SelectTexture ? t : d;
}
KV_HOT __m128i combineAlpha(AlphaOp op, __m128i t, __m128i d) {
  if (op == AlphaOp::Modulate) return div255w(mul8(t, d));
  return op == AlphaOp::SelectTexture ? t : d;
}

KV_HOT __m128i factor(BlendFactor f, __m128i alpha) {  // 16-bit lanes
  switch (f) {
    case BlendFactor::Zero:
      return _mm_setzero_si128();
    case BlendFactor::One:
      return _mm_set1_epi16(255);
    case BlendFactor::SrcAlpha:
      return alpha;
    case BlendFactor::InvSrcAlpha:
      return _mm_sub_epi16(_mm_set1_epi16(255), alpha);
  }
  return _mm_setzero_si128();
}

// src * fs + dst * fd over eight 16-bit lanes, saturated, rounded like div255.
KV_HOT __m128i blend8(BlendKind kind, __m128i s, __m128i fs, __m128i d, __m128i fd) {
  const __m128i full = _mm_set1_epi16(255);
  switch (kind) {
    case BlendKind::Over:  // fs + fd = 255: the sum stays within 16 bits
      return div255w(_mm_add_epi16(mul8(s, fs), mul8(d, fd)));
    case BlendKind::Add:  // 255 * (s + d) / 255
      return _mm_min_epi16(_mm_add_epi16(s, d), full);
    default: {
      // Each product is below 65536; their sum needs 32 bits.
      const __m128i lo =
          div255v(_mm_add_epi32(mul8(widenLo(s), widenLo(fs)), mul8(widenLo(d), widenLo(fd))));
      const __m128i hi =
          div255v(_mm_add_epi32(mul8(widenHi(s), widenHi(fs)), mul8(widenHi(d), widenHi(fd))));
      return _mm_min_epi16(narrow(lo, hi), full);
    }
  }
}

template <DepthMode Mode>
KV_HOT __m128i depthTest(const Context& c, __m128 z, __m128 stored) {
  if constexpr (Mode == DepthMode::GreaterEqual) return _mm_castps_si128(_mm_cmpge_ps(z, stored));
  switch (c.depthCompare) {
    case DepthCompare::Always:
      return _mm_set1_epi32(-1);
    case DepthCompare::GreaterEqual:
      return _mm_castps_si128(_mm_cmpge_ps(z, stored));
    case DepthCompare::Greater:
      return _mm_castps_si128(_mm_cmpgt_ps(z, stored));
    case DepthCompare::LessEqual:
      return _mm_castps_si128(_mm_cmple_ps(z, stored));
    case DepthCompare::Less:
      return _mm_castps_si128(_mm_cmplt_ps(z, stored));
  }
  return _mm_setzero_si128();
}

// One span's interpolants. Depth and texture coordinates (texels x 65536) are
// floats evaluated per pixel as start + step * i; the colour channels are
// fixed point with 22 fraction bits, stepped from pixel to pixel (the fraction
// is wide enough that a span never drifts a rounding away from the plane).
struct SpanValues {
  __m128 start[kAttrs], step[kAttrs];   // broadcast, ready to be memory operands
  int32_t colorStart[4], colorStep[4];  // a, r, g, b, in units of 2^-22
  __m128i colorRamp[4], colorStep8[4];  // steps x (0, 1, 2, 3) and x 8, modulo 2^32
  __m128i ditherRB, ditherG;            // eight 16-bit lanes
};

// Dither offsets of eight pixels from (x, y) on, by y & 3 and x & 3: the Bayer
// thresholds scaled to one 5-bit step (red, blue) and one 6-bit step (green).
struct DitherTables {
  alignas(16) int16_t rb[4][4][8];
  alignas(16) int16_t g[4][4][8];
};
constexpr DitherTables makeDitherTables() {
  DitherTables t{};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      for (int k = 0; k < 8; ++k) {
        t.rb[y][x][k] = static_cast<int16_t>(kBayer4[y][(x + k) & 3] >> 1);
        t.g[y][x][k] = static_cast<int16_t>(kBayer4[y][(x + k) & 3] >> 2);
      }
  return t;
}
constexpr DitherTables kDither = makeDitherTables();
constexpr const auto& kDitherRB = kDither.rb;
constexpr const auto& kDitherG = kDither.g;

KV_HOT __m128 lerp(const SpanValues& s, int a, __m128 index) {
  return _mm_add_ps(s.start[a], _mm_mul_ps(s.step[a], index));
}

// The stored texture coordinates of four pixels as 16.16 texels.
template <bool Perspective>
KV_HOT void texCoords(const SpanValues& s, __m128 index, __m128i& fu, __m128i& fv) {
  __m128 u = lerp(s, kU, index), v = lerp(s, kV, index);
  if constexpr (Perspective) {
    const __m128 w = _mm_div_ps(_mm_set1_ps(1.0f), lerp(s, kQ, index));
    u = _mm_mul_ps(u, w);
    v = _mm_mul_ps(v, w);
  }
  // Out of range (or NaN) converts to 0x80000000, which the masks still wrap.
  fu = _mm_cvttps_epi32(u);
  fv = _mm_cvttps_epi32(v);
}

// Bilinear texels of four pixels (32-bit lanes), any format; clears keyed
// lanes of live32.
KV_HOT Quad bilinear4(const Context& c, __m128i fu, __m128i fv, __m128i& live32) {
  const __m128i wMask = _mm_set1_epi32(c.texW - 1), hMask = _mm_set1_epi32(c.texH - 1);
  if (c.colorKey) {
    // The key looks at the texel nearest filtering would take.
    const __m128i nx = _mm_and_si128(_mm_srai_epi32(fu, 16), wMask);
    const __m128i ny = _mm_and_si128(_mm_srai_epi32(fv, 16), hMask);
    const __m128i raw = gather(c, nx, ny);
    const __m128i hit =
        _mm_cmpeq_epi32(_mm_and_si128(raw, _mm_set1_epi32(static_cast<int>(c.keyMask))),
                        _mm_set1_epi32(static_cast<int>(c.key)));
    live32 = _mm_andnot_si128(hit, live32);
  }
  // Texel centres sit half a texel in.
  fu = _mm_sub_epi32(fu, _mm_set1_epi32(32768));
  fv = _mm_sub_epi32(fv, _mm_set1_epi32(32768));
  const __m128i x0 = _mm_and_si128(_mm_srai_epi32(fu, 16), wMask);
  const __m128i y0 = _mm_and_si128(_mm_srai_epi32(fv, 16), hMask);
  const __m128i x1 = _mm_and_si128(_mm_add_epi32(x0, _mm_set1_epi32(1)), wMask);
  const __m128i y1 = _mm_and_si128(_mm_add_epi32(y0, _mm_set1_epi32(1)), hMask);
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
  return {mix(&Quad::a), mix(&Quad::r), mix(&Quad::g), mix(&Quad::b)};
}

// Bilinear texels of eight pixels from a texture on a power-of-two pitch,
// without colour key; alpha is left unfiltered. The same arithmetic as
// bilinear4, with the texels fetched and decoded eight at a time.
KV_HOT Octet bilinear8(const Context& c, __m128i fu0, __m128i fv0, __m128i fu1, __m128i fv1) {
  const TexelGrid& g = c.grid;
  const __m128i half = _mm_set1_epi32(32768);  // texel centres sit half a texel in
  fu0 = _mm_sub_epi32(fu0, half), fv0 = _mm_sub_epi32(fv0, half);
  fu1 = _mm_sub_epi32(fu1, half), fv1 = _mm_sub_epi32(fv1, half);
  const __m128i x00 = g.column(fu0), x01 = g.column(fu1), y00 = g.row(fv0), y01 = g.row(fv1);
  const __m128i x10 = g.nextColumn(x00), x11 = g.nextColumn(x01);
  const __m128i y10 = g.nextRow(y00), y11 = g.nextRow(y01);
  // The offsets of texels (x, y) for pixels 0-3 and (x', y') for pixels 4-7.
  auto at = [](__m128i x, __m128i y, __m128i x_, __m128i y_) {
    return Offsets8(_mm_add_epi32(y, x), _mm_add_epi32(y_, x_));
  };
  Octet t00, t10, t01, t11;
  const __m128i lastColumn = g.columnMask;
  if (c.texFormat != TextureFormat::Palette8 &&
      !_mm_movemask_epi8(
          _mm_or_si128(_mm_cmpeq_epi32(x00, lastColumn), _mm_cmpeq_epi32(x01, lastColumn)))) {
    // No pair wraps around the texture's right edge: each pair is one read.
    __m128i raw00, raw10, raw01, raw11;
    gatherPairs(c, at(x00, y00, x01, y01), raw00, raw10);
    gatherPairs(c, at(x00, y10, x01, y11), raw01, raw11);
    t00 = decode16(c.texFormat, raw00), t10 = decode16(c.texFormat, raw10);
    t01 = decode16(c.texFormat, raw01), t11 = decode16(c.texFormat, raw11);
  } else {
    t00 = texelsAt(c, at(x00, y00, x01, y01)), t10 = texelsAt(c, at(x10, y00, x11, y01));
    t01 = texelsAt(c, at(x00, y10, x01, y11)), t11 = texelsAt(c, at(x10, y10, x11, y11));
  }
  const __m128 scale = _mm_set1_ps(1.0f / 65536.0f);
  const __m128i low16 = _mm_set1_epi32(0xFFFF);
  auto weight = [&](__m128i f) {
    return _mm_mul_ps(_mm_cvtepi32_ps(_mm_and_si128(f, low16)), scale);
  };
  const __m128 wx0 = weight(fu0), wy0 = weight(fv0), wx1 = weight(fu1), wy1 = weight(fv1);
  auto mix4 = [](__m128 a, __m128 b, __m128 cc, __m128 d, __m128 wx, __m128 wy) {
    const __m128 top = _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), wx));
    const __m128 bottom = _mm_add_ps(cc, _mm_mul_ps(_mm_sub_ps(d, cc), wx));
    const __m128 m = _mm_add_ps(top, _mm_mul_ps(_mm_sub_ps(bottom, top), wy));
    // No clamp: top and bottom are exact (8 + 16 bits), and with weights below
    // one each rounded step stays between its ends, so m is within 0..255.
    return _mm_cvttps_epi32(_mm_add_ps(m, _mm_set1_ps(0.5f)));
  };
  auto lo = [](__m128i w) { return _mm_cvtepi32_ps(widenLo(w)); };
  auto hi = [](__m128i w) { return _mm_cvtepi32_ps(widenHi(w)); };
  auto mix = [&](__m128i Octet::*ch) {
    return narrow(mix4(lo(t00.*ch), lo(t10.*ch), lo(t01.*ch), lo(t11.*ch), wx0, wy0),
                  mix4(hi(t00.*ch), hi(t10.*ch), hi(t01.*ch), hi(t11.*ch), wx1, wy1));
  };
  return {t00.a, mix(&Octet::r), mix(&Octet::g), mix(&Octet::b)};
}

// Shades eight neighbouring pixels. `live` (16-bit lanes) marks the pixels of
// the span; `diffuse` holds their interpolated colours.
template <DepthMode Depth, bool Textured, bool Perspective, bool Bilinear, bool Plain>
KV_HOT void shadeOctet(const Context& c, const SpanValues& s, __m128 index, __m128i live,
                       const Octet& diffuse, __m128i ditherRB, __m128i ditherG, uint8_t* color,
                       uint32_t* depth) {
  const __m128 index1 = _mm_add_ps(index, _mm_set1_ps(4.0f));
  __m128 z0, z1;
  __m128i stored0, stored1;
  if constexpr (Depth != DepthMode::Off) {
    z0 = lerp(s, kZ, index);
    z1 = lerp(s, kZ, index1);
    stored0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(depth));
    stored1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(depth + 4));
    const __m128i pass = narrow(depthTest<Depth>(c, z0, _mm_castsi128_ps(stored0)),
                                depthTest<Depth>(c, z1, _mm_castsi128_ps(stored1)));
    live = _mm_and_si128(live, pass);
    if (_mm_movemask_epi8(live) == 0) return;
  }

  Octet out = diffuse;
  if constexpr (Textured) {
    __m128i fu0, fv0, fu1, fv1;
    texCoords<Perspective>(s, index, fu0, fv0);
    texCoords<Perspective>(s, index1, fu1, fv1);
    Octet t;
    if constexpr (Plain && Bilinear) {
      t = bilinear8(c, fu0, fv0, fu1, fv1);
    } else if constexpr (Plain) {
      t = texelsAt(c, Offsets8(_mm_add_epi32(c.grid.row(fv0), c.grid.column(fu0)),
                               _mm_add_epi32(c.grid.row(fv1), c.grid.column(fu1))));
    } else if constexpr (Bilinear) {
      __m128i live0 = _mm_unpacklo_epi16(live, live), live1 = _mm_unpackhi_epi16(live, live);
      const Quad lo = bilinear4(c, fu0, fv0, live0), hi = bilinear4(c, fu1, fv1, live1);
      live = narrow(live0, live1);
      if (_mm_movemask_epi8(live) == 0) return;
      t = {narrow(lo.a, hi.a), narrow(lo.r, hi.r), narrow(lo.g, hi.g), narrow(lo.b, hi.b)};
    } else {
      const __m128i wMask = _mm_set1_epi32(c.texW - 1), hMask = _mm_set1_epi32(c.texH - 1);
      const __m128i tx0 = _mm_and_si128(_mm_srai_epi32(fu0, 16), wMask);
      const __m128i ty0 = _mm_and_si128(_mm_srai_epi32(fv0, 16), hMask);
      const __m128i tx1 = _mm_and_si128(_mm_srai_epi32(fu1, 16), wMask);
      const __m128i ty1 = _mm_and_si128(_mm_srai_epi32(fv1, 16), hMask);
      const __m128i raw = gather8(c, tx0, ty0, tx1, ty1);
      if (c.colorKey) {
        live = _mm_and_si128(live, notKeyed(c, raw));
        if (_mm_movemask_epi8(live) == 0) return;
      }
      if (c.texFormat == TextureFormat::Palette8) {
        t = decodeArgb(throughPalette(c, widenLo(raw)), throughPalette(c, widenHi(raw)));
      } else {
        t = decode16(c.texFormat, raw);
      }
    }
    if constexpr (Plain) {  // alpha unread
      out = {diffuse.a, combineColor(ColorOp::Modulate, t.r, diffuse.r),
             combineColor(ColorOp::Modulate, t.g, diffuse.g),
             combineColor(ColorOp::Modulate, t.b, diffuse.b)};
    } else {
      out = {combineAlpha(c.alphaOp, t.a, diffuse.a), combineColor(c.colorOp, t.r, diffuse.r),
             combineColor(c.colorOp, t.g, diffuse.g), combineColor(c.colorOp, t.b, diffuse.b)};
    }
  }

  if (Plain || c.is565) {
    const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(color));
    if (!Plain && c.blendKind != BlendKind::Off) {
      const __m128i fs = factor(c.srcBlend, out.a), fd = factor(c.dstBlend, out.a);
      out.r = blend8(c.blendKind, out.r, fs, expand5w(_mm_srli_epi16(old, 11)), fd);
      out.g = blend8(c.blendKind, out.g, fs, expand6w(fieldw(old, 5, 63)), fd);
      out.b = blend8(c.blendKind, out.b, fs, expand5w(fieldw(old, 0, 31)), fd);
    }
    if (Plain || c.dither) {
      const __m128i full = _mm_set1_epi16(255);
      out.r = _mm_min_epi16(_mm_add_epi16(out.r, ditherRB), full);
      out.g = _mm_min_epi16(_mm_add_epi16(out.g, ditherG), full);
      out.b = _mm_min_epi16(_mm_add_epi16(out.b, ditherRB), full);
    }
    const __m128i p =
        _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(out.r, _mm_set1_epi16(0xF8)), 8),
                                  _mm_slli_epi16(_mm_and_si128(out.g, _mm_set1_epi16(0xFC)), 3)),
                     _mm_srli_epi16(out.b, 3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(color), select(live, p, old));
  } else {
    const __m128i old0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(color));
    const __m128i old1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(color + 16));
    if (!Plain && c.blendKind != BlendKind::Off) {
      const __m128i fs = factor(c.srcBlend, out.a), fd = factor(c.dstBlend, out.a);
      out.r =
          blend8(c.blendKind, out.r, fs, narrow(field(old0, 16, 255), field(old1, 16, 255)), fd);
      out.g = blend8(c.blendKind, out.g, fs, narrow(field(old0, 8, 255), field(old1, 8, 255)), fd);
      out.b = blend8(c.blendKind, out.b, fs, narrow(field(old0, 0, 255), field(old1, 0, 255)), fd);
    }
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    auto pack = [&](__m128i r, __m128i g, __m128i b) {
      return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(r, 16), _mm_slli_epi32(g, 8)),
                          _mm_or_si128(b, opaque));
    };
    const __m128i p0 = pack(widenLo(out.r), widenLo(out.g), widenLo(out.b));
    const __m128i p1 = pack(widenHi(out.r), widenHi(out.g), widenHi(out.b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(color),
                     select(_mm_unpacklo_epi16(live, live), p0, old0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(color + 16),
                     select(_mm_unpackhi_epi16(live, live), p1, old1));
  }
  if constexpr (Depth != DepthMode::Off) {
    if (Plain || c.depthWrite) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(depth),
                       select(_mm_unpacklo_epi16(live, live), _mm_castps_si128(z0), stored0));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(depth + 4),
                       select(_mm_unpackhi_epi16(live, live), _mm_castps_si128(z1), stored1));
    }
  }
}

// Pixels x0..x1-1 of row y; both inside the drawable area.
template <DepthMode Depth, bool Textured, bool Perspective, bool Bilinear, bool Plain>
void drawSpan(const Context& c, const SpanValues& s, int y, int x0, int x1) {
  const int bytes = Plain || c.is565 ? 2 : 4;
  uint8_t* color = c.color + static_cast<intptr_t>(y) * c.colorPitch + x0 * bytes;
  uint32_t* depth = nullptr;
  if constexpr (Depth != DepthMode::Off) {
    depth = reinterpret_cast<uint32_t*>(c.depth + static_cast<intptr_t>(y) * c.depthPitch) + x0;
  }
  // Colour channels, lanes 0-3 and 4-7, stepped eight pixels at a time. The
  // lanes add modulo 2^32: a lane may pass out of range beyond the end of the
  // span, but every pixel of the span holds its true value.
  auto wrap = [](int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); };
  auto lanes = [&](int k, int first) {
    const int64_t a = s.colorStart[k], d = s.colorStep[k];
    return _mm_add_epi32(_mm_set1_epi32(wrap(a + first * d)), s.colorRamp[k]);
  };
  __m128i a0, a1, r0, r1, g0, g1, b0, b1;
  auto startAt = [&](int first) {  // lanes for pixels first..first+7
    a0 = lanes(0, first), a1 = lanes(0, first + 4), r0 = lanes(1, first), r1 = lanes(1, first + 4);
    g0 = lanes(2, first), g1 = lanes(2, first + 4), b0 = lanes(3, first), b1 = lanes(3, first + 4);
  };
  auto advance = [&] {
    a0 = _mm_add_epi32(a0, s.colorStep8[0]), a1 = _mm_add_epi32(a1, s.colorStep8[0]);
    r0 = _mm_add_epi32(r0, s.colorStep8[1]), r1 = _mm_add_epi32(r1, s.colorStep8[1]);
    g0 = _mm_add_epi32(g0, s.colorStep8[2]), g1 = _mm_add_epi32(g1, s.colorStep8[2]);
    b0 = _mm_add_epi32(b0, s.colorStep8[3]), b1 = _mm_add_epi32(b1, s.colorStep8[3]);
  };
  const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(255);
  auto channelOf = [&](__m128i lo, __m128i hi) {
    const __m128i v =
        narrow(_mm_srai_epi32(lo, kColorFraction), _mm_srai_epi32(hi, kColorFraction));
    return _mm_min_epi16(_mm_max_epi16(v, zero), full);
  };
  // Alpha is interpolated only where something reads it.
  const bool alpha =
      !Plain && (c.blendKind == BlendKind::Over || c.blendKind == BlendKind::General ||
                 (Textured && c.alphaOp != AlphaOp::SelectTexture));
  auto diffuseNow = [&] {
    return Octet{alpha ? channelOf(a0, a1) : full, channelOf(r0, r1), channelOf(g0, g1),
                 channelOf(b0, b1)};
  };

  const __m128 lane = _mm_set_ps(3.0f, 2.0f, 1.0f, 0.0f);
  const int n = x1 - x0;
  int i = 0;
  if (n >= 8) {
    // The next row's span usually starts near this one's: fetch it early,
    // since the walk from row to row defeats the hardware's stream detection.
    if (y + 1 < c.height) {
      const int span = std::min(n, 128);
      for (int k = 0; k < span * bytes; k += 64) {
        _mm_prefetch(reinterpret_cast<const char*>(color) + c.colorPitch + k, _MM_HINT_T0);
      }
      if constexpr (Depth != DepthMode::Off) {
        for (int k = 0; k < span * 4; k += 64) {
          _mm_prefetch(reinterpret_cast<const char*>(depth) + c.depthPitch + k, _MM_HINT_T0);
        }
      }
    }
    const __m128i all = _mm_set1_epi32(-1);
    startAt(0);
    for (; i + 8 <= n; i += 8) {
      shadeOctet<Depth, Textured, Perspective, Bilinear, Plain>(
          c, s, _mm_add_ps(_mm_set1_ps(static_cast<float>(i)), lane), all, diffuseNow(), s.ditherRB,
          s.ditherG, color + i * bytes, depth ? depth + i : nullptr);
      advance();
    }
  }
  if (i == n) return;
  // The last few pixels (or a span shorter than eight): eight pixels of the
  // row that take them in, with the other lanes masked off. A masked lane
  // writes back the value it read, so pixels outside the span keep theirs.
  // Only a target narrower than eight pixels needs a copy.
  int j;         // the eight pixels' offset from x0
  __m128i live;  // lanes that are still to be drawn
  const __m128i lane16 = _mm_set_epi16(7, 6, 5, 4, 3, 2, 1, 0);
  if (n >= 8 || x0 + 8 > c.width) {
    j = n - 8;  // ending at the span's end; lanes before i are drawn or outside
    live = _mm_cmpgt_epi16(lane16, _mm_set1_epi16(static_cast<short>(i - j - 1)));
  } else {
    j = 0;  // starting at the span's start
    live = _mm_cmplt_epi16(lane16, _mm_set1_epi16(static_cast<short>(n)));
  }
  startAt(j);
  const int dx = (x0 + j) & 3;
  const __m128 index = _mm_add_ps(_mm_set1_ps(static_cast<float>(j)), lane);
  const __m128i ditherRB = _mm_load_si128(reinterpret_cast<const __m128i*>(kDitherRB[y & 3][dx]));
  const __m128i ditherG = _mm_load_si128(reinterpret_cast<const __m128i*>(kDitherG[y & 3][dx]));
  if (x0 + j >= 0) {
    shadeOctet<Depth, Textured, Perspective, Bilinear, Plain>(c, s, index, live, diffuseNow(),
                                                              ditherRB, ditherG, color + j * bytes,
                                                              depth ? depth + j : nullptr);
    return;
  }
  // The target is narrower than eight pixels: lanes left of column 0 go
  // through a copy instead of memory before the row.
  const int outside = -(x0 + j);
  alignas(16) uint8_t colorCopy[32] = {};
  alignas(16) uint32_t depthCopy[8] = {};
  std::memcpy(colorCopy + outside * bytes, color - x0 * bytes, (8 - outside) * bytes);
  if (depth) std::memcpy(depthCopy + outside, depth - x0, (8 - outside) * 4);
  shadeOctet<Depth, Textured, Perspective, Bilinear, Plain>(
      c, s, index, live, diffuseNow(), ditherRB, ditherG, colorCopy, depthCopy);
  std::memcpy(color - x0 * bytes, colorCopy + outside * bytes, (8 - outside) * bytes);
  if (depth) std::memcpy(depth - x0, depthCopy + outside, (8 - outside) * 4);
}

using SpanFn = void (*)(const Context&, const SpanValues&, int, int, int);

template <DepthMode Depth, bool Plain>
SpanFn pickTextured(bool perspective, bool bilinear) {
  if (perspective) {
    return bilinear ? drawSpan<Depth, true, true, true, Plain>
                    : drawSpan<Depth, true, true, false, Plain>;
  }
  return bilinear ? drawSpan<Depth, true, false, true, Plain>
                  : drawSpan<Depth, true, false, false, Plain>;
}

SpanFn pickSpan(DepthMode depth, bool textured, bool perspective, bool bilinear, bool plain) {
  switch (depth) {
    case DepthMode::Off:
      return textured ? pickTextured<DepthMode::Off, false>(perspective, bilinear)
                      : drawSpan<DepthMode::Off, false, false, false, false>;
    case DepthMode::GreaterEqual:
      if (!textured) return drawSpan<DepthMode::GreaterEqual, false, false, false, false>;
      return plain ? pickTextured<DepthMode::GreaterEqual, true>(perspective, bilinear)
                   : pickTextured<DepthMode::GreaterEqual, false>(perspective, bilinear);
    case DepthMode::Any:
      break;
  }
  return textured ? pickTextured<DepthMode::Any, false>(perspective, bilinear)
                  : drawSpan<DepthMode::Any, false, false, false, false>;
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

class FastRasterizer final : public Rasterizer {
 public:
  void drawFan(const ColorTarget& color, const DepthTarget* depth, const State& state,
               const Vertex* vertices, int count) override {
    if (!vertices || count < 3 || !validColorTarget(color)) return;
    Context c;
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
      const int texelShift = c.texBytes == 2 ? 1 : 0;
      if (c.texRowShift >= 0)
        c.grid = TexelGrid::of(c.texW, c.texH, texelShift, c.texRowShift + texelShift);
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

    const bool perspective = tex && state.perspective;
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
    const SpanFn span =
        pickSpan(depthMode, tex != nullptr, perspective, state.filter == Filter::Bilinear, plain);
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
    const int64_t cross =
        (X[mid] - X[top]) * (Y[bot] - Y[top]) - (Y[mid] - Y[top]) * (X[bot] - X[top]);
    const bool midLeft = cross < 0;
    EdgeWalk longEdge, shortEdge;
    longEdge.start(X[top], Y[top], X[bot], Y[bot], firstRow);

    SpanValues s;
    triangleSteps(s, t, textured, perspective);
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

  static void setupPlanes(Triangle& t, const Vertex* const v[3], const int64_t X[3],
                          const int64_t Y[3], bool textured, bool perspective,
                          const uint32_t* flatColor, const Context& c) {
    const double x0 = double(X[0]) / S, y0 = double(Y[0]) / S;
    const double ax = double(X[1] - X[0]) / S, ay = double(Y[1] - Y[0]) / S;
    const double bx = double(X[2] - X[0]) / S, by = double(Y[2] - Y[0]) / S;
    const __m128d det = _mm_set1_pd(ax * by - bx * ay);
    const __m128d Ax = _mm_set1_pd(ax), Ay = _mm_set1_pd(ay), Bx = _mm_set1_pd(bx),
                  By = _mm_set1_pd(by);
    const __m128d toX = _mm_set1_pd(0.5 - x0), toY = _mm_set1_pd(0.5 - y0);
    // Planes a and a + 1 through their values at the three corners.
    auto planes = [&](int a, __m128d a0, __m128d a1, __m128d a2) {
      const __m128d da = _mm_sub_pd(a1, a0), db = _mm_sub_pd(a2, a0);
      const __m128d dx = _mm_div_pd(_mm_sub_pd(_mm_mul_pd(da, By), _mm_mul_pd(db, Ay)), det);
      const __m128d dy = _mm_div_pd(_mm_sub_pd(_mm_mul_pd(db, Ax), _mm_mul_pd(da, Bx)), det);
      _mm_store_pd(t.dx + a, dx);
      _mm_store_pd(t.dy + a, dy);
      _mm_store_pd(t.at0 + a, _mm_add_pd(_mm_add_pd(a0, _mm_mul_pd(dx, toX)), _mm_mul_pd(dy, toY)));
    };
    auto channels = [&](const Vertex& q, int shift) {  // two channels of a corner's colour
      const uint32_t argb = flatColor ? *flatColor : q.diffuse;
      return _mm_set_pd(double((argb >> (shift - 8)) & 0xFF), double((argb >> shift) & 0xFF));
    };
    for (int a : {kA, kG}) {
      const int shift = 24 - 8 * a;
      planes(a, channels(*v[0], shift), channels(*v[1], shift), channels(*v[2], shift));
      // Half a unit added for rounding, so that the shading loop can truncate.
      _mm_store_pd(t.at0 + a, _mm_add_pd(_mm_load_pd(t.at0 + a), _mm_set1_pd(0.5)));
    }
    if (!textured) {
      auto z = [&](int i) { return _mm_set_pd(0.0, v[i]->sz); };
      planes(kZ, z(0), z(1), z(2));
      return;
    }
    const double su = repeatsOf(v[0]->tu), sv = repeatsOf(v[0]->tv);
    auto u = [&](int i) { return (double(v[i]->tu) - su) * c.texW; };
    auto w = [&](int i) { return (double(v[i]->tv) - sv) * c.texH; };
    auto q = [&](int i) { return perspective ? double(v[i]->rhw) : 1.0; };
    // Under perspective u/w, v/w and 1/w are linear on the screen; otherwise u and v.
    auto zu = [&](int i) { return _mm_set_pd(perspective ? u(i) * q(i) : u(i), v[i]->sz); };
    auto vq = [&](int i) { return _mm_set_pd(q(i), perspective ? w(i) * q(i) : w(i)); };
    planes(kZ, zu(0), zu(1), zu(2));
    planes(kV, vq(0), vq(1), vq(2));
  }

  // The steps along a row are the triangle's: worked out once, not per span.
  static void triangleSteps(SpanValues& s, const Triangle& t, bool textured, bool perspective) {
    s.step[kZ] = _mm_set1_ps(static_cast<float>(t.dx[kZ]));
    for (int k = 0; k < 4; ++k) {
      constexpr double one = 1 << kColorFraction;
      // Inside a triangle a channel changes by at most 255 from one pixel to
      // the next, so 256 per pixel is never reached on a span of 2 or more;
      // the clamp only tames slivers thinner than a pixel.
      const int32_t d = saturatingToInt(std::clamp(t.dx[kA + k], -256.0, 256.0) * one);
      s.colorStep[k] = d;
      auto wrap = [](int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); };
      s.colorRamp[k] = _mm_set_epi32(wrap(3 * int64_t{d}), wrap(2 * int64_t{d}), d, 0);
      s.colorStep8[k] = _mm_set1_epi32(wrap(8 * int64_t{d}));
    }
    if (!textured) return;
    for (int a : {kU, kV, kQ}) {
      if (a == kQ && !perspective) break;
      const double scale = a == kQ ? 1.0 : 65536.0;
      s.step[a] = _mm_set1_ps(static_cast<float>(t.dx[a] * scale));
    }
  }

  static void spanValues(SpanValues& s, const Triangle& t, const Context& c, int x, int y,
                         bool textured, bool perspective) {
    const __m128d X = _mm_set1_pd(x), Y = _mm_set1_pd(y);
    // Colours in units of 2^-22, clamped to 0..511 units first (NaN to 0),
    // which leaves the sign bit alone.
    auto fixed = [](__m128d v) {
      v = _mm_min_pd(_mm_max_pd(v, _mm_setzero_pd()), _mm_set1_pd(511.0));
      return _mm_cvttpd_epi32(_mm_mul_pd(v, _mm_set1_pd(1 << kColorFraction)));
    };
    _mm_storeu_si128(reinterpret_cast<__m128i*>(s.colorStart),
                     _mm_unpacklo_epi64(fixed(t.at2(kA, X, Y)), fixed(t.at2(kG, X, Y))));
    // Texture coordinates in texels x 65536 (an exact scaling).
    const __m128 zu = _mm_cvtpd_ps(_mm_mul_pd(t.at2(kZ, X, Y), _mm_set_pd(65536.0, 1.0)));
    s.start[kZ] = _mm_shuffle_ps(zu, zu, 0x00);
    if (textured) {
      if (perspective) {
        const __m128 vq = _mm_cvtpd_ps(_mm_mul_pd(t.at2(kV, X, Y), _mm_set_pd(1.0, 65536.0)));
        s.start[kU] = _mm_shuffle_ps(zu, zu, 0x55);
        s.start[kV] = _mm_shuffle_ps(vq, vq, 0x00);
        s.start[kQ] = _mm_shuffle_ps(vq, vq, 0x55);
      } else {
        // Affine coordinates restart near zero on each span, keeping precision.
        s.start[kU] = _mm_set1_ps(static_cast<float>(wrapTexels(t.at(kU, x, y), c.texW) * 65536.0));
        s.start[kV] = _mm_set1_ps(static_cast<float>(wrapTexels(t.at(kV, x, y), c.texH) * 65536.0));
      }
    }
    if (c.dither) {
      s.ditherRB = _mm_load_si128(reinterpret_cast<const __m128i*>(kDitherRB[y & 3][x & 3]));
      s.ditherG = _mm_load_si128(reinterpret_cast<const __m128i*>(kDitherG[y & 3][x & 3]));
    }
  }
};

}  // namespace

std::unique_ptr<Rasterizer> makeFast() { return std::make_unique<FastRasterizer>(); }

}  // namespace kv::raster
