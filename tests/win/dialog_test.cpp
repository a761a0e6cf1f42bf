// Dialog templates, combo boxes, modal dialogs worked by a scripted answer,
// message boxes and the text conversion templates are built with.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/host/headless/headless.h"
#include "platform/win/dialog.h"
#include "platform/win/host_events.h"
#include "platform/win/winuser.h"

namespace {

// Builds a template the way the kit does: texts through MultiByteToWideChar,
// items on 4-byte boundaries, classes by name (or by atom when asked).
class TemplateBuilder {
 public:
  explicit TemplateBuilder(bool atoms = false) : atoms_(atoms) { bytes_.resize(900 / 4); }

  void header(DWORD style, WORD items, short cx, short cy, const char* title) {
    DLGTEMPLATE t{style, 0, items, 0, 0, cx, cy};
    put(&t, sizeof t);
    word(0);  // no menu
    word(0);  // default class
    text(title);
    if (style & DS_SETFONT) {
      word(8);
      text("Arial");
    }
  }
  void item(WORD id, const char* cls, WORD atom, const char* caption, DWORD style, short x, short y, short cx,
            short cy) {
    offset_ = (offset_ + 3) & ~size_t{3};
    DLGITEMTEMPLATE t{WS_CHILD | WS_VISIBLE | style, 0, x, y, cx, cy, id};
    put(&t, sizeof t);
    if (atoms_) {
      word(0xFFFF);
      word(atom);
    } else {
      text(cls);
    }
    text(caption);
    word(0);  // no creation data
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }
  BYTE* raw() { return reinterpret_cast<BYTE*>(bytes_.data()); }

 private:
  void put(const void* data, size_t size) {
    std::memcpy(raw() + offset_, data, size);
    offset_ += size;
  }
  void word(WORD w) { put(&w, sizeof w); }
  void text(const char* s) {
    const int n = MultiByteToWideChar(CP_ACP, 0, s, -1, reinterpret_cast<LPWSTR>(raw() + offset_), 100);
    ASSERT_GT(n, 0);
    offset_ += static_cast<size_t>(n) * 2;
  }

  bool atoms_;
  std::vector<DWORD> bytes_;  // DWORD-aligned storage
  size_t offset_ = 0;
};

constexpr DWORD kComboStyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;

void buildDriverDialog(TemplateBuilder& b) {
  b.header(0x90C80BC4, 8, 179, 84, "Select New Direct3D Driver");
  b.item(IDOK, "BUTTON", 0x80, "OK", WS_TABSTOP, 65, 65, 51, 14);
  b.item(IDCANCEL, "BUTTON", 0x80, "Cancel", WS_TABSTOP, 123, 65, 51, 14);
  b.item(1000, "COMBOBOX", 0x85, "", kComboStyle, 36, 5, 138, 45);
  b.item(1001, "COMBOBOX", 0x85, "", kComboStyle, 36, 24, 138, 45);
  b.item(1002, "COMBOBOX", 0x85, "", kComboStyle, 36, 44, 138, 45);
  b.item(0xFFFF, "STATIC", 0x82, "Driver:", 0, 5, 5, 22, 13);
  b.item(0xFFFF, "STATIC", 0x82, "Device:", 0, 5, 24, 25, 13);
  b.item(0xFFFF, "STATIC", 0x82, "Mode:", 0, 5, 44, 22, 13);
}

TEST(DialogTemplate, ReadsTheDriverDialogWithClassNamesOrAtoms) {
  for (bool atoms : {false, true}) {
    SCOPED_TRACE(atoms ? "atoms" : "names");
    TemplateBuilder b(atoms);
    buildDriverDialog(b);
    kv::win::DialogTemplate t;
    std::string error;
    ASSERT_TRUE(kv::win::parseDialogTemplate(b.get(), t, error)) << error;
    EXPECT_EQ(t.style, 0x90C80BC4u);
    EXPECT_EQ(t.cx, 179);
    EXPECT_EQ(t.cy, 84);
    EXPECT_EQ(t.titleUtf8, "Select New Direct3D Driver");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.fontUtf8, "Arial");
    ASSERT_EQ(t.controls.size(), 8u);
    EXPECT_EQ(t.controls[1].id, IDCANCEL);
    EXPECT_EQ(t.controls[1].kind, kv::win::ControlKind::Button);
    EXPECT_EQ(t.controls[1].textUtf8, "Cancel");
    EXPECT_EQ(t.controls[4].kind, kv::win::ControlKind::ComboBox);
    EXPECT_EQ(t.controls[4].id, 1002);
    EXPECT_EQ(t.controls[4].style, WS_CHILD | WS_VISIBLE | kComboStyle);
    EXPECT_EQ(t.controls[4].y, 44);
    EXPECT_EQ(t.controls[4].cx, 138);
    EXPECT_EQ(t.controls[7].kind, kv::win::ControlKind::Static);
    EXPECT_EQ(t.controls[7].className, "STATIC");
    EXPECT_EQ(t.controls[7].textUtf8, "Mode:");
  }
}

