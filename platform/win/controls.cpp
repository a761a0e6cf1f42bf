// The built-in control classes a dialog is made of. Only the combo box keeps
// state of its own: its items, their data and the selection, for CB_* messages.
#include <cstring>
#include <vector>

#include "platform/win/window_model.h"

namespace kv::win {

namespace {

struct ComboItem {
  std::string text;  // kit bytes
  LPARAM data = 0;
};

struct ComboData final : ControlData {
  std::vector<ComboItem> items;
  int selection = -1;
};

ComboData& comboOf(Window& window) {
  if (window.control == nullptr) window.control = std::make_unique<ComboData>();
  return static_cast<ComboData&>(*window.control);
}

LRESULT CALLBACK comboProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = findWindow(hwnd);
  if (window == nullptr) return CB_ERR;
  ComboData& combo = comboOf(*window);
  const auto count = static_cast<LRESULT>(combo.items.size());
  const auto index = static_cast<LRESULT>(static_cast<intptr_t>(wParam));
  const bool valid = index >= 0 && index < count;
  const char* text = reinterpret_cast<const char*>(lParam);
  switch (message) {
    case CB_ADDSTRING:
      combo.items.push_back({text != nullptr ? text : "", 0});
      return count;
    case CB_INSERTSTRING: {
      // -1 appends, as in Win32.
      if (index != -1 && (index < 0 || index > count)) return CB_ERR;
      const LRESULT at = index == -1 ? count : index;
      combo.items.insert(combo.items.begin() + at, {text != nullptr ? text : "", 0});
      if (combo.selection >= at) ++combo.selection;
      return at;
    }
    case CB_DELETESTRING:
      if (!valid) return CB_ERR;
      combo.items.erase(combo.items.begin() + index);
      if (combo.selection == index)
        combo.selection = -1;
      else if (combo.selection > index)
        --combo.selection;
      return count - 1;
    case CB_GETCOUNT:
      return count;
    case CB_RESETCONTENT:
      combo.items.clear();
      combo.selection = -1;
      return CB_OKAY;
    case CB_GETCURSEL:
      return combo.selection >= 0 ? combo.selection : CB_ERR;
    case CB_SETCURSEL:
      // An index out of range clears the selection and reports CB_ERR.
      combo.selection = valid ? static_cast<int>(index) : -1;
      return valid ? index : CB_ERR;
    case CB_GETITEMDATA:
      return valid ? combo.items[static_cast<size_t>(index)].data : CB_ERR;
    case CB_SETITEMDATA:
      if (!valid) return CB_ERR;
      combo.items[static_cast<size_t>(index)].data = lParam;
      return CB_OKAY;
    case CB_GETLBTEXTLEN:
      return valid ? static_cast<LRESULT>(combo.items[static_cast<size_t>(index)].text.size())
                   : CB_ERR;
    case CB_GETLBTEXT: {
      if (!valid || lParam == 0) return CB_ERR;
      const std::string& item = combo.items[static_cast<size_t>(index)].text;
      std::memcpy(reinterpret_cast<char*>(lParam), item.c_str(), item.size() + 1);
      return static_cast<LRESULT>(item.size());
    }
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

LRESULT CALLBACK plainControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

// Each is added once; a test reset forgets them, so this looks every time.
void registerSystemClasses() {
  registerSystemClass("BUTTON", plainControlProc);
  registerSystemClass("STATIC", plainControlProc);
  registerSystemClass("EDIT", plainControlProc);
  registerSystemClass("LISTBOX", plainControlProc);
  registerSystemClass("SCROLLBAR", plainControlProc);
  registerSystemClass("COMBOBOX", comboProc);
  registerSystemClass(kDialogClass, dialogWindowProc);
}

}  // namespace kv::win
