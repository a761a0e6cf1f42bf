// The render window's process-wide state, for the device layer and tests.
#pragma once

#include <cstdint>

#include "platform/win/win32.h"

// 1 from a successful kvSetScreenMode until the pump dispatches the quit message.
extern int16_t kvWindowLive;
// 1 while the application is the active one.
extern int16_t kvWindowActive;
// Copies of the current device's windowed flag and driver's isPrimary flag.
extern int16_t kvWindowed;
extern int16_t kvPrimary;
// The window's outer rectangle in screen coordinates, kept up to date by moves.
extern RECT kvWindowRect;
