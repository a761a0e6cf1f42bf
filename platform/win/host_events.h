// What a host reports to the window model; each report becomes the window
// messages Win32 would deliver for it. Windows are named by their HWND value.
#pragma once

#include <cstdint>

namespace kv::win {

// The program gained or lost the focus: WM_ACTIVATEAPP to every top-level window.
void hostActivate(bool active);
// The user asked to close the window: WM_CLOSE.
void hostClose(uintptr_t window);
// The window's client area now starts at this screen position: WM_MOVE.
void hostMoved(uintptr_t window, int clientX, int clientY);
// Part of the window must be drawn again: WM_PAINT once the queue is empty.
void hostExposed(uintptr_t window);
// The mouse moved over the client area: WM_SETCURSOR, sent at once.
void hostMouseMoved(uintptr_t window);

// True while the program has a top-level window.
bool anyTopLevelWindow();

// Forgets every window, class and queued message (tests start from nothing).
void resetWindowsForTests();

}  // namespace kv::win
