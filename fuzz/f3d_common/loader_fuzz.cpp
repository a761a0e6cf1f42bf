#include "fuzz/f3d_common/loader_fuzz.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kvSys/Memory.h"
#include "platform/host/headless/headless.h"
#include "platform/win/debug_channel.h"
#include "platform/win/files_testing.h"

namespace kvfuzz {

namespace {
volatile float sink;
}

const char* serveInput(const uint8_t* data, size_t size, const char* name) {
  static const bool ready = [] {
    kv::headless::install();
    kv::win::setDebugEcho(false);
    return kvSetSystemMemory(16 * 1024) == 1;
  }();
  if (!ready) std::abort();
  kv::headless::clearDebugCapture();
  kv::win::serveFileFromMemory(name, data, size);
  return name;
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
