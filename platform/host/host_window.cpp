// What a host without a view of its own does for message boxes and dialogs.
#include <cstdio>
#include <string>

#include "platform/host/host.h"
#include "platform/win/dialog.h"

namespace kv::host {

int Host::messageBox(std::string_view text, std::string_view caption, unsigned type) {
  std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
  return IDOK;
}

void Host::runDialog(win::Dialog& dialog) {
  std::fprintf(stderr, "kvKIT: no one can answer the dialog \"%s\" here; cancelled\n",
               dialog.layout().titleUtf8.c_str());
  dialog.cancel();
  if (!dialog.ended()) dialog.abandon();
}

}  // namespace kv::host
