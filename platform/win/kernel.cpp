// Win32 kernel stand-ins over the current host.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/host/host.h"
#include "platform/win/codepage.h"
#include "platform/win/debug_channel.h"
#include "platform/win/files_testing.h"
#include "platform/win/win32.h"

namespace kv::win {
// The one file served from memory (files_testing.h), if any.
static struct {
  std::string name;
  const void* data = nullptr;
  size_t size = 0;
} served;
void serveFileFromMemory(const char* name, const void* data, size_t size) {
  static const char empty = 0;  // an empty input may come without a buffer
  served.name = name;
  served.data = data != nullptr ? data : &empty;
  served.size = size;
}
void stopServingFile() { served = {}; }

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
  if (!kv::win::served.name.empty() && kv::win::served.name == path && mode[0] == 'r')
    return fmemopen(const_cast<void*>(kv::win::served.data), kv::win::served.size, "rb");
  return std::fopen(kv::win::kitTextToUtf8(path).c_str(), mode);
}

BOOL GetFileSizeEx(FILE* file, int64_t* size) {
  const off_t at = ftello(file);
  if (at < 0 || fseeko(file, 0, SEEK_END) != 0) return FALSE;
  const off_t end = ftello(file);
  if (fseeko(file, at, SEEK_SET) != 0 || end < 0) return FALSE;
  *size = end;
  return TRUE;
}

BOOL SetFilePointerEx(FILE* file, int64_t offset) {
  return offset >= 0 && fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 ? TRUE : FALSE;
}

BOOL FlushFileBuffers(FILE* file) {
  return std::fflush(file) == 0 && fsync(fileno(file)) == 0 ? TRUE : FALSE;
}
