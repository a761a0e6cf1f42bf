#include "platform/host/sdl/key_latch.h"

namespace kv::sdl {

namespace {
bool valid(int code) { return code > 0 && code < KeyLatch::kCodes; }
}  // namespace

void KeyLatch::pressed(int code) {
  if (!valid(code)) return;
  latched_[code] = true;
  withheld_[code] = false;
}

void KeyLatch::released(int code) {
  if (valid(code)) withheld_[code] = false;
}

void KeyLatch::modalEnded(const uint8_t* state) {
  latched_.fill(false);
  for (int code = 1; code < kCodes; ++code) withheld_[code] = state != nullptr && state[code] != 0;
}

bool KeyLatch::read(const uint8_t* state, int code) {
  if (!valid(code) || withheld_[code]) return false;
  const bool down = (state != nullptr && state[code] != 0) || latched_[code];
  latched_[code] = false;
  return down;
}

}  // namespace kv::sdl
