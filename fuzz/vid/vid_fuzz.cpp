// Feeds arbitrary bytes to the kvKIT.vid reader on the headless machine's
// enumerated drivers; every input starts from the default choice. The input is
// served from memory as kvKIT.vid, so nothing is written anywhere.
#include <cstdint>
#include <cstdlib>

#include "kvKIT.h"
#include "platform/host/headless/headless.h"
#include "platform/win/debug_channel.h"
#include "platform/win/files_testing.h"

namespace {

bool setUp() {
  kv::headless::install();
  kv::win::setDebugEcho(false);
  return kvEnumerateDrivers(nullptr) >= 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = setUp();
  if (!ready) std::abort();
  kv::headless::clearDebugCapture();
  kv::win::serveFileFromMemory("kvKIT.vid", data, size);
  kvLoadVideoConfig();
  DriverInfo* driver = nullptr;
  DeviceInfo* device = nullptr;
  // Whatever the file held, the choice is one of the enumerated records.
  if (kvGetSelectedDriver(&driver, &device) != 0 || device == nullptr ||
      device->currentMode == nullptr)
    std::abort();
  kvSelectDefaultDriver(0);
  return 0;
}
