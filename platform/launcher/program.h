// What the launcher needs to know of the program it runs. A program states it
// by defining kvProgramFacts (in a file of its own, beside its kvMain); a
// program that does not gets the defaults below.
#pragma once

#include <cstdint>
#include <span>

namespace kv::launcher {

struct ProgramFacts {
  // What --help says the program does: lines ending in '\n' (keys, say).
  const char* about = nullptr;
  // A file of the program's data (its UTF-8 name on disk). Without -C, the
  // launcher enters the data/ folder beside the executable when the current
  // folder lacks this file. Null: the program runs where it is started.
  const char8_t* dataMarker = nullptr;
  // The tool that writes the data into a folder given to it ("kvgen"), named
  // when the data is missing. Null: none is named.
  const char* dataMaker = nullptr;
  // Loop iterations of one whole run: a headless run without --frames holds
  // Escape from there. 0: kDefaultRunIterations.
  int64_t runIterations = 0;
  // The frames a headless run's contact sheet shows; none: no sheet.
  std::span<const int64_t> sheetFrames;
};

// A headless run of a program that does not say how long it runs: ten seconds
// at 30 updates a second.
constexpr int64_t kDefaultRunIterations = 300;

}  // namespace kv::launcher

// The program's facts; the launcher reads them before the kit starts.
extern const kv::launcher::ProgramFacts kvProgramFacts;
