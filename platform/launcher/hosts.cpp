// Host choice. SEAM (window issue): a real window over SDL when a display can be
// opened; until the SDL host lands every run is headless.
#include <string>

#include "platform/launcher/launcher.h"

namespace kv::launcher {

bool parseHostOption(const std::string&, int&, int, char**, Options&) { return false; }

void startHost(Options& options) {
  if (options.headless.escapeFromIteration == 0)
    options.headless.escapeFromIteration = kDefaultHeadlessFrames;
  headless::install(options.headless);
}

void stopHost(Options&) {}

}  // namespace kv::launcher
