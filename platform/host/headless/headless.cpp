#include "platform/host/headless/headless.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "platform/host/host.h"
#include "platform/win/codepage.h"
#include "platform/win/debug_channel.h"
#include "platform/win/dialog.h"
#include "platform/win/host_events.h"

namespace kv::headless {

namespace {

constexpr int kEscape = 0x1B;
constexpr uint64_t kUnitsPerSecond = 65536;

class HeadlessHost final : public host::Host {
 public:
  explicit HeadlessHost(const Options& options) : options_(options), display_(options.display) {
    if (options_.clock == Clock::Real) realStart_ = host::monotonicNow();
  }

  uint64_t now() override {
    return options_.clock == Clock::Real ? host::monotonicNow() - realStart_ : virtualNow_;
  }

  // Each read of the counter moves virtual time by one unit (1/65536 s), so a
  // busy wait of n milliseconds ends after n * 65.536 reads and takes no time.
  void onCounterRead() override {
    if (options_.clock == Clock::Virtual) ++virtualNow_;
  }

  // Virtual time moves on by whole units only, rounded down, so the wait that
  // follows ends on exactly the count it would have reached by spinning alone.
  void sleep(uint32_t milliseconds) override {
    if (options_.clock == Clock::Real) {
      host::Host::sleep(milliseconds);
      return;
    }
    virtualNow_ += static_cast<uint64_t>(milliseconds) * kUnitsPerSecond / 1000;
  }

  bool keyDown(int virtualKey) override {
    if (virtualKey == kEscape) {
      ++iteration_;
      if (options_.escapeFromIteration > 0 && iteration_ >= options_.escapeFromIteration)
        return true;
    }
    if (virtualKey >= 0 && virtualKey < 256 && held_[virtualKey]) return true;
    for (const ScriptedKey& key : options_.keys)
      if (key.virtualKey == virtualKey && currentIteration() >= key.firstIteration &&
          currentIteration() <= key.lastIteration)
        return true;
    return false;
  }

  void debugOutput(std::string_view kitBytes) override { capture_.append(kitBytes); }

  host::DisplayMode desktopMode() override { return display_.desktopMode(); }
  std::vector<host::DisplayMode> displayModes() override { return display_.displayModes(); }
  bool setDisplayMode(const host::DisplayMode& mode) override {
    return display_.setDisplayMode(mode);
  }
  void restoreDisplayMode() override { display_.restoreDisplayMode(); }
  void present(const host::PresentedFrame& frame) override {
    display_.present(frame);
    if (showFrameRate_) countFrame();
  }
  void showFrameRate(bool shown) override {
    showFrameRate_ = shown;
    rateFrames_ = 0;
    rateStart_ = now();
  }
  int messageBox(std::string_view text, std::string_view caption, unsigned type) override {
    messageBoxes_.push_back({win::utf8ToKitText(text), win::utf8ToKitText(caption), type});
    return host::Host::messageBox(text, caption, type);
  }

  void runDialog(win::Dialog& dialog) override {
    if (nextAnswer_ >= options_.dialogAnswers.size()) {
      host::Host::runDialog(dialog);
      return;
    }
    const std::string& answer = options_.dialogAnswers[nextAnswer_++];
    std::string error;
    if (!answerDialog(dialog, answer, error)) {
      std::fprintf(stderr, "kvKIT: dialog answer \"%s\": %s; the dialog is cancelled\n",
                   answer.c_str(), error.c_str());
      dialog.cancel();
    }
    if (!dialog.ended()) dialog.cancel();
  }

  // Escape is read at the top of an iteration, so later reads in the same
  // iteration belong to it.
  int64_t currentIteration() const { return iteration_; }

  // Frames per second of host time (virtual or real), logged once a second.
  void countFrame() {
    ++rateFrames_;
    const uint64_t t = now();
    if (t - rateStart_ < kUnitsPerSecond) return;
    const double seconds = static_cast<double>(t - rateStart_) / kUnitsPerSecond;
    char line[64];
    std::snprintf(line, sizeof line, "kvKIT: %.1f frames per second\n", rateFrames_ / seconds);
    win::platformNote(line);
    rateFrames_ = 0;
    rateStart_ = t;
  }

