// What the Windows implementations of the file layer share: a path in the wide form of the API,
// and its form without final separators.
#pragma once

#include <string>

namespace platform::internal {

// UTF-8 -> UTF-16; false, with ERROR_INVALID_NAME recorded for `operation`, when the path has a
// NUL byte in it, which would silently cut the name short at the system call. Malformed UTF-8
// becomes U+FFFD.
bool Wide(const char* operation, const std::string& path, std::wstring* wide);

// `wide` without final "\" or "/", unless that would change what it names: a drive root ("C:\")
// or the root itself stays.
std::wstring WithoutFinalSeparators(std::wstring wide);

}  // namespace platform::internal
