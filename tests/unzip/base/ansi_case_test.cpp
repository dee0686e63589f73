// Tests of locale-independent lower-casing of UTF-8 text.
#include "unzip/base/ansi_case.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

TEST(AnsiCaseTest, LowerCasesLettersAndLeavesTheRest) {
  struct TCase {
    std::string text;
    std::string expected;
  };
  const std::vector<TCase> cases = {
      {"", ""},
      {"ABC xyz 09 [@`{]", "abc xyz 09 [@`{]"},
      {"ÀÉÎÕÜÞ", "àéîõüþ"},
      {"×÷ßÿ", "×÷ßÿ"},
      {"ĀĞŁŇŸŹŽ", "āğłňÿźž"},
      {"İ", "i"},  // its small letter is plain ASCII
      {"ΑΒΓΆΈΏΣΫϴ", "αβγάέώσϋθ"},
      {"ЁЖЯЎѢҐӀӐ", "ёжяўѣґӏӑ"},
      {"中文ÄÖ.TXT", "中文äö.txt"},
      // Invalid bytes pass through, and a valid sequence right after them is still lower-cased.
      {"\xc3", "\xc3"},
      {"\xc3"
       "A",
       "\xc3"
       "a"},
      {"\x80\xbf\xff", "\x80\xbf\xff"},
      {"\xe0\xc3\x80", "\xe0\xc3\xa0"},
      {"\xc1\x81", "\xc1\x81"},  // an over-long "A" is not a letter
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(AnsiLowerCase(c.text), c.expected);
  }
}

TEST(AnsiCaseTest, TruncatedSequenceAtTheEndOfABufferIsNotReadPast) {
  // A buffer of exactly the text's size, without a terminator behind it.
  const char text[] = "AB\xd0";
  const size_t size = std::strlen(text);
  const auto buffer = std::make_unique<char[]>(size);
  std::memcpy(buffer.get(), text, size);
  EXPECT_EQ(AnsiLowerCase(std::string_view(buffer.get(), size)), "ab\xd0");
}

}  // namespace
