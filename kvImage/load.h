// The loaders' common path: read the whole file into a pool block, decode it
// into a pooled pixel buffer, hand the picture to kvCreateSurface and free both
// blocks. Each loader module turns a failed Outcome into its own messages, so
// the log names the module the caller used.
#pragma once

#include "kvImage/decode.h"

namespace kv::image {

Surface* loadBmp(const char* path, Rows rows, Outcome* outcome);
Surface* loadGif(const char* path, Outcome* outcome);
Surface* loadPcx(const char* path, Outcome* outcome);

}  // namespace kv::image
