// Tests of the OEM code page service: the locale table of the POSIX side, and the conversions in
// whatever OEM code page the running system has.
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
