// Draws fans and clears chosen by the input on either software device (the
// fast one on one thread or on three, each thread drawing its own rows), into targets
// and textures allocated to their exact size, so that the sanitizer sees any
// read or write outside them: spans are shaded in blocks of eight pixels and
// texel pairs are read as one word, and neither may leave its row or its thread's rows.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

#include "platform/host/headless/headless.h"
#include "platform/raster/raster.h"
#include "platform/win/debug_channel.h"

namespace {

using namespace kv::raster;

struct Devices {
  std::unique_ptr<Rasterizer> reference = makeReference(), fast = makeFast(1),
                              threaded = makeFast(3);
};

Devices& devices() {
  static Devices* d = [] {
    kv::headless::install();
    kv::win::setDebugEcho(false);  // refused descriptions are logged: expected here
    return new Devices;
  }();
  return *d;
}

// Mostly on or near the target, now and then anything a float can hold.
float coordinate(FuzzedDataProvider& in, int size) {
  if (in.ConsumeIntegralInRange(0, 15) == 0) return in.ConsumeFloatingPoint<float>();
  return in.ConsumeFloatingPointInRange<float>(-0.5f * size, 1.5f * size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int device = in.ConsumeIntegralInRange(0, 2);
  Rasterizer& r = device == 0   ? *devices().reference
                  : device == 1 ? *devices().fast
                                : *devices().threaded;

  // Up to three tiles across and down.
  const int width = in.ConsumeIntegralInRange(1, 150), height = in.ConsumeIntegralInRange(1, 80);
  const ColorFormat format = in.ConsumeBool() ? ColorFormat::RGB565 : ColorFormat::XRGB8888;
  const int bpp = format == ColorFormat::RGB565 ? 2 : 4;
  std::vector<uint8_t> color(size_t(width) * height * bpp);
  std::vector<uint32_t> depth(size_t(width) * height);
  const ColorTarget colorTarget{color.data(), width * bpp, width, height, format};
  const DepthTarget depthTarget{depth.data(), width * 4, width, height};

  const auto texFormat = static_cast<TextureFormat>(in.ConsumeIntegralInRange(0, 3));
  const int texelBytes = texFormat == TextureFormat::Palette8 ? 1 : 2;
  const int tw = 1 << in.ConsumeIntegralInRange(0, 6), th = 1 << in.ConsumeIntegralInRange(0, 6);
  const int pitch =
      (tw + in.ConsumeIntegralInRange(0, 3)) * texelBytes;  // not always a power of two
  std::vector<uint8_t> texels(size_t(pitch) * (th - 1) + size_t(tw) * texelBytes);
  for (uint8_t& t : texels) t = in.ConsumeIntegral<uint8_t>();
  std::vector<uint32_t> palette(256);
  for (uint32_t i = 0; i < 256; ++i) palette[i] = i * 0x01030507u;
  const Texture texture{texels.data(), pitch, tw, th, texFormat, palette.data()};

  while (in.remaining_bytes() > 0) {
    if (in.ConsumeIntegralInRange(0, 7) == 0) {
      const Rect rect{in.ConsumeIntegralInRange(-50, 50), in.ConsumeIntegralInRange(-50, 50),
                      in.ConsumeIntegralInRange(-50, 50), in.ConsumeIntegralInRange(-50, 50)};
      r.clear(&colorTarget, in.ConsumeIntegral<uint32_t>(), &depthTarget,
              in.ConsumeFloatingPoint<float>(), rect);
      continue;
    }
    State s;
    s.texture = in.ConsumeBool() ? &texture : nullptr;
    s.colorOp = static_cast<ColorOp>(in.ConsumeIntegralInRange(0, 2));
    s.alphaOp = static_cast<AlphaOp>(in.ConsumeIntegralInRange(0, 2));
    s.perspective = in.ConsumeBool();
    s.filter = in.ConsumeBool() ? Filter::Bilinear : Filter::Nearest;
    s.colorKeyEnable = in.ConsumeBool();
    s.colorKey = in.ConsumeIntegral<uint16_t>();
    s.blendEnable = in.ConsumeBool();
    s.srcBlend = static_cast<BlendFactor>(in.ConsumeIntegralInRange(0, 3));
    s.dstBlend = static_cast<BlendFactor>(in.ConsumeIntegralInRange(0, 3));
    s.depthEnable = in.ConsumeBool();
    s.depthWrite = in.ConsumeBool();
    s.depthCompare = static_cast<DepthCompare>(in.ConsumeIntegralInRange(0, 4));
    s.dither = in.ConsumeBool();
    s.shadeMode = in.ConsumeBool() ? ShadeMode::Flat : ShadeMode::Gouraud;
    Vertex fan[8];
    const int count = in.ConsumeIntegralInRange(3, 8);
    for (Vertex& v : fan) {
      v = {coordinate(in, width),
           coordinate(in, height),
           in.ConsumeFloatingPoint<float>(),
           in.ConsumeFloatingPoint<float>(),
           in.ConsumeIntegral<uint32_t>(),
           in.ConsumeFloatingPoint<float>(),
           in.ConsumeFloatingPoint<float>()};
    }
    r.drawFan(colorTarget, in.ConsumeBool() ? &depthTarget : nullptr, s, fan, count);
  }
  r.finish();  // the pending fans use this input's buffers
  return 0;
}
