// The fast rasterizer's span loops, written once over Highway and compiled
// for each instruction set it offers (SSSE3, SSE4, AVX2, AVX-512 on x86-64,
// NEON on arm64, and plain C++ for anything else); the best one the machine
// runs is picked at the first draw. A step shades as many pixels as a vector
// of 16-bit channels holds, up to sixteen (eight on 128-bit targets), and
// every target does the same integer and float operations on each pixel in
// the same order (no fused multiply-add: the file is built without
// contraction), so a pixel's bytes do not depend on the instruction set or
// on how many pixels a step takes.
//
// The loop is instantiated for the state bits that change its shape, and
// once more for the demo's common case (textured, modulated, dithered 565,
// depth greater-or-equal, no blending or key, a texture on a power-of-two
// pitch), whose texel offsets come straight from the coordinates and whose
// 16-bit texels are fetched in pairs for bilinear filtering; the remaining
// states are flags tested once per step.
#include "platform/raster/fast/spans.h"

#include <algorithm>
#include <bit>
#include <cstring>

// Every attainable target, the plain one included, so tests can force each.
#define HWY_COMPILE_ALL_ATTAINABLE
// The plain target is Highway's 128-bit emulation, which works on the same
// vectors as the others. Highway trusts it only from GCC 12.3 on; Debian's
// 12.2 builds it correctly for these loops, which the tests check by drawing
// the same scenes on every target.
#define HWY_BROKEN_EMU128 0
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/raster/fast/spans.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
// clang-format off: foreach_target.h must come first
#include <hwy/cache_control.h>
#include <hwy/highway.h>
// clang-format on

#ifndef KV_RASTER_FAST_SPANS_ONCE
#define KV_RASTER_FAST_SPANS_ONCE
namespace kv::raster::fast {

// The most pixels a step shades: a 256-bit vector of 16-bit channels.
constexpr int kMaxStep = 16;

// Dither offsets of a step's pixels from (x, y) on, by y & 3 and x & 3: the
// Bayer thresholds scaled to one 5-bit step (red, blue) and one 6-bit step
// (green).
struct DitherTables {
  alignas(32) int16_t rb[4][4][kMaxStep];
  alignas(32) int16_t g[4][4][kMaxStep];
};
constexpr DitherTables makeDitherTables() {
  DitherTables t{};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      for (int k = 0; k < kMaxStep; ++k) {
        t.rb[y][x][k] = static_cast<int16_t>(kBayer4[y][(x + k) & 3] >> 1);
        t.g[y][x][k] = static_cast<int16_t>(kBayer4[y][(x + k) & 3] >> 2);
      }
  return t;
}
constexpr DitherTables kDither = makeDitherTables();

}  // namespace kv::raster::fast
#endif

HWY_BEFORE_NAMESPACE();
namespace kv::raster::fast::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The shading steps must melt into one loop body per span function.
#define KV_HOT HWY_INLINE

using DW = hn::CappedTag<int16_t, kMaxStep>;  // a step's channels, 0..255
using DUW = hn::RebindToUnsigned<DW>;         // a step's raw 16-bit texels or pixels
using DI = hn::Repartition<int32_t, DW>;      // half a step's values
using DU = hn::RebindToUnsigned<DI>;
using DF = hn::RebindToFloat<DI>;
using DH = hn::Half<DUW>;
using VW = hn::Vec<DW>;
using VUW = hn::Vec<DUW>;
using VI = hn::Vec<DI>;
using VU = hn::Vec<DU>;
using VF = hn::Vec<DF>;

constexpr DW dw;
constexpr DUW duw;
constexpr DI di;
constexpr DU du;
constexpr DF df;

// Pixels per step, and per 32-bit vector.
constexpr int kStep = static_cast<int>(hn::MaxLanes(dw));
constexpr int kHalf = kStep / 2;

// Half a step's channels, one pixel per 32-bit lane (bilinear filtering and
// general blending work at this width).
struct Quad {
  VI a, r, g, b;
};
// A step's channels, one pixel per 16-bit lane, each 0..255: the width of the
// common path.
struct Octet {
  VW a, r, g, b;
};

// Float to int32 toward zero, for values the caller keeps in range. Out of
// range and NaN give 0x80000000 on every target, as x86 does by itself.
KV_HOT VI truncate(VF v) {
#if HWY_ARCH_X86 && (HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL)
  static_assert(kHalf == 8);
  return VI{_mm256_cvttps_epi32(v.raw)};
#elif HWY_ARCH_X86 && HWY_TARGET != HWY_EMU128 && HWY_TARGET != HWY_SCALAR
  static_assert(kHalf == 4);
  return VI{_mm_cvttps_epi32(v.raw)};
#else
  const VF limit = hn::Set(df, 2147483648.0f);
  return hn::ConvertTo(di, hn::IfThenElse(hn::Abs(v) < limit, v, hn::Neg(limit)));
#endif
}

KV_HOT VU lsr(VI v, int bits) { return hn::ShiftRightSame(hn::BitCast(du, v), bits); }
KV_HOT VI field(VI v, int shift, int mask) {
  return hn::And(hn::BitCast(di, lsr(v, shift)), hn::Set(di, mask));
}
KV_HOT VW fieldw(VUW v, int shift, int mask) {
  return hn::BitCast(dw, hn::And(hn::ShiftRightSame(v, shift), hn::Set(duw, mask)));
}
KV_HOT VW mul8(VW x, VW y) { return hn::Mul(x, y); }  // lanes < 256
KV_HOT VI mul8(VI x, VI y) { return hn::Mul(x, y); }
KV_HOT VI div255v(VI x) {
  x = hn::Add(x, hn::Set(di, 128));
  return hn::BitCast(di, lsr(hn::Add(x, hn::BitCast(di, lsr(x, 8))), 8));
}
// The same rounding on 16-bit lanes, exact for x <= 255 * 255: with y = x + 128,
// (y + y / 256) / 256 is the high half of y * 257.
KV_HOT VW div255w(VW x) {
  const VUW y = hn::BitCast(duw, hn::Add(x, hn::Set(dw, 128)));
  return hn::BitCast(dw, hn::MulHigh(y, hn::Set(duw, 257)));
}
KV_HOT VI expand5v(VI c) { return hn::Or(hn::ShiftLeft<3>(c), hn::ShiftRight<2>(c)); }
KV_HOT VI expand6v(VI c) { return hn::Or(hn::ShiftLeft<2>(c), hn::ShiftRight<4>(c)); }
KV_HOT VW expand5w(VW c) { return hn::Or(hn::ShiftLeft<3>(c), hn::ShiftRight<2>(c)); }
KV_HOT VW expand6w(VW c) { return hn::Or(hn::ShiftLeft<2>(c), hn::ShiftRight<4>(c)); }
// The 32-bit lanes (values within int16) of pixels 0..kHalf-1 and kHalf..kStep-1
// as one vector of 16-bit lanes. Packing works within 128-bit blocks; wider
// vectors then have their 64-bit pieces put back in pixel order.
struct NarrowOrder {
  alignas(64) int32_t dwords[kHalf];
  constexpr NarrowOrder() : dwords() {
    // Block b of the packed vector holds pixels 4b..4b+3 of lo, then of hi.
    for (int k = 0; k < kHalf; ++k) {
      const int from = k < kHalf / 2 ? k : k - kHalf / 2;
      dwords[k] = 4 * (from / 2) + from % 2 + (k < kHalf / 2 ? 0 : 2);
    }
  }
};
constexpr NarrowOrder kNarrowOrder;
KV_HOT VW narrow(VI lo, VI hi) {
  const VW packed = hn::ReorderDemote2To(dw, lo, hi);
  if constexpr (kStep <= 8) {
    return packed;
  } else {
    return hn::BitCast(dw, hn::TableLookupLanes(hn::BitCast(di, packed),
                                                hn::SetTableIndices(di, kNarrowOrder.dwords)));
  }
}
// The pixels of a step whose colours the 32-bit lanes of its first half hold,
// in the order narrowing packs two halves into 16-bit lanes without putting
// them back in order; the second half holds these plus four.
struct PackedPixels {
  alignas(64) uint32_t at[kHalf];
  constexpr PackedPixels() : at() {
    for (int k = 0; k < kHalf; ++k) at[k] = static_cast<uint32_t>(k / 4 * 8 + k % 4);
  }
};
constexpr PackedPixels kPackedPixels;
KV_HOT VI widenLo(VW w) { return hn::PromoteTo(di, hn::LowerHalf(hn::BitCast(duw, w))); }
KV_HOT VI widenHi(VW w) { return hn::PromoteTo(di, hn::UpperHalf(DH(), hn::BitCast(duw, w))); }
// 16-bit lane masks (0 or -1) spread over the 32-bit lanes of pixels 0-3 and 4-7.
KV_HOT VI spreadLo(VW m) { return hn::PromoteTo(di, hn::LowerHalf(m)); }
KV_HOT VI spreadHi(VW m) { return hn::PromoteTo(di, hn::UpperHalf(hn::Half<DW>(), m)); }
template <class V>
KV_HOT V select(V mask, V yes, V no) {
  return hn::IfThenElse(hn::MaskFromVec(mask), yes, no);
}
KV_HOT bool none(VW live) { return hn::AllFalse(dw, hn::MaskFromVec(live)); }
// The values f(0), f(1), ... as one vector, put in lane by lane: a vector
// reloaded from scalar stores would wait for them on store forwarding. Each
// 128-bit piece is built as chains of four lanes, which run side by side.
template <class D, class F>
KV_HOT hn::Vec<D> inRegisters(D d, F f) {
  using T = hn::TFromD<D>;
  constexpr size_t kLanes = hn::MaxLanes(D());
  if constexpr (kLanes * sizeof(T) > 16) {
    const hn::Half<D> dh;
    return hn::Combine(d, inRegisters(dh, [&](size_t k) { return f(k + kLanes / 2); }),
                       inRegisters(dh, f));
  } else if constexpr (kLanes > 4) {
    const hn::Repartition<uint64_t, D> d64;
    auto chain = [&](size_t from) {
      hn::Vec<D> v = hn::Set(d, static_cast<T>(f(from)));
      v = hn::InsertLane(v, 1, static_cast<T>(f(from + 1)));
      v = hn::InsertLane(v, 2, static_cast<T>(f(from + 2)));
      return hn::BitCast(d64, hn::InsertLane(v, 3, static_cast<T>(f(from + 3))));
    };
    return hn::BitCast(d, hn::InterleaveLower(d64, chain(0), chain(4)));
  } else {
    hn::Vec<D> v = hn::Set(d, static_cast<T>(f(0)));
    for (size_t k = 1; k < kLanes; ++k) v = hn::InsertLane(v, k, static_cast<T>(f(k)));
    return v;
  }
}

