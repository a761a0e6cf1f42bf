#include "platform/win/codepage.h"

#include <iconv.h>

#include <cerrno>

namespace kv::win {

namespace {

// Converts with iconv, replacing what cannot be converted instead of failing:
// a log line or caption must always come out. (Unused where the kit's text is
// UTF-8 already: clang builds have no CP949 literals.)
[[maybe_unused]] std::string convert(std::string_view text, const char* from, const char* to,
                                     std::string_view replacement) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
  std::string out;
  out.reserve(text.size() * 3 / 2 + 4);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char buffer[512];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (result == static_cast<size_t>(-1) && errno != E2BIG) {
      out.append(replacement);  // skip one bad byte and go on
      ++in;
      --inLeft;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string kitTextToUtf8(std::string_view kitText) {
#if KV_TEXT_CP949
  return convert(kitText, "CP949", "UTF-8", "\xEF\xBF\xBD");
#else
  return std::string(kitText);
#endif
}

std::string utf8ToKitText(std::string_view utf8) {
#if KV_TEXT_CP949
  return convert(utf8, "UTF-8", "CP949", "?");
#else
  return std::string(utf8);
#endif
}

}  // namespace kv::win
