#include "platform/host/host.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace kv::host {

static Host* currentHost = nullptr;

Host& current() {
  if (currentHost == nullptr) {
    std::fputs("kvKIT: no host is set up (the launcher or the test must choose one)\n", stderr);
    std::abort();
  }
  return *currentHost;
}

void setCurrent(Host* host) { currentHost = host; }

void Host::sleep(uint32_t milliseconds) {
  timespec ts{static_cast<time_t>(milliseconds / 1000),
              static_cast<long>(milliseconds % 1000) * 1000000};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

uint64_t monotonicNow() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 65536 +
         static_cast<uint64_t>(ts.tv_nsec) * 65536 / 1000000000;
}

}  // namespace kv::host
