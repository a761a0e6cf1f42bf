// Any bytes through the BMP decoder, in both row orders, into a buffer of the
// picture's exact size (so the sanitizers see any write past it).
#include <vector>

#include "kvImage/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::image::BmpLayout layout;
  kv::image::Outcome outcome;
  if (kv::image::bmpInspect(data, size, &layout, &outcome) != kv::image::Status::Ok) return 0;
  std::vector<uint8_t> pixels(layout.pixelBytes);
  ImageDesc desc;
  kv::image::bmpDecode(data, layout, kv::image::Rows::TopFirst, &desc, pixels.data());
  kv::image::bmpDecode(data, layout, kv::image::Rows::FileOrder, &desc, pixels.data());
  return 0;
}
