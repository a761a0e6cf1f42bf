// Host choice: a real window over SDL when a display can be opened and a window
// made on it, headless otherwise or with --headless.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/gl/hardware_device.h"
#include "platform/host/sdl/sdl_host.h"
#include "platform/launcher/launcher.h"

namespace kv::launcher {

namespace {
std::unique_ptr<host::Host> windowHost;
}

bool parseHostOption(const std::string& arg, int& index, int argc, char** argv, Options& options) {
  if (arg == "--gl") {
    options.gl = true;
    return true;
  }
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

// The OpenGL device: asked for, or a real accelerator beside a window.
void offerGlDevice(const Options& options) {
  const char* env = std::getenv("KV_GL");
  const bool asked = options.gl || (env != nullptr && std::string(env) == "1");
  gl::registerHardwareDevice({asked, windowHost != nullptr});
}

void startHost(Options& options) {
  if (!options.forceHeadless) {
    windowHost = sdl::open();
    if (windowHost != nullptr) {
      host::setCurrent(windowHost.get());
      offerGlDevice(options);
      return;
    }
  }
  offerGlDevice(options);
  if (options.headless.escapeFromIteration == 0)
    options.headless.escapeFromIteration = programFacts().runIterations;
  headless::install(options.headless);
}

void stopHost(Options&) {
  if (windowHost == nullptr) return;
  host::setCurrent(nullptr);
  windowHost.reset();
}

}  // namespace kv::launcher
