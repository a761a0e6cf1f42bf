// Any bytes through the BMP decoder, in both row orders, into a buffer of the
// picture's exact size (so the sanitizers see any write past it).
#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "kvImage/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::image::BmpLayout layout;
  kv::image::Outcome outcome;
  const size_t head = std::min(size, kv::image::BMP_HEAD_BYTES);
  if (kv::image::bmpInspect(data, head, size, &layout, &outcome) != kv::image::Status::Ok) return 0;
  std::vector<uint8_t> pixels(layout.pixelBytes);
  ImageDesc desc;
  kv::image::MemoryBytes file(data, size);
  for (auto rows : {kv::image::Rows::TopFirst, kv::image::Rows::FileOrder})
    if (kv::image::bmpDecode(data, file, layout, rows, &desc, pixels.data()) !=
        kv::image::Status::Ok)
      std::abort();  // the inspection promised every row
  return 0;
}