KV_HOT Quad decode(const Context& c, VI raw) {
  switch (c.texFormat) {
    case TextureFormat::Palette8:  // raw already went through the palette
      return {hn::BitCast(di, lsr(raw, 24)), field(raw, 16, 255), field(raw, 8, 255),
              field(raw, 0, 255)};
    case TextureFormat::ARGB1555:
      return {hn::And(hn::ShiftRight<31>(hn::ShiftLeft<16>(raw)), hn::Set(di, 255)),
              expand5v(field(raw, 10, 31)), expand5v(field(raw, 5, 31)),
              expand5v(field(raw, 0, 31))};
    case TextureFormat::ARGB4444: {
      const VI s = hn::Set(di, 17);
      return {mul8(field(raw, 12, 15), s), mul8(field(raw, 8, 15), s), mul8(field(raw, 4, 15), s),
              mul8(field(raw, 0, 15), s)};
    }
    case TextureFormat::RGB565:
      break;
  }
  return {hn::Set(di, 255), expand5v(field(raw, 11, 31)), expand6v(field(raw, 5, 63)),
          expand5v(field(raw, 0, 31))};
}

// A step's 16-bit texels (not palettized) to channels.
KV_HOT Octet decode16(TextureFormat format, VUW raw) {
  // A 5-bit field standing alone at bit `at` of each lane, times 33 x 2^(14 - at),
  // has c << 3 | c >> 2 as the product's high half: the one multiplication
  // moves the field down and repeats its top bits (65 x 2^(12 - at) for 6 bits).
  auto widen5 = [](VUW f, int at) {
    return hn::BitCast(dw, hn::MulHigh(f, hn::Set(duw, static_cast<uint16_t>(33 << (14 - at)))));
  };
  auto widen6 = [](VUW f, int at) {
    return hn::BitCast(dw, hn::MulHigh(f, hn::Set(duw, static_cast<uint16_t>(65 << (12 - at)))));
  };
  auto bits = [](VUW v, int mask) { return hn::And(v, hn::Set(duw, static_cast<uint16_t>(mask))); };
  const VW blue = widen5(hn::ShiftLeft<11>(raw), 11);  // the shift clears the bits above
  switch (format) {
    case TextureFormat::ARGB1555:
      return {hn::BitCast(dw, hn::ShiftRight<8>(
                                  hn::BitCast(duw, hn::ShiftRight<15>(hn::BitCast(dw, raw))))),
              widen5(bits(raw, 0x7C00), 10), widen5(bits(raw, 0x03E0), 5), blue};
    case TextureFormat::ARGB4444: {
      const VW s = hn::Set(dw, 17);
      return {mul8(hn::BitCast(dw, hn::ShiftRight<12>(raw)), s), mul8(fieldw(raw, 8, 15), s),
              mul8(fieldw(raw, 4, 15), s), mul8(fieldw(raw, 0, 15), s)};
    }
    default:
      return {hn::Set(dw, 255), widen5(bits(raw, 0xF800), 11), widen6(bits(raw, 0x07E0), 5), blue};
  }
}

// A step's ARGB values, as two vectors of half a step, to channels.
KV_HOT Octet decodeArgb(VI lo, VI hi) {
  return {narrow(hn::BitCast(di, lsr(lo, 24)), hn::BitCast(di, lsr(hi, 24))),
          narrow(field(lo, 16, 255), field(hi, 16, 255)),
          narrow(field(lo, 8, 255), field(hi, 8, 255)),
          narrow(field(lo, 0, 255), field(hi, 0, 255))};
}

// Byte offsets of half a step's texels (x, y), both already wrapped.
KV_HOT VI texelOffsets(const Context& c, VI tx, VI ty) {
  if (c.texRowShift >= 0) {
    const VI texel = hn::Add(hn::ShiftLeftSame(ty, c.texRowShift), tx);
    return c.texBytes == 2 ? hn::Add(texel, texel) : texel;
  }
  return hn::Add(hn::Mul(ty, hn::Set(di, c.texPitch)), hn::Mul(tx, hn::Set(di, c.texBytes)));
}

KV_HOT int texelAt(const Context& c, int32_t offset) {
  if (c.texBytes == 1) return c.texels[offset];
  uint16_t v;
  std::memcpy(&v, c.texels + offset, 2);
  return v;
}

// Byte offsets in texture memory of a step's texels: the first half of the
// pixels in lo, the second in hi.
struct StepOffsets {
  VI lo, hi;
  // Whether any pixel of either half is drawn: a short span's step leaves
  // half its lanes empty, and their texels are not fetched.
  bool loLive = true, hiLive = true;
};

// The offsets spilled for scalar loads.
struct SpilledOffsets {
  alignas(64) int32_t at[kStep];

  KV_HOT explicit SpilledOffsets(const StepOffsets& o) {
    hn::Store(o.lo, di, at);
    hn::Store(o.hi, di, at + kHalf);
  }
  int32_t operator[](size_t k) const { return at[k]; }
};

