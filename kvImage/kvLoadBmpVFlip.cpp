// Windows bitmaps into Surfaces with their rows in file order (bottom row first
// for an ordinary bitmap), as object textures expect them.
#include "kvImage/load.h"

Surface* kvLoadBmpVFlip(const char* path) {
  return kv::image::loadBmp(path, kv::image::Rows::FileOrder,
                            {.name = "kvLoadBmpVFlip", .file = __FILE__, .line = __LINE__});
}

int16_t kvLoadBmpVFlipEx(const char* path, Surface** out) {
  return kv::image::handBack(kvLoadBmpVFlip(path), out);
}
