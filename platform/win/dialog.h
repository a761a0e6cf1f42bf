// The modal dialog model behind DialogBoxIndirectParamA: the in-memory template
// parsed into controls, and the operations a view (or a script) works it with.
#pragma once

#include <string>
#include <vector>

#include "platform/win/winuser.h"

namespace kv::win {

enum class ControlKind { Button, Static, ComboBox, Other };

// One item of a dialog template. Positions and sizes are dialog units.
struct ControlTemplate {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  WORD id = 0;
  ControlKind kind = ControlKind::Other;
  std::string className;  // "BUTTON", ... (upper case; also for class atoms)
  std::string textUtf8;
};

struct DialogTemplate {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::string titleUtf8;
  WORD pointSize = 0;  // with DS_SETFONT
  std::string fontUtf8;
  std::vector<ControlTemplate> controls;
};

// Reads a template from memory. Templates carry no length, so the reader stops at
// limits no sane template reaches and names what it refused in error.
bool parseDialogTemplate(const DLGTEMPLATE* source, DialogTemplate& out, std::string& error);

// A running modal dialog. The host's view shows it and calls choose(), press() and
// cancel() as the user works it; each sends the dialog procedure what Win32 sends.
class Dialog {
 public:
  virtual ~Dialog() = default;
  virtual const DialogTemplate& layout() const = 0;
  virtual HWND window() const = 0;
  virtual HWND control(int id) const = 0;

  // Combo boxes as they are now (UTF-8 texts for the view).
  virtual int itemCount(int comboId) const = 0;
  virtual std::string itemText(int comboId, int index) const = 0;
  virtual int selection(int comboId) const = 0;

  // The user picks an entry of a combo box (CBN_SELCHANGE, then CBN_SELENDOK).
  virtual void choose(int comboId, int index) = 0;
  // The user presses a button (BN_CLICKED).
  virtual void press(int buttonId) = 0;
  // Escape or the close box: WM_COMMAND with IDCANCEL, as Win32's dialog manager does.
  virtual void cancel() = 0;
  // Ends the dialog from outside when nothing else can (the result is -1).
  virtual void abandon() = 0;

  virtual bool ended() const = 0;
  virtual INT_PTR result() const = 0;
};

}  // namespace kv::win
