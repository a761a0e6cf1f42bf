// Module lookup over the modules the stand-ins registered; a module's handle
// is the address of its record, so no two modules share one.
#include "platform/win/module.h"

#include <strings.h>

#include <cstring>

namespace kv::win {
namespace {

constexpr size_t kMaxModules = 8;
// Constant-initialised, so registrations from other files' static
// initialisers find it ready whatever the order.
constinit const Module* registered[kMaxModules] = {};
constinit size_t registeredCount = 0;

const Module* byHandle(HMODULE handle) {
  for (size_t i = 0; i < registeredCount; ++i)
    if (reinterpret_cast<HMODULE>(const_cast<Module*>(registered[i])) == handle)
      return registered[i];
  return nullptr;
}

}  // namespace

bool registerModule(const Module* module) {
  if (registeredCount == kMaxModules) return false;
  registered[registeredCount++] = module;
  return true;
}

}  // namespace kv::win

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  if (moduleName == nullptr) return nullptr;
  for (size_t i = 0; i < kv::win::registeredCount; ++i) {
    const kv::win::Module* module = kv::win::registered[i];
    if (strcasecmp(moduleName, module->name) != 0) continue;
    if (module->loaded != nullptr && !module->loaded()) return nullptr;
    return reinterpret_cast<HMODULE>(const_cast<kv::win::Module*>(module));
  }
  return nullptr;
}

FARPROC GetProcAddress(HMODULE handle, LPCSTR procName) {
  const kv::win::Module* module = kv::win::byHandle(handle);
  if (module == nullptr || procName == nullptr) return nullptr;
  for (size_t i = 0; i < module->exportCount; ++i) {
    const kv::win::ModuleExport& entry = module->exports[i];
    if (std::strcmp(procName, entry.name) == 0)
      return entry.exported == nullptr || entry.exported() ? entry.address : nullptr;
  }
  return nullptr;
}