// Raw texels at half a step's wrapped positions, one per 32-bit lane.
KV_HOT VI gather(const Context& c, VI tx, VI ty) {
  alignas(64) int32_t o[kHalf];
  hn::Store(texelOffsets(c, tx, ty), di, o);
  return inRegisters(di, [&](size_t k) { return texelAt(c, o[k]); });
}

// Four 16-bit texels as one 64-bit word, the first in the low bits (the
// lane order of a little-endian vector). Built in general registers: the
// vector units are the busier ones, and sixteen lane inserts cost them more
// than four.
KV_HOT uint64_t fourTexels(const uint8_t* texels, const int32_t* at) {
  static_assert(std::endian::native == std::endian::little);
  uint16_t t[4];
  for (int k = 0; k < 4; ++k) std::memcpy(&t[k], texels + at[k], 2);
  return uint64_t{t[0]} | uint64_t{t[1]} << 16 | uint64_t{t[2]} << 32 | uint64_t{t[3]} << 48;
}

// Raw texels at a step's offsets, one per 16-bit lane. Sixteen says the
// texture is known to hold 16-bit texels.
template <bool Sixteen>
KV_HOT VUW gather8At(const Context& c, const StepOffsets& offsets) {
  const SpilledOffsets o(offsets);
  if constexpr (Sixteen) {
    auto lanes = [&](auto d, const int32_t* at) {
      const hn::Repartition<uint64_t, decltype(d)> d64;
      return hn::BitCast(
          d, inRegisters(d64, [&](size_t k) { return fourTexels(c.texels, at + 4 * k); }));
    };
    if constexpr (kStep > 8) {
      const DH dh;
      return hn::Combine(duw, offsets.hiLive ? lanes(dh, o.at + kHalf) : hn::Zero(dh),
                         offsets.loLive ? lanes(dh, o.at) : hn::Zero(dh));
    }
    return lanes(duw, o.at);
  }
  auto texel = [&](size_t k) { return static_cast<uint16_t>(texelAt(c, o[k])); };
  if constexpr (kStep > 8) {
    const DH dh;
    return hn::Combine(
        duw,
        offsets.hiLive ? inRegisters(dh, [&](size_t k) { return texel(k + kHalf); }) : hn::Zero(dh),
        offsets.loLive ? inRegisters(dh, texel) : hn::Zero(dh));
  }
  return inRegisters(duw, texel);
}

// The words f(0), f(1), ... as one vector of 32-bit lanes. On x86 each is
// broadcast from memory (a load alone) and blended into place, where
// inserting them lane by lane would queue every word on the shuffle unit.
template <class F>
KV_HOT VI wordsAt(F f) {
#if HWY_ARCH_X86 && (HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL)
  static_assert(kHalf == 8);
  auto word = [&](size_t k) { return _mm256_set1_epi32(f(k)); };
  auto two = [&](size_t k) { return _mm256_blend_epi32(word(k), word(k + 1), 0xAA); };
  auto four = [&](size_t k) { return _mm256_blend_epi32(two(k), two(k + 2), 0xCC); };
  return VI{_mm256_blend_epi32(four(0), four(4), 0xF0)};
#elif HWY_ARCH_X86 && HWY_TARGET == HWY_SSE4
  static_assert(kHalf == 4);
  auto word = [&](size_t k) { return _mm_set1_epi32(f(k)); };
  auto two = [&](size_t k) { return _mm_blend_epi16(word(k), word(k + 1), 0xCC); };
  return VI{_mm_blend_epi16(two(0), two(2), 0xF0)};
#else
  return inRegisters(di, f);
#endif
}

// The 16-bit texels at a step's offsets (spilled in o) plus `skip` bytes and
// their right-hand neighbours, each pair read as one 32-bit word (no offset
// may be in a row's last column).
KV_HOT void gatherPairs(const Context& c, const StepOffsets& offsets, const SpilledOffsets& o,
                        int32_t skip, VUW& left, VUW& right) {
  const uint8_t* const texels = c.texels + skip;
  auto pair = [&](size_t k) {
    int32_t v;
    std::memcpy(&v, texels + o[k], 4);
    return v;
  };
  const VI w0 = offsets.loLive ? wordsAt(pair) : hn::Zero(di);
  const VI w1 = offsets.hiLive ? wordsAt([&](size_t k) { return pair(k + kHalf); }) : hn::Zero(di);
  // The low halves are the left texels, the high halves the right ones.
  left = hn::ConcatEven(duw, hn::BitCast(duw, w1), hn::BitCast(duw, w0));
  right = hn::ConcatOdd(duw, hn::BitCast(duw, w1), hn::BitCast(duw, w0));
}

// The channels of the texels at a step's offsets, 16-bit or palettized.
KV_HOT Octet texelsAt(const Context& c, const StepOffsets& offsets) {
  if (c.texFormat != TextureFormat::Palette8)
    return decode16(c.texFormat, gather8At<true>(c, offsets));
  const SpilledOffsets o(offsets);
  auto entry = [&](size_t k) { return static_cast<int32_t>(c.palette[c.texels[o[k]]]); };
  return decodeArgb(inRegisters(di, entry),
                    inRegisters(di, [&](size_t k) { return entry(k + kHalf); }));
}

// Raw texels at a step's wrapped positions, one per 16-bit lane.
KV_HOT VUW gather8(const Context& c, VI tx0, VI ty0, VI tx1, VI ty1) {
  return gather8At<false>(c, {texelOffsets(c, tx0, ty0), texelOffsets(c, tx1, ty1)});
}

KV_HOT VI throughPalette(const Context& c, VI index) {  // 32-bit lanes
  alignas(64) int32_t i[kHalf];
  hn::Store(index, di, i);
  return inRegisters(di, [&](size_t k) { return static_cast<int32_t>(c.palette[i[k] & 0xFF]); });
}

// 16-bit lanes that are NOT the key.
KV_HOT VW notKeyed(const Context& c, VUW raw16) {
  const auto hit = hn::Eq(hn::And(raw16, hn::Set(duw, static_cast<uint16_t>(c.keyMask))),
                          hn::Set(duw, static_cast<uint16_t>(c.key)));
  return hn::BitCast(dw, hn::VecFromMask(duw, hn::Not(hit)));
}

KV_HOT VI channel(VF v) {  // v carries its +0.5 already
  return truncate(hn::Min(hn::Max(v, hn::Zero(df)), hn::Set(df, 255.0f)));
}

KV_HOT VW combineColor(ColorOp op, VW t, VW d) {
  if (op == ColorOp::Modulate) return div255w(mul8(t, d));
  return op == ColorOp::SelectTexture ? t : d;
}
KV_HOT VW combineAlpha(AlphaOp op, VW t, VW d) {
  if (op == AlphaOp::Modulate) return div255w(mul8(t, d));
  return op == AlphaOp::SelectTexture ? t : d;
}

KV_HOT VW factor(BlendFactor f, VW alpha) {  // 16-bit lanes
  switch (f) {
    case BlendFactor::Zero:
      return hn::Zero(dw);
    case BlendFactor::One:
      return hn::Set(dw, 255);
    case BlendFactor::SrcAlpha:
      return alpha;
    case BlendFactor::InvSrcAlpha:
      return hn::Sub(hn::Set(dw, 255), alpha);
  }
  return hn::Zero(dw);
}

// src * fs + dst * fd over a step's 16-bit lanes, saturated, rounded like div255.
KV_HOT VW blend8(BlendKind kind, VW s, VW fs, VW d, VW fd) {
  const VW full = hn::Set(dw, 255);
  switch (kind) {
    case BlendKind::Over:  // fs + fd = 255: the sum stays within 16 bits
      return div255w(hn::Add(mul8(s, fs), mul8(d, fd)));
    case BlendKind::Add:  // 255 * (s + d) / 255
      return hn::Min(hn::Add(s, d), full);
    default: {
      // Each product is below 65536; their sum needs 32 bits.
      const VI lo = div255v(hn::Add(mul8(widenLo(s), widenLo(fs)), mul8(widenLo(d), widenLo(fd))));
      const VI hi = div255v(hn::Add(mul8(widenHi(s), widenHi(fs)), mul8(widenHi(d), widenHi(fd))));
      return hn::Min(narrow(lo, hi), full);
    }
  }
}

