// Feeds arbitrary bytes to the kvKIT.vid reader on the headless machine's
// enumerated drivers; every input starts from the default choice.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "kvKIT.h"
#include "platform/host/headless/headless.h"
#include "platform/win/debug_channel.h"

namespace {

// The reader works in the current folder; inputs get a folder of their own so
// that the corpus paths libFuzzer reads stay valid between inputs.
int fuzzFolder = -1;
int startFolder = -1;

bool setUp() {
  kv::headless::install();
  kv::win::setDebugEcho(false);
  char folder[] = "/tmp/kv_vid_fuzz_XXXXXX";
  if (mkdtemp(folder) == nullptr) std::abort();
  fuzzFolder = open(folder, O_RDONLY | O_DIRECTORY);
  startFolder = open(".", O_RDONLY | O_DIRECTORY);
  if (fuzzFolder < 0 || startFolder < 0) std::abort();
  if (kvEnumerateDrivers(nullptr) < 0) std::abort();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = setUp();
  (void)ready;
  if (fchdir(fuzzFolder) != 0) std::abort();
  FILE* file = std::fopen("kvKIT.vid", "wb");
  if (file == nullptr) std::abort();
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);

  kvLoadVideoConfig();
  DriverInfo* driver = nullptr;
  DeviceInfo* device = nullptr;
  // Whatever the file held, the choice is one of the enumerated records.
  if (kvGetSelectedDriver(&driver, &device) != 0 || device == nullptr ||
      device->currentMode == nullptr)
    std::abort();
  kvSelectDefaultDriver(0);
  if (fchdir(startFolder) != 0) std::abort();
  return 0;
}
