// Any bytes through the PCX decoder into a buffer of the picture's exact size.
#include <vector>

#include "kvImage/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::image::PcxLayout layout;
  kv::image::Outcome outcome;
  if (kv::image::pcxInspect(data, size, &layout, &outcome) != kv::image::Status::Ok) return 0;
  std::vector<uint8_t> pixels(layout.pixelBytes);
  ImageDesc desc;
  kv::image::pcxDecode(data, size, layout, &desc, pixels.data());
  return 0;
}
