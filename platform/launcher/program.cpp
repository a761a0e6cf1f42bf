#include "platform/launcher/launcher.h"

// Weak, so a program that states no facts still links and gets the defaults.
extern const kv::launcher::ProgramFacts kvProgramFacts __attribute__((weak));

namespace kv::launcher {

ProgramFacts programFacts() {
  ProgramFacts facts = &kvProgramFacts != nullptr ? kvProgramFacts : ProgramFacts{};
  if (facts.runIterations <= 0) facts.runIterations = kDefaultRunIterations;
  return facts;
}

}  // namespace kv::launcher
