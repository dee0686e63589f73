// Fills the "%d" and "%s" placeholders of a message text, left to right, with the arguments.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

namespace detail {
inline std::string ToText(std::string_view text) {
  return std::string(text);
}
inline std::string ToText(const char* text) {
  return std::string(text);
}
inline std::string ToText(const std::string& text) {
  return text;
}
template <typename Number, typename = std::enable_if_t<std::is_arithmetic_v<Number>>>
std::string ToText(Number value) {
  return std::to_string(value);
}
// Appends `pattern` up to its next placeholder; returns the rest after it (empty when none).
std::string_view AppendUpToPlaceholder(std::string& out, std::string_view pattern);
}  // namespace detail

// FormatText("Index %d is out of range", 5) -> "Index 5 is out of range". Placeholders without an
// argument stay as they are; "%%" stands for "%".
template <typename... Args>
std::string FormatText(std::string_view pattern, const Args&... args) {
  std::string out;
  ((pattern = detail::AppendUpToPlaceholder(out, pattern), out += detail::ToText(args)), ...);
  out += pattern;
  return out;
}
