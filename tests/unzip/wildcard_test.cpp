// Tests of the entry-name wildcard matcher: result codes, sets, restricted stars, hostile
// patterns and patterns with many stars.
#include "unzip/wildcard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TCase {
  std::string pattern;
  std::string name;
  int expected;
};

void CheckCases(const std::vector<TCase>& cases) {
  for (const TCase& c : cases) {
    SCOPED_TRACE("pattern '" + c.pattern + "', name '" + c.name + "'");
    EXPECT_EQ(MatchPattern(c.pattern, c.name), c.expected);
    EXPECT_EQ(IsMatch(c.pattern, c.name), c.expected == mrMatch);
  }
}

TEST(WildcardTest, BasicSyntaxAndResultCodes) {
  CheckCases({
      {"*.TXT", "dir\\a.txt", mrMatch},
      {"*", "", mrMatch},
      {"*", "any\\thing", mrMatch},
      {"", "", mrMatch},
      {"", "a", mrPatternEnded},
      {"a?c", "ac", mrNameEnded},
      {"a?c", "abc", mrMatch},
      {"abc", "ab", mrNameEnded},
      {"ab", "abc", mrPatternEnded},
      {"axc", "abc", mrLiteralDiffers},
      {"x*", "yab", mrLiteralDiffers},
      {"<x>", "a", mrSetRefused},
      {"<x>*", "ab", mrSetRefused},
      {"a*", "a", mrMatch},
      {"a**", "a", mrNameEnded},
      {"a**", "ab", mrMatch},
      // Only a remaining pattern of exactly one star survives the end of the name.
      {"**", "", mrNameEnded},
      {"**", "x", mrMatch},
      {"*a*", "ba", mrMatch},
      {"*a**", "ba", mrNameEnded},
      {"*a**", "bab", mrMatch},
      {"a*<0-9>", "a", mrNameEnded},
      {"*<0-9>", "", mrNameEnded},
      // "[" and "]" are ordinary characters; "\" too.
      {"[a].txt", "[A].TXT", mrMatch},
      {"dir\\*", "dir\\sub\\a", mrMatch},
      // Letters are compared after lower-casing both sides, beyond ASCII as well.
      {"ÄRGER.TXT", "ärger.txt", mrMatch},
      {"ПРИВЕТ*", "привет.txt", mrMatch},
  });
}

TEST(WildcardTest, SetsAndRanges) {
  CheckCases({
      {"<a-c>x", "bx", mrMatch},
      {"<a-c>x", "Bx", mrMatch},
      {"<!a-c>x", "bx", mrSetRefused},
      {"<!a-c>x", "dx", mrMatch},
      {"<^a-c>x", "dx", mrMatch},
      {"<c-a>x", "bx", mrSetRefused},
      {"<a-cx-z>", "y", mrMatch},
      {"<a-cx-z>", "m", mrSetRefused},
      {"<-a>", "-", mrMatch},
      {"<[]>", "]", mrMatch},
      {"<!!>", "!", mrSetRefused},
      {"<a-c>", "", mrNameEnded},
  });
}

TEST(WildcardTest, QuestionMarksAndSetsTakeWholeUtf8Characters) {
  CheckCases({
      // Two, three and four bytes: one character each.
      {"?", "ж", mrMatch},
      {"??", "ж", mrNameEnded},
      {"????.txt", "файл.txt", mrMatch},
      {"???.txt", "файл.txt", mrLiteralDiffers},
      {"?", "文", mrMatch},
      {"a?b",
       "a\xF0\x9F\x98\x80"
       "b",
       mrMatch},
      {"*?.txt", "文.txt", mrMatch},
      {"*x?", "ax文", mrMatch},
      // Sets hold characters and ranges of code points.
      {"<жё>", "ж", mrMatch},
      {"<а-я>", "ф", mrMatch},
      {"<а-я>", "f", mrSetRefused},
      {"<!а-я>?", "fж", mrMatch},
      {"<!а-я>", "ф", mrSetRefused},
      {"*<а-я>.txt", "файл.txt", mrMatch},
      {"*<а-я>.txt", "fайл.txt", mrNameEnded},
      // Each byte of an invalid sequence is one character, matched only by itself or "?".
      {"?", "\xFF", mrMatch},
      {"??", "\xD1\xFF", mrMatch},
      {"?", "\xD1", mrMatch},
      {"?x", "\xE6\x96x", mrLiteralDiffers},
      {"??x", "\xE6\x96x", mrMatch},
      {"\xFF", "\xFF", mrMatch},
      {"\xFF", "\xFE", mrLiteralDiffers},
      {"<\xFF>", "\xFF", mrMatch},
      {"<\xFF>", "\xC3\xBF", mrSetRefused},  // U+00FF is not the byte 0xFF
      {"?", "\xC0\xAF", mrPatternEnded},     // an overlong form is two stray bytes
  });
}

