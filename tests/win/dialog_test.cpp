// Dialog templates, combo boxes, modal dialogs worked by a scripted answer,
// message boxes and the text conversion templates are built with.
#include "platform/win/dialog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "platform/host/headless/headless.h"
#include "platform/win/host_events.h"
#include "platform/win/winuser.h"
#include "tests/platform_reset.h"
#include "tests/win/kit_ui.h"

namespace {

using namespace kv::wintest;
using kv::win::ControlKind;

TEST(DialogTemplate, ReadsTheDriverDialogWithClassNamesOrAtomsAndKoreanTexts) {
  kv::win::DialogTemplate t;
  std::string error;
  for (bool atoms : {false, true}) {
    SCOPED_TRACE(atoms ? "atoms" : "names");
    TemplateBuilder b(atoms);
    buildDriverDialog(b);
    ASSERT_TRUE(kv::win::parseDialogTemplate(b.get(), t, error)) << error;
    EXPECT_EQ(std::tie(t.style, t.cx, t.cy, t.titleUtf8, t.pointSize, t.fontUtf8),
              std::make_tuple(0x90C80BC4u, 179, 84, "Select New Direct3D Driver", 8, "Arial"));
    ASSERT_EQ(t.controls.size(), 8u);
    const auto &cancel = t.controls[1], &mode = t.controls[4], &label = t.controls[7];
    EXPECT_EQ(std::tie(cancel.id, cancel.kind, cancel.textUtf8),
              std::make_tuple(IDCANCEL, ControlKind::Button, "Cancel"));
    EXPECT_EQ(
        std::tie(mode.kind, mode.id, mode.y, mode.cx, mode.style),
        std::make_tuple(ControlKind::ComboBox, 1002, 44, 138, WS_CHILD | WS_VISIBLE | kComboStyle));
    EXPECT_EQ(std::tie(label.kind, label.className, label.textUtf8),
              std::make_tuple(ControlKind::Static, "STATIC", "Mode:"));
  }
  TemplateBuilder b;
  b.header(DS_SETFONT, 1, 10, 10, "장치 선택");
  b.item(IDOK, "BUTTON", 0x80, "확인", 0, 0, 0, 1, 1);
  ASSERT_TRUE(kv::win::parseDialogTemplate(b.get(), t, error)) << error;
  // The texts in UTF-8.
  EXPECT_EQ(t.titleUtf8, "\xEC\x9E\xA5\xEC\xB9\x98 \xEC\x84\xA0\xED\x83\x9D");
  EXPECT_EQ(t.controls[0].textUtf8, "\xED\x99\x95\xEC\x9D\xB8");
}

// Each refused with a message that names the fault.
TEST(DialogTemplate, RefusesWhatItCannotReadSafely) {
  kv::win::DialogTemplate t;
  std::string error;
  auto refusal = [&](const void* words) {
    error.clear();
    EXPECT_FALSE(kv::win::parseDialogTemplate(static_cast<const DLGTEMPLATE*>(words), t, error));
    return error;
  };
  std::vector<WORD> words(2048, 0x41);
  DLGTEMPLATE h{0, 0, 0, 0, 0, 1, 1};
  std::memcpy(words.data(), &h, sizeof h);
  words[9] = words[10] = 0;  // no menu, default class, then a title that never ends
  EXPECT_NE(refusal(words.data()).find("title"), std::string::npos);
  std::fill(words.begin(), words.end(), 0);
  h.cdit = 1000;
  std::memcpy(words.data(), &h, sizeof h);
  EXPECT_NE(refusal(words.data()).find("1000 controls"), std::string::npos);
  words[0] = 1;
  words[1] = 0xFFFF;  // the extended form
  EXPECT_NE(refusal(words.data()), "");
  TemplateBuilder b(true);
  b.header(0, 1, 10, 10, "");
  b.item(1, nullptr, 0x99, "", 0, 0, 0, 1, 1);  // no such class atom
  EXPECT_NE(refusal(b.get()).find("atom"), std::string::npos) << error;
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, nullptr, nullptr, nullptr, 0), -1);
}

class ModalDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kvtest::resetPlatform();
    buildDriverDialog(builder);
  }
  void TearDown() override { kvtest::resetPlatform(); }
  INT_PTR run(DLGPROC proc = driverDialogProc) {
    notifications.clear();
    return DialogBoxIndirectParamA(nullptr, builder.get(), nullptr, proc, 0);
  }

  TemplateBuilder builder;
};

