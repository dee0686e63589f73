// UTF-16 text as bytes (what Windows tools such as PowerShell write into files) to the system's
// UTF-8, the same on every system.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// `bytes` as UTF-16 of the given byte order (without a byte-order mark) in UTF-8. False when
// they are not UTF-16: an odd count, or a surrogate without its partner.
[[nodiscard]] bool Utf16ToUtf8(std::string_view bytes, bool bigEndian, std::string* utf8);

}  // namespace platform
