// The kit's render window and driver dialog as the tests make them: the window
// opened as the kit opens it, the template built the way the kit builds it and
// a dialog procedure of the same shape.
#pragma once

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "platform/win/winuser.h"

namespace kv::wintest {

inline ATOM registerRenderClass(WNDPROC proc) {
  WNDCLASSA wc{.style = CS_HREDRAW | CS_VREDRAW,
               .lpfnWndProc = proc,
               .hCursor = LoadCursorA(nullptr, IDC_ARROW),
               .hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)),
               .lpszClassName = "kvKIT Render Window"};
  return RegisterClassA(&wc);
}

// Shown and updated, with a client area of this size.
inline HWND openRenderWindow(int width, int height) {
  RECT r{50, 50, 50 + width, 50 + height};
  AdjustWindowRectEx(&r, WS_CAPTION, FALSE, 0);
  HWND hwnd = CreateWindowExA(0, "kvKIT Render Window", "kvKIT v1.0", WS_CAPTION, CW_USEDEFAULT,
                              CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                              nullptr, nullptr);
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
    put(DLGTEMPLATE{style, 0, items, 0, 0, cx, cy});
    words_.insert(words_.end(), {0, 0});  // no menu, default class
    text(title);
    if (style & DS_SETFONT) {
      words_.push_back(8);
      text("Arial");
    }
  }
  void item(WORD id, const char* cls, WORD atom, const char* caption, DWORD style, short x, short y,
            short cx, short cy) {
    words_.resize((words_.size() + 1) & ~size_t{1});
    put(DLGITEMTEMPLATE{WS_CHILD | WS_VISIBLE | style, 0, x, y, cx, cy, id});
    if (atoms_) {
      words_.insert(words_.end(), {0xFFFF, atom});
    } else {
      text(cls);
    }
    text(caption);
    words_.push_back(0);  // no creation data
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  template <class Record>
  void put(const Record& record) {
    const auto* words = reinterpret_cast<const WORD*>(&record);
    words_.insert(words_.end(), words, words + sizeof record / 2);
  }
  void text(const char* s) {
    WCHAR wide[100];
    const int n = MultiByteToWideChar(CP_ACP, 0, s, -1, wide, 100);
    ASSERT_GT(n, 0);
    words_.insert(words_.end(), wide, wide + n);
  }

  bool atoms_;
  std::vector<WORD> words_;  // new[] storage: aligned for the DWORD fields
};

constexpr DWORD kComboStyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;

inline void buildDriverDialog(TemplateBuilder& b) {
  b.header(0x90C80BC4, 8, 179, 84, "Select New Direct3D Driver");
  b.item(IDOK, "BUTTON", 0x80, "OK", WS_TABSTOP, 65, 65, 51, 14);
  b.item(IDCANCEL, "BUTTON", 0x80, "Cancel", WS_TABSTOP, 123, 65, 51, 14);
  for (short i = 0; i < 3; ++i)
    b.item(1000 + i, "COMBOBOX", 0x85, "", kComboStyle, 36, i == 2 ? 44 : 5 + 19 * i, 138, 45);
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
  const std::tuple<int, std::vector<std::pair<const char*, LPARAM>>, LPARAM> boxes[] = {
      {1000, {{"Primary Display Driver", 10}}, chosen.driver},
      {1001, {{"RGB Emulation", 20}, {"Reference Rasterizer", 21}}, chosen.device},
      {1002, {{"Windowed mode", 0}, {"640 x 480 x 16", 30}}, chosen.mode}};
  for (const auto& [box, entries, current] : boxes) {
    SendDlgItemMessageA(dialog, box, CB_RESETCONTENT, 0, 0);
    for (auto [text, data] : entries) {
      const LRESULT at =
          SendDlgItemMessageA(dialog, box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
      SendDlgItemMessageA(dialog, box, CB_SETITEMDATA, at, data);
      if (data == current) SendDlgItemMessageA(dialog, box, CB_SETCURSEL, at, 0);
    }
  }
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
    (id == 1001   ? chosen.device
     : id == 1002 ? chosen.mode
                  : chosen.driver) = SendDlgItemMessageA(dialog, id, CB_GETITEMDATA, at, 0);
    fill(dialog);
  }
  return TRUE;
}

}  // namespace kv::wintest
