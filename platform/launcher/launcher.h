// The launcher's choice of host. Host back ends hook their own options and their
// start and stop here, so main() stays the same when a back end is added.
#pragma once

#include "platform/host/headless/headless.h"
#include "platform/launcher/program.h"

namespace kv::launcher {

// The running program's facts, or the defaults when it states none.
ProgramFacts programFacts();

struct Options {
  bool forceHeadless = false;
  // List the OpenGL device even on a software GL renderer (--gl, KV_GL=1).
  bool gl = false;
  // The frame rate in the title, or headless in the log (--fps).
  bool showFrameRate = false;
  // Where F12 writes screenshots: the folder the program was started in.
  std::string screenshotDir;
  headless::Options headless;
};

// Options of host back ends beyond the launcher's own; true when one was taken.
bool parseHostOption(const std::string& arg, int& index, int argc, char** argv, Options& options);
// True when the host is a window (SDL), false when headless.
bool startHost(Options& options);
void stopHost(Options& options);

}  // namespace kv::launcher