TEST(WildcardTest, RestrictedStars) {
  CheckCases({
      {"*<0-9>", "123", mrMatch},
      {"*<0-9>", "12a", mrNameEnded},
      {"*<a-z>b", "bb9b", mrNameEnded},
      {"*<a-z>b", "xyb", mrMatch},
      {"*<!\\>.txt", "a.txt", mrMatch},
      {"*<!\\>.txt", "dir\\a.txt", mrNameEnded},
      {"**<0-9>", "abc123", mrMatch},
      // The first star, not the restricted one, must take "xb".
      {"*x*<a>", "xbxa", mrMatch},
  });
}

TEST(WildcardTest, FailuresAfterAStarEndWithTheName) {
  // Once a star is reached every failure means that its take grew to the end of the name (or
  // its set refused a character): literals, sets and a short pattern do not show through.
  CheckCases({
      {"*.txt", "a.txt.bak", mrNameEnded},
      {"*b", "abc", mrNameEnded},
      {"a*<x>c", "axxd", mrNameEnded},
      {"*?x", "ab", mrNameEnded},
  });
}

TEST(WildcardTest, MalformedPatterns) {
  CheckCases({
      {"<a-c", "a", mrMalformed},
      {"<>", "a", mrMalformed},
      {"<!>", "a", mrMalformed},
      {"<^>", "a", mrMalformed},
      {"<a->", "a", mrMalformed},
      {"<a-c", "", mrNameEnded},  // the name ran out before the set was read
      {"x<a-c", "y", mrLiteralDiffers},
      // A malformed set restricting a star is reported as 3 ...
      {"*<>", "a", mrNameEnded},
      {"*<a-c", "a", mrNameEnded},
      {"*<!>", "a", mrNameEnded},
      {"*<>x<", "a", mrNameEnded},
      // ... any other malformed set after a star as 6, whether or not a try would reach it.
      {"*x<a-", "yx", mrMalformed},
      {"*x<a-", "yyy", mrMalformed},
  });
}

TEST(WildcardTest, HostilePatternsStayInsideTheirStrings) {
  CheckCases({
      {"<", "a", mrMalformed},      {"<!", "a", mrMalformed},     {"<^", "a", mrMalformed},
      {"<a", "a", mrMalformed},     {"<a-", "a", mrMalformed},    {"<-", "a", mrMalformed},
      {"<>>", "a", mrMalformed},    {"<\xff-", "a", mrMalformed}, {"-", "a", mrLiteralDiffers},
      {"!", "a", mrLiteralDiffers}, {">", "a", mrLiteralDiffers}, {"a<", "a", mrNameEnded},
      {"a<", "ab", mrMalformed},    {"*<", "a", mrNameEnded},     {"*<!", "a", mrNameEnded},
      {"*<a-", "a", mrNameEnded},   {"*?<", "a", mrMalformed},    {"*<<>", "<<", mrMatch},
      {"*-", "a", mrNameEnded},     {"*\xff", "a\xff", mrMatch},
  });
  const std::vector<std::string> patterns = {"<",   "<!",  "<^", "<a-", "<a->", "*<",    "*<!",
                                             "*<-", "**<", "?*", "*?",  "-",    "<--->", "<!->",
                                             "*<>", "<>*", "*",  "",    "\xc3", "<\xc3-"};
  const std::vector<std::string> names = {"", "a", "ab", "<", "-", ">", "\xc3", "\xff\xfe", "a-b>"};
  for (const std::string& pattern : patterns) {
    for (const std::string& name : names) {
      SCOPED_TRACE("pattern '" + pattern + "', name '" + name + "'");
      const int result = MatchPattern(pattern, name);
      EXPECT_GE(result, mrMatch);
      EXPECT_LE(result, mrMalformed);
      EXPECT_EQ(IsMatch(pattern, name), result == mrMatch);
    }
  }
}

TEST(WildcardTest, ManyStarsOnALongNameStayCheap) {
  const std::string as(10000, 'a');
  CheckCases({
      {"*a*a*a*a*a*a*a*a*a*a*a*a*b", as, mrNameEnded},
      {"*a*a*a*a*a*a*a*a*a*a*a*a*b", as + "b", mrMatch},
      {"*<a-b>a*<a-b>a*<a-b>a*<a-b>a*<a-b>a*<a-b>c", as, mrNameEnded},
      {"*<a-b>a*<a-b>a*<a-b>a*<a-b>a*<a-b>a*<a-b>c", as + "c", mrMatch},
  });
  std::string hundredStars;
  for (int i = 0; i < 100; ++i) hundredStars += "*a";
  CheckCases({{hundredStars + "*b", as, mrNameEnded}, {hundredStars, as, mrMatch}});
}

}  // namespace
