// The reference rasterizer: every pixel of a triangle's bounding box is tested
// against the three edge functions and shaded from its own barycentric
// weights. Slow and plain on purpose; it is the picture the fast device is
// held against.
#include <algorithm>
#include <cmath>

#include "platform/raster/pixel.h"

namespace kv::raster {
namespace {

struct Point {
  double x, y;
};

// Twice the signed area of (a, b, p). Positions are multiples of 1/256 within
// 65536 pixels, so this is exact in a double: the edge shared by two triangles
// gives both the same value with opposite signs, and no pixel falls between.
double edge(Point a, Point b, Point p) {
  return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
}

// A pixel centre exactly on an edge belongs to the triangle when the edge is a
// left edge or a horizontal top edge. `sign` orients the edge so that the
// triangle lies on its positive side; screen y points down.
bool ownsEdge(Point a, Point b, double sign) {
  const double gx = -(b.y - a.y) * sign;  // gradient of the oriented edge function
  const double gy = (b.x - a.x) * sign;
  return gx > 0 || (gx == 0 && gy > 0);
}

// Wraps a coordinate in texels into [0, size); any input, even NaN, lands inside.
double wrap(double s, int size) {
  if (!std::isfinite(s)) return 0.0;
  double f = s - std::floor(s / size) * size;
  if (!(f >= 0.0) || f >= size) f = 0.0;  // rounding at the extremes
  return f;
}

struct Sample {
  Argb color;
  bool keyed;
};

Sample sampleTexture(const Texture& t, const State& s, double u, double v) {
  // The colour key looks at the texel that nearest filtering would take.
  const int nx = std::min(static_cast<int>(wrap(u * t.width, t.width)), t.width - 1);
  const int ny = std::min(static_cast<int>(wrap(v * t.height, t.height)), t.height - 1);
  const uint32_t nearest = rawTexel(t, nx, ny);
  const bool keyed = s.colorKeyEnable &&
                     (nearest & colorKeyMask(t.format)) == (s.colorKey & colorKeyMask(t.format));
  if (s.filter == Filter::Nearest) return {decodeTexel(t, nearest), keyed};

  // Bilinear: texel centres sit at half-texel positions.
  const double fx = wrap(u * t.width - 0.5, t.width);
  const double fy = wrap(v * t.height - 0.5, t.height);
  const int x0 = std::min(static_cast<int>(fx), t.width - 1);
  const int y0 = std::min(static_cast<int>(fy), t.height - 1);
  const int x1 = (x0 + 1) & (t.width - 1);
  const int y1 = (y0 + 1) & (t.height - 1);
  const double wx = fx - x0, wy = fy - y0;
  const Argb t00 = decodeTexel(t, rawTexel(t, x0, y0)), t10 = decodeTexel(t, rawTexel(t, x1, y0));
  const Argb t01 = decodeTexel(t, rawTexel(t, x0, y1)), t11 = decodeTexel(t, rawTexel(t, x1, y1));
  auto mix = [&](uint32_t Argb::*c) {
    const double top = t00.*c * (1 - wx) + t10.*c * wx;
    const double bottom = t01.*c * (1 - wx) + t11.*c * wx;
    return channelFromFloat(top * (1 - wy) + bottom * wy);
  };
  return {{mix(&Argb::a), mix(&Argb::r), mix(&Argb::g), mix(&Argb::b)}, keyed};
}

uint32_t combine(ColorOp op, uint32_t texel, uint32_t diffuse) {
  switch (op) {
    case ColorOp::Modulate:
      return div255(texel * diffuse);
    case ColorOp::SelectTexture:
      return texel;
    case ColorOp::SelectDiffuse:
      return diffuse;
  }
  return diffuse;
}

uint32_t combineAlpha(AlphaOp op, uint32_t texel, uint32_t diffuse) {
  switch (op) {
    case AlphaOp::Modulate:
      return div255(texel * diffuse);
    case AlphaOp::SelectTexture:
      return texel;
    case AlphaOp::SelectDiffuse:
      return diffuse;
  }
  return diffuse;
}

class ReferenceRasterizer final : public Rasterizer {
 public:
  void drawFan(const ColorTarget& color, const DepthTarget* depth, const State& state,
               const Vertex* vertices, int count) override {
    if (!vertices || count < 3 || !validColorTarget(color)) return;
    Draw d{color, nullptr, state, nullptr};
    if (state.depthEnable && depth && validDepthTarget(*depth)) d.depth = depth;
    if (state.texture && validTexture(*state.texture)) d.texture = state.texture;
    for (int i = 1; i + 1 < count; ++i) drawTriangle(d, vertices[0], vertices[i], vertices[i + 1]);
  }

  const char* name() const override { return "Reference Rasterizer"; }

 private:
  struct Draw {
    const ColorTarget& color;
    const DepthTarget* depth;  // null: no depth test or write
    const State& state;
    const Texture* texture;  // null: untextured
  };

