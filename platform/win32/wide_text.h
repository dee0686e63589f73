// Conversions between the system's UTF-8 text and the UTF-16 of the wide Windows API, shared by
// the Windows implementations.
#pragma once

#include <cstddef>
#include <string>

namespace platform::internal {

// UTF-8 -> UTF-16. False when the text holds a NUL byte (it would cut the text short at the
// system call) or cannot be converted; malformed UTF-8 becomes U+FFFD.
bool ToWide(const std::string& text, std::wstring* wide);

// UTF-16 -> UTF-8 of `length` characters; empty when they cannot be converted.
std::string ToUtf8(const wchar_t* text, size_t length);

}  // namespace platform::internal