  Options options_;
  bool showFrameRate_ = false;
  int64_t rateFrames_ = 0;
  uint64_t rateStart_ = 0;
  uint64_t virtualNow_ = 0;
  uint64_t realStart_ = 0;
  int64_t iteration_ = 0;
  std::array<bool, 256> held_{};
  std::string capture_;
  Display display_;
  std::vector<MessageBoxRecord> messageBoxes_;
  size_t nextAnswer_ = 0;
};

std::unique_ptr<HeadlessHost> instance;

HeadlessHost& headless() {
  if (!instance) install();
  return *instance;
}

uint64_t unitsForMs(uint32_t milliseconds) {
  // Round up so that the tick read back is exactly the time set.
  return (static_cast<uint64_t>(milliseconds) * kUnitsPerSecond + 999) / 1000;
}

int keyCodeForName(const std::string& name) {
  if (name.size() == 1 &&
      ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= '0' && name[0] <= '9')))
    return name[0];
  if (name == "ESC") return kEscape;
  if (name == "LEFT") return 0x25;
  if (name == "UP") return 0x26;
  if (name == "RIGHT") return 0x27;
  if (name == "DOWN") return 0x28;
  if (name.size() >= 2 && name[0] == 'F') {
    const int n = std::atoi(name.c_str() + 1);
    if (n >= 1 && n <= 12 && name.find_first_not_of("0123456789", 1) == std::string::npos)
      return 0x70 + n - 1;
  }
  if (name.size() == 3 && name.rfind("KP", 0) == 0 && name[2] >= '0' && name[2] <= '9')
    return 0x60 + (name[2] - '0');
  return -1;
}

}  // namespace

void install(const Options& options) {
  instance = std::make_unique<HeadlessHost>(options);
  host::setCurrent(instance.get());
}

void setTimeMs(uint32_t milliseconds) { headless().virtualNow_ = unitsForMs(milliseconds); }

void advanceMs(uint32_t milliseconds) {
  const uint32_t target = timeMs() + milliseconds;
  headless().virtualNow_ = unitsForMs(target);
}

uint32_t timeMs() { return static_cast<uint32_t>(headless().now() * 1000 / kUnitsPerSecond); }

const std::vector<MessageBoxRecord>& messageBoxes() { return headless().messageBoxes_; }

void queueDialogAnswer(const std::string& answer) {
  headless().options_.dialogAnswers.push_back(answer);
}

void setActive(bool active) { win::hostActivate(active); }

void pressKey(int virtualKey) {
  if (virtualKey >= 0 && virtualKey < 256) headless().held_[virtualKey] = true;
}

void releaseKey(int virtualKey) {
  if (virtualKey >= 0 && virtualKey < 256) headless().held_[virtualKey] = false;
}

int64_t iteration() { return headless().iteration_; }

const std::string& debugCapture() { return headless().capture_; }
void clearDebugCapture() { headless().capture_.clear(); }

const Frame& lastFrame() { return headless().display_.lastFrame(); }
int64_t presentedFrameCount() { return headless().display_.presentedCount(); }
bool captureFailed() { return instance != nullptr && instance->display_.captureFailed(); }
void setDesktopMode(const host::DisplayMode& mode) {
  HeadlessHost& host = headless();
  host.options_.display.desktop = mode;
  host.display_ = Display(host.options_.display);
}

bool parseKeyScript(const std::string& text, std::vector<ScriptedKey>& keys, std::string& error) {
  std::stringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    if (item.empty()) continue;
    const size_t at = item.find('@');
    if (at == std::string::npos) {
      error = "'" + item + "' has no @ (write KEY@FIRST or KEY@FIRST-LAST)";
      return false;
    }
    std::string name = item.substr(0, at);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const int code = keyCodeForName(name);
    if (code < 0) {
      error = "'" + name + "' is not a key name";
      return false;
    }
    const std::string range = item.substr(at + 1);
    char* end = nullptr;
    const long long first = std::strtoll(range.c_str(), &end, 10);
    long long last = first;
    if (*end == '-') last = std::strtoll(end + 1, &end, 10);
    if (*end != '\0' || end == range.c_str() || first < 1 || last < first) {
      error = "'" + range + "' is not an iteration or a range FIRST-LAST (from 1)";
      return false;
    }
    keys.push_back({code, first, last});
  }
  return true;
}

}  // namespace kv::headless
