// The SDL host's rules that need no display: what a key read reports around
// short presses and modal dialogs, and where a scaled picture goes.
#include <gtest/gtest.h>

#include <array>

#include "platform/host/sdl/key_latch.h"
#include "platform/host/sdl/view_fit.h"

namespace {

using kv::sdl::fitKeepingAspect;
using kv::sdl::KeyLatch;
using kv::sdl::ViewRect;

constexpr int kEscape = 41, kF3 = 60;  // SDL's scancodes

struct Keyboard {
  std::array<uint8_t, KeyLatch::kCodes> state{};
  KeyLatch latch;
  void down(int code) { state[code] = 1, latch.pressed(code); }
  void up(int code) { state[code] = 0, latch.released(code); }
  bool read(int code) { return latch.read(state.data(), code); }
};

TEST(KeyLatch, HeldKeysReadHeldAndAPressShorterThanATurnIsReportedByTheNextReadOnly) {
  Keyboard k;
  k.down(kF3);
  EXPECT_TRUE(k.read(kF3) && k.read(kF3));
  k.up(kF3);
  EXPECT_FALSE(k.read(kF3) || k.read(kEscape));
  k.down(kEscape), k.up(kEscape);
  EXPECT_TRUE(k.read(kEscape));
  EXPECT_FALSE(k.read(kEscape));
  // Two quick taps before one read are one press to a reader of levels.
  k.down(kF3), k.up(kF3), k.down(kF3), k.up(kF3);
  EXPECT_TRUE(k.read(kF3));
  EXPECT_FALSE(k.read(kF3));
}

TEST(KeyLatch, TheKeyThatEndedAModalDialogStaysUnreportedUntilPressedAgain) {
  Keyboard k;
  k.down(kEscape);  // pressed in the dialog, which it ends
  k.latch.modalEnded(k.state.data());
  EXPECT_FALSE(k.read(kEscape) || k.read(kEscape));  // still held
  k.up(kEscape);
  EXPECT_FALSE(k.read(kEscape));
  k.down(kEscape);
  EXPECT_TRUE(k.read(kEscape));
  // A key tapped and released inside the dialog is forgotten with it.
  k.up(kEscape);
  k.read(kEscape);
  k.down(kF3), k.up(kF3);
  k.latch.modalEnded(k.state.data());
  EXPECT_FALSE(k.read(kF3));
  // Codes out of range are never down.
  k.latch.pressed(-1);
  k.latch.pressed(KeyLatch::kCodes);
  EXPECT_FALSE(k.read(-1) || k.read(KeyLatch::kCodes) || k.latch.read(nullptr, kF3));
}

TEST(ViewFit, ThePictureIsScaledToFitItsShapeKeptAndCentred) {
  const struct {
    int viewW, viewH;
    ViewRect expected;
  } cases[] = {
      {640, 480, {0, 0, 640, 480}},      // the client size: the picture as it is
      {1024, 768, {0, 0, 1024, 768}},    // the same shape, larger
      {960, 480, {160, 0, 640, 480}},    // wider: bands left and right
      {640, 600, {0, 60, 640, 480}},     // taller: bands above and below
      {1280, 1024, {0, 32, 1280, 960}},  // a 5:4 display
      {3, 1, {1, 0, 1, 1}},              // never empty
  };
  for (const auto& c : cases)
    EXPECT_EQ(fitKeepingAspect(640, 480, c.viewW, c.viewH), c.expected)
        << c.viewW << "x" << c.viewH;
  EXPECT_EQ(fitKeepingAspect(640, 480, 0, 480), (ViewRect{0, 0, 0, 0}));
}

}  // namespace
