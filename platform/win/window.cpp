// Window classes and windows: creation, placement, visibility, destruction and
// the default window procedure. The host is told about top-level windows only;
// controls and dialogs live in the model.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/win/codepage.h"
#include "platform/win/host_events.h"
#include "platform/win/window_model.h"

namespace kv::win {

namespace {

struct WindowClass {
  std::string name;
  WNDPROC proc = nullptr;
  UINT style = 0;
  HINSTANCE instance = nullptr;
  HCURSOR cursor = nullptr;
  bool system = false;
};

// The frame this model draws: a one-pixel border with a caption bar, four
// pixels of sizing border, a menu bar. The SDL host keeps its own decorations;
// these only have to be consistent between AdjustWindowRectEx and the windows.
constexpr LONG kCaptionHeight = 22;
constexpr LONG kBorder = 1;
constexpr LONG kSizingBorder = 4;
constexpr LONG kMenuHeight = 20;
// Where CW_USEDEFAULT puts a window.
constexpr LONG kDefaultPosition = 32;
// Handles are never reused within a run, so a stale one is refused.
constexpr uintptr_t kFirstHandle = 0x10010;
constexpr uintptr_t kHandleStep = 0x10;

struct Registry {
  std::vector<WindowClass> classes;
  std::map<uintptr_t, std::unique_ptr<Window>> windows;
  uintptr_t nextHandle = kFirstHandle;
  bool applicationActive = false;
  HCURSOR cursor = nullptr;
  int cursorCount = 0;  // ShowCursor's display counter
  bool cursorShown = true;
};

Registry& registry() {
  static Registry instance;
  return instance;
}

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

WindowClass* findClass(std::string_view name) {
  for (WindowClass& c : registry().classes)
    if (sameName(c.name, name)) return &c;
  return nullptr;
}

// Tokens for the one cursor and the stock objects: handles that are not null.
HCURSOR arrowCursor() { return reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x7F00)); }

void updateCursorVisibility() {
  Registry& r = registry();
  const bool shown = r.cursor != nullptr && r.cursorCount >= 0;
  if (shown == r.cursorShown) return;
  r.cursorShown = shown;
  kv::host::current().setCursorVisible(shown);
}

LONG width(const RECT& r) { return r.right - r.left; }
LONG height(const RECT& r) { return r.bottom - r.top; }

LPARAM pointParam(LONG x, LONG y) {
  return MAKELPARAM(static_cast<WORD>(static_cast<int16_t>(x)),
                    static_cast<WORD>(static_cast<int16_t>(y)));
}

