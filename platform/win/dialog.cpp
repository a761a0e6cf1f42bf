// Modal dialogs from in-memory templates: the template reader, the dialog
// window that runs the dialog procedure, and DialogBoxIndirectParamA.
#include "platform/win/dialog.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/win/codepage.h"
#include "platform/win/window_model.h"

namespace kv::win {

namespace {

// Templates carry no length; these bound what the reader accepts.
constexpr size_t kMaxStringUnits = 256;
constexpr WORD kMaxControls = 255;

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Reads the template's WORD-aligned fields. Unaligned reads go through memcpy.
class TemplateReader {
 public:
  explicit TemplateReader(const void* start) : p_(static_cast<const BYTE*>(start)) {}

  WORD word() {
    WORD w;
    std::memcpy(&w, p_, sizeof w);
    p_ += sizeof w;
    return w;
  }
  template <typename T>
  T record() {
    T r;
    std::memcpy(&r, p_, sizeof r);
    p_ += sizeof r;
    return r;
  }
  // Items start on a DWORD boundary in memory, as Win32 lays them out.
  void alignToDword() {
    const auto address = reinterpret_cast<uintptr_t>(p_);
    p_ += (4 - (address & 3)) & 3;
  }
  void skip(size_t bytes) { p_ += bytes; }

  // A zero-terminated UTF-16 string, converted to UTF-8.
  bool string(std::string& out, const char* what, std::string& error) {
    out.clear();
    for (size_t n = 0; n < kMaxStringUnits; ++n) {
      char32_t c = word();
      if (c == 0) return true;
      if (c >= 0xD800 && c <= 0xDBFF) {
        const WORD low = word();
        ++n;
        if (low == 0) {  // a lone lead surrogate ends the string
          appendUtf8(out, 0xFFFD);
          return true;
        }
        c = (low >= 0xDC00 && low <= 0xDFFF) ? 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00)
                                             : 0xFFFD;
      } else if (c >= 0xDC00 && c <= 0xDFFF) {
        c = 0xFFFD;
      }
      appendUtf8(out, c);
    }
    error =
        std::string(what) + " has no end within " + std::to_string(kMaxStringUnits) + " characters";
    return false;
  }

  // A name or a number: 0x0000 none, 0xFFFF then an ordinal, else a string.
  bool nameOrOrdinal(std::string& name, WORD& ordinal, const char* what, std::string& error) {
    name.clear();
    ordinal = 0;
    WORD first;
    std::memcpy(&first, p_, sizeof first);
    if (first == 0x0000) {
      skip(2);
      return true;
    }
    if (first == 0xFFFF) {
      skip(2);
      ordinal = word();
      return true;
    }
    return string(name, what, error);
  }

 private:
  const BYTE* p_;
};

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

ControlKind kindForAtom(WORD atom) {
  switch (atom) {
    case 0x0080:
      return ControlKind::Button;
    case 0x0082:
      return ControlKind::Static;
    case 0x0085:
      return ControlKind::ComboBox;
    default:
      return ControlKind::Other;
  }
}

const char* classForAtom(WORD atom) {
  switch (atom) {
    case 0x0080:
      return "BUTTON";
    case 0x0081:
      return "EDIT";
    case 0x0082:
      return "STATIC";
    case 0x0083:
      return "LISTBOX";
    case 0x0084:
      return "SCROLLBAR";
    case 0x0085:
      return "COMBOBOX";
    default:
      return "";
  }
}

ControlKind kindForName(const std::string& name) {
  if (name == "BUTTON") return ControlKind::Button;
  if (name == "STATIC") return ControlKind::Static;
  if (name == "COMBOBOX") return ControlKind::ComboBox;
  return ControlKind::Other;
}

class ModalDialog;
std::map<uintptr_t, ModalDialog*>& runningDialogs() {
  static std::map<uintptr_t, ModalDialog*> dialogs;
  return dialogs;
}

class ModalDialog final : public Dialog {
 public:
  ModalDialog(DialogTemplate layout, DLGPROC proc) : layout_(std::move(layout)), proc_(proc) {}

  const DialogTemplate& layout() const override { return layout_; }
  HWND window() const override { return window_; }
  HWND control(int id) const override { return GetDlgItem(window_, id); }

