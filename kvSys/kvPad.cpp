// Game-pad style input read from the keyboard's asynchronous key state.
#include "kvKIT.h"
#include "kvSys/kvState.h"

namespace {

// Entries 1-19 of the key table, in their designed order (index 0 unused).
enum Entry {
  kPad1Up = 1,
  kPad1Left,
  kPad1Right,
  kPad1Down,
  kPad1Button1,
  kPad1Button2,
  kPad1Button3,
  kPad1Button4,
  kPad1Button5,
  kPad2Up,
  kPad2Left,
  kPad2Right,
  kPad2Down,
  kPad2Button1,
  kPad2Button2,
  kPad2Button3,
  kPad2Button4,
  kPad2Button5,
  kCountKey,
};

// The keys each entry reads and the counted key's release count.
struct PadState {
  uint16_t keyTable[kCountKey + 1] = {
      0,    0x26, 0x25, 0x27, 0x28,  // pad 1: arrows
      0x65, 0x66, 0x62, 0x63, 0x64,  // pad 1: keypad 5, 6, 2, 3, 4
      0x45, 0x53, 0x46, 0x44,        // pad 2: E, S, F, D
      0x55, 0x49, 0x4A, 0x4B, 0x59,  // pad 2: U, I, J, K, Y
      0x70,                          // counted key: F1
  };
  int32_t releaseCount = 0;
  int32_t previousSample = 0;
};
PadState pad;

bool held(uint16_t virtualKey) { return (GetAsyncKeyState(virtualKey) >> 8) != 0; }

int firstDirection(uint16_t selector) { return selector != 0 ? kPad1Up : kPad2Up; }
int firstButton(uint16_t selector) { return selector != 0 ? kPad1Button1 : kPad2Button1; }

}  // namespace

void kvSetPadKeys(uint16_t selector, uint16_t up, uint16_t left, uint16_t right, uint16_t down) {
  uint16_t* entry = &pad.keyTable[firstDirection(selector)];
  entry[0] = up;
  entry[1] = left;
  entry[2] = right;
  entry[3] = down;
}

void kvSetPadButtons(uint16_t selector, uint16_t button1, uint16_t button2, uint16_t button3,
                     uint16_t button4, uint16_t button5) {
  uint16_t* entry = &pad.keyTable[firstButton(selector)];
  entry[0] = button1;
  entry[1] = button2;
  entry[2] = button3;
  entry[3] = button4;
  entry[4] = button5;
}

uint8_t kvGetPadDirection(uint16_t selector) {
  const uint16_t* entry = &pad.keyTable[firstDirection(selector)];
  uint8_t bits = 0;
  if (held(entry[1])) bits |= KV_PAD_LEFT;
  if (held(entry[2])) bits |= KV_PAD_RIGHT;
  if (held(entry[0])) bits |= KV_PAD_UP;
  if (held(entry[3])) bits |= KV_PAD_DOWN;
  return bits;
}

uint8_t kvGetPadButtons(uint16_t selector) {
  static constexpr uint8_t kButtonBits[5] = {KV_PAD_BUTTON1, KV_PAD_BUTTON2, KV_PAD_BUTTON3,
                                             KV_PAD_BUTTON4, KV_PAD_BUTTON5};
  const uint16_t* entry = &pad.keyTable[firstButton(selector)];
  uint8_t bits = 0;
  for (int i = 0; i < 5; ++i)
    if (held(entry[i])) bits |= kButtonBits[i];
  return bits;
}

int16_t kvKeyEscape() { return static_cast<int16_t>((GetAsyncKeyState(VK_ESCAPE) >> 8) & 0xFF); }

int16_t kvKeyF2() { return static_cast<int16_t>((GetAsyncKeyState(VK_F2) >> 8) & 0xFF); }

void kvSetCountKey(uint16_t virtualKey) { pad.keyTable[kCountKey] = virtualKey; }

int16_t kvPollCountKey() {
  const SHORT state = GetAsyncKeyState(pad.keyTable[kCountKey]);
  const int32_t sample = (state >> 8) != 0 ? 1 : 0;
  if (pad.previousSample == 1 && sample == 0) ++pad.releaseCount;
  pad.previousSample = sample;
  return static_cast<int16_t>((state >> 8) & 0xFF);
}

int32_t kvIncCount() { return ++pad.releaseCount; }
int32_t kvDecCount() { return --pad.releaseCount; }
int32_t kvGetCount() { return pad.releaseCount; }

void kvResetPadState() { pad = {}; }
