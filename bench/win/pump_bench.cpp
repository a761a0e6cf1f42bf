// The message pump's share of a frame: what kvPumpMessages costs when the
// queue is empty (every frame) and when a message waits (moves, paints).
#include <benchmark/benchmark.h>

#include "platform/host/headless/headless.h"
#include "platform/win/host_events.h"
#include "platform/win/winuser.h"

namespace {

LRESULT CALLBACK plainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND openWindow() {
  kv::headless::install();
  kv::win::resetWindowsForTests();
  WNDCLASSA wc{0, plainProc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, "bench"};
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowExA(0, "bench", "bench", WS_CAPTION, 0, 0, 642, 503, nullptr, nullptr,
                              nullptr, nullptr);
  ShowWindow(hwnd, SW_SHOWNORMAL);
  UpdateWindow(hwnd);
  return hwnd;
}

void BM_PeekEmptyQueue(benchmark::State& state) {
  openWindow();
  MSG msg;
  for (auto _ : state) benchmark::DoNotOptimize(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}
BENCHMARK(BM_PeekEmptyQueue);

void BM_PostPeekDispatch(benchmark::State& state) {
  HWND hwnd = openWindow();
  MSG msg;
  for (auto _ : state) {
    PostMessageA(hwnd, WM_MOVE, 0, 0);
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
}
BENCHMARK(BM_PostPeekDispatch);

}  // namespace
BENCHMARK_MAIN();
