#include "fuzz/f3d_common/loader_fuzz.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kvSys/Memory.h"
#include "platform/host/headless/headless.h"
#include "platform/win/debug_channel.h"

namespace kvfuzz {

namespace {
volatile float sink;
}

const char* writeInput(const uint8_t* data, size_t size, const char* extension) {
  static std::string path;
  if (path.empty()) {
    kv::headless::install();
    kv::win::setDebugEcho(false);
    kvSetSystemMemory(16 * 1024);
    const char* dir = std::getenv("TMPDIR");
    path = std::string(dir != nullptr ? dir : "/tmp") + "/kvfuzz-" + std::to_string(getpid()) +
           "." + extension;
  }
  kv::headless::clearDebugCapture();
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  return path.c_str();
}

void expectPoolWhole() {
  int32_t header;
  std::memcpy(&header, kvPoolBase, sizeof header);
  if (header != kvPoolSize * 2) {
    std::fprintf(stderr, "pool not whole after the load: a leak\n");
    std::abort();
  }
}

void keep(float value) { sink = value; }

}  // namespace kvfuzz
