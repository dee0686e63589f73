// Lower-casing of UTF-8 text without the C library's locale machinery.
#include "unzip/base/ansi_case.h"

#include <cstdint>

#include "platform/ascii_case.h"
#include "platform/utf8_text.h"

namespace {

// A run of capitals with one rule: every code point of the run (stride 1), or every other one
// starting at `first` (stride 2, the alternating capital/small pairs), maps to itself + delta.
struct TCaseRun {
  uint16_t first;
  uint16_t last;
  int16_t delta;
  uint8_t stride;
};

constexpr TCaseRun kCaseRuns[] = {
    // Latin-1 Supplement (U+00D7 is the multiplication sign).
    {0x00C0, 0x00D6, 0x20, 1},
    {0x00D8, 0x00DE, 0x20, 1},
    // Latin Extended-A. U+0130 (capital I with dot) lower-cases to plain ASCII "i".
    {0x0100, 0x012F, 1, 2},
    {0x0130, 0x0130, 0x0069 - 0x0130, 1},
    {0x0132, 0x0137, 1, 2},
    {0x0139, 0x0148, 1, 2},
    {0x014A, 0x0177, 1, 2},
    {0x0178, 0x0178, 0x00FF - 0x0178, 1},
    {0x0179, 0x017E, 1, 2},
    // Greek, with the accented capitals that sit apart from the main block.
    {0x0370, 0x0373, 1, 2},
    {0x0376, 0x0376, 1, 1},
    {0x037F, 0x037F, 0x03F3 - 0x037F, 1},
    {0x0386, 0x0386, 0x26, 1},
    {0x0388, 0x038A, 0x25, 1},
    {0x038C, 0x038C, 0x40, 1},
    {0x038E, 0x038F, 0x3F, 1},
    {0x0391, 0x03A1, 0x20, 1},
    {0x03A3, 0x03AB, 0x20, 1},
    {0x03CF, 0x03CF, 8, 1},
    {0x03D8, 0x03EF, 1, 2},
    {0x03F4, 0x03F4, 0x03B8 - 0x03F4, 1},
    {0x03F7, 0x03F7, 1, 1},
    {0x03F9, 0x03F9, 0x03F2 - 0x03F9, 1},
    {0x03FA, 0x03FA, 1, 1},
    {0x03FD, 0x03FF, 0x037B - 0x03FD, 1},
    // Cyrillic and Cyrillic Supplement.
    {0x0400, 0x040F, 0x50, 1},
    {0x0410, 0x042F, 0x20, 1},
    {0x0460, 0x0481, 1, 2},
    {0x048A, 0x04BF, 1, 2},
    {0x04C0, 0x04C0, 0x04CF - 0x04C0, 1},
    {0x04C1, 0x04CE, 1, 2},
    {0x04D0, 0x052F, 1, 2},
};

char32_t LowerCodePoint(char32_t codePoint) {
  for (const TCaseRun& run : kCaseRuns) {
    if (codePoint >= run.first && codePoint <= run.last &&
        (codePoint - run.first) % run.stride == 0) {
      return static_cast<char32_t>(static_cast<int32_t>(codePoint) + run.delta);
    }
  }
  return codePoint;
}

}  // namespace

std::string AnsiLowerCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const platform::TUtf8Char c = platform::DecodeUtf8Char(text.substr(i));
    if (c.Length == 0) {
      // A byte of a broken sequence stays as it is; the scan goes on at the next byte, so a
      // valid sequence right after it is still lower-cased.
      out += text[i++];
    } else if (c.Length == 1) {
      out += platform::LowerAscii(text[i++]);
    } else {
      // A well-formed sequence has one encoding, so a character without a mapping comes back
      // byte for byte.
      platform::AppendUtf8(out, LowerCodePoint(c.CodePoint));
      i += c.Length;
    }
  }
  return out;
}
