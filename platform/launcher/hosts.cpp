// Host choice: a real window over SDL when a display can be opened and a window
// made on it, headless otherwise or with --headless.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/gl/hardware_device.h"
#include "platform/host/png.h"
#include "platform/host/sdl/sdl_host.h"
#include "platform/launcher/launcher.h"
#include "platform/win/debug_channel.h"

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

// F12 in a window: the frame as kvKIT_shot_NNN.png, the first number free.
void writeScreenshot(const std::string& folder, const uint32_t* rgb, int width, int height) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path path;
  for (int n = 1; n <= 999; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "kvKIT_shot_%03d.png", n);
    path = fs::path(folder) / name;
    if (!fs::exists(path, error)) break;
  }
  std::string why;
  if (host::writePng(path.string(), rgb, width, height, why))
    win::platformNote("kvKIT: screenshot written to " + path.string() + "\n");
  else
    win::platformNote("kvKIT: cannot write the screenshot " + path.string() + ": " + why + "\n");
}

bool startHost(Options& options) {
  if (!options.forceHeadless) {
    sdl::OpenOptions open;
    const std::string folder = options.screenshotDir;
    open.screenshot = [folder](const uint32_t* rgb, int width, int height) {
      writeScreenshot(folder, rgb, width, height);
    };
    open.escapeFromIteration = options.headless.escapeFromIteration;
    const char* windowGl = std::getenv("KV_WINDOW_GL");
    open.windowGl = windowGl == nullptr || std::string(windowGl) != "0";
    windowHost = sdl::open(open);
    if (windowHost != nullptr) {
      host::setCurrent(windowHost.get());
      windowHost->showFrameRate(options.showFrameRate);
      offerGlDevice(options);
      return true;
    }
  }
  offerGlDevice(options);
  if (options.headless.escapeFromIteration == 0)
    options.headless.escapeFromIteration = programFacts().runIterations;
  headless::install(options.headless);
  host::current().showFrameRate(options.showFrameRate);
  return false;
}

void stopHost(Options&) {
  if (windowHost == nullptr) return;
  host::setCurrent(nullptr);
  windowHost.reset();
}

}  // namespace kv::launcher
