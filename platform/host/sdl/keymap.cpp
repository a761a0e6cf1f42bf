#include "platform/host/sdl/keymap.h"

namespace kv::sdl {

SDL_Scancode scancodeFor(int vk) {
  if (vk >= 'A' && vk <= 'Z') return static_cast<SDL_Scancode>(SDL_SCANCODE_A + (vk - 'A'));
  if (vk >= '1' && vk <= '9') return static_cast<SDL_Scancode>(SDL_SCANCODE_1 + (vk - '1'));
  if (vk == '0') return SDL_SCANCODE_0;
  if (vk >= 0x61 && vk <= 0x69) return static_cast<SDL_Scancode>(SDL_SCANCODE_KP_1 + (vk - 0x61));
  if (vk == 0x60) return SDL_SCANCODE_KP_0;
  if (vk >= 0x70 && vk <= 0x7B) return static_cast<SDL_Scancode>(SDL_SCANCODE_F1 + (vk - 0x70));
  switch (vk) {
    case 0x08:
      return SDL_SCANCODE_BACKSPACE;
    case 0x09:
      return SDL_SCANCODE_TAB;
    case 0x0D:
      return SDL_SCANCODE_RETURN;
    case 0x13:
      return SDL_SCANCODE_PAUSE;
    case 0x1B:
      return SDL_SCANCODE_ESCAPE;
    case 0x20:
      return SDL_SCANCODE_SPACE;
    case 0x21:
      return SDL_SCANCODE_PAGEUP;
    case 0x22:
      return SDL_SCANCODE_PAGEDOWN;
    case 0x23:
      return SDL_SCANCODE_END;
    case 0x24:
      return SDL_SCANCODE_HOME;
    case 0x25:
      return SDL_SCANCODE_LEFT;
    case 0x26:
      return SDL_SCANCODE_UP;
    case 0x27:
      return SDL_SCANCODE_RIGHT;
    case 0x28:
      return SDL_SCANCODE_DOWN;
    case 0x2D:
      return SDL_SCANCODE_INSERT;
    case 0x2E:
      return SDL_SCANCODE_DELETE;
    case 0x6A:
      return SDL_SCANCODE_KP_MULTIPLY;
    case 0x6B:
      return SDL_SCANCODE_KP_PLUS;
    case 0x6D:
      return SDL_SCANCODE_KP_MINUS;
    case 0x6E:
      return SDL_SCANCODE_KP_PERIOD;
    case 0x6F:
      return SDL_SCANCODE_KP_DIVIDE;
    case 0xA0:
      return SDL_SCANCODE_LSHIFT;
    case 0xA1:
      return SDL_SCANCODE_RSHIFT;
    case 0xA2:
      return SDL_SCANCODE_LCTRL;
    case 0xA3:
      return SDL_SCANCODE_RCTRL;
    case 0xA4:
      return SDL_SCANCODE_LALT;
    case 0xA5:
      return SDL_SCANCODE_RALT;
    default:
      return SDL_SCANCODE_UNKNOWN;
  }
}

int scancodesFor(int vk, SDL_Scancode codes[2]) {
  switch (vk) {
    case 0x10:
      codes[0] = SDL_SCANCODE_LSHIFT, codes[1] = SDL_SCANCODE_RSHIFT;
      return 2;
    case 0x11:
      codes[0] = SDL_SCANCODE_LCTRL, codes[1] = SDL_SCANCODE_RCTRL;
      return 2;
    case 0x12:
      codes[0] = SDL_SCANCODE_LALT, codes[1] = SDL_SCANCODE_RALT;
      return 2;
    default:
      codes[0] = scancodeFor(vk);
      return codes[0] == SDL_SCANCODE_UNKNOWN ? 0 : 1;
  }
}

}  // namespace kv::sdl
