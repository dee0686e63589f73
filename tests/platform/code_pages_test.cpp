// Tests of the code page service: the locale table of the POSIX side, the conversions in
// whatever OEM code page the running system has, and those from a code page given explicitly
// (the hand-over text).
#include "platform/code_pages.h"

#include <gtest/gtest.h>

#include <string>

#include "support/scoped_env.h"

namespace {

TEST(CodePagesTest, LocaleNamesChooseTheOemCodePage) {
  const struct {
    const char* locale;
    unsigned codePage;
  } cases[] = {
      {"zh_CN.UTF-8", 936},  {"zh_SG", 936},       {"zh_TW.Big5", 950},
      {"zh_HK.UTF-8", 950},  {"ja_JP.UTF-8", 932}, {"ja", 932},
      {"ko_KR.EUC-KR", 949}, {"ru_RU.UTF-8", 866}, {"uk_UA", 866},
      {"be_BY@latin", 866},  {"de_DE.UTF-8", 437}, {"en_US", 437},
      {"C.UTF-8", 437},      {"POSIX", 437},       {"", 437},
      {"zh", 437},           {"jam_JM", 437},  // a language code that merely starts like "ja"
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::OemCodePageForLocale(c.locale), c.codePage) << c.locale;
  }
}

TEST(CodePagesTest, Cp437ConvertsBothWays) {
  if (platform::OemCodePage() != 437) {
    GTEST_SKIP() << "the OEM code page here is " << platform::OemCodePage() << ", not 437";
  }
  const struct {
    const char* oem;
    const char* utf8;
  } cases[] = {
      {"", ""},
      {"readme.txt", "readme.txt"},
      {"\x81\x94", "\xC3\xBC\xC3\xB6"},              // üö
      {"\x8E\x99\x9A", "\xC3\x84\xC3\x96\xC3\x9C"},  // ÄÖÜ
      {"\xE1", "\xC3\x9F"},                          // ß
      {"\x82t\x82", "\xC3\xA9t\xC3\xA9"},            // été
  };
  for (const auto& c : cases) {
    std::string utf8;
    ASSERT_TRUE(platform::OemToUtf8(c.oem, &utf8)) << c.oem;
    EXPECT_EQ(utf8, c.utf8);
    std::string oem;
    ASSERT_TRUE(platform::Utf8ToOem(c.utf8, &oem)) << c.utf8;
    EXPECT_EQ(oem, c.oem);
  }
}

TEST(CodePagesTest, EveryCp437ByteSurvivesTheRoundTrip) {
  if (platform::OemCodePage() != 437) {
    GTEST_SKIP() << "the OEM code page here is " << platform::OemCodePage() << ", not 437";
  }
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string utf8;
  ASSERT_TRUE(platform::OemToUtf8(all, &utf8));
  std::string back;
  ASSERT_TRUE(platform::Utf8ToOem(utf8, &back));
  EXPECT_EQ(back, all);
}

TEST(CodePagesTest, Cp437RefusesWhatItCannotHold) {
  if (platform::OemCodePage() != 437) {
    GTEST_SKIP() << "the OEM code page here is " << platform::OemCodePage() << ", not 437";
  }
  // The euro sign and a Chinese character have no CP437 byte; "ā" must not become "a".
  for (const char* text : {"\xE2\x82\xAC", "a\xE4\xB8\xAD", "\xC4\x81"}) {
    std::string oem;
    EXPECT_FALSE(platform::Utf8ToOem(text, &oem)) << text;
  }
}

TEST(CodePagesTest, InvalidUtf8IsRefusedInAnyCodePage) {
  for (const char* text : {"\xC3", "a\xC3(", "\xED\xA0\x80", "\xFF"}) {
    std::string oem;
    EXPECT_FALSE(platform::Utf8ToOem(text, &oem)) << text;
  }
}

TEST(CodePagesTest, AnExplicitCodePageConvertsToUtf8) {
  const struct {
    unsigned codePage;
    const char* text;
    const char* utf8;  // nullptr: not text in that code page
  } cases[] = {
      {936, "\xC9\xFD\xBC\xB6\xB3\xCC\xD0\xF2.exe", "升级程序.exe"},  // GBK
      {936, "app.exe", "app.exe"},
      {936, "a\x81", nullptr},  // a lead byte without its trail byte
      {1252, "pr\xF6g.exe", "prög.exe"},
      {65001, "升级.exe", "升级.exe"},
      {65001, "\xC9\xFD\xBC\xB6", nullptr},  // GBK is not UTF-8
      {65001, "\xED\xA0\x80", nullptr},      // a surrogate
  };
  for (const auto& c : cases) {
    std::string utf8;
    const bool converted = platform::CodePageToUtf8(c.text, c.codePage, &utf8);
    EXPECT_EQ(converted, c.utf8 != nullptr) << c.codePage << " " << c.text;
    if (converted && c.utf8 != nullptr) {
      EXPECT_EQ(utf8, c.utf8) << c.codePage;
    }
  }
}

TEST(CodePagesTest, HandOverTextIsUtf8WhenValidElseTheAnsiCodePage) {
  const struct {
    const char* bytes;
    unsigned ansiCodePage;
    const char* utf8;
  } cases[] = {
      {"升级程序.exe", 936, "升级程序.exe"},  // valid UTF-8 wins, whatever the code page
      {"\xC9\xFD\xBC\xB6\xB3\xCC\xD0\xF2.exe\r\nnext", 936, "升级程序.exe\r\nnext"},
      {"pr\xF6g.exe", 1252, "prög.exe"},
      {"\xC9\xFD\xBC\xB6.exe", 65001, "\xC9\xFD\xBC\xB6.exe"},  // a UTF-8 system keeps the bytes
      {"a\x81", 936, "a\x81"},                                  // text in neither: kept as it is
      {"", 936, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::HandOverTextToUtf8(c.bytes, c.ansiCodePage), c.utf8) << c.bytes;
  }
  // POSIX text is UTF-8 through and through; Windows names its ANSI code page.
  EXPECT_NE(platform::AnsiCodePage(), 0u);
}

TEST(CodePagesTest, DoubleByteCodePageFromTheLocale) {
  test::ScopedEnv lcAll("LC_ALL", "ja_JP.UTF-8");
  if (platform::OemCodePage() != 932) {
    GTEST_SKIP() << "the OEM code page does not follow the locale here (it is "
                 << platform::OemCodePage() << ")";
  }
  std::string utf8;
  // 0x5C is the trail byte of a kanji here, not a backslash.
  ASSERT_TRUE(platform::OemToUtf8("\x95\x5C", &utf8));
  EXPECT_EQ(utf8, "\xE8\xA1\xA8");  // 表
  std::string oem;
  ASSERT_TRUE(platform::Utf8ToOem(utf8, &oem));
  EXPECT_EQ(oem, "\x95\x5C");
  // A lead byte without its trail byte is not text.
  EXPECT_FALSE(platform::OemToUtf8("a\x81", &utf8));

  test::ScopedEnv lcAllUnset("LC_ALL", "");
  test::ScopedEnv lcCtype("LC_CTYPE", "ru_RU.UTF-8");
  test::ScopedEnv lang("LANG", "zh_CN.UTF-8");
  EXPECT_EQ(platform::OemCodePage(), 866u);  // LC_CTYPE before LANG
}

}  // namespace
