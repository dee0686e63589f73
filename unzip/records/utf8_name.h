// Decoding of UTF-8 entry names into the system's ANSI text.
#pragma once

#include <string>
#include <string_view>

// The system's ANSI text is UTF-8 itself, so a well-formed name comes back unchanged. Bytes that
// are not valid UTF-8 (a bad or truncated sequence, an overlong form, a surrogate, a value above
// U+10FFFF) give an empty name.
std::string DecodeUtf8Name(std::string_view bytes);

// True when `bytes` is well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);