// Win32 asks the window for its size limits before it takes a new size.
MINMAXINFO askMinMax(Window& window) {
  MINMAXINFO info{};
  info.ptMaxSize = {width(window.outer), height(window.outer)};
  info.ptMaxPosition = {window.outer.left, window.outer.top};
  info.ptMinTrackSize = {0, 0};
  info.ptMaxTrackSize = {0x7FFF, 0x7FFF};
  if (!window.isChild())
    SendMessageA(window.hwnd(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  return info;
}

void tellHostPlaced(Window& window) {
  if (window.hostManaged && window.visible)
    kv::host::current().windowPlaced(window.handle, placementOf(window));
}

void sendSizeAndMove(Window& window) {
  const HWND hwnd = window.hwnd();
  RECT client{};
  GetClientRect(hwnd, &client);
  SendMessageA(hwnd, WM_SIZE, 0,
               MAKELPARAM(static_cast<WORD>(client.right), static_cast<WORD>(client.bottom)));
  POINT origin{0, 0};
  if (window.isChild()) {
    const FrameMetrics f = frameMetrics(window.style, false);
    origin = {window.outer.left + f.left, window.outer.top + f.top};
  } else {
    ClientToScreen(hwnd, &origin);
  }
  SendMessageA(hwnd, WM_MOVE, 0, pointParam(origin.x, origin.y));
}

// Win32's rule for a new size: at most the largest, then at least the smallest
// tracking size (the smallest wins when a window gives them crossed).
LONG limitTo(LONG size, LONG smallest, LONG largest) {
  return std::max(std::min(size, largest), smallest);
}

bool isTopLevelShown(const Window& w) { return !w.isChild() && w.visible && !w.destroying; }

}  // namespace

std::map<uintptr_t, std::unique_ptr<Window>>& windows() { return registry().windows; }

Window* findWindow(HWND window) {
  auto& all = registry().windows;
  const auto it = all.find(reinterpret_cast<uintptr_t>(window));
  return it == all.end() ? nullptr : it->second.get();
}

FrameMetrics frameMetrics(DWORD style, bool menu) {
  LONG border = 0;
  if (style & WS_THICKFRAME)
    border = kSizingBorder;
  else if (style & (WS_BORDER | WS_DLGFRAME))
    border = kBorder;
  const LONG caption = (style & WS_CAPTION) == WS_CAPTION ? kCaptionHeight : 0;
  return {border, border + caption + (menu ? kMenuHeight : 0), border, border};
}

RECT clientRectOnScreen(const Window& window) {
  const FrameMetrics f = frameMetrics(window.style, false);
  RECT r{window.outer.left + f.left, window.outer.top + f.top, window.outer.right - f.right,
         window.outer.bottom - f.bottom};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  if (window.isChild()) {
    if (const Window* parent = findWindow(window.parent)) {
      const RECT p = clientRectOnScreen(*parent);
      r = {r.left + p.left, r.top + p.top, r.right + p.left, r.bottom + p.top};
    }
  }
  return r;
}

host::WindowPlacement placementOf(const Window& window) {
  const RECT c = clientRectOnScreen(window);
  return {
      window.outer.left, window.outer.top, window.outer.right, window.outer.bottom, c.left, c.top,
      width(c),          height(c)};
}

void registerSystemClass(const char* name, WNDPROC proc) {
  if (findClass(name) != nullptr) return;
  WindowClass c;
  c.name = name;
  c.proc = proc;
  c.cursor = arrowCursor();
  c.system = true;
  registry().classes.push_back(std::move(c));
}

bool applicationActive() { return registry().applicationActive; }

// Win32 tells every top-level window when the program gains or loses the focus.
void setApplicationActive(bool active, bool post) {
  Registry& r = registry();
  if (r.applicationActive == active) return;
  r.applicationActive = active;
  std::vector<HWND> targets;
  for (auto& [handle, w] : r.windows)
    if (!w->isChild() && !w->destroying) targets.push_back(w->hwnd());
  for (HWND target : targets) {
    if (post)
      PostMessageA(target, WM_ACTIVATEAPP, active ? TRUE : FALSE, 0);
    else
      SendMessageA(target, WM_ACTIVATEAPP, active ? TRUE : FALSE, 0);
  }
}

void hostActivate(bool active) {
  const bool wasActive = applicationActive();
  setApplicationActive(active, true);
  if (!active || wasActive) return;
  // A program counts WM_MOVE only while active (the kit does), so a window moved
  // while the program was in the background would stay out of step with it:
  // each top-level window is told where its client area is now, after the
  // activation. A deliberate addition to Win32's messages.
  for (auto& [handle, w] : registry().windows) {
    if (!isTopLevelShown(*w)) continue;
    const RECT client = clientRectOnScreen(*w);
    PostMessageA(w->hwnd(), WM_MOVE, 0, pointParam(client.left, client.top));
  }
}

void hostClose(uintptr_t window) {
  if (findWindow(reinterpret_cast<HWND>(window)) != nullptr)
    PostMessageA(reinterpret_cast<HWND>(window), WM_CLOSE, 0, 0);
}

void hostMoved(uintptr_t handle, int clientX, int clientY) {
  Window* window = findWindow(reinterpret_cast<HWND>(handle));
  if (window == nullptr || window->isChild()) return;
  const RECT client = clientRectOnScreen(*window);
  const LONG dx = clientX - client.left;
  const LONG dy = clientY - client.top;
  if (dx == 0 && dy == 0) return;
  window->outer = {window->outer.left + dx, window->outer.top + dy, window->outer.right + dx,
                   window->outer.bottom + dy};
  PostMessageA(window->hwnd(), WM_MOVE, 0, pointParam(clientX, clientY));
}

void hostExposed(uintptr_t handle) {
  if (Window* window = findWindow(reinterpret_cast<HWND>(handle))) invalidate(*window);
}

void hostMouseMoved(uintptr_t handle) {
  if (findWindow(reinterpret_cast<HWND>(handle)) != nullptr)
    SendMessageA(reinterpret_cast<HWND>(handle), WM_SETCURSOR, static_cast<WPARAM>(handle),
                 MAKELPARAM(HTCLIENT, static_cast<WORD>(WM_MOUSEMOVE)));
}

bool anyTopLevelWindow() {
  for (auto& [handle, w] : registry().windows)
    if (!w->isChild() && !w->destroying) return true;
  return false;
}

void resetWindowsForTests() {
  Registry& r = registry();
  r.windows.clear();
  r.classes.clear();
  r.nextHandle = kFirstHandle;
  r.applicationActive = false;
  r.cursor = nullptr;
  r.cursorCount = 0;
  r.cursorShown = true;
  clearMessageQueue();
}

}  // namespace kv::win

