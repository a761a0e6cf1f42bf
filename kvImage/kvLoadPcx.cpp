// 8-bit PCX files into 8-bit Surfaces.
#include "kvImage/load.h"

Surface* kvLoadPcx(const char* path) {
  return kv::image::loadPcx(path, {.name = "kvLoadPcx", .file = __FILE__, .line = __LINE__});
}

int16_t kvLoadPcxEx(const char* path, Surface** out) {
  return kv::image::handBack(kvLoadPcx(path), out);
}