  static void drawTriangle(const Draw& d, const Vertex& v0, const Vertex& v1, const Vertex& v2) {
    const Vertex* v[3] = {&v0, &v1, &v2};
    Point p[3];
    for (int i = 0; i < 3; ++i) {
      int64_t x, y;
      if (!snapCoordinate(v[i]->sx, x) || !snapCoordinate(v[i]->sy, y)) return;
      p[i] = {static_cast<double>(x) / kSubpixel, static_cast<double>(y) / kSubpixel};
    }
    const double area = edge(p[0], p[1], p[2]);
    if (area == 0) return;
    const double sign = area > 0 ? 1.0 : -1.0;
    // Edge i is the one opposite corner i; its function is corner i's weight.
    const bool owns[3] = {ownsEdge(p[1], p[2], sign), ownsEdge(p[2], p[0], sign),
                          ownsEdge(p[0], p[1], sign)};

    int32_t width = d.color.width, height = d.color.height;
    if (d.depth)
      width = std::min(width, d.depth->width), height = std::min(height, d.depth->height);
    const auto lo = [](double a, double b, double c) { return std::floor(std::min({a, b, c})); };
    const auto hi = [](double a, double b, double c) { return std::ceil(std::max({a, b, c})); };
    const int x0 = static_cast<int>(std::max(0.0, lo(p[0].x, p[1].x, p[2].x)));
    const int y0 = static_cast<int>(std::max(0.0, lo(p[0].y, p[1].y, p[2].y)));
    const int x1 = static_cast<int>(std::min<double>(width, hi(p[0].x, p[1].x, p[2].x)));
    const int y1 = static_cast<int>(std::min<double>(height, hi(p[0].y, p[1].y, p[2].y)));

    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        const Point c{x + 0.5, y + 0.5};
        const double e[3] = {edge(p[1], p[2], c) * sign, edge(p[2], p[0], c) * sign,
                             edge(p[0], p[1], c) * sign};
        bool inside = true;
        for (int i = 0; i < 3; ++i) inside = inside && (e[i] > 0 || (e[i] == 0 && owns[i]));
        if (!inside) continue;
        const double w[3] = {e[0] / std::fabs(area), e[1] / std::fabs(area),
                             e[2] / std::fabs(area)};
        shade(d, v, w, x, y);
      }
    }
  }

  static void shade(const Draw& d, const Vertex* const v[3], const double w[3], int x, int y) {
    const State& s = d.state;
    auto lerp = [&](auto get) { return w[0] * get(*v[0]) + w[1] * get(*v[1]) + w[2] * get(*v[2]); };

    Argb diffuse;
    if (s.shadeMode == ShadeMode::Flat) {
      diffuse = unpackArgb(v[1]->diffuse);  // fan vertex i of triangle (0, i, i + 1)
    } else {
      auto channel = [&](int shift) {
        return channelFromFloat(lerp([&](const Vertex& q) { return (q.diffuse >> shift) & 0xFF; }));
      };
      diffuse = {channel(24), channel(16), channel(8), channel(0)};
    }

    Argb texel = diffuse;
    if (d.texture) {
      double u, tv;
      if (s.perspective) {
        const double q = lerp([](const Vertex& a) { return double(a.rhw); });
        u = lerp([](const Vertex& a) { return double(a.tu) * a.rhw; }) / q;
        tv = lerp([](const Vertex& a) { return double(a.tv) * a.rhw; }) / q;
      } else {
        u = lerp([](const Vertex& a) { return double(a.tu); });
        tv = lerp([](const Vertex& a) { return double(a.tv); });
      }
      const Sample sample = sampleTexture(*d.texture, s, u, tv);
      if (sample.keyed) return;
      texel = sample.color;
    }

    uint32_t* depthCell = nullptr;
    const float z = static_cast<float>(lerp([](const Vertex& a) { return double(a.sz); }));
    if (d.depth) {
      depthCell = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(d.depth->depth) +
                                              static_cast<intptr_t>(y) * d.depth->pitch) +
                  x;
      if (!depthPasses(s.depthCompare, z, depthAsFloat(*depthCell))) return;
    }

    Argb out = diffuse;
    if (d.texture) {
      out = {combineAlpha(s.alphaOp, texel.a, diffuse.a), combine(s.colorOp, texel.r, diffuse.r),
             combine(s.colorOp, texel.g, diffuse.g), combine(s.colorOp, texel.b, diffuse.b)};
    }

    uint8_t* row = static_cast<uint8_t*>(d.color.pixels) + static_cast<intptr_t>(y) * d.color.pitch;
    const bool is565 = d.color.format == ColorFormat::RGB565;
    if (s.blendEnable) {
      Argb dst;
      if (is565) {
        uint16_t p;
        std::memcpy(&p, row + 2 * x, 2);
        dst = unpack565(p);
      } else {
        uint32_t p;
        std::memcpy(&p, row + 4 * x, 4);
        dst = unpackArgb(p);
      }
      const uint32_t fs = blendFactor(s.srcBlend, out.a), fd = blendFactor(s.dstBlend, out.a);
      out.r = blendChannel(out.r, fs, dst.r, fd);
      out.g = blendChannel(out.g, fs, dst.g, fd);
      out.b = blendChannel(out.b, fs, dst.b, fd);
    }
    if (is565) {
      const uint16_t p = pack565(out.r, out.g, out.b, s.dither, x, y);
      std::memcpy(row + 2 * x, &p, 2);
    } else {
      const uint32_t p = 0xFF000000u | (out.r << 16) | (out.g << 8) | out.b;
      std::memcpy(row + 4 * x, &p, 4);
    }
    if (depthCell && s.depthWrite) *depthCell = depthBits(z);
  }
};

}  // namespace

std::unique_ptr<Rasterizer> makeReference() { return std::make_unique<ReferenceRasterizer>(); }

}  // namespace kv::raster