KV_HOT VI passMask(hn::Mask<DF> m) { return hn::BitCast(di, hn::VecFromMask(df, m)); }

template <DepthMode Mode>
KV_HOT VI depthTest(const Context& c, VF z, VF stored) {
  if constexpr (Mode == DepthMode::GreaterEqual) return passMask(hn::Ge(z, stored));
  switch (c.depthCompare) {
    case DepthCompare::Always:
      return hn::Set(di, -1);
    case DepthCompare::GreaterEqual:
      return passMask(hn::Ge(z, stored));
    case DepthCompare::Greater:
      return passMask(hn::Gt(z, stored));
    case DepthCompare::LessEqual:
      return passMask(hn::Le(z, stored));
    case DepthCompare::Less:
      return passMask(hn::Lt(z, stored));
  }
  return hn::Zero(di);
}

// A span's interpolants broadcast into vectors once per span.
struct Lerp {
  VF start[kAttrs], step[kAttrs];
  VW ditherRB, ditherG;
};

// Attribute a at the given indices from the given start values: the span's
// own, or, where a step shades two rows, either row's.
KV_HOT VF lerpFrom(const VF* start, const Lerp& s, int a, VF index) {
  return hn::Add(start[a], hn::Mul(s.step[a], index));
}
KV_HOT VF lerp(const Lerp& s, int a, VF index) { return lerpFrom(s.start, s, a, index); }

// The stored texture coordinates of half a step's pixels as 16.16 texels.
template <bool Perspective>
KV_HOT void texCoords(const Lerp& s, const VF* start, VF index, VI& fu, VI& fv) {
  VF u = lerpFrom(start, s, kU, index), v = lerpFrom(start, s, kV, index);
  if constexpr (Perspective) {
    const VF w = hn::Div(hn::Set(df, 1.0f), lerpFrom(start, s, kQ, index));
    u = hn::Mul(u, w);
    v = hn::Mul(v, w);
  }
  // Out of range (or NaN) converts to 0x80000000, which the masks still wrap.
  fu = truncate(u);
  fv = truncate(v);
}

// Bilinear texels of half a step's pixels (32-bit lanes), any format; clears
// keyed lanes of live32.
KV_HOT Quad bilinear4(const Context& c, VI fu, VI fv, VI& live32) {
  const VI wMask = hn::Set(di, c.texW - 1), hMask = hn::Set(di, c.texH - 1);
  if (c.colorKey) {
    // The key looks at the texel nearest filtering would take.
    const VI nx = hn::And(hn::ShiftRight<16>(fu), wMask);
    const VI ny = hn::And(hn::ShiftRight<16>(fv), hMask);
    const VI raw = gather(c, nx, ny);
    const auto hit = hn::Eq(hn::And(raw, hn::Set(di, static_cast<int32_t>(c.keyMask))),
                            hn::Set(di, static_cast<int32_t>(c.key)));
    live32 = hn::AndNot(hn::VecFromMask(di, hit), live32);
  }
  // Texel centres sit half a texel in.
  fu = hn::Sub(fu, hn::Set(di, 32768));
  fv = hn::Sub(fv, hn::Set(di, 32768));
  const VI x0 = hn::And(hn::ShiftRight<16>(fu), wMask);
  const VI y0 = hn::And(hn::ShiftRight<16>(fv), hMask);
  const VI x1 = hn::And(hn::Add(x0, hn::Set(di, 1)), wMask);
  const VI y1 = hn::And(hn::Add(y0, hn::Set(di, 1)), hMask);
  VI r00 = gather(c, x0, y0), r10 = gather(c, x1, y0);
  VI r01 = gather(c, x0, y1), r11 = gather(c, x1, y1);
  if (c.texFormat == TextureFormat::Palette8) {
    r00 = throughPalette(c, r00), r10 = throughPalette(c, r10);
    r01 = throughPalette(c, r01), r11 = throughPalette(c, r11);
  }
  const Quad t00 = decode(c, r00), t10 = decode(c, r10), t01 = decode(c, r01), t11 = decode(c, r11);
  const VF scale = hn::Set(df, 1.0f / 65536.0f);
  const VI low16 = hn::Set(di, 0xFFFF);
  const VF wx = hn::Mul(hn::ConvertTo(df, hn::And(fu, low16)), scale);
  const VF wy = hn::Mul(hn::ConvertTo(df, hn::And(fv, low16)), scale);
  auto mix = [&](VI Quad::*ch) {
    const VF a = hn::ConvertTo(df, t00.*ch), b = hn::ConvertTo(df, t10.*ch);
    const VF cc = hn::ConvertTo(df, t01.*ch), d = hn::ConvertTo(df, t11.*ch);
    const VF top = hn::Add(a, hn::Mul(hn::Sub(b, a), wx));
    const VF bottom = hn::Add(cc, hn::Mul(hn::Sub(d, cc), wx));
    const VF m = hn::Add(top, hn::Mul(hn::Sub(bottom, top), wy));
    return channel(hn::Add(m, hn::Set(df, 0.5f)));
  };
  return {mix(&Quad::a), mix(&Quad::r), mix(&Quad::g), mix(&Quad::b)};
}

// Sums of the products of neighbouring 16-bit lanes, a[2k] b[2k] + a[2k+1] b[2k+1],
// in 32-bit lane k.
KV_HOT VI pairProducts(VW a, VW b) {
#if HWY_ARCH_X86 && (HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL)
  return VI{_mm256_madd_epi16(a.raw, b.raw)};
#elif HWY_ARCH_X86 && HWY_TARGET != HWY_EMU128 && HWY_TARGET != HWY_SCALAR
  return VI{_mm_madd_epi16(a.raw, b.raw)};
#else
  const VI x = hn::BitCast(di, a), y = hn::BitCast(di, b);
  auto low = [](VI v) { return hn::ShiftRight<16>(hn::ShiftLeft<16>(v)); };
  return hn::Add(hn::Mul(low(x), low(y)), hn::Mul(hn::ShiftRight<16>(x), hn::ShiftRight<16>(y)));
#endif
}

// The 16-bit fractions of a step's 16.16 coordinates (the first half of the
// pixels in f0), in pixel order.
KV_HOT VUW fractions(VI f0, VI f1) {
  return hn::ConcatEven(duw, hn::BitCast(duw, f1), hn::BitCast(duw, f0));
}