using kv::win::findWindow;
using kv::win::Window;

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpszClassName == nullptr ||
      windowClass->lpfnWndProc == nullptr || IS_INTRESOURCE(windowClass->lpszClassName))
    return 0;
  kv::win::registerSystemClasses();
  if (kv::win::findClass(windowClass->lpszClassName) != nullptr) return 0;  // already exists
  kv::win::WindowClass c;
  c.name = windowClass->lpszClassName;
  c.proc = windowClass->lpfnWndProc;
  c.style = windowClass->style;
  c.instance = windowClass->hInstance;
  c.cursor = windowClass->hCursor;
  auto& classes = kv::win::registry().classes;
  classes.push_back(std::move(c));
  return static_cast<ATOM>(0xC000 + classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  if (className == nullptr || IS_INTRESOURCE(className)) return FALSE;
  auto& classes = kv::win::registry().classes;
  for (auto it = classes.begin(); it != classes.end(); ++it) {
    if (!it->system && kv::win::sameName(it->name, className)) {
      for (auto& [handle, w] : kv::win::windows())
        if (kv::win::sameName(w->className, className)) return FALSE;  // still in use
      classes.erase(it);
      return TRUE;
    }
  }
  return FALSE;
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD) {
  if (rect == nullptr) return FALSE;
  const kv::win::FrameMetrics f = kv::win::frameMetrics(style, menu != FALSE);
  rect->left -= f.left;
  rect->top -= f.top;
  rect->right += f.right;
  rect->bottom += f.bottom;
  return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  using namespace kv::win;
  registerSystemClasses();
  if (className == nullptr || IS_INTRESOURCE(className)) return nullptr;
  const WindowClass* cls = findClass(className);
  if (cls == nullptr) {
    std::fprintf(stderr, "kvKIT: CreateWindowExA: no window class \"%s\"\n",
                 kitTextToUtf8(className).c_str());
    return nullptr;
  }
  if ((style & WS_CHILD) && findWindow(parent) == nullptr) return nullptr;

  Registry& r = registry();
  auto window = std::make_unique<Window>();
  window->handle = r.nextHandle;
  r.nextHandle += kHandleStep;
  window->className = cls->name;
  window->proc = cls->proc;
  window->classCursor = cls->cursor;
  window->style = style & ~WS_VISIBLE;
  window->exStyle = exStyle;
  window->parent = parent;
  window->instance = instance;
  window->id = (style & WS_CHILD) ? static_cast<int>(reinterpret_cast<uintptr_t>(menu)) : 0;
  if (title != nullptr) window->text = title;
  if (x == CW_USEDEFAULT) x = y = kDefaultPosition;
  if (width == CW_USEDEFAULT) width = height = 0;
  window->outer = {x, y, x + std::max(width, 0), y + std::max(height, 0)};
  window->hostManaged = !(style & WS_CHILD) && !sameName(cls->name, kDialogClass);

  const HWND hwnd = window->hwnd();
  Window& created = *window;
  r.windows.emplace(created.handle, std::move(window));

  // The order Win32 keeps: size limits, then non-client and client creation.
  const MINMAXINFO limits = askMinMax(created);
  if (!created.isChild()) {
    const LONG w = limitTo(width, limits.ptMinTrackSize.x, limits.ptMaxTrackSize.x);
    const LONG h = limitTo(height, limits.ptMinTrackSize.y, limits.ptMaxTrackSize.y);
    created.outer.right = created.outer.left + w;
    created.outer.bottom = created.outer.top + h;
  }
  CREATESTRUCTA create{
      param, instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
      title, className, exStyle};
  if (!SendMessageA(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) ||
      SendMessageA(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
  return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
  using namespace kv::win;
  Window* window = findWindow(hwnd);
  if (window == nullptr || window->destroying) return FALSE;
  // The last top-level window going: the program is no longer the active one,
  // and that window is told so first.
  bool last = !window->isChild();
  for (auto& [handle, w] : windows())
    if (w.get() != window && !w->isChild() && !w->destroying) last = false;
  if (last) setApplicationActive(false, false);
  if ((window = findWindow(hwnd)) == nullptr || window->destroying) return FALSE;
  window->destroying = true;

  // Owned windows and children go with their owner or parent.
  std::vector<HWND> dependants;
  for (auto& [handle, w] : windows())
    if (w->parent == hwnd && !w->destroying) dependants.push_back(w->hwnd());

  if (window->visible && !window->isChild()) {
    window->visible = false;
    if (window->hostManaged)
      kv::host::current().windowShown(window->handle, {}, placementOf(*window), false);
  }

  SendMessageA(hwnd, WM_DESTROY, 0, 0);
  for (HWND dependant : dependants) DestroyWindow(dependant);
  SendMessageA(hwnd, WM_NCDESTROY, 0, 0);

  if (findWindow(hwnd) != nullptr) {
    const bool told = window->hostManaged;
    const uintptr_t handle = window->handle;
    windows().erase(handle);
    if (told) kv::host::current().windowDestroyed(handle);
  }
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return findWindow(hwnd) != nullptr ? TRUE : FALSE; }

BOOL IsWindowVisible(HWND hwnd) {
  const Window* window = findWindow(hwnd);
  return window != nullptr && window->visible ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hwnd, int command) {
  using namespace kv::win;
  Window* window = findWindow(hwnd);
  if (window == nullptr) return FALSE;
  const BOOL wasVisible = window->visible ? TRUE : FALSE;
  const bool show = command != SW_HIDE;
  if (show == window->visible) return wasVisible;

  SendMessageA(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  window = findWindow(hwnd);
  if (window == nullptr) return wasVisible;
  window->visible = show;
  if (window->hostManaged)
    kv::host::current().windowShown(window->handle, kitTextToUtf8(window->text),
                                    placementOf(*window), show);
  if (show) {
    // A window the program shows comes to the front and the program becomes
    // the active one, unless the host knows better.
    if (!window->isChild() && kv::host::current().activeOnShow()) setApplicationActive(true, false);
    window = findWindow(hwnd);
    if (window == nullptr) return wasVisible;
    if (!window->shownOnce) {
      window->shownOnce = true;
      sendSizeAndMove(*window);
    }
    if (Window* again = findWindow(hwnd)) invalidate(*again);
  }
  return wasVisible;
}

BOOL UpdateWindow(HWND hwnd) {
  Window* window = findWindow(hwnd);
  if (window == nullptr) return FALSE;
  if (window->needsPaint && window->visible) {
    window->needsPaint = false;
    SendMessageA(hwnd, WM_PAINT, 0, 0);
  }
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  const Window* window = findWindow(hwnd);
  if (window == nullptr || rect == nullptr) return FALSE;
  *rect = window->outer;
  if (window->isChild()) {
    if (const Window* parent = findWindow(window->parent)) {
      const RECT p = kv::win::clientRectOnScreen(*parent);
      *rect = {rect->left + p.left, rect->top + p.top, rect->right + p.left, rect->bottom + p.top};
    }
  }
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  const Window* window = findWindow(hwnd);
  if (window == nullptr || rect == nullptr) return FALSE;
  const RECT c = kv::win::clientRectOnScreen(*window);
  *rect = {0, 0, c.right - c.left, c.bottom - c.top};
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
  const Window* window = findWindow(hwnd);
  if (window == nullptr || point == nullptr) return FALSE;
  const RECT c = kv::win::clientRectOnScreen(*window);
  point->x += c.left;
  point->y += c.top;
  return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int width, int height, UINT flags) {
  using namespace kv::win;
  Window* window = findWindow(hwnd);
  if (window == nullptr) return FALSE;
  RECT target = window->outer;
  if (!(flags & SWP_NOMOVE))
    target = {x, y, x + (target.right - target.left), y + (target.bottom - target.top)};
  bool resized = false;
  if (!(flags & SWP_NOSIZE)) {
    const MINMAXINFO limits = askMinMax(*window);
    if ((window = findWindow(hwnd)) == nullptr) return FALSE;
    const LONG w = window->isChild()
                       ? std::max(width, 0)
                       : limitTo(width, limits.ptMinTrackSize.x, limits.ptMaxTrackSize.x);
    const LONG h = window->isChild()
                       ? std::max(height, 0)
                       : limitTo(height, limits.ptMinTrackSize.y, limits.ptMaxTrackSize.y);
    resized = w != target.right - target.left || h != target.bottom - target.top;
    target.right = target.left + w;
    target.bottom = target.top + h;
  }
  const bool moved = target.left != window->outer.left || target.top != window->outer.top;
  window->outer = target;
  if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
  if ((window = findWindow(hwnd)) == nullptr) return TRUE;
  if (window->shownOnce) {
    if (resized) {
      RECT client{};
      GetClientRect(hwnd, &client);
      SendMessageA(hwnd, WM_SIZE, 0,
                   MAKELPARAM(static_cast<WORD>(client.right), static_cast<WORD>(client.bottom)));
    }
    if (moved) {
      POINT origin{0, 0};
      ClientToScreen(hwnd, &origin);
      SendMessageA(hwnd, WM_MOVE, 0, pointParam(origin.x, origin.y));
    }
  }
  if ((window = findWindow(hwnd)) != nullptr && (moved || resized)) tellHostPlaced(*window);
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
  const Window* window = findWindow(hwnd);
  if (window == nullptr) return 0;
  switch (index) {
    case GWL_WNDPROC:
      return reinterpret_cast<LONG_PTR>(window->proc);
    case GWL_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(window->instance);
    case GWL_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>(window->parent);
    case GWL_ID:
      return window->id;
    case GWL_STYLE:
      return static_cast<LONG>(window->style | (window->visible ? WS_VISIBLE : 0));
    case GWL_EXSTYLE:
      return static_cast<LONG>(window->exStyle);
    case GWL_USERDATA:
      return window->userData;
    default:
      return 0;
  }
}

// 32-bit, as on Win32: a pointer-sized value is cut to its low half.
LONG GetWindowLongA(HWND hwnd, int index) {
  return static_cast<LONG>(GetWindowLongPtrA(hwnd, index));
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  Window* window = findWindow(hwnd);
  if (window == nullptr) return 0;
  const LONG_PTR previous = GetWindowLongPtrA(hwnd, index);
  switch (index) {
    case GWL_WNDPROC:
      window->proc = reinterpret_cast<WNDPROC>(value);
      break;
    case GWL_HINSTANCE:
      window->instance = reinterpret_cast<HINSTANCE>(value);
      break;
    case GWL_ID:
      window->id = static_cast<int>(value);
      break;
    case GWL_USERDATA:
      window->userData = value;
      break;
    default:
      return 0;
  }
  return previous;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
  Window* window = findWindow(hwnd);
  if (window == nullptr) return FALSE;
  window->text = text != nullptr ? text : "";
  if (window->hostManaged && window->visible)
    kv::host::current().windowShown(window->handle, kv::win::kitTextToUtf8(window->text),
                                    kv::win::placementOf(*window), true);
  return TRUE;
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int size) {
  const Window* window = findWindow(hwnd);
  if (window == nullptr || buffer == nullptr || size <= 0) return 0;
  const int n = std::min(static_cast<int>(window->text.size()), size - 1);
  std::memcpy(buffer, window->text.data(), static_cast<size_t>(n));
  buffer[n] = '\0';
  return n;
}

HWND GetActiveWindow() {
  if (!kv::win::applicationActive()) return nullptr;
  HWND last = nullptr;  // the newest shown top-level window is the one in front
  for (auto& [handle, w] : kv::win::windows())
    if (kv::win::isTopLevelShown(*w)) last = w->hwnd();
  return last;
}

HWND GetForegroundWindow() { return GetActiveWindow(); }

BOOL SetForegroundWindow(HWND hwnd) { return findWindow(hwnd) != nullptr ? TRUE : FALSE; }

// Windows here have no menu; the host draws the frame itself.
BOOL DrawMenuBar(HWND hwnd) { return findWindow(hwnd) != nullptr ? TRUE : FALSE; }

BOOL RedrawWindow(HWND hwnd, const RECT*, HRGN, UINT flags) {
  Window* window = findWindow(hwnd);
  if (window == nullptr) return FALSE;
  if (flags & RDW_INVALIDATE) kv::win::invalidate(*window);
  if (flags & RDW_UPDATENOW) UpdateWindow(hwnd);
  return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL) {
  Window* window = findWindow(hwnd);
  if (window == nullptr) return FALSE;
  kv::win::invalidate(*window);
  return TRUE;
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = findWindow(hwnd);
  if (window == nullptr) return 0;
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_PAINT:
      window->needsPaint = false;
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETCURSOR:
      if (LOWORD(static_cast<uintptr_t>(lParam)) == HTCLIENT) {
        SetCursor(window->classCursor);
        return TRUE;
      }
      return FALSE;
    default:
      return 0;
  }
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  // Only the system's arrow exists; the program has no cursor resources.
  if (instance == nullptr && name == IDC_ARROW) return kv::win::arrowCursor();
  return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
  kv::win::Registry& r = kv::win::registry();
  const HCURSOR previous = r.cursor;
  r.cursor = cursor;
  kv::win::updateCursorVisibility();
  return previous;
}

int ShowCursor(BOOL show) {
  kv::win::Registry& r = kv::win::registry();
  r.cursorCount += show ? 1 : -1;
  kv::win::updateCursorVisibility();
  return r.cursorCount;
}

HGDIOBJ GetStockObject(int object) {
  if (object < 0 || object > 19) return nullptr;
  return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(0x8000 + object));
}
