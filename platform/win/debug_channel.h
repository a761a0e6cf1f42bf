// Where the debugger channel goes on Linux: stderr (in UTF-8) and, with the
// launcher's --log, a file. The host also sees every text, in kit bytes.
#pragma once

#include <cstdio>

namespace kv::win {

void setDebugEcho(bool toStderr);
// The file receives a UTF-8 copy of the channel; null stops copying.
void setDebugLogFile(std::FILE* file);

}  // namespace kv::win