TEST(DialogTemplate, KoreanTextsSurviveTheRoundTrip) {
  TemplateBuilder b;
  b.header(DS_SETFONT, 1, 10, 10, "장치 선택");
  b.item(IDOK, "BUTTON", 0x80, "확인", 0, 0, 0, 1, 1);
  kv::win::DialogTemplate t;
  std::string error;
  ASSERT_TRUE(kv::win::parseDialogTemplate(b.get(), t, error)) << error;
  EXPECT_EQ(t.titleUtf8, "\xEC\x9E\xA5\xEC\xB9\x98 \xEC\x84\xA0\xED\x83\x9D");  // UTF-8 of the title
  EXPECT_EQ(t.controls[0].textUtf8, "\xED\x99\x95\xEC\x9D\xB8");
}

TEST(DialogTemplate, RefusesWhatItCannotReadSafely) {
  kv::win::DialogTemplate t;
  std::string error;
  {
    // A title that never ends: the reader stops instead of running on.
    std::vector<WORD> words(2048, 0x41);
    DLGTEMPLATE h{0, 0, 0, 0, 0, 1, 1};
    std::memcpy(words.data(), &h, sizeof h);
    words[9] = 0;
    words[10] = 0;
    EXPECT_FALSE(kv::win::parseDialogTemplate(reinterpret_cast<const DLGTEMPLATE*>(words.data()), t, error));
    EXPECT_NE(error.find("title"), std::string::npos);
  }
  {
    std::vector<WORD> words(64, 0);
    DLGTEMPLATE h{0, 0, 1000, 0, 0, 1, 1};
    std::memcpy(words.data(), &h, sizeof h);
    EXPECT_FALSE(kv::win::parseDialogTemplate(reinterpret_cast<const DLGTEMPLATE*>(words.data()), t, error));
    EXPECT_NE(error.find("1000 controls"), std::string::npos);
  }
  {
    std::vector<WORD> words(64, 0);
    words[0] = 1;
    words[1] = 0xFFFF;  // the extended form
    EXPECT_FALSE(kv::win::parseDialogTemplate(reinterpret_cast<const DLGTEMPLATE*>(words.data()), t, error));
  }
  {
    std::vector<DWORD> words(64, 0);
    TemplateBuilder b(true);
    b.header(0, 1, 10, 10, "");
    b.item(1, nullptr, 0x99, "", 0, 0, 0, 1, 1);  // no such class atom
    EXPECT_FALSE(kv::win::parseDialogTemplate(b.get(), t, error));
    EXPECT_NE(error.find("atom"), std::string::npos);
  }
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, nullptr, nullptr, nullptr, 0), -1);
}

// A dialog procedure shaped like the kit's driver dialog: three boxes, the
// choice follows CBN_SELENDOK, OK reports a change with 1, otherwise 2.
struct Choice {
  LPARAM driver = 0, device = 0, mode = 0;
};
Choice chosen, initial;
std::vector<WORD> notifications;

