// The pool's state, for code that must walk it (tests, diagnostics).
#pragma once

#include <cstdint>

extern uint8_t* kvPoolBase;
extern int32_t kvPoolSize;

// Tests only: the kit sets its pool up once per process; this undoes that so a
// test program can start each case from a fresh pool.
void kvResetMemoryForTests();
