// Tests of entry name decoding: the choice between UTF-8 and the OEM code page, the fallbacks,
// and the split into directory and file name.
#include "unzip/records/entry_name.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/code_pages.h"
#include "support/scoped_env.h"

namespace {

TEST(EntryNameTest, SplitsAtTheLastBackslashOrColon) {
  const struct {
    const char* path;
    const char* directory;
    const char* fileName;
  } cases[] = {
      {"dir\\sub\\", "dir\\sub\\", ""},
      {"readme.txt", "", "readme.txt"},
      {"a\\b\\c.txt", "a\\b\\", "c.txt"},
      {"C:x", "C:\\", "x"},
      {"C:\\x", "C:\\", "x"},
      {"a:b\\c", "a:b\\", "c"},
      {"\\", "\\", ""},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    std::string directory = "stale";
    std::string fileName = "stale";
    SplitEntryPath(c.path, &directory, &fileName);
    EXPECT_EQ(directory, c.directory) << c.path;
    EXPECT_EQ(fileName, c.fileName) << c.path;
  }
}

TEST(DecodeUtf8Name, KeepsValidTextAndEmptiesInvalidBytes) {
  struct Case {
    std::string bytes;
    bool valid;
  } cases[] = {
      {"plain.txt", true},
      {"\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB-\xE6\x96\x87.txt", true},
      {"\xF0\x9F\x98\x80", true},
      {"", true},
      {"\xFF", false},
      {"abc\xC3", false},           // truncated
      {"\xC0\xAF", false},          // overlong "/"
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\x80", false},              // lone continuation byte
      {"\xE6\x96", false},          // truncated at the end
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeUtf8Name(c.bytes), c.valid ? c.bytes : "") << testing::PrintToString(c.bytes);
  }
}

#define UE "\xC3\xBC"  // ü in UTF-8

TEST(EntryNameTest, NameRuleWithCp437) {
  if (platform::OemCodePage() != 437) {
    GTEST_SKIP() << "the OEM code page here is " << platform::OemCodePage() << ", not 437";
  }
  const struct {
    const char* raw;
    uint16_t flags;
    int host;
    bool oemTest;
    const char* expected;
  } cases[] = {
      {"dir/a.txt", 0, 0, true, "dir\\a.txt"},
      // OEM text from a DOS or Windows host.
      {"\x81"
       "ber",
       0, 0, true, UE "ber"},
      // Flag bit 11: UTF-8, no OEM test.
      {UE "ber", kFlagUtf8Name, 0, true, UE "ber"},
      // A Unix host writes UTF-8 without the flag.
      {UE "ber", 0, kHostUnix, true, UE "ber"},
      // The same bytes from a DOS host pass the OEM test and are read as CP437 ("├╝").
      {UE "ber", 0, 0, true,
       "\xE2\x94\x9C\xE2\x95\x9D"
       "ber"},
      // From a local header (no host) only the flag keeps a name out of the OEM test.
      {UE "ber", 0, kHostUnknown, true,
       "\xE2\x94\x9C\xE2\x95\x9D"
       "ber"},
      {UE "ber", kFlagUtf8Name, kHostUnknown, true, UE "ber"},
      // No OEM test at all.
      {UE "ber", 0, 0, false, UE "ber"},
      // Not UTF-8 after all: read as OEM text rather than given an empty name.
      {"\x81"
       "ber",
       kFlagUtf8Name, 0, true, UE "ber"},
      {"\x81"
       "ber",
       0, kHostUnix, true, UE "ber"},
      {"\x81"
       "ber",
       0, 0, false, UE "ber"},
      {"a/b/", kFlagUtf8Name, kHostUnix, false, "a\\b\\"},
      {"", 0, 0, true, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeEntryName(c.raw, c.flags, c.host, c.oemTest), c.expected)
        << c.raw << " flags " << c.flags << " host " << c.host << " oem " << c.oemTest;
  }
}

TEST(EntryNameTest, NameRuleWithADoubleByteCodePage) {
  test::ScopedEnv japanese("LC_ALL", "ja_JP.UTF-8");
  if (platform::OemCodePage() != 932) {
    GTEST_SKIP() << "the OEM code page does not follow the locale here (it is "
                 << platform::OemCodePage() << ")";
  }
  const struct {
    const char* raw;
    const char* expected;
  } cases[] = {
      // Shift-JIS text; its 0x5C trail byte is no separator once the name is converted.
      {"dir/\x95\x5C.txt", "dir\\\xE8\xA1\xA8.txt"},
      // Not Shift-JIS (0x80 is no character there): the OEM test fails, the UTF-8 reading stays.
      {"\xC4\x80", "\xC4\x80"},
      // Neither Shift-JIS nor UTF-8: the bytes that are not ASCII become U+FFFD.
      {"a\x81", "a\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeEntryName(c.raw, 0, 0, true), c.expected) << c.raw;
  }
  // A failed round trip leaves the name as it was.
  std::string name = "\xC4\x80";
  EXPECT_FALSE(OemRoundTripName(name));
  EXPECT_EQ(name, "\xC4\x80");

  std::string directory;
  std::string fileName;
  SplitEntryPath(DecodeEntryName("dir/\x95\x5C.txt", 0, 0, true), &directory, &fileName);
  EXPECT_EQ(directory, "dir\\");
  EXPECT_EQ(fileName, "\xE8\xA1\xA8.txt");
}

}  // namespace
