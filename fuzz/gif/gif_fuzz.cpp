// Any bytes through the GIF decoder into a buffer of the picture's exact size.
// The header alone may ask for 4 GiB of pixels (the loader's pool refuses such
// sizes), so pictures over 1 MiB (sixteen times the largest surface) are left out here.
#include <memory>
#include <vector>

#include "kvImage/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto tables = std::make_unique<kv::image::GifTables>();
  kv::image::GifLayout layout;
  kv::image::Outcome outcome;
  if (kv::image::gifInspect(data, size, &layout, &outcome) != kv::image::Status::Ok) return 0;
  if (layout.pixelBytes > (1u << 20)) return 0;
  std::vector<uint8_t> pixels(layout.pixelBytes);
  ImageDesc desc;
  kv::image::gifDecode(data, size, layout, *tables, &desc, pixels.data());
  return 0;
}
