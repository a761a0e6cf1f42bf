// The kit's texts are CP949 bytes (see KV_TEXT_CP949); Linux speaks UTF-8.
// These turn kit text into UTF-8 at the platform's edges, as Win32's "A" calls do.
#pragma once

#include <string>
#include <string_view>

namespace kv::win {

// Kit text to UTF-8. Bytes that are not valid CP949 come out as U+FFFD.
std::string kitTextToUtf8(std::string_view kitText);
// UTF-8 to kit text (for names the host hands to the kit).
std::string utf8ToKitText(std::string_view utf8);

}  // namespace kv::win
