// UTF-16 to UTF-8.
#include "platform/utf16_text.h"

#include <cstdint>

#include "platform/utf8_text.h"

namespace platform {
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
    AppendUtf8(*utf8, codePoint);
  }
  return true;
}

}  // namespace platform
