// UTF-8 text one character at a time: the system's one UTF-8 decoder (entry names, wildcard
// matching, lower-casing, the log, the release record's paths) and its encoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// One character read from UTF-8 text. Length 0: the bytes there form no well-formed sequence.
struct TUtf8Char {
  char32_t CodePoint = 0;
  size_t Length = 0;
};

// The character at the start of `text`: the code point and length (1 to 4) of a well-formed
// sequence (not truncated, no overlong form, no surrogate, nothing above U+10FFFF), else Length
// 0. An empty `text` gives Length 0.
inline TUtf8Char DecodeUtf8Char(std::string_view text) {
  if (text.empty()) return {};
  const auto lead = static_cast<uint8_t>(text[0]);
  if (lead < 0x80) return {lead, 1};
  size_t length;
  char32_t code;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    code = lead & 0x07;
  } else {
    return {};  // a continuation byte, or a lead of five bytes or more
  }
  if (text.size() < length) return {};
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<uint8_t>(text[k]);
    if ((next & 0xC0) != 0x80) return {};
    code = (code << 6) | (next & 0x3F);
  }
  static constexpr char32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {};
  return {code, length};
}

// True when all of `text` is well-formed UTF-8 (the empty text too).
bool IsValidUtf8(std::string_view text);

// Appends the UTF-8 form of `codePoint` (at most U+10FFFF, not a surrogate) to `out`.
void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace platform