void fill(HWND dialog) {
  for (int box : {1000, 1001, 1002}) SendDlgItemMessageA(dialog, box, CB_RESETCONTENT, 0, 0);
  SendDlgItemMessageA(dialog, 1000, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Primary Display Driver"));
  SendDlgItemMessageA(dialog, 1000, CB_SETITEMDATA, 0, 10);
  SendDlgItemMessageA(dialog, 1000, CB_SETCURSEL, 0, 0);
  const char* devices[] = {"RGB Emulation", "Reference Rasterizer"};
  for (int i = 0; i < 2; ++i) {
    const LRESULT at = SendDlgItemMessageA(dialog, 1001, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(devices[i]));
    SendDlgItemMessageA(dialog, 1001, CB_SETITEMDATA, at, 20 + i);
    if (20 + i == chosen.device) SendDlgItemMessageA(dialog, 1001, CB_SETCURSEL, at, 0);
  }
  SendDlgItemMessageA(dialog, 1002, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Windowed mode"));
  SendDlgItemMessageA(dialog, 1002, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("640 x 480 x 16"));
  SendDlgItemMessageA(dialog, 1002, CB_SETITEMDATA, 1, 30);
  SendDlgItemMessageA(dialog, 1002, CB_SETCURSEL, chosen.mode == 30 ? 1 : 0, 0);
}

INT_PTR CALLBACK driverDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      chosen = initial = {10, 20, 0};
      fill(dialog);
      return TRUE;
    case WM_COMMAND: {
      const WORD id = LOWORD(wParam);
      notifications.push_back(HIWORD(wParam));
      if (id == IDOK) {
        EndDialog(dialog, chosen.device != initial.device || chosen.mode != initial.mode ? 1 : 2);
      } else if (id == IDCANCEL) {
        EndDialog(dialog, 2);
      } else if (HIWORD(wParam) == CBN_SELENDOK) {
        const LRESULT at = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
        if (at == CB_ERR) return TRUE;
        const LRESULT data = SendDlgItemMessageA(dialog, id, CB_GETITEMDATA, at, 0);
        (id == 1001 ? chosen.device : id == 1002 ? chosen.mode : chosen.driver) = data;
        fill(dialog);
      }
      return TRUE;
    }
  }
  return FALSE;
}

class ModalDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kv::headless::install();
    kv::win::resetWindowsForTests();
    notifications.clear();
    buildDriverDialog(builder);
  }
  void TearDown() override { kv::win::resetWindowsForTests(); }
  INT_PTR run() { return DialogBoxIndirectParamA(nullptr, builder.get(), nullptr, driverDialogProc, 0); }

  TemplateBuilder builder;
};

TEST_F(ModalDialogTest, AScriptedAnswerChoosesByLabelAndPressesOk) {
  kv::headless::queueDialogAnswer("device=reference rasterizer,mode=640 x 480 x 16,OK");
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(chosen.device, 21);
  EXPECT_EQ(chosen.mode, 30);
  EXPECT_EQ(notifications, (std::vector<WORD>{CBN_SELCHANGE, CBN_SELENDOK, CBN_SELCHANGE, CBN_SELENDOK, BN_CLICKED}));
  EXPECT_FALSE(kv::win::anyTopLevelWindow());  // the dialog window is gone
}

TEST_F(ModalDialogTest, OkWithoutAChangeAndCancelReturnTwo) {
  kv::headless::queueDialogAnswer("ok");
  kv::headless::queueDialogAnswer("1001=Reference Rasterizer,cancel");
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(chosen.device, 21);  // chosen, then cancelled: the kit keeps the old choice
  EXPECT_EQ(run(), 2);           // no answer left: cancelled
}

TEST_F(ModalDialogTest, AnAnswerThatDoesNotFitCancels) {
  kv::headless::queueDialogAnswer("device=Direct3D HAL,ok");
  EXPECT_EQ(run(), 2);
  EXPECT_EQ(chosen.device, 20);
  EXPECT_EQ(notifications, (std::vector<WORD>{BN_CLICKED}));
}

TEST_F(ModalDialogTest, AProcedureThatNeverEndsTheDialogIsAbandoned) {
  auto stubborn = [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR { return message == WM_INITDIALOG; };
  kv::headless::queueDialogAnswer("ok");
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, builder.get(), nullptr, stubborn, 0), -1);
}

