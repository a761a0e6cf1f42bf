// GIF files of the kit's fixed layout into 8-bit Surfaces. A missing file is
// the caller's to report.
#include "kvImage/load.h"

Surface* kvLoadGif(const char* path) {
  return kv::image::loadGif(
      path, {.name = "kvLoadGif", .file = __FILE__, .line = __LINE__, .silentIfMissing = true});
}

int16_t kvLoadGifEx(const char* path, Surface** out) {
  return kv::image::handBack(kvLoadGif(path), out);
}