// OK reports a change with 1; cancelling, an answer that does not fit and no
// answer at all end in 2 (the kit then keeps its old choice). Names match
// without regard to case.
TEST_F(ModalDialogTest, ScriptedAnswersChooseByLabelOrIdAndPressAButton) {
  constexpr WORD change = CBN_SELCHANGE, ok = CBN_SELENDOK, click = BN_CLICKED;
  const struct {
    const char* answer;
    INT_PTR result;
    LPARAM device, mode;
    std::vector<WORD> notifications;
  } cases[] = {
      {"device=reference rasterizer,mode=640 x 480 x 16,OK",
       1,
       21,
       30,
       {change, ok, change, ok, click}},
      {"1001=Reference Rasterizer,cancel", 2, 21, 0, {change, ok, click}},
      {"device=Direct3D HAL,ok", 2, 20, 0, {click}},
      {nullptr, 2, 20, 0, {click}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer ? c.answer : "no answer");
    if (c.answer) kv::headless::queueDialogAnswer(c.answer);
    const INT_PTR result = run();
    EXPECT_EQ(std::tie(result, chosen.device, chosen.mode, notifications),
              std::tie(c.result, c.device, c.mode, c.notifications));
    EXPECT_FALSE(kv::win::anyTopLevelWindow());  // the dialog window is gone
  }
}

TEST_F(ModalDialogTest, AProcedureThatNeverEndsTheDialogIsAbandoned) {
  kv::headless::queueDialogAnswer("ok");
  EXPECT_EQ(
      run([](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR { return message == WM_INITDIALOG; }),
      -1);
}

// The combo box's answers to CB_* messages, through a control of a live dialog.
TEST_F(ModalDialogTest, ComboBoxMessages) {
  static std::vector<LRESULT> results;
  auto probe = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message != WM_INITDIALOG) return FALSE;
    HWND box = GetDlgItem(dialog, 1001);
    auto send = [box](UINT m, WPARAM w, auto l) { return SendMessageA(box, m, w, (LPARAM)l); };
    char text[8] = {};
    results = {send(CB_GETCURSEL, 0, 0),
               send(CB_ADDSTRING, 0, "a"),
               send(CB_ADDSTRING, 0, "bb"),
               send(CB_SETCURSEL, 1, 0),
               send(CB_INSERTSTRING, 0, "first"),
               send(CB_GETCURSEL, 0, 0),  // moved along
               send(CB_SETITEMDATA, 2, -7),
               send(CB_GETITEMDATA, 2, 0),
               send(CB_GETITEMDATA, 3, 0),
               send(CB_SETCURSEL, 9, 0),  // out of range: cleared
               send(CB_GETCURSEL, 0, 0),
               send(CB_GETLBTEXT, 2, text),
               std::strcmp(text, "bb"),
               send(CB_GETCOUNT, 0, 0),
               send(CB_SETCURSEL, 0, 0),
               send(CB_RESETCONTENT, 0, 0),
               send(CB_GETCOUNT, 0, 0),
               send(CB_GETCURSEL, 0, 0),
               GetDlgCtrlID(box)};
    EndDialog(dialog, 5);
    return TRUE;
  };
  EXPECT_EQ(run(probe), 5);
  EXPECT_EQ(results, (std::vector<LRESULT>{CB_ERR, 0, 1, 1, 0, 2, CB_OKAY, -7, CB_ERR, CB_ERR,
                                           CB_ERR, 2, 0, 3, 0, CB_OKAY, 0, CB_ERR, 1001}));
}

// The kit's own texts and endings are checked with kvShowError; here, the
// bytes reach the host as given and a missing caption reads "Error".
TEST(MessageBox, GoesToTheHostAndIsRecordedInKitBytes) {
  kv::headless::install();
  EXPECT_EQ(MessageBoxA(nullptr, "경고", nullptr, MB_ICONWARNING), IDOK);
  const auto& boxes = kv::headless::messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(std::tie(boxes[0].text, boxes[0].caption), std::make_tuple("경고", "Error"));
  EXPECT_EQ(boxes[0].type, MB_ICONWARNING);
}

// The texts themselves are checked through the templates above; here, the
// sizes and what cannot be read.
TEST(MultiByteToWideChar, ReportsSizesAndReplacesWhatItCannotRead) {
  const char* text = "모드: 640";
  WCHAR wide[8];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0),
            8);  // 2 syllables, ": 640", terminator
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 8), 8);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 7), 0);  // too small
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", 1, wide, 4), 1);   // counted, no terminator
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", -1, wide, 4),
            3);  // a surrogate pair
  EXPECT_EQ(std::make_pair(wide[0], wide[1]), std::make_pair(WCHAR{0xD83D}, WCHAR{0xDE00}));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC0\x80", 2, wide, 4), 2);  // overlong: replaced
  EXPECT_EQ(wide[0], 0xFFFD);
}

}  // namespace
