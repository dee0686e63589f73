// The hand-over file's lines and the main program's name, and the delimiter rule of the program
// directory.
#include "app/hand_over_file.h"

#include <gtest/gtest.h>

#include "app/app_paths.h"
#include "platform/code_pages.h"
#include "platform/path_text.h"
#include "support/temp_dir.h"

namespace {

TEST(HandOverFile, LinesSplitAtEveryKindOfLineBreakAndEndAtANul) {
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"a\n\nb\n", {"a", "", "b"}},
      {"\r\n\r\n", {"", ""}},
      {"a\n\r", {"a", ""}},
      {std::string("name\0rest\n", 10), {"name"}},
      {"\xEF\xBB\xBF"
       "app.exe\r\n",
       {"app.exe"}},
      {"a\xEF\xBB\xBF", {"a\xEF\xBB\xBF"}},
      // UTF-16 with its byte-order mark, as PowerShell writes it: little- and big-endian, a name
      // beyond ASCII (U+5347 U+7EA7) and one beyond the basic plane (U+1F600).
      {std::string("\xFF\xFE"
                   "a\0p\0p\0.\0e\0x\0e\0\r\0\n\0x\0",
                   22),
       {"app.exe", "x"}},
      {std::string("\xFE\xFF"
                   "\0a\0p\0p\0\r\0\n",
                   12),
       {"app"}},
      {std::string("\xFF\xFE"
                   "\x47\x53\xA7\x7E\x3D\xD8\x00\xDE",
                   10),
       {"\xE5\x8D\x87\xE7\xBA\xA7\xF0\x9F\x98\x80"}},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    test::WriteFileBytes(dir.File("uplog.txt"), c.bytes);
    EXPECT_EQ(LoadLines(dir.File("uplog.txt")), c.lines) << c.bytes;
  }
}

TEST(HandOverFile, TextThatIsNotUtf8IsReadInTheSystemsAnsiCodePage) {
  // "升级程序.exe" in GBK: a Chinese system's main program writes it so. A UTF-8 system keeps the
  // bytes; Windows converts them from its ANSI code page.
  const std::string gbk = "\xC9\xFD\xBC\xB6\xB3\xCC\xD0\xF2.exe";
  test::TempDir dir;
  test::WriteFileBytes(dir.File("uplog.txt"), gbk + "\r\nnext\r\n");
  const std::vector<std::string> lines = {platform::HandOverTextToUtf8(gbk), "next"};
  EXPECT_EQ(LoadLines(dir.File("uplog.txt")), lines);
  if (platform::AnsiCodePage() == 936) {
    EXPECT_EQ(lines[0], "升级程序.exe");
  }
}

TEST(HandOverFile, TheFirstLineWithoutBlanksNamesTheMainProgram) {
  EXPECT_EQ(MainExeNameFrom({}), "main.exe");
  EXPECT_EQ(MainExeNameFrom({"  \t "}), "main.exe");
  EXPECT_EQ(MainExeNameFrom({"", "later.exe"}), "main.exe");
  EXPECT_EQ(MainExeNameFrom({" \tapp.exe \x01", "x"}), "app.exe");
  EXPECT_EQ(MainExeNameFrom({"my app.exe"}), "my app.exe");
}

TEST(AppPaths, ADelimiterIsAddedOnlyWhereOneIsMissing) {
  EXPECT_EQ(platform::AddPathDelimiter(""), "");
  EXPECT_EQ(platform::AddPathDelimiter("  "), "  ");
  EXPECT_EQ(platform::AddPathDelimiter("C:\\app"), "C:\\app\\");
  EXPECT_EQ(platform::AddPathDelimiter("C:\\app\\"), "C:\\app\\");
  const std::string appDir = GetAppDir();
  ASSERT_FALSE(appDir.empty());
  EXPECT_EQ(appDir.back(), '\\');
}

}  // namespace
