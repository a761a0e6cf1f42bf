// What the 3D library's loader fuzzers share: a headless host and a pool set up
// once, the input written to a file (the loaders read files), and checks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kvKIT.h"

namespace kvfuzz {

// Writes the input to this process's scratch file with the given extension
// and returns its path; sets the host and pool up on first use.
const char* writeInput(const uint8_t* data, size_t size, const char* extension);
// Aborts (a finding) unless every pool block was given back.
void expectPoolWhole();
// Keeps a computed value alive so the reads that made it are not optimised away.
void keep(float value);

}  // namespace kvfuzz
