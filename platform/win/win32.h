// Win32 base types and the kernel services the kit calls: the debugger channel,
// the millisecond tick, the keyboard's asynchronous state and the PC timer port.
// The names and widths are Win32's; the behaviour comes from the current host.
#pragma once

#include <cstdint>
#include <cstdio>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using UINT = unsigned int;
using INT = int;
using BOOL = int;
using HRESULT = int32_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using INT_PTR = intptr_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using DWORD_PTR = uintptr_t;
// Win32's wide characters are UTF-16 units, whatever wchar_t is here.
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;

struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HWND__;
using HWND = HWND__*;

struct RECT {
  LONG left, top, right, bottom;
};
struct POINT {
  LONG x, y;
};
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);

inline bool FAILED(HRESULT hr) { return hr < 0; }
inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }

// Virtual-key codes the kit names.
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_F1 = 0x70;
constexpr int VK_F2 = 0x71;
constexpr int VK_F3 = 0x72;

// Sends one text (in the kit's code page) to the debugger channel.
void OutputDebugStringA(LPCSTR text);
// Milliseconds since the host started (wraps after 49.7 days, like Win32's).
DWORD GetTickCount();
// Bit 15 set while the key is down; the low bit is not kept.
SHORT GetAsyncKeyState(int virtualKey);
namespace kv::win {
// Whether a read of Escape has found it held: how the user (or a script) ends a
// kit program. A program that returned without it gave up by itself.
bool escapeSeenHeld();
}  // namespace kv::win
// The high-resolution counter and its ticks per second (Win32 fills a
// LARGE_INTEGER; here the value is returned). Busy waits poll it.
int64_t QueryPerformanceCounter();
int64_t QueryPerformanceFrequency();
// Suspends the thread for about this many milliseconds (it may wake late).
void Sleep(DWORD milliseconds);
// The C runtime's fopen for a path in the kit's code page (CP949 on this build):
// the name on disk is UTF-8.
FILE* OpenFileA(LPCSTR path, LPCSTR mode);
// Win32's file size and position calls take the file's handle and 64-bit
// values; these take the stream OpenFileA gave. The kit's kvFileSeek and
// kvFileTell keep their 32-bit widths; its readers use these privately, so a
// file past 2 GiB is measured whole. FALSE when the stream cannot tell or seek.
BOOL GetFileSizeEx(FILE* file, int64_t* size);
BOOL SetFilePointerEx(FILE* file, int64_t offset);  // from the start
// Writes the stream's buffered bytes through to the disk, so a rename after it
// cannot leave an empty file after a power loss.
BOOL FlushFileBuffers(FILE* file);

// ---------------------------------------------------------------------------
// Module lookup: the kit finds the display driver's entry points at run time.
// Only "DDRAW.DLL" is known; its exports are the DirectDraw stand-in's.
// ---------------------------------------------------------------------------

using HANDLE = void*;
struct HMONITOR__;
using HMONITOR = HMONITOR__*;
using LPRECT = RECT*;
using LPDWORD = DWORD*;
// Cast to the entry point's own type before calling.
using FARPROC = void (*)();

HMODULE GetModuleHandleA(LPCSTR moduleName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
