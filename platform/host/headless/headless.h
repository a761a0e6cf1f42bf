// The headless host: an offscreen machine for servers and tests. It keeps a
// virtual clock (a busy wait advances it at once, so runs are fast and every
// frame is deterministic), holds keys from a script or from tests, and keeps
// the debug channel's bytes. These are its test hooks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host/headless/display.h"

namespace kv::win {
class Dialog;
}

namespace kv::headless {

enum class Clock { Virtual, Real };

// A key held from one loop iteration to another (both inclusive). Iterations
// are counted by the kit's reads of Escape, which happen once per loop turn.
struct ScriptedKey {
  int virtualKey;
  int64_t firstIteration;
  int64_t lastIteration;
};

struct Options {
  Clock clock = Clock::Virtual;
  int64_t escapeFromIteration = 0;  // 0: never
  std::vector<ScriptedKey> keys;
  DisplayOptions display;
  // Answers for the dialogs the program opens, one per dialog in turn (see
  // answerDialog); a dialog without an answer is cancelled.
  std::vector<std::string> dialogAnswers;
};

// Makes a headless host current with these options, replacing any earlier one,
// and clears its keys, capture and clock (virtual time starts at 0).
void install(const Options& options = {});

// Virtual clock, in milliseconds (no effect on the real clock).
void setTimeMs(uint32_t milliseconds);
void advanceMs(uint32_t milliseconds);
uint32_t timeMs();

void pressKey(int virtualKey);
void releaseKey(int virtualKey);
// The loop iteration the host has counted so far (reads of Escape).
int64_t iteration();

// Every text the kit sent to the debugger channel since install, in kit bytes.
const std::string& debugCapture();
void clearDebugCapture();

// Message boxes shown since install, texts in kit bytes; each is also printed to
// stderr in UTF-8. They are answered at once with IDOK.
struct MessageBoxRecord {
  std::string text;
  std::string caption;
  unsigned type;
};
const std::vector<MessageBoxRecord>& messageBoxes();

// Adds an answer for the next dialog that has none yet.
void queueDialogAnswer(const std::string& answer);
// Works a dialog as an answer says: comma-separated steps, each either
// LABEL=ENTRY (choose ENTRY in the combo box beside the label LABEL, or with
// the control id LABEL) or a button's text; e.g. "device=Reference Rasterizer,ok".
// Labels, entries and buttons match without regard to case. On a step that does
// not fit the dialog, returns false and says why in error.
bool answerDialog(win::Dialog& dialog, const std::string& answer, std::string& error);

// The program gains or loses the focus, as a real desktop would tell it.
void setActive(bool active);

// Parses a key script such as "J@10-40,F3@100,ESC@200" (names: A-Z, 0-9,
// F1-F12, ESC, UP, DOWN, LEFT, RIGHT, KP0-KP9; a lone number is one iteration).
// Returns false and names the bad item in error.
bool parseKeyScript(const std::string& text, std::vector<ScriptedKey>& keys, std::string& error);

}  // namespace kv::headless
