// The pool's state, for code that must walk it (tests, diagnostics).
#pragma once

#include <cstdint>

extern uint8_t* kvPoolBase;
extern int32_t kvPoolSize;

// Pool blocks start 4 bytes past a header at any byte address, so a record that
// holds pointers would sit off its natural alignment. These place a record on
// an 8-byte boundary inside a slightly larger block (the distance back to the
// block's start in the byte before it). Sizes beyond the pool's 32-bit sizes
// give none.
void* kvAllocRecord(int64_t bytes);
void kvFreeRecord(void* record);

// Tests only: the kit sets its pool up once per process; this undoes that so a
// test program can start each case from a fresh pool.
void kvResetMemoryForTests();
