// SEAM (window issue): first landing; the window model replaces these.
#include "platform/win/winuser.h"

ATOM RegisterClassA(const WNDCLASSA*) { return 1; }
BOOL UnregisterClassA(LPCSTR, HINSTANCE) { return TRUE; }
BOOL AdjustWindowRectEx(RECT*, DWORD, BOOL, DWORD) { return TRUE; }
HWND CreateWindowExA(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID) { return nullptr; }
BOOL DestroyWindow(HWND) { return FALSE; }
BOOL IsWindow(HWND) { return FALSE; }
BOOL IsWindowVisible(HWND) { return FALSE; }
BOOL ShowWindow(HWND, int) { return FALSE; }
BOOL UpdateWindow(HWND) { return FALSE; }
BOOL GetWindowRect(HWND, RECT*) { return FALSE; }
BOOL GetClientRect(HWND, RECT*) { return FALSE; }
BOOL ClientToScreen(HWND, POINT*) { return FALSE; }
BOOL SetWindowPos(HWND, HWND, int, int, int, int, UINT) { return FALSE; }
BOOL MoveWindow(HWND, int, int, int, int, BOOL) { return FALSE; }
LONG GetWindowLongA(HWND, int) { return 0; }
LONG_PTR GetWindowLongPtrA(HWND, int) { return 0; }
LONG_PTR SetWindowLongPtrA(HWND, int, LONG_PTR) { return 0; }
BOOL SetWindowTextA(HWND, LPCSTR) { return FALSE; }
int GetWindowTextA(HWND, LPSTR, int) { return 0; }
HWND GetActiveWindow() { return nullptr; }
HWND GetForegroundWindow() { return nullptr; }
BOOL SetForegroundWindow(HWND) { return FALSE; }
BOOL DrawMenuBar(HWND) { return TRUE; }
BOOL RedrawWindow(HWND, const RECT*, HRGN, UINT) { return TRUE; }
BOOL InvalidateRect(HWND, const RECT*, BOOL) { return TRUE; }
LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }
LRESULT SendMessageA(HWND, UINT, WPARAM, LPARAM) { return 0; }
BOOL PostMessageA(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
void PostQuitMessage(int) {}
BOOL PeekMessageA(MSG*, HWND, UINT, UINT, UINT) { return FALSE; }
BOOL GetMessageA(MSG*, HWND, UINT, UINT) { return FALSE; }
BOOL TranslateMessage(const MSG*) { return FALSE; }
LRESULT DispatchMessageA(const MSG*) { return 0; }
HCURSOR LoadCursorA(HINSTANCE, LPCSTR) { return nullptr; }
HCURSOR SetCursor(HCURSOR) { return nullptr; }
int ShowCursor(BOOL) { return 0; }
HGDIOBJ GetStockObject(int) { return nullptr; }
int MessageBoxA(HWND, LPCSTR, LPCSTR, UINT) { return IDOK; }
INT_PTR DialogBoxIndirectParamA(HINSTANCE, LPCDLGTEMPLATEA, HWND, DLGPROC, LPARAM) { return -1; }
BOOL EndDialog(HWND, INT_PTR) { return FALSE; }
HWND GetDlgItem(HWND, int) { return nullptr; }
int GetDlgCtrlID(HWND) { return 0; }
LRESULT SendDlgItemMessageA(HWND, int, UINT, WPARAM, LPARAM) { return 0; }
int MultiByteToWideChar(UINT, DWORD, LPCSTR, int, LPWSTR, int) { return 0; }
int lstrlenA(LPCSTR text) {
  int n = 0;
  while (text != nullptr && text[n] != '\0') ++n;
  return n;
}
