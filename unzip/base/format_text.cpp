// Placeholder scanning for FormatText.
#include "unzip/base/format_text.h"

namespace detail {

std::string_view AppendUpToPlaceholder(std::string& out, std::string_view pattern) {
  size_t i = 0;
  while (i < pattern.size()) {
    if (pattern[i] == '%' && i + 1 < pattern.size()) {
      const char kind = pattern[i + 1];
      if (kind == 'd' || kind == 's') return pattern.substr(i + 2);
      if (kind == '%') {
        out += '%';
        i += 2;
        continue;
      }
    }
    out += pattern[i++];
  }
  return {};
}

}  // namespace detail