// Bilinear texels of a step's pixels from a texture on a power-of-two pitch,
// without colour key; alpha is left unfiltered. The same arithmetic as
// bilinear4, with the texels fetched and decoded a step at a time.
KV_HOT Octet bilinear8(const Context& c, VI fu0, VI fv0, VI fu1, VI fv1, bool loLive, bool hiLive) {
  const TexelGrid& g = c.grid;
  const VI columnMask = hn::Set(di, g.columnMask), rowMask = hn::Set(di, g.rowMask);
  auto column = [&](VI fu) { return hn::And(hn::ShiftRightSame(fu, g.columnShift), columnMask); };
  auto row = [&](VI fv) { return hn::And(hn::ShiftRightSame(fv, g.rowShift), rowMask); };
  auto nextColumn = [&](VI x) {
    return hn::And(hn::Add(x, hn::Set(di, g.columnStep)), columnMask);
  };
  auto nextRow = [&](VI y) { return hn::And(hn::Add(y, hn::Set(di, g.rowStep)), rowMask); };
  const VI half = hn::Set(di, 32768);  // texel centres sit half a texel in
  fu0 = hn::Sub(fu0, half), fv0 = hn::Sub(fv0, half);
  fu1 = hn::Sub(fu1, half), fv1 = hn::Sub(fv1, half);
  const VI x00 = column(fu0), x01 = column(fu1), y00 = row(fv0), y01 = row(fv1);
  // The offsets of texels (x, y) for the first half of the pixels, (x', y') for the second.
  auto at = [&](VI x, VI y, VI x_, VI y_) {
    return StepOffsets{hn::Add(y, x), hn::Add(y_, x_), loLive, hiLive};
  };
  Octet t00, t10, t01, t11;
  if (c.texFormat != TextureFormat::Palette8 &&
      hn::AllFalse(di, hn::Or(hn::Eq(x00, columnMask), hn::Eq(x01, columnMask)))) {
    // No pair wraps around the texture's right edge: each pair is one read.
    VUW raw00, raw10, raw01, raw11;
    const StepOffsets top = at(x00, y00, x01, y01);
    const SpilledOffsets o(top);
    gatherPairs(c, top, o, 0, raw00, raw10);
    if (hn::AllFalse(di, hn::Or(hn::Eq(y00, rowMask), hn::Eq(y01, rowMask)))) {
      // Nor around the bottom edge: the lower pairs are a row further on.
      gatherPairs(c, top, o, g.rowStep, raw01, raw11);
    } else {
      const StepOffsets bottom = at(x00, nextRow(y00), x01, nextRow(y01));
      gatherPairs(c, bottom, SpilledOffsets(bottom), 0, raw01, raw11);
    }
    t00 = decode16(c.texFormat, raw00), t10 = decode16(c.texFormat, raw10);
    t01 = decode16(c.texFormat, raw01), t11 = decode16(c.texFormat, raw11);
  } else {
    const VI x10 = nextColumn(x00), x11 = nextColumn(x01);
    const VI y10 = nextRow(y00), y11 = nextRow(y01);
    t00 = texelsAt(c, at(x00, y00, x01, y01)), t10 = texelsAt(c, at(x10, y00, x11, y01));
    t01 = texelsAt(c, at(x00, y10, x01, y11)), t11 = texelsAt(c, at(x10, y10, x11, y11));
  }
  // Each row's blend is exact in integers: with w the 16-bit fraction,
  // a x 65536 + (b - a) w = (b - a)(w - 32768) + 2(a + b) x 16384, whose
  // factors all fit 16-bit lanes, summed pairwise into 32-bit lanes. The
  // pairs are interleaved within 128-bit blocks, so the 32-bit results come
  // in that order, which packing them back undoes.
  const VUW fx = fractions(fu0, fu1), fy = fractions(fv0, fv1);
  const VW wx = hn::BitCast(dw, hn::Xor(fx, hn::Set(duw, 0x8000))), quarter = hn::Set(dw, 16384);
  const VW wxLo = hn::InterleaveLower(dw, wx, quarter), wxHi = hn::InterleaveUpper(dw, wx, quarter);
  // The vertical blend in float on values scaled by 65536: the operations
  // bilinear4 does, and as the scale is a power of two, the same roundings.
  auto weight = [](VUW f) {
    return hn::Mul(hn::ConvertTo(df, hn::BitCast(di, f)), hn::Set(df, 1.0f / 65536.0f));
  };
  const VUW none16 = hn::Zero(duw);
  const VF wyLo = weight(hn::InterleaveLower(duw, fy, none16));
  const VF wyHi = weight(hn::InterleaveUpper(duw, fy, none16));
  auto rows = [&](VW a, VW b, VI& lo, VI& hi) {
    const VW d = hn::Sub(b, a), s = hn::ShiftLeft<1>(hn::Add(a, b));
    lo = pairProducts(hn::InterleaveLower(dw, d, s), wxLo);
    hi = pairProducts(hn::InterleaveUpper(dw, d, s), wxHi);
  };
  auto vertical = [](VI top, VI bottom, VF wy) {
    const VF t = hn::ConvertTo(df, top);
    const VF m = hn::Add(t, hn::Mul(hn::Sub(hn::ConvertTo(df, bottom), t), wy));
    // No clamp: top and bottom are exact, and with weights below one the
    // rounded step stays between them. Adding half a unit and truncating
    // rounds; the shift is exact, as the truncation already dropped the
    // fraction.
    return hn::ShiftRight<16>(truncate(hn::Add(m, hn::Set(df, 32768.0f))));
  };
  auto mix = [&](VW Octet::*ch) {
    VI top0, top1, bottom0, bottom1;
    rows(t00.*ch, t10.*ch, top0, top1);
    rows(t01.*ch, t11.*ch, bottom0, bottom1);
    return hn::ReorderDemote2To(dw, vertical(top0, bottom0, wyLo), vertical(top1, bottom1, wyHi));
  };
  return {t00.a, mix(&Octet::r), mix(&Octet::g), mix(&Octet::b)};
}

using MF = hn::Mask<DF>;

// A step's depth and texture coordinates, each half of its pixels.
struct StepCoords {
  VF z0, z1;
  VI fu0, fv0, fu1, fv1;
};
template <bool Perspective>
KV_HOT StepCoords coordsAt(const Lerp& s, VF index) {
  const VF index1 = hn::Add(index, hn::Set(df, float{kHalf}));
  StepCoords k;
  k.z0 = lerp(s, kZ, index);
  k.z1 = lerp(s, kZ, index1);
  texCoords<Perspective>(s, s.start, index, k.fu0, k.fv0);
  texCoords<Perspective>(s, s.start, index1, k.fu1, k.fv1);
  return k;
}

// Shades a step's neighbouring pixels. `live` (16-bit lanes, 0 or -1) marks
// the pixels of the span, and so do `live0` and `live1` for either half of
// them; `diffuse` holds their interpolated colours. The common case comes
// with its coordinates worked out (`ahead`), the others work out theirs.
// Split (the common case only) says the second half of the pixels lies
// elsewhere, at color1 and depth1: a step that shades two short rows.
template <DepthMode Depth, bool Textured, bool Perspective, bool Bilinear, bool Plain,
          bool Split = false>
