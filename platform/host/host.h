// The host back end: what the platform's stand-ins ask of the machine. One host
// is current per process (a real window over SDL, or headless); the stand-ins in
// platform/win, platform/ddraw and platform/d3d reach the machine only through it.
#pragma once

#include <cstdint>
#include <string_view>

namespace kv::host {

class Host {
 public:
  virtual ~Host() = default;

  // Host time in units of 1/65536 s: two units are one period of the PC refresh
  // toggle, so tick counts and port reads come from one clock.
  virtual uint64_t now() = 0;
  // Called on each read of the toggle port; the virtual clock advances here.
  virtual void onPortRead() {}
  // True while the key with this virtual-key code is down.
  virtual bool keyDown(int virtualKey) = 0;
  // One text of the kit's debugger channel, already UTF-8.
  virtual void debugOutput(std::string_view utf8) = 0;
};

// The machine's monotonic clock in host units (1/65536 s), for real-time hosts.
uint64_t monotonicNow();

// The current host; set once by the launcher (or a test) before the kit runs.
Host& current();
void setCurrent(Host* host);

}  // namespace kv::host
