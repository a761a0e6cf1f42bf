// A test hook of the file layer: one file name served from memory, so that
// fuzzers and tests feed the kit's readers through their real path (OpenFileA
// and the standard streams) without a file on disk per input.
#pragma once

#include <cstddef>

namespace kv::win {

// Until stopServingFile, opening `name` (in kit bytes, exactly as the kit asks)
// for reading reads these bytes. The caller keeps them alive meanwhile.
void serveFileFromMemory(const char* name, const void* data, size_t size);
void stopServingFile();

}  // namespace kv::win
