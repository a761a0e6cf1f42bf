// Dialog templates, combo boxes, modal dialogs worked by a scripted answer,
// message boxes and the text conversion templates are built with.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/host/headless/headless.h"
#include "platform/win/dialog.h"
#include "platform/win/host_events.h"
#include "platform/win/winuser.h"
#include "tests/win/driver_dialog.h"

namespace {

using namespace kv::wintest;

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
