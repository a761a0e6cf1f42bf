// The debug log: one formatted line per call, tagged with its call site.
#include <cstdarg>

#include "kvKIT.h"
#include "kvSys/kvState.h"

const char* kvDebugFile = "";
int32_t kvDebugLine = 0;

void kvResetDebugState() {
  kvDebugFile = "";
  kvDebugLine = 0;
}

void kvDebugPrintLine(const char* format, ...) {
  char line[KV_DEBUG_LINE_SIZE];
  int used =
      std::snprintf(line, sizeof line, "%s(%ld): ", kvDebugFile, static_cast<long>(kvDebugLine));
  // A prefix or message longer than the line is cut at the buffer's end.
  if (used >= 0 && used < static_cast<int>(sizeof line)) {
    va_list values;
    va_start(values, format);
    std::vsnprintf(line + used, sizeof line - static_cast<size_t>(used), format, values);
    va_end(values);
  }
  OutputDebugStringA(line);
}
