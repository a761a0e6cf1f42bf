// Module lookup: "DDRAW.DLL" is the one module the kit asks for; its exports
// are the DirectDraw stand-in's entry points.
#include <strings.h>

#include <cstring>

#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_testing.h"
#include "platform/win/win32.h"

namespace {

// Any non-null value serves as the handle; nothing dereferences it.
HMODULE const kDirectDrawModule = reinterpret_cast<HMODULE>(0xDD0000);

}  // namespace

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  if (moduleName == nullptr || strcasecmp(moduleName, "DDRAW.DLL") != 0) return nullptr;
  if (!kv::ddraw::testing::exports().moduleLoaded) return nullptr;
  return kDirectDrawModule;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  if (module != kDirectDrawModule || procName == nullptr) return nullptr;
  if (std::strcmp(procName, "DirectDrawCreate") == 0)
    return reinterpret_cast<FARPROC>(&DirectDrawCreate);
  if (std::strcmp(procName, "DirectDrawEnumerateA") == 0)
    return reinterpret_cast<FARPROC>(&DirectDrawEnumerateA);
  if (std::strcmp(procName, "DirectDrawEnumerateExA") == 0 &&
      kv::ddraw::testing::exports().enumerateEx)
    return reinterpret_cast<FARPROC>(&DirectDrawEnumerateExA);
  return nullptr;
}
