// The render window's process-wide state, for the device layer and tests.
#pragma once

#include <cstdint>

#include "platform/win/win32.h"

struct RenderWindowState {
  // 1 from a successful kvSetScreenMode until the pump dispatches the quit message.
  int16_t live = 0;
  // 1 while the application is the active one.
  int16_t active = 0;
  // Copies of the current device's windowed flag and driver's isPrimary flag.
  int16_t windowed = 0;
  int16_t primary = 1;
  // The window's outer rectangle in screen coordinates, kept up to date by moves.
  RECT rect = {0, 0, 0, 0};
};
extern RenderWindowState kvWindow;

// Back to how the process starts: this record and the screen size.
void kvResetScreenState();
