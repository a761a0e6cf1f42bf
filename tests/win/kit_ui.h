// The kit's render window and driver dialog as the tests make them: the window
// opened as the kit opens it, the template built the way the kit builds it and
// a dialog procedure of the same shape.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/win/winuser.h"

namespace kv::wintest {

inline ATOM registerRenderClass(WNDPROC proc) {
  WNDCLASSA wc{CS_HREDRAW | CS_VREDRAW, proc, 0, 0, nullptr, nullptr, LoadCursorA(nullptr, IDC_ARROW),
               static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)), nullptr, "kvKIT Render Window"};
  return RegisterClassA(&wc);
}

// Shown and updated, with a client area of this size.
inline HWND openRenderWindow(int width, int height) {
  RECT r{50, 50, 50 + width, 50 + height};
  AdjustWindowRectEx(&r, WS_CAPTION, FALSE, 0);
  HWND hwnd = CreateWindowExA(0, "kvKIT Render Window", "kvKIT v1.0", WS_CAPTION, CW_USEDEFAULT, CW_USEDEFAULT,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
  ShowWindow(hwnd, SW_SHOWNORMAL);
  UpdateWindow(hwnd);
  return hwnd;
}

// Builds a template the way the kit does: texts through MultiByteToWideChar,
// items on 4-byte boundaries, classes by name (or by atom when asked).
class TemplateBuilder {
 public:
  explicit TemplateBuilder(bool atoms = false) : atoms_(atoms) {}

  void header(DWORD style, WORD items, short cx, short cy, const char* title) {
    DLGTEMPLATE t{style, 0, items, 0, 0, cx, cy};
    put(&t, sizeof t);
    word(0);  // no menu
    word(0);  // default class
    text(title);
    if (style & DS_SETFONT) { word(8); text("Arial"); }
  }
  void item(WORD id, const char* cls, WORD atom, const char* caption, DWORD style, short x, short y, short cx,
            short cy) {
    offset_ = (offset_ + 3) & ~size_t{3};
    DLGITEMTEMPLATE t{WS_CHILD | WS_VISIBLE | style, 0, x, y, cx, cy, id};
    put(&t, sizeof t);
    if (atoms_) { word(0xFFFF); word(atom); } else { text(cls); }
    text(caption);
    word(0);  // no creation data
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

 private:
  BYTE* at() { return reinterpret_cast<BYTE*>(bytes_.data()) + offset_; }
  void put(const void* data, size_t size) {
    std::memcpy(at(), data, size);
    offset_ += size;
  }
  void word(WORD w) { put(&w, sizeof w); }
  void text(const char* s) {
    const int n = MultiByteToWideChar(CP_ACP, 0, s, -1, reinterpret_cast<LPWSTR>(at()), 100);
    ASSERT_GT(n, 0);
    offset_ += static_cast<size_t>(n) * 2;
  }

  bool atoms_;
  std::vector<DWORD> bytes_ = std::vector<DWORD>(900 / 4);  // DWORD-aligned storage
  size_t offset_ = 0;
};

constexpr DWORD kComboStyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;

inline void buildDriverDialog(TemplateBuilder& b) {
  b.header(0x90C80BC4, 8, 179, 84, "Select New Direct3D Driver");
  b.item(IDOK, "BUTTON", 0x80, "OK", WS_TABSTOP, 65, 65, 51, 14);
  b.item(IDCANCEL, "BUTTON", 0x80, "Cancel", WS_TABSTOP, 123, 65, 51, 14);
  for (short i = 0; i < 3; ++i) b.item(1000 + i, "COMBOBOX", 0x85, "", kComboStyle, 36, i == 2 ? 44 : 5 + 19 * i, 138, 45);
  b.item(0xFFFF, "STATIC", 0x82, "Driver:", 0, 5, 5, 22, 13);
  b.item(0xFFFF, "STATIC", 0x82, "Device:", 0, 5, 24, 25, 13);
  b.item(0xFFFF, "STATIC", 0x82, "Mode:", 0, 5, 44, 22, 13);
}

// A dialog procedure shaped like the kit's driver dialog: three boxes, the
// choice follows CBN_SELENDOK, OK reports a change with 1, otherwise 2.
struct Choice {
  LPARAM driver = 0, device = 0, mode = 0;
};
inline Choice chosen, initial;
inline std::vector<WORD> notifications;

inline void fill(HWND dialog) {
  auto send = [dialog](int box, UINT message, WPARAM w, auto l) {
    return SendDlgItemMessageA(dialog, box, message, w, (LPARAM)l);
  };
  for (int box : {1000, 1001, 1002}) send(box, CB_RESETCONTENT, 0, 0);
  send(1000, CB_ADDSTRING, 0, "Primary Display Driver");
  send(1000, CB_SETITEMDATA, 0, 10);
  send(1000, CB_SETCURSEL, 0, 0);
  for (const char* device : {"RGB Emulation", "Reference Rasterizer"}) {
    const LRESULT at = send(1001, CB_ADDSTRING, 0, device);
    send(1001, CB_SETITEMDATA, at, 20 + at);
    if (20 + at == chosen.device) send(1001, CB_SETCURSEL, at, 0);
  }
  send(1002, CB_ADDSTRING, 0, "Windowed mode");
  send(1002, CB_ADDSTRING, 0, "640 x 480 x 16");
  send(1002, CB_SETITEMDATA, 1, 30);
  send(1002, CB_SETCURSEL, chosen.mode == 30 ? 1 : 0, 0);
}

inline INT_PTR CALLBACK driverDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    chosen = initial = {10, 20, 0};
    fill(dialog);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  const WORD id = LOWORD(wParam);
  notifications.push_back(HIWORD(wParam));
  if (id == IDOK) {
    EndDialog(dialog, chosen.device != initial.device || chosen.mode != initial.mode ? 1 : 2);
  } else if (id == IDCANCEL) {
    EndDialog(dialog, 2);
  } else if (HIWORD(wParam) == CBN_SELENDOK) {
    const LRESULT at = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
    if (at == CB_ERR) return TRUE;
    (id == 1001 ? chosen.device : id == 1002 ? chosen.mode : chosen.driver) =
        SendDlgItemMessageA(dialog, id, CB_GETITEMDATA, at, 0);
    fill(dialog);
  }
  return TRUE;
}

}  // namespace kv::wintest
