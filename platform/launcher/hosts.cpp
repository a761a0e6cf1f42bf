// Host choice. SEAM (window issue): a real window over SDL when a display can be
// opened; until the SDL host lands every run is headless.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/launcher/launcher.h"

namespace kv::launcher {

bool parseHostOption(const std::string& arg, int& index, int argc, char** argv, Options& options) {
  if (arg == "--dialog") {
    if (index + 1 >= argc) {
      std::fputs("kvdemo: --dialog needs a value\nTry 'kvdemo --help'.\n", stderr);
      std::exit(2);
    }
    options.headless.dialogAnswers.push_back(argv[++index]);
    return true;
  }
  return false;
}

void startHost(Options& options) {
  if (options.headless.escapeFromIteration == 0)
    options.headless.escapeFromIteration = kDefaultHeadlessFrames;
  headless::install(options.headless);
}

void stopHost(Options&) {}

}  // namespace kv::launcher
