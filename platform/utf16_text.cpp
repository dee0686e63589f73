// UTF-16 to UTF-8.
#include "platform/utf16_text.h"

#include <cstdint>

namespace platform {
namespace {

void AppendUtf8(uint32_t codePoint, std::string* out) {
  if (codePoint < 0x80) {
    *out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    *out += static_cast<char>(0xC0 | (codePoint >> 6));
    *out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    *out += static_cast<char>(0xE0 | (codePoint >> 12));
    *out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (codePoint >> 18));
    *out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

}  // namespace

bool Utf16ToUtf8(std::string_view bytes, bool bigEndian, std::string* utf8) {
  if (bytes.size() % 2 != 0) return false;
  const auto unit = [&](size_t i) {
    const auto first = static_cast<uint8_t>(bytes[i]);
    const auto second = static_cast<uint8_t>(bytes[i + 1]);
    return static_cast<uint32_t>(bigEndian ? first << 8 | second : second << 8 | first);
  };
  utf8->clear();
  for (size_t i = 0; i < bytes.size(); i += 2) {
    uint32_t codePoint = unit(i);
    if (codePoint >= 0xDC00 && codePoint <= 0xDFFF) return false;
    if (codePoint >= 0xD800 && codePoint <= 0xDBFF) {
      if (i + 2 >= bytes.size()) return false;
      const uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    AppendUtf8(codePoint, utf8);
  }
  return true;
}

}  // namespace platform
