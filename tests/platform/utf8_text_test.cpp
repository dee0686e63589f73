// Tests of the one UTF-8 decoder and its encoder.
#include "platform/utf8_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8Text, DecodesOneCharacterOrNone) {
  struct Case {
    std::string bytes;
    char32_t codePoint;
    size_t length;  // 0: no well-formed sequence at the start
  } cases[] = {
      {"a", U'a', 1},
      {"\x7F", 0x7F, 1},
      {"\xC2\x80", 0x80, 2},
      {"\xD1\x84xyz", 0x444, 2},  // only the first character
      {"\xE6\x96\x87", 0x6587, 3},
      {"\xEF\xBF\xBD", 0xFFFD, 3},
      {"\xF0\x9F\x98\x80", 0x1F600, 4},
      {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
      {"", 0, 0},
      {"\x80", 0, 0},                  // a continuation byte
      {"\xF8\x88\x80\x80\x80", 0, 0},  // a lead of five bytes
      {"\xC3", 0, 0},                  // truncated
      {"\xC3!", 0, 0},                 // not continued
      {"\xC1\xBF", 0, 0},              // overlong
      {"\xE0\x9F\xBF", 0, 0},          // overlong
      {"\xF0\x8F\xBF\xBF", 0, 0},      // overlong
      {"\xED\xBF\xBF", 0, 0},          // surrogate
      {"\xF4\x90\x80\x80", 0, 0},      // above U+10FFFF
  };
  for (const Case& c : cases) {
    const platform::TUtf8Char decoded = platform::DecodeUtf8Char(c.bytes);
    EXPECT_EQ(decoded.Length, c.length) << testing::PrintToString(c.bytes);
    if (c.length != 0) {
      EXPECT_EQ(decoded.CodePoint, c.codePoint) << testing::PrintToString(c.bytes);
      std::string encoded;
      platform::AppendUtf8(encoded, decoded.CodePoint);
      EXPECT_EQ(encoded, c.bytes.substr(0, c.length));
    }
  }
}

TEST(Utf8Text, ValidatesWholeTexts) {
  EXPECT_TRUE(platform::IsValidUtf8(""));
  EXPECT_TRUE(platform::IsValidUtf8("a\xC3\xA4\xE6\x96\x87\xF0\x9F\x98\x80"));
  EXPECT_FALSE(platform::IsValidUtf8("abc\xC3"));
  EXPECT_FALSE(platform::IsValidUtf8("\xC3\xA4\x80"));
}

}  // namespace
