// The loaders' common path: read the file (a bitmap row by row into its pixel
// buffer; GIF and PCX whole into a pool block, as designed), let the format
// inspect and decode it into a pooled pixel buffer, hand the picture to
// kvCreateSurface and free the blocks. A refusal is logged as one line that
// names the entry point and is tagged with its module, so the log shows the
// function the caller used.
#pragma once

#include "kvImage/decode.h"

namespace kv::image {

// An entry point as its messages show it.
struct Caller {
  const char* name;  // starts every message: "kvLoadBmp"
  const char* file;  // with `line`, tags every line: the module's __FILE__, __LINE__
  int32_t line;
  bool silentIfMissing = false;      // kvLoadGif leaves a missing file to its caller
  bool pixelMemoryWithSize = false;  // kvLoadBmp names an 8-bit picture's size
};

// Each returns the new Surface, or none once it has logged why.
Surface* loadBmp(const char* path, Rows rows, const Caller& caller);
Surface* loadGif(const char* path, const Caller& caller);
Surface* loadPcx(const char* path, const Caller& caller);

// The Ex calling form: the Surface through `out`, and 1 for one, 0 for none.
inline int16_t handBack(Surface* surface, Surface** out) {
  *out = surface;
  return surface != nullptr ? 1 : 0;
}

}  // namespace kv::image