  int itemCount(int comboId) const override {
    const LRESULT n = SendDlgItemMessageA(window_, comboId, CB_GETCOUNT, 0, 0);
    return n > 0 ? static_cast<int>(n) : 0;
  }
  std::string itemText(int comboId, int index) const override {
    const LRESULT length = SendDlgItemMessageA(window_, comboId, CB_GETLBTEXTLEN, index, 0);
    if (length < 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendDlgItemMessageA(window_, comboId, CB_GETLBTEXT, index,
                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return kitTextToUtf8(text);
  }
  int selection(int comboId) const override {
    return static_cast<int>(SendDlgItemMessageA(window_, comboId, CB_GETCURSEL, 0, 0));
  }

  void choose(int comboId, int index) override {
    const HWND combo = control(comboId);
    if (ended_ || combo == nullptr) return;
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    notify(comboId, CBN_SELCHANGE, combo);
    notify(comboId, CBN_SELENDOK, combo);
  }
  void press(int buttonId) override {
    if (!ended_) notify(buttonId, BN_CLICKED, control(buttonId));
  }
  void cancel() override {
    if (!ended_) notify(IDCANCEL, BN_CLICKED, control(IDCANCEL));
  }
  void abandon() override { end(-1); }

  bool ended() const override { return ended_; }
  INT_PTR result() const override { return result_; }

  void end(INT_PTR result) {
    if (ended_) return;
    ended_ = true;
    result_ = result;
  }

  INT_PTR callProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return proc_ != nullptr ? proc_(hwnd, message, wParam, lParam) : FALSE;
  }

  bool create(HWND owner, HINSTANCE instance) {
    // Dialog units to pixels for the model's geometry; the host's view lays the
    // controls out from the same units at its own scale.
    auto px = [](short du) { return static_cast<int>(du) * 6 / 4; };
    auto py = [](short du) { return static_cast<int>(du) * 13 / 8; };
    RECT client{0, 0, px(layout_.cx), py(layout_.cy)};
    const DWORD style = layout_.style & ~WS_VISIBLE;
    AdjustWindowRectEx(&client, style, FALSE, layout_.exStyle);
    int x = px(layout_.x), y = py(layout_.y);
    RECT ownerRect{};
    if ((layout_.style & DS_CENTER) && GetWindowRect(owner, &ownerRect)) {
      x = (ownerRect.left + ownerRect.right - (client.right - client.left)) / 2;
      y = (ownerRect.top + ownerRect.bottom - (client.bottom - client.top)) / 2;
    }
    const std::string title = utf8ToKitText(layout_.titleUtf8);
    window_ = CreateWindowExA(layout_.exStyle, kDialogClass, title.c_str(), style, x, y,
                              client.right - client.left, client.bottom - client.top, owner,
                              nullptr, instance, nullptr);
    if (window_ == nullptr) return false;
    runningDialogs()[reinterpret_cast<uintptr_t>(window_)] = this;
    for (const ControlTemplate& c : layout_.controls) {
      if (c.className.empty()) continue;
      const std::string text = utf8ToKitText(c.textUtf8);
      CreateWindowExA(c.exStyle, c.className.c_str(), text.c_str(), c.style | WS_CHILD, px(c.x),
                      py(c.y), px(c.cx), py(c.cy), window_,
                      reinterpret_cast<HMENU>(static_cast<uintptr_t>(c.id)), instance, nullptr);
    }
    return true;
  }

  void destroy() {
    if (window_ == nullptr) return;
    const HWND hwnd = window_;
    DestroyWindow(hwnd);
    runningDialogs().erase(reinterpret_cast<uintptr_t>(hwnd));
    window_ = nullptr;
  }

  HWND firstTabStop() const {
    for (const ControlTemplate& c : layout_.controls)
      if (c.style & WS_TABSTOP) return control(c.id);
    return nullptr;
  }

 private:
  void notify(int id, WORD code, HWND from) {
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), code),
                 reinterpret_cast<LPARAM>(from));
  }

  DialogTemplate layout_;
  DLGPROC proc_;
  HWND window_ = nullptr;
  bool ended_ = false;
  INT_PTR result_ = 0;
};

ModalDialog* findDialog(HWND hwnd) {
  auto& dialogs = runningDialogs();
  const auto it = dialogs.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == dialogs.end() ? nullptr : it->second;
}

}  // namespace

