// Win32 kernel stand-ins over the current host.
#include <string>

#include "platform/host/host.h"
#include "platform/win/codepage.h"
#include "platform/win/debug_channel.h"
#include "platform/win/win32.h"

namespace kv::win {
static bool echoToStderr = true;
static std::FILE* logFile = nullptr;
void setDebugEcho(bool toStderr) { echoToStderr = toStderr; }
void setDebugLogFile(std::FILE* file) { logFile = file; }
void platformNote(const std::string& utf8) {
  if (echoToStderr) std::fputs(utf8.c_str(), stderr);
  if (logFile != nullptr) {
    std::fputs(utf8.c_str(), logFile);
    std::fflush(logFile);
  }
}
}  // namespace kv::win

void OutputDebugStringA(LPCSTR text) {
  if (text == nullptr) return;
  kv::host::current().debugOutput(text);
  if (!kv::win::echoToStderr && kv::win::logFile == nullptr) return;
  const std::string utf8 = kv::win::kitTextToUtf8(text);
  if (kv::win::echoToStderr) std::fputs(utf8.c_str(), stderr);
  if (kv::win::logFile != nullptr) {
    std::fputs(utf8.c_str(), kv::win::logFile);
    std::fflush(kv::win::logFile);
  }
}

DWORD GetTickCount() {
  // now() counts 65536 units per second.
  return static_cast<DWORD>(kv::host::current().now() * 1000 / 65536);
}

namespace kv::win {
static bool escapeHeld = false;
bool escapeSeenHeld() { return escapeHeld; }
}  // namespace kv::win

SHORT GetAsyncKeyState(int virtualKey) {
  const bool down = kv::host::current().keyDown(virtualKey);
  if (down && virtualKey == VK_ESCAPE) kv::win::escapeHeld = true;
  return down ? static_cast<SHORT>(0x8000) : 0;
}

int64_t QueryPerformanceCounter() {
  kv::host::Host& host = kv::host::current();
  host.onCounterRead();
  return static_cast<int64_t>(host.now());
}

int64_t QueryPerformanceFrequency() { return 65536; }

void Sleep(DWORD milliseconds) { kv::host::current().sleep(milliseconds); }

FILE* OpenFileA(LPCSTR path, LPCSTR mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  return std::fopen(kv::win::kitTextToUtf8(path).c_str(), mode);
}
