// Where the debugger channel goes on Linux: stderr (in UTF-8) and, with the
// launcher's --log, a file. The host also sees every text, in kit bytes.
#pragma once

#include <cstdio>
#include <string>

namespace kv::win {

void setDebugEcho(bool toStderr);
// The file receives a UTF-8 copy of the channel; null stops copying.
void setDebugLogFile(std::FILE* file);
// A line of the platform's own (already UTF-8, with its newline) for the same
// places: stderr unless quieted, and the log file. The kit's channel and the
// host's capture of it do not see it.
void platformNote(const std::string& utf8);

}  // namespace kv::win
