// Scripted answers for modal dialogs on a machine without a display.
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <string>

#include "platform/host/headless/headless.h"
#include "platform/win/dialog.h"

namespace kv::headless {

namespace {

// "&Cancel", " Driver: " and "driver" all compare as "driver"/"cancel".
std::string normalized(const std::string& text) {
  std::string out;
  for (const char c : text)
    if (c != '&') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const size_t last = out.find_last_not_of(" :");
  return out.substr(first, last - first + 1);
}

// The combo box a label names: the one whose row overlaps the label's the most.
const win::ControlTemplate* comboBesideLabel(const win::DialogTemplate& layout,
                                             const std::string& label) {
  const win::ControlTemplate* text = nullptr;
  for (const win::ControlTemplate& c : layout.controls)
    if (c.kind == win::ControlKind::Static && normalized(c.textUtf8) == label) text = &c;
  if (text == nullptr) return nullptr;
  const win::ControlTemplate* best = nullptr;
  int bestDistance = 0;
  for (const win::ControlTemplate& c : layout.controls) {
    if (c.kind != win::ControlKind::ComboBox) continue;
    const int distance = std::abs(c.y - text->y);
    if (best == nullptr || distance < bestDistance) {
      best = &c;
      bestDistance = distance;
    }
  }
  return best;
}

const win::ControlTemplate* comboFor(const win::DialogTemplate& layout, const std::string& key) {
  char* end = nullptr;
  const long id = std::strtol(key.c_str(), &end, 10);
  if (!key.empty() && *end == '\0') {
    for (const win::ControlTemplate& c : layout.controls)
      if (c.kind == win::ControlKind::ComboBox && c.id == id) return &c;
    return nullptr;
  }
  return comboBesideLabel(layout, normalized(key));
}

}  // namespace

bool answerDialog(win::Dialog& dialog, const std::string& answer, std::string& error) {
  std::stringstream steps(answer);
  std::string step;
  while (std::getline(steps, step, ',')) {
    if (step.empty()) continue;
    if (dialog.ended()) {
      error = "the dialog had ended before '" + step + "'";
      return false;
    }
    const win::DialogTemplate& layout = dialog.layout();
    const size_t equals = step.find('=');
    if (equals == std::string::npos) {
      const std::string wanted = normalized(step);
      const win::ControlTemplate* button = nullptr;
      for (const win::ControlTemplate& c : layout.controls)
        if (c.kind == win::ControlKind::Button && normalized(c.textUtf8) == wanted) button = &c;
      if (button == nullptr) {
        error = "no button '" + step + "'";
        return false;
      }
      dialog.press(button->id);
      continue;
    }
    const std::string key = step.substr(0, equals);
    const std::string entry = step.substr(equals + 1);
    const win::ControlTemplate* combo = comboFor(layout, key);
    if (combo == nullptr) {
      error = "no combo box '" + key + "'";
      return false;
    }
    int found = -1;
    std::string offered;
    for (int i = 0; i < dialog.itemCount(combo->id); ++i) {
      const std::string item = dialog.itemText(combo->id, i);
      if (found < 0 && normalized(item) == normalized(entry)) found = i;
      offered += (offered.empty() ? "'" : ", '") + item + "'";
    }
    if (found < 0) {
      error = "'" + key + "' has no entry '" + entry + "' (it offers " +
              (offered.empty() ? "nothing" : offered) + ")";
      return false;
    }
    dialog.choose(combo->id, found);
  }
  return true;
}

}  // namespace kv::headless