bool parseDialogTemplate(const DLGTEMPLATE* source, DialogTemplate& out, std::string& error) {
  out = DialogTemplate{};
  if (source == nullptr) {
    error = "no template";
    return false;
  }
  TemplateReader in(source);
  WORD start[2];
  std::memcpy(start, source, sizeof start);
  if (start[0] == 1 && start[1] == 0xFFFF) {
    error = "extended dialog templates are not supported";
    return false;
  }
  const auto header = in.record<DLGTEMPLATE>();
  if (header.cdit > kMaxControls) {
    error = "the template declares " + std::to_string(header.cdit) + " controls (at most " +
            std::to_string(kMaxControls) + ")";
    return false;
  }
  out.style = header.style;
  out.exStyle = header.dwExtendedStyle;
  out.x = header.x;
  out.y = header.y;
  out.cx = header.cx;
  out.cy = header.cy;

  std::string name;
  WORD ordinal;
  if (!in.nameOrOrdinal(name, ordinal, "the menu name", error)) return false;
  if (!name.empty() || ordinal != 0) {
    error = "dialogs with a menu are not supported";
    return false;
  }
  if (!in.nameOrOrdinal(name, ordinal, "the class name", error)) return false;
  if (!name.empty() || ordinal != 0) {
    error = "dialogs of a private window class are not supported";
    return false;
  }
  if (!in.string(out.titleUtf8, "the title", error)) return false;
  if (header.style & DS_SETFONT) {
    out.pointSize = in.word();
    if (!in.string(out.fontUtf8, "the font name", error)) return false;
  }

  out.controls.reserve(header.cdit);
  for (WORD i = 0; i < header.cdit; ++i) {
    in.alignToDword();
    const auto item = in.record<DLGITEMTEMPLATE>();
    ControlTemplate c;
    c.style = item.style;
    c.exStyle = item.dwExtendedStyle;
    c.x = item.x;
    c.y = item.y;
    c.cx = item.cx;
    c.cy = item.cy;
    c.id = item.id;
    const std::string what = "control " + std::to_string(i + 1);
    if (!in.nameOrOrdinal(name, ordinal, (what + "'s class").c_str(), error)) return false;
    if (ordinal != 0) {
      c.className = classForAtom(ordinal);
      c.kind = kindForAtom(ordinal);
      if (c.className.empty()) {
        error = what + " has the unknown class atom " + std::to_string(ordinal);
        return false;
      }
    } else {
      c.className = upper(name);
      c.kind = kindForName(c.className);
    }
    if (!in.nameOrOrdinal(c.textUtf8, ordinal, (what + "'s text").c_str(), error)) return false;
    // Creation data: a size word counting itself, then the data.
    const WORD extra = in.word();
    if (extra > 2) in.skip(extra - 2u);
    out.controls.push_back(std::move(c));
  }
  return true;
}

// The dialog window's procedure: the dialog procedure first, then what Win32's
// dialog manager does by default.
LRESULT dialogWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  ModalDialog* dialog = findDialog(hwnd);
  if (dialog != nullptr) {
    const INT_PTR handled = dialog->callProc(hwnd, message, wParam, lParam);
    if (message == WM_INITDIALOG) return handled;
    if (handled) return TRUE;
  }
  switch (message) {
    case WM_CLOSE:
      // The close box works like the Cancel button.
      SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDCANCEL)));
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

}  // namespace kv::win

INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM initParam) {
  using namespace kv::win;
  DialogTemplate layout;
  std::string error;
  if (!parseDialogTemplate(dialogTemplate, layout, error)) {
    std::fprintf(stderr, "kvKIT: DialogBoxIndirectParamA: %s; no dialog\n", error.c_str());
    return -1;
  }
  if (dialogProc == nullptr) return -1;
  ModalDialog dialog(std::move(layout), dialogProc);
  if (!dialog.create(owner, instance)) return -1;

  SendMessageA(dialog.window(), WM_INITDIALOG, reinterpret_cast<WPARAM>(dialog.firstTabStop()),
               initParam);
  if (!dialog.ended()) {
    if (dialog.layout().style & WS_VISIBLE) ShowWindow(dialog.window(), SW_SHOW);
    kv::host::current().runDialog(dialog);
    if (!dialog.ended()) {
      std::fprintf(stderr, "kvKIT: the dialog \"%s\" was left without an answer\n",
                   dialog.layout().titleUtf8.c_str());
      dialog.abandon();
    }
  }
  const INT_PTR result = dialog.result();
  dialog.destroy();
  return result;
}

BOOL EndDialog(HWND hwnd, INT_PTR result) {
  kv::win::ModalDialog* dialog = kv::win::findDialog(hwnd);
  if (dialog == nullptr) return FALSE;
  dialog->end(result);
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  if (dialog == nullptr) return nullptr;
  for (auto& [handle, w] : kv::win::windows())
    if (w->parent == dialog && w->isChild() && w->id == id && !w->destroying) return w->hwnd();
  return nullptr;
}

int GetDlgCtrlID(HWND control) {
  const kv::win::Window* window = kv::win::findWindow(control);
  return window != nullptr && window->isChild() ? window->id : 0;
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND control = GetDlgItem(dialog, id);
  return control != nullptr ? SendMessageA(control, message, wParam, lParam) : 0;
}
