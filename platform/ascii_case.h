// Letter case of the ASCII letters only: the one rule behind every case-blind comparison of names
// in the system (archive parts, drive roots, the updater's own file names, process names). Bytes
// outside a to z and A to Z, the bytes of UTF-8 sequences among them, are never changed, so the
// result is the same on every system and in every locale.
#pragma once

#include <string>
#include <string_view>

namespace platform {

constexpr char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` with the ASCII letters upper-cased (lower-cased) and every other byte as it stands.
std::string UpperCaseAscii(std::string_view text);
std::string LowerCaseAscii(std::string_view text);

// Whether `a` and `b` are equal when ASCII letters are compared without regard to case.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace platform
