// What the SDL host reports for a key beyond its level: a press too short for
// a once-a-turn reader is kept until read, and a key still down when a modal
// dialog or message box ends is not reported until it has been let go.
#pragma once

#include <array>
#include <cstdint>

namespace kv::sdl {

class KeyLatch {
 public:
  static constexpr int kCodes = 512;  // SDL's scancodes

  // A key went down (not an auto-repeat) or came up, as the events say.
  void pressed(int code);
  void released(int code);
  // A modal dialog or message box has ended; state is the keyboard's levels now.
  // Keys used in it are forgotten, and those still down stay unreported until
  // released: the Escape or Enter that ended it must not reach the program.
  void modalEnded(const uint8_t* state);
  // Whether the key counts as down for a read now: down now, or pressed since
  // the last read that reported it. A read that reports it uses up the press.
  bool read(const uint8_t* state, int code);

 private:
  std::array<bool, kCodes> latched_{};
  std::array<bool, kCodes> withheld_{};
};

}  // namespace kv::sdl
