// Windows bitmaps into Surfaces, top row first (the picture as seen).
#include "kvImage/load.h"

Surface* kvLoadBmp(const char* path) {
  return kv::image::loadBmp(
      path, kv::image::Rows::TopFirst,
      {.name = "kvLoadBmp", .file = __FILE__, .line = __LINE__, .pixelMemoryWithSize = true});
}

int16_t kvLoadBmpEx(const char* path, Surface** out) {
  return kv::image::handBack(kvLoadBmp(path), out);
}
