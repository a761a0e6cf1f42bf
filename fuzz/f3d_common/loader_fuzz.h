// What the 3D library's loader fuzzers share: a headless host and a pool set up
// once, the input served from memory under a file name (the loaders open and
// read it through the kit's own file calls, and nothing lands on disk), and checks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kvKIT.h"

namespace kvfuzz {

// Serves the input as the file `name` and returns the name; sets the host and
// pool up on first use.
const char* serveInput(const uint8_t* data, size_t size, const char* name);
// Aborts (a finding) unless every pool block was given back.
void expectPoolWhole();
// Keeps a computed value alive so the reads that made it are not optimised away.
void keep(float value);

}  // namespace kvfuzz