KV_HOT void shadeOctet(const Context& c, const Lerp& s, VF index, VW live, MF live0, MF live1,
                       const Octet& diffuse, VW ditherRB, VW ditherG, uint8_t* color,
                       uint32_t* depth, const StepCoords& ahead, uint8_t* color1 = nullptr,
                       uint32_t* depth1 = nullptr) {
  static_assert(Plain || !Split);
  const VF index1 = hn::Add(index, hn::Set(df, float{kHalf}));
  float* const depthF = reinterpret_cast<float*>(depth);
  float* depthF1 = nullptr;  // the second half's depths, where there are any
  if constexpr (Split) {
    depthF1 = reinterpret_cast<float*>(depth1);
  } else if constexpr (Depth != DepthMode::Off) {
    depthF1 = depthF + kHalf;
  }
  VF z0, z1, stored0, stored1;
  bool loLive = true, hiLive = true;  // either half of the pixels drawn
  if constexpr (Plain) {
    // Nothing but the depth test takes pixels away: its masks stay those the
    // depth is stored with, and say which halves are drawn.
    z0 = ahead.z0;
    z1 = ahead.z1;
    stored0 = hn::LoadU(df, depthF);
    stored1 = hn::LoadU(df, depthF1);
    live0 = hn::And(live0, hn::Ge(z0, stored0));
    live1 = hn::And(live1, hn::Ge(z1, stored1));
    loLive = !hn::AllFalse(df, live0);
    hiLive = !hn::AllFalse(df, live1);
    if (!loLive && !hiLive) return;
    live = narrow(passMask(live0), passMask(live1));
  } else if constexpr (Depth != DepthMode::Off) {
    z0 = lerp(s, kZ, index);
    z1 = lerp(s, kZ, index1);
    stored0 = hn::LoadU(df, depthF);
    stored1 = hn::LoadU(df, depthF + kHalf);
    const VW pass = narrow(depthTest<Depth>(c, z0, stored0), depthTest<Depth>(c, z1, stored1));
    live = hn::And(live, pass);
    if (none(live)) return;
  }

  Octet out = diffuse;
  if constexpr (Textured) {
    VI fu0, fv0, fu1, fv1;
    if constexpr (Plain) {
      fu0 = ahead.fu0, fv0 = ahead.fv0, fu1 = ahead.fu1, fv1 = ahead.fv1;
    } else {
      texCoords<Perspective>(s, s.start, index, fu0, fv0);
      texCoords<Perspective>(s, s.start, index1, fu1, fv1);
    }
    Octet t;
    if constexpr (Plain && Bilinear) {
      t = bilinear8(c, fu0, fv0, fu1, fv1, loLive, hiLive);
    } else if constexpr (Plain) {
      const TexelGrid& g = c.grid;
      const VI columnMask = hn::Set(di, g.columnMask), rowMask = hn::Set(di, g.rowMask);
      auto offset = [&](VI fu, VI fv) {
        return hn::Add(hn::And(hn::ShiftRightSame(fv, g.rowShift), rowMask),
                       hn::And(hn::ShiftRightSame(fu, g.columnShift), columnMask));
      };
      t = texelsAt(c, {offset(fu0, fv0), offset(fu1, fv1), loLive, hiLive});
    } else if constexpr (Bilinear) {
      VI live0 = spreadLo(live), live1 = spreadHi(live);
      const Quad lo = bilinear4(c, fu0, fv0, live0), hi = bilinear4(c, fu1, fv1, live1);
      live = narrow(live0, live1);
      if (none(live)) return;
      t = {narrow(lo.a, hi.a), narrow(lo.r, hi.r), narrow(lo.g, hi.g), narrow(lo.b, hi.b)};
    } else {
      const VI wMask = hn::Set(di, c.texW - 1), hMask = hn::Set(di, c.texH - 1);
      const VI tx0 = hn::And(hn::ShiftRight<16>(fu0), wMask);
      const VI ty0 = hn::And(hn::ShiftRight<16>(fv0), hMask);
      const VI tx1 = hn::And(hn::ShiftRight<16>(fu1), wMask);
      const VI ty1 = hn::And(hn::ShiftRight<16>(fv1), hMask);
      const VUW raw = gather8(c, tx0, ty0, tx1, ty1);
      if (c.colorKey) {
        live = hn::And(live, notKeyed(c, raw));
        if (none(live)) return;
      }
      if (c.texFormat == TextureFormat::Palette8) {
        const VW index = hn::BitCast(dw, raw);
        t = decodeArgb(throughPalette(c, widenLo(index)), throughPalette(c, widenHi(index)));
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

  auto* const color16 = reinterpret_cast<uint16_t*>(color);
  auto* const color16hi = reinterpret_cast<uint16_t*>(color1);
  if (Plain || c.is565) {
    const VUW old = Split ? hn::Combine(duw, hn::LoadU(DH(), color16hi), hn::LoadU(DH(), color16))
                          : hn::LoadU(duw, color16);
    if (!Plain && c.blendKind != BlendKind::Off) {
      const VW fs = factor(c.srcBlend, out.a), fd = factor(c.dstBlend, out.a);
      out.r =
          blend8(c.blendKind, out.r, fs, expand5w(hn::BitCast(dw, hn::ShiftRight<11>(old))), fd);
      out.g = blend8(c.blendKind, out.g, fs, expand6w(fieldw(old, 5, 63)), fd);
      out.b = blend8(c.blendKind, out.b, fs, expand5w(fieldw(old, 0, 31)), fd);
    }
    if (Plain || c.dither) {
      const VW full = hn::Set(dw, 255);
      out.r = hn::Min(hn::Add(out.r, ditherRB), full);
      out.g = hn::Min(hn::Add(out.g, ditherG), full);
      out.b = hn::Min(hn::Add(out.b, ditherRB), full);
    }
    const VW p = hn::Or(hn::Or(hn::ShiftLeft<8>(hn::And(out.r, hn::Set(dw, 0xF8))),
                               hn::ShiftLeft<3>(hn::And(out.g, hn::Set(dw, 0xFC)))),
                        hn::ShiftRight<3>(out.b));
    const VUW result = select(hn::BitCast(duw, live), hn::BitCast(duw, p), old);
    if constexpr (Split) {
      hn::StoreU(hn::LowerHalf(DH(), result), DH(), color16);
      hn::StoreU(hn::UpperHalf(DH(), result), DH(), color16hi);
    } else {
      hn::StoreU(result, duw, color16);
    }
  } else {
    auto* const color32 = reinterpret_cast<int32_t*>(color);
    const VI old0 = hn::LoadU(di, color32);
    const VI old1 = hn::LoadU(di, color32 + kHalf);
    if (!Plain && c.blendKind != BlendKind::Off) {
      const VW fs = factor(c.srcBlend, out.a), fd = factor(c.dstBlend, out.a);
      out.r =
          blend8(c.blendKind, out.r, fs, narrow(field(old0, 16, 255), field(old1, 16, 255)), fd);
      out.g = blend8(c.blendKind, out.g, fs, narrow(field(old0, 8, 255), field(old1, 8, 255)), fd);
      out.b = blend8(c.blendKind, out.b, fs, narrow(field(old0, 0, 255), field(old1, 0, 255)), fd);
    }
    const VI opaque = hn::Set(di, static_cast<int32_t>(0xFF000000u));
    auto pack = [&](VI r, VI g, VI b) {
      return hn::Or(hn::Or(hn::ShiftLeft<16>(r), hn::ShiftLeft<8>(g)), hn::Or(b, opaque));
    };
    const VI p0 = pack(widenLo(out.r), widenLo(out.g), widenLo(out.b));
    const VI p1 = pack(widenHi(out.r), widenHi(out.g), widenHi(out.b));
    hn::StoreU(select(spreadLo(live), p0, old0), di, color32);
    hn::StoreU(select(spreadHi(live), p1, old1), di, color32 + kHalf);
  }
  if constexpr (Plain) {
    hn::StoreU(hn::IfThenElse(live0, z0, stored0), df, depthF);
    hn::StoreU(hn::IfThenElse(live1, z1, stored1), df, depthF1);
  } else if constexpr (Depth != DepthMode::Off) {
    if (c.depthWrite) {
      hn::StoreU(select(hn::BitCast(df, spreadLo(live)), z0, stored0), df, depthF);
      hn::StoreU(select(hn::BitCast(df, spreadHi(live)), z1, stored1), df, depthF + kHalf);
    }
  }
}

KV_HOT VW ditherRow(const int16_t (&table)[4][4][kMaxStep], int y, int x) {
  return hn::Load(dw, table[y & 3][x & 3]);
}

// The values a call's spans share, in vectors.
struct SpansShared {
  Lerp s;  // the steps; each span puts in its own starts
  // Colour channels: the steps of a step's pixels from its first, and the
  // step from one step to the next.
  VI ramp[4], step8[4];
  // The same where a step shades two rows: each row's pixels counted from
  // its own first, and which lanes hold the second row's.
  VI pairRamp[2][4];
  hn::Mask<DI> secondRow[2];
  bool alpha;  // interpolated only where something reads it
};

// The lanes add modulo 2^32: a lane may pass out of range beyond the end of
// the span, but every pixel of the span holds its true value.
KV_HOT int32_t wrap32(int64_t x) { return static_cast<int32_t>(static_cast<uint32_t>(x)); }

// Pixels x0..x1-1 of row y; both inside the drawable area. `next` is the
// span drawn after this one, if the call has one.
template <DepthMode Depth, bool Textured, bool Perspective, bool Bilinear, bool Plain>
KV_HOT void drawSpan(const Context& c, const SpanSteps& steps, SpansShared& shared,
                     const SpanRow& v, const SpanRow* next) {
  const int y = v.y, x0 = v.x0, x1 = v.x1;
  const int bytes = Plain || c.is565 ? 2 : 4;
  uint8_t* color = c.color + static_cast<intptr_t>(y) * c.colorPitch + x0 * bytes;
  uint32_t* depth = nullptr;
  if constexpr (Depth != DepthMode::Off) {
    depth = reinterpret_cast<uint32_t*>(c.depth + static_cast<intptr_t>(y) * c.depthPitch) + x0;
  }
  Lerp& s = shared.s;
  for (int a = kZ; a < kAttrs; ++a) s.start[a] = hn::Set(df, v.start[a]);
  if (Plain || c.dither) {
    s.ditherRB = ditherRow(kDither.rb, y, x0);
    s.ditherG = ditherRow(kDither.g, y, x0);
  } else {
    s.ditherRB = s.ditherG = hn::Zero(dw);
  }
  // Colour channels, a step's pixels in two vectors of 32-bit lanes (in the
  // order of kPackedPixels), stepped a step at a time.
  const VI(&ramp)[4] = shared.ramp;
  const VI(&step8)[4] = shared.step8;
  // Pixel i of the span is value index offset + i.
  const int offset = v.offset;
  auto lanes = [&](int k, int first) {
    const int64_t a = v.colorStart[k], d = steps.colorStep[k];
    return hn::Add(hn::Set(di, wrap32(a + int64_t{offset + first} * d)), ramp[k]);
  };
  VI a0, a1, r0, r1, g0, g1, b0, b1;
  auto startAt = [&](int first) {  // lanes for pixels first..first+kStep-1
    const int second = first + 4;  // each 32-bit block of the second half is four pixels on
    a0 = lanes(0, first), a1 = lanes(0, second), r0 = lanes(1, first), r1 = lanes(1, second);
    g0 = lanes(2, first), g1 = lanes(2, second), b0 = lanes(3, first), b1 = lanes(3, second);
  };
  auto advance = [&] {
    a0 = hn::Add(a0, step8[0]), a1 = hn::Add(a1, step8[0]);
    r0 = hn::Add(r0, step8[1]), r1 = hn::Add(r1, step8[1]);
    g0 = hn::Add(g0, step8[2]), g1 = hn::Add(g1, step8[2]);
    b0 = hn::Add(b0, step8[3]), b1 = hn::Add(b1, step8[3]);
  };
  const VW zero = hn::Zero(dw), full = hn::Set(dw, 255);
  auto channelOf = [&](VI lo, VI hi) {
    const VW w = hn::ReorderDemote2To(dw, hn::ShiftRight<kColorFraction>(lo),
                                      hn::ShiftRight<kColorFraction>(hi));
    return hn::Min(hn::Max(w, zero), full);
  };
  const bool alpha = shared.alpha;
  auto diffuseNow = [&] {
    return Octet{alpha ? channelOf(a0, a1) : full, channelOf(r0, r1), channelOf(g0, g1),
                 channelOf(b0, b1)};
  };

  const VF lane = hn::Iota(df, 0.0f);
  const VW lane16 = hn::Iota(dw, 0);
  // The same for either half of a step, as masks of its 32-bit lanes.
  const VI lane32 = hn::Iota(di, 0), lane32hi = hn::Iota(di, kHalf);
  const MF allLanes = hn::FirstN(df, kHalf);
  auto lanesFrom = [&](int first, MF& m0, MF& m1) {
    const VI f = hn::Set(di, first - 1);
    m0 = hn::RebindMask(df, hn::Gt(lane32, f)), m1 = hn::RebindMask(df, hn::Gt(lane32hi, f));
  };
  auto lanesBelow = [&](int end, MF& m0, MF& m1) {
    const VI e = hn::Set(di, end);
    m0 = hn::RebindMask(df, hn::Lt(lane32, e)), m1 = hn::RebindMask(df, hn::Lt(lane32hi, e));
  };
  const int n = x1 - x0;
  if (next && next->x1 - next->x0 >= kStep) {
    // The next span usually starts near this one: fetch it early, since the
    // walk from row to row defeats the hardware's stream detection.
    const int nextBytes = static_cast<int>(next->x0 - x0) * bytes;
    const int span = std::min(next->x1 - next->x0, 128);
    uint8_t* const nextColor = color + c.colorPitch * (next->y - y) + nextBytes;
    for (int k = 0; k < span * bytes; k += 64) hwy::Prefetch(nextColor + k);
    if constexpr (Depth != DepthMode::Off) {
      const auto* nextDepth =
          reinterpret_cast<const uint8_t*>(depth + (next->x0 - x0)) + c.depthPitch * (next->y - y);
      for (int k = 0; k < span * 4; k += 64) hwy::Prefetch(nextDepth + k);
    }
  }
  // A step's pixels at a time. The last few pixels (or a span shorter than a
  // step) are a step's pixels of the row that take them in, with the other
  // lanes masked off: a masked lane writes back the value it read, so pixels
  // outside the span keep theirs. The step goes on past the span's end where
  // the columns the caller gave (its tile) allow, else it ends at the span's
  // end; only where those columns are fewer than a step does a copy stand in
  // for the row. One call site keeps the loop body single.
  alignas(64) uint8_t colorCopy[kStep * 4];
  alignas(64) uint32_t depthCopy[kStep];
  startAt(0);
  auto indexAt = [&](int j) { return hn::Add(hn::Set(df, static_cast<float>(offset + j)), lane); };
  // The common case works out the next step's coordinates before it shades
  // this one, so that their long chain (a division, then the texel loads)
  // overlaps this step's work.
  StepCoords ahead{};
  if constexpr (Plain) ahead = coordsAt<Perspective>(s, indexAt(0));
  for (int i = 0; i < n;) {
    int j = i;  // the step's offset from x0
    VW live = hn::Set(dw, -1), ditherRB = s.ditherRB, ditherG = s.ditherG;
    MF live0 = allLanes, live1 = allLanes;
    if (i + kStep > n) {
      if (x0 + i + kStep > steps.right && x1 - kStep >= steps.left) {
        j = n - kStep;  // ending at the span's end; lanes before i are drawn or outside
        live = hn::VecFromMask(dw, hn::Gt(lane16, hn::Set(dw, static_cast<int16_t>(i - j - 1))));
        lanesFrom(i - j, live0, live1);
        startAt(j);
        if constexpr (Plain) ahead = coordsAt<Perspective>(s, indexAt(j));
        ditherRB = ditherRow(kDither.rb, y, x0 + j);
        ditherG = ditherRow(kDither.g, y, x0 + j);
      } else {
        // Going on past the span's end (or, in a row narrower than a step,
        // from its start): the lanes and the dither are this step's already.
        live = hn::VecFromMask(dw, hn::Lt(lane16, hn::Set(dw, static_cast<int16_t>(n - i))));
        lanesBelow(n - i, live0, live1);
      }
    }
    const int first = x0 + j;  // the step's first column
    const bool copy = first < steps.left || first + kStep > steps.right;
    const int from = std::max(first, steps.left), to = std::min(first + kStep, steps.right);
    const int skip = from - first, count = to - from;
    uint8_t* pixels = color + j * bytes;
    uint32_t* depths = depth ? depth + j : nullptr;
    if (copy) {
      std::memset(colorCopy, 0, sizeof colorCopy);
      std::memset(depthCopy, 0, sizeof depthCopy);
      std::memcpy(colorCopy + skip * bytes, pixels + skip * bytes, count * bytes);
      if (depth) std::memcpy(depthCopy + skip, depths + skip, count * 4);
      pixels = colorCopy;
      depths = depth ? depthCopy : nullptr;
    }
    StepCoords now = ahead;
    if constexpr (Plain) {
      if (j + kStep < n) ahead = coordsAt<Perspective>(s, indexAt(j + kStep));
    }
    shadeOctet<Depth, Textured, Perspective, Bilinear, Plain>(
        c, s, indexAt(j), live, live0, live1, diffuseNow(), ditherRB, ditherG, pixels, depths, now);
    if (copy) {
      std::memcpy(color + (j + skip) * bytes, colorCopy + skip * bytes, count * bytes);
      if (depth) std::memcpy(depth + j + skip, depthCopy + skip, count * 4);
    }
    i = j + kStep;
    advance();
  }
}

// Whether two rows' spans can share a step: each fits half a step's lanes
// from its first pixel on, within the columns the caller gave.
KV_HOT bool pairable(const SpanSteps& steps, const SpanRow& a, const SpanRow& b) {
  return a.x1 - a.x0 <= kHalf && b.x1 - b.x0 <= kHalf && a.x0 + kHalf <= steps.right &&
         b.x0 + kHalf <= steps.right;
}

// The short spans of two rows (see pairable) in one step: the first half of
// its pixels are row a's, the second half row b's. Thin triangles are mostly
// such rows, and a step costs the same however few of its lanes are drawn.
// Each pixel gets the values and arithmetic a step of its own row gives it.
template <DepthMode Depth, bool Perspective, bool Bilinear>
KV_HOT void drawPair(const Context& c, const SpanSteps& steps, const SpansShared& shared,
                     const SpanRow& a, const SpanRow& b) {
  const Lerp& s = shared.s;
  const VF lane = hn::Iota(df, 0.0f);
  auto coords = [&](const SpanRow& v, VF& z, VI& fu, VI& fv) {
    VF start[kAttrs];
    for (int k = kZ; k < kAttrs; ++k) start[k] = hn::Set(df, v.start[k]);
    const VF index = hn::Add(hn::Set(df, static_cast<float>(v.offset)), lane);
    z = lerpFrom(start, s, kZ, index);
    texCoords<Perspective>(s, start, index, fu, fv);
  };
  StepCoords k;
  coords(a, k.z0, k.fu0, k.fv0);
  coords(b, k.z1, k.fu1, k.fv1);
  // Colours: each row's value at its first pixel, then the steps from there.
  const VW zero = hn::Zero(dw), full = hn::Set(dw, 255);
  auto channelOf = [&](int ch) {
    auto first = [&](const SpanRow& v) {
      return hn::Set(di, wrap32(v.colorStart[ch] + int64_t{v.offset} * steps.colorStep[ch]));
    };
    const VI fa = first(a), fb = first(b);
    const VI lo = hn::Add(hn::IfThenElse(shared.secondRow[0], fb, fa), shared.pairRamp[0][ch]);
    const VI hi = hn::Add(hn::IfThenElse(shared.secondRow[1], fb, fa), shared.pairRamp[1][ch]);
    const VW w = hn::ReorderDemote2To(dw, hn::ShiftRight<kColorFraction>(lo),
                                      hn::ShiftRight<kColorFraction>(hi));
    return hn::Min(hn::Max(w, zero), full);
  };
  const Octet diffuse{full, channelOf(1), channelOf(2), channelOf(3)};
  const hn::Half<DW> dhw;
  auto dither = [&](const int16_t(&table)[4][4][kMaxStep]) {
    return hn::Combine(dw, hn::LoadU(dhw, table[b.y & 3][b.x0 & 3]),
                       hn::LoadU(dhw, table[a.y & 3][a.x0 & 3]));
  };
  const VI lane32 = hn::Iota(di, 0);
  const MF live0 = hn::RebindMask(df, hn::Lt(lane32, hn::Set(di, a.x1 - a.x0)));
  const MF live1 = hn::RebindMask(df, hn::Lt(lane32, hn::Set(di, b.x1 - b.x0)));
  auto color = [&](const SpanRow& v) {
    return c.color + static_cast<intptr_t>(v.y) * c.colorPitch + v.x0 * 2;
  };
  auto depth = [&](const SpanRow& v) {
    return reinterpret_cast<uint32_t*>(c.depth + static_cast<intptr_t>(v.y) * c.depthPitch) + v.x0;
  };
  shadeOctet<Depth, true, Perspective, Bilinear, true, true>(
      c, s, lane, hn::Set(dw, -1), live0, live1, diffuse, dither(kDither.rb), dither(kDither.g),
      color(a), depth(a), k, color(b), depth(b));
}

// A triangle's spans: what they share is set up once.
template <DepthMode Depth, bool Textured, bool Perspective, bool Bilinear, bool Plain>
void drawSpans(const Context& c, const SpanSteps& steps, const SpanRow* rows, int count) {
  SpansShared shared;
  for (int a = kZ; a < kAttrs; ++a) shared.s.step[a] = hn::Set(df, steps.step[a]);
  for (int k = 0; k < 4; ++k) {
    const int64_t d = steps.colorStep[k];
    shared.ramp[k] = hn::BitCast(
        di, hn::Mul(hn::Load(du, kPackedPixels.at), hn::Set(du, static_cast<uint32_t>(d))));
    shared.step8[k] = hn::Set(di, wrap32(kStep * d));
  }
  shared.alpha = !Plain && (c.blendKind == BlendKind::Over || c.blendKind == BlendKind::General ||
                            (Textured && c.alphaOp != AlphaOp::SelectTexture));
  if constexpr (Plain) {
    const VU pixels = hn::Load(du, kPackedPixels.at);
    for (int h = 0; h < 2; ++h) {
      // Lanes of the second half hold the pixels four on from the first's.
      const VU pixel = hn::Add(pixels, hn::Set(du, 4u * h));
      const VU within = hn::And(pixel, hn::Set(du, kHalf - 1u));
      shared.secondRow[h] = hn::Gt(hn::BitCast(di, pixel), hn::Set(di, kHalf - 1));
      for (int k = 0; k < 4; ++k) {
        shared.pairRamp[h][k] = hn::BitCast(
            di, hn::Mul(within, hn::Set(du, static_cast<uint32_t>(steps.colorStep[k]))));
      }
    }
  }
  for (int r = 0; r < count; ++r) {
    if constexpr (Plain) {
      if (r + 1 < count && pairable(steps, rows[r], rows[r + 1])) {
        drawPair<Depth, Perspective, Bilinear>(c, steps, shared, rows[r], rows[r + 1]);
        ++r;
        continue;
      }
    }
    drawSpan<Depth, Textured, Perspective, Bilinear, Plain>(c, steps, shared, rows[r],
                                                            r + 1 < count ? rows + r + 1 : nullptr);
  }
}

template <DepthMode Depth, bool Plain>
SpanFn pickTextured(bool perspective, bool bilinear) {
  if (perspective) {
    return bilinear ? drawSpans<Depth, true, true, true, Plain>
                    : drawSpans<Depth, true, true, false, Plain>;
  }
  return bilinear ? drawSpans<Depth, true, false, true, Plain>
                  : drawSpans<Depth, true, false, false, Plain>;
}

SpanFn PickSpan(DepthMode depth, bool textured, bool perspective, bool bilinear, bool plain) {
  switch (depth) {
    case DepthMode::Off:
      return textured ? pickTextured<DepthMode::Off, false>(perspective, bilinear)
                      : drawSpans<DepthMode::Off, false, false, false, false>;
    case DepthMode::GreaterEqual:
      if (!textured) return drawSpans<DepthMode::GreaterEqual, false, false, false, false>;
      return plain ? pickTextured<DepthMode::GreaterEqual, true>(perspective, bilinear)
                   : pickTextured<DepthMode::GreaterEqual, false>(perspective, bilinear);
    case DepthMode::Any:
      break;
  }
  return textured ? pickTextured<DepthMode::Any, false>(perspective, bilinear)
                  : drawSpans<DepthMode::Any, false, false, false, false>;
}

const char* TargetName() { return hwy::TargetName(HWY_TARGET); }

#undef KV_HOT
}  // namespace kv::raster::fast::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kv::raster::fast {

HWY_EXPORT(PickSpan);
HWY_EXPORT(TargetName);

SpanFn pickSpan(DepthMode depth, bool textured, bool perspective, bool bilinear, bool plain) {
  return HWY_DYNAMIC_DISPATCH(PickSpan)(depth, textured, perspective, bilinear, plain);
}

const char* spanTargetName() { return HWY_DYNAMIC_DISPATCH(TargetName)(); }

}  // namespace kv::raster::fast
#endif
