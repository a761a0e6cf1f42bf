// The launcher's choice of host. Host back ends hook their own options and their
// start and stop here, so main() stays the same when a back end is added.
#pragma once

#include "platform/host/headless/headless.h"

namespace kv::launcher {

// Without --frames, a headless run plays the whole choreography and stops.
constexpr long long kDefaultHeadlessFrames = 2450;
// A file of the demo's data (UTF-8 on disk) that tells a data folder. A u8
// literal, because the launcher is compiled with the kit's CP949 literals.
inline constexpr const char8_t* kDataMarker = u8"깡통.kvo";

struct Options {
  bool forceHeadless = false;
  // List the OpenGL device even on a software GL renderer (--gl, KV_GL=1).
  bool gl = false;
  headless::Options headless;
};

// Options of host back ends beyond the launcher's own; true when one was taken.
bool parseHostOption(const std::string& arg, int& index, int argc, char** argv, Options& options);
void startHost(Options& options);
void stopHost(Options& options);

}  // namespace kv::launcher
