// The window model's inside, shared by the files of platform/win that implement
// windows, messages, controls and dialogs. Not for the kit.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/host/host.h"
#include "platform/win/winuser.h"

namespace kv::win {

// State a built-in control keeps beside its window (combo-box items, ...).
struct ControlData {
  virtual ~ControlData() = default;
};

struct Window {
  uintptr_t handle = 0;
  std::string className;  // as registered (kit bytes)
  WNDPROC proc = nullptr;
  HCURSOR classCursor = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND parent = nullptr;  // parent of a child, owner of a top-level window
  HINSTANCE instance = nullptr;
  int id = 0;  // control id of a child
  // Outer rectangle: screen coordinates for a top-level window, the parent's
  // client coordinates for a child.
  RECT outer{};
  std::string text;  // kit bytes
  LONG_PTR userData = 0;
  bool visible = false;
  bool shownOnce = false;
  bool needsPaint = false;
  bool destroying = false;
  bool hostManaged = false;  // the host was told about it (top-level, not a dialog)
  std::unique_ptr<ControlData> control;

  HWND hwnd() const { return reinterpret_cast<HWND>(handle); }
  bool isChild() const { return (style & WS_CHILD) != 0; }
};

// The windows of the process, in creation order of their handles.
std::map<uintptr_t, std::unique_ptr<Window>>& windows();
Window* findWindow(HWND window);

// The frame this model draws around a client area for a window style.
struct FrameMetrics {
  LONG left, top, right, bottom;
};
FrameMetrics frameMetrics(DWORD style, bool menu);
RECT clientRectOnScreen(const Window& window);
host::WindowPlacement placementOf(const Window& window);

// Registers the built-in control classes (BUTTON, STATIC, COMBOBOX, the dialog
// class) on first use.
void registerSystemClasses();
void registerSystemClass(const char* name, WNDPROC proc);

// Dialog windows run their dialog procedure through this; see dialog.cpp.
LRESULT dialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline constexpr const char* kDialogClass = "#32770";

// The thread's message queue.
void clearMessageQueue();
// The window needs painting: WM_PAINT comes when the queue is otherwise empty.
void invalidate(Window& window);

// Whether the program is the active one (WM_ACTIVATEAPP has said so).
bool applicationActive();
void setApplicationActive(bool active, bool post);

}  // namespace kv::win