// The combo box's answers to CB_* messages, through a control of a live dialog.
TEST_F(ModalDialogTest, ComboBoxMessages) {
  static LRESULT results[16];
  auto probe = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message != WM_INITDIALOG) return FALSE;
    HWND box = GetDlgItem(dialog, 1001);
    int n = 0;
    results[n++] = SendMessageA(box, CB_GETCURSEL, 0, 0);                                    // CB_ERR
    results[n++] = SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("a"));        // 0
    results[n++] = SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("bb"));       // 1
    results[n++] = SendMessageA(box, CB_SETCURSEL, 1, 0);                                    // 1
    results[n++] = SendMessageA(box, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("first")); // 0
    results[n++] = SendMessageA(box, CB_GETCURSEL, 0, 0);                                    // 2: moved along
    results[n++] = SendMessageA(box, CB_SETITEMDATA, 2, -7);                                 // CB_OKAY
    results[n++] = SendMessageA(box, CB_GETITEMDATA, 2, 0);                                  // -7
    results[n++] = SendMessageA(box, CB_GETITEMDATA, 3, 0);                                  // CB_ERR
    results[n++] = SendMessageA(box, CB_SETCURSEL, 9, 0);                                    // CB_ERR, cleared
    results[n++] = SendMessageA(box, CB_GETCURSEL, 0, 0);                                    // CB_ERR
    char text[8] = {};
    results[n++] = SendMessageA(box, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text));       // 2
    results[n++] = std::strcmp(text, "bb");                                                  // 0
    results[n++] = SendMessageA(box, CB_GETCOUNT, 0, 0);                                     // 3
    SendMessageA(box, CB_SETCURSEL, 0, 0);
    SendMessageA(box, CB_RESETCONTENT, 0, 0);
    results[n++] = SendMessageA(box, CB_GETCOUNT, 0, 0) * 10 + SendMessageA(box, CB_GETCURSEL, 0, 0);  // -1
    results[n++] = GetDlgCtrlID(box);                                                        // 1001
    EndDialog(dialog, 5);
    return TRUE;
  };
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, builder.get(), nullptr, probe, 0), 5);
  const LRESULT expected[16] = {CB_ERR, 0, 1, 1, 0, 2, CB_OKAY, -7, CB_ERR, CB_ERR, CB_ERR, 2, 0, 3, -1, 1001};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(results[i], expected[i]) << "step " << i;
}

TEST(MessageBox, GoesToTheHostAndIsRecordedInKitBytes) {
  kv::headless::install();
  EXPECT_EQ(MessageBoxA(nullptr, "No ZBuffer\n\nThis sample will now exit.", "kvKIT v1.0", MB_ICONERROR), IDOK);
  MessageBoxA(nullptr, "경고", nullptr, MB_ICONWARNING);
  const auto& boxes = kv::headless::messageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "No ZBuffer\n\nThis sample will now exit.");
  EXPECT_EQ(boxes[0].caption, "kvKIT v1.0");
  EXPECT_EQ(boxes[0].type, MB_ICONERROR);
  EXPECT_EQ(boxes[1].text, "경고");
  EXPECT_EQ(boxes[1].caption, "Error");
}

TEST(MultiByteToWideChar, ConvertsKitTextAndReportsSizes) {
  const char* text = "모드: 640";
  const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  EXPECT_EQ(needed, 8);  // two Hangul syllables, ": 640" and the terminator
  std::vector<WCHAR> wide(static_cast<size_t>(needed));
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), needed), needed);
  EXPECT_EQ(wide[0], u'모');
  EXPECT_EQ(wide[1], u'드');
  EXPECT_EQ(wide[7], 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), needed - 1), 0);  // too small
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", 1, wide.data(), 4), 1);             // counted, no terminator
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", -1, wide.data(), 4), 3);  // a surrogate pair
  EXPECT_EQ(wide[0], 0xD83D);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC0\x80", 2, wide.data(), 4), 2);  // overlong: replaced
  EXPECT_EQ(wide[0], 0xFFFD);
}

}  // namespace
