// The thread's message queue: posted messages, the quit request and paint
// requests, retrieved in Win32's order (posted, then quit, then paint). Host
// events are turned into messages each time the queue is read.
#include <array>
#include <cstdio>

#include "platform/win/window_model.h"

namespace kv::win {

namespace {

// A fixed ring: posting and reading never allocate, so the pump costs nothing
// per frame. Win32 refuses posts to a full queue too (its limit is larger).
constexpr size_t kQueueCapacity = 1024;

struct MessageQueue {
  std::array<MSG, kQueueCapacity> ring{};
  size_t head = 0;
  size_t count = 0;
  bool quitPosted = false;
  int quitCode = 0;
  bool reportedFull = false;
  bool reportedNoWait = false;
};

MessageQueue& queue() {
  thread_local MessageQueue instance;
  return instance;
}

MSG& at(size_t index) {
  MessageQueue& q = queue();
  return q.ring[(q.head + index) % kQueueCapacity];
}

void removeAt(size_t index) {
  MessageQueue& q = queue();
  for (size_t i = index; i + 1 < q.count; ++i) at(i) = at(i + 1);
  --q.count;
}

bool inRange(UINT message, UINT filterMin, UINT filterMax) {
  return (filterMin == 0 && filterMax == 0) || (message >= filterMin && message <= filterMax);
}

// A window filter takes the window and its children; (HWND)-1 takes only
// messages posted to no window.
bool forWindow(HWND target, HWND filter) {
  if (filter == nullptr) return true;
  if (filter == reinterpret_cast<HWND>(-1)) return target == nullptr;
  for (Window* w = findWindow(target); w != nullptr;
       w = w->isChild() ? findWindow(w->parent) : nullptr)
    if (w->hwnd() == filter) return true;
  return false;
}

bool take(MSG* out, HWND filter, UINT filterMin, UINT filterMax, bool remove) {
  MessageQueue& q = queue();
  for (size_t i = 0; i < q.count; ++i) {
    const MSG& m = at(i);
    if (!forWindow(m.hwnd, filter) || !inRange(m.message, filterMin, filterMax)) continue;
    *out = m;
    if (remove) removeAt(i);
    return true;
  }
  if (q.quitPosted && inRange(WM_QUIT, filterMin, filterMax)) {
    *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, 0, {0, 0}};
    if (remove) q.quitPosted = false;
    return true;
  }
  if (inRange(WM_PAINT, filterMin, filterMax)) {
    for (auto& [handle, w] : windows()) {
      if (!w->needsPaint || !w->visible || !forWindow(w->hwnd(), filter)) continue;
      *out = MSG{w->hwnd(), WM_PAINT, 0, 0, 0, {0, 0}};
      // One WM_PAINT per invalidation, even if the window procedure does not
      // validate: an unvalidated window would otherwise keep the queue full.
      if (remove) w->needsPaint = false;
      return true;
    }
  }
  return false;
}

}  // namespace

void clearMessageQueue() { queue() = MessageQueue{}; }

void invalidate(Window& window) { window.needsPaint = true; }

}  // namespace kv::win

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  kv::win::MessageQueue& q = kv::win::queue();
  if (hwnd != nullptr && kv::win::findWindow(hwnd) == nullptr) return FALSE;
  if (q.count == kv::win::kQueueCapacity) {
    if (!q.reportedFull)
      std::fputs("kvKIT: the message queue is full; messages are dropped\n", stderr);
    q.reportedFull = true;
    return FALSE;
  }
  kv::win::at(q.count) = MSG{hwnd, message, wParam, lParam, GetTickCount(), {0, 0}};
  ++q.count;
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  kv::win::MessageQueue& q = kv::win::queue();
  q.quitPosted = true;
  q.quitCode = exitCode;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const kv::win::Window* window = kv::win::findWindow(hwnd);
  if (window == nullptr || window->proc == nullptr) return 0;
  return window->proc(hwnd, message, wParam, lParam);
}

BOOL PeekMessageA(MSG* message, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (message == nullptr) return FALSE;
  kv::host::current().pollEvents();
  return kv::win::take(message, hwnd, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0) ? TRUE
                                                                                            : FALSE;
}

BOOL GetMessageA(MSG* message, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (message == nullptr) return FALSE;
  kv::host::Host& host = kv::host::current();
  host.pollEvents();
  while (!kv::win::take(message, hwnd, filterMin, filterMax, true)) {
    if (!host.waitEvents()) {
      // Win32 would wait for ever here; with no display or no window left,
      // nothing can arrive. Answer 0, which every pump takes as "stop", with
      // WM_NULL rather than WM_QUIT: the program was not asked to quit.
      kv::win::MessageQueue& q = kv::win::queue();
      if (!q.reportedNoWait)
        std::fputs("kvKIT: GetMessageA: no window event can arrive here, so it does not wait\n",
                   stderr);
      q.reportedNoWait = true;
      *message = MSG{nullptr, WM_NULL, 0, 0, 0, {0, 0}};
      return FALSE;
    }
  }
  return message->message == WM_QUIT ? FALSE : TRUE;
}

// Keys reach the kit through GetAsyncKeyState only; there are no key messages
// to turn into characters.
BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* message) {
  if (message == nullptr || message->hwnd == nullptr) return 0;
  return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}
