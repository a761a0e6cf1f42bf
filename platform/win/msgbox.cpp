// Message boxes, and the text calls the kit uses to build dialog templates.
#include <cstring>
#include <string>

#include "platform/host/host.h"
#include "platform/win/codepage.h"
#include "platform/win/winuser.h"

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  // Win32 captions a box without a caption "Error".
  return kv::host::current().messageBox(
      kv::win::kitTextToUtf8(text != nullptr ? text : ""),
      kv::win::kitTextToUtf8(caption != nullptr ? caption : "Error"), type);
}

int lstrlenA(LPCSTR text) { return text != nullptr ? static_cast<int>(std::strlen(text)) : 0; }

namespace {

// UTF-8 to UTF-16; bytes that do not form a character become U+FFFD.
std::u16string utf8ToUtf16(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    const auto b = static_cast<unsigned char>(in[i]);
    char32_t c = 0xFFFD;
    size_t length = 1;
    if (b < 0x80) {
      c = b;
    } else if (b >= 0xC2 && b < 0xF5) {
      const size_t need = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      char32_t value = b & (0xFF >> (need + 1));
      size_t k = 1;
      for (; k < need && i + k < in.size(); ++k) {
        const auto next = static_cast<unsigned char>(in[i + k]);
        if ((next & 0xC0) != 0x80) break;
        value = (value << 6) | (next & 0x3F);
      }
      length = k;
      const bool overlong = (need == 3 && value < 0x800) || (need == 4 && value < 0x10000);
      if (k == need && !overlong && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF))
        c = value;
    }
    i += length;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int length, LPWSTR wide, int wideSize) {
  if (text == nullptr || length == 0 || length < -1 || wideSize < 0) return 0;
  const bool withTerminator = length == -1;
  const std::string_view bytes(text,
                               withTerminator ? std::strlen(text) : static_cast<size_t>(length));
  std::u16string units =
      utf8ToUtf16(codePage == CP_UTF8 ? std::string(bytes) : kv::win::kitTextToUtf8(bytes));
  if (withTerminator) units += u'\0';
  const int needed = static_cast<int>(units.size());
  if (wideSize == 0) return needed;
  if (wide == nullptr || wideSize < needed) return 0;  // Win32: insufficient buffer
  std::memcpy(wide, units.data(), units.size() * sizeof(char16_t));
  return needed;
}
