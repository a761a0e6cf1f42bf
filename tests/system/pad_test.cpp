// The keyboard pad read through the headless host's keys.
#include <gtest/gtest.h>

#include "kvKIT.h"
#include "platform/host/headless/headless.h"
#include "tests/kit_reset.h"

namespace {

using kv::headless::pressKey;
using kv::headless::releaseKey;

class Pad : public ::testing::Test {
 protected:
  void SetUp() override {
    kvtest::resetKitAndPlatform();  // the key table is process-wide
  }
};

TEST_F(Pad, DirectionsComeFromESDFAndTheArrowsAndReassigningChangesOnlyOnePad) {
  EXPECT_EQ(kvGetPadDirection(0), 0);
  pressKey('S');
  pressKey('F');
  EXPECT_EQ(kvGetPadDirection(0), KV_PAD_LEFT | KV_PAD_RIGHT);
  pressKey('E');
  pressKey('D');
  EXPECT_EQ(kvGetPadDirection(0), 0x0F);
  EXPECT_EQ(kvGetPadDirection(1), 0);  // pad 1 reads the arrows
  pressKey(0x26);
  EXPECT_EQ(kvGetPadDirection(1), KV_PAD_UP);
  kvSetPadKeys(0, 0x26, 0x25, 0x27, 0x28);
  pressKey(0x25);
  EXPECT_EQ(kvGetPadDirection(0), KV_PAD_UP | KV_PAD_LEFT);  // ESDF no longer count
  EXPECT_EQ(kvGetPadDirection(1), KV_PAD_UP | KV_PAD_LEFT);
}

TEST_F(Pad, ButtonFiveSharesTheUpBitInItsOwnByteAndFixedKeysGiveTheHighByte) {
  pressKey(0x64);  // keypad 4: pad 1 button 5
  EXPECT_EQ(kvGetPadButtons(1), 0x01);
  EXPECT_EQ(kvGetPadDirection(1), 0);
  pressKey('Y');
  EXPECT_EQ(kvGetPadButtons(0), 0x01);
  pressKey('I');
  pressKey('J');
  EXPECT_EQ(kvGetPadButtons(0), KV_PAD_BUTTON2 | KV_PAD_BUTTON3 | KV_PAD_BUTTON5);
  pressKey(0x65);
  pressKey(0x63);
  EXPECT_EQ(kvGetPadButtons(1), KV_PAD_BUTTON1 | KV_PAD_BUTTON4 | KV_PAD_BUTTON5);

  // Fixed keys give the high byte; the counted key counts releases.
  EXPECT_EQ(kvKeyEscape(), 0);
  pressKey(VK_ESCAPE);
  pressKey(VK_F2);
  EXPECT_EQ(kvKeyEscape(), 0x80);
  EXPECT_EQ(kvKeyF2(), 0x80);
  const int32_t start = kvGetCount();
  pressKey(VK_F1);
  for (int present = 0; present < 3; ++present) EXPECT_EQ(kvPollCountKey(), 0x80);
  releaseKey(VK_F1);
  EXPECT_EQ(kvPollCountKey(), 0);
  EXPECT_EQ(kvPollCountKey(), 0);
  EXPECT_EQ(kvGetCount(), start + 1);
  EXPECT_EQ(kvIncCount(), start + 2);
  EXPECT_EQ(kvDecCount(), start + 1);
}

TEST_F(Pad, ScriptedKeysFollowTheLoopIterationsAndBadItemsAreNamed) {
  std::vector<kv::headless::ScriptedKey> keys;
  std::string error;
  for (const char* bad : {"WAT@3", "J@5-2", "J@0", "Q"})
    EXPECT_FALSE(kv::headless::parseKeyScript(bad, keys, error)) << bad;
  EXPECT_NE(error.find("'Q'"), std::string::npos);
  EXPECT_TRUE(kv::headless::parseKeyScript("esc@9,kp5@1-2,F12@3,left@1", keys, error));
  EXPECT_EQ(keys.size(), 4u);

  kv::headless::Options options;
  ASSERT_TRUE(kv::headless::parseKeyScript("j@2-3,F3@4", options.keys, error)) << error;
  options.escapeFromIteration = 5;
  kv::headless::install(options);
  std::string seen;
  while (kvKeyEscape() == 0) {
    seen += (kvGetPadButtons(0) & KV_PAD_BUTTON3) ? 'J' : '-';
    seen += (GetAsyncKeyState(VK_F3) & 0x8000) ? '3' : '-';
  }
  EXPECT_EQ(seen, "--J-J--3");
  EXPECT_EQ(kv::headless::iteration(), 5);
}

}  // namespace
