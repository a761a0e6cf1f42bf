// Modules a program can look up by name (GetModuleHandleA, GetProcAddress). A
// stand-in that plays a system DLL registers itself here as the program starts,
// so this layer names nothing above it.
#pragma once

#include <cstddef>

#include "platform/win/win32.h"

namespace kv::win {

struct ModuleExport {
  const char* name;
  FARPROC address;
  bool (*exported)();  // null: always exported
};

struct Module {
  const char* name;  // matched without case, as module names are
  bool (*loaded)();  // null: always loaded
  const ModuleExport* exports;
  size_t exportCount;
};

// Adds a module to the table, which keeps the pointer: give it static storage.
// Meant for static initialisers (the table needs no construction); false when
// the table is full.
bool registerModule(const Module* module);

}  // namespace kv::win
