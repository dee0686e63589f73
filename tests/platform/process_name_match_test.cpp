// The rule by which a process's executable answers to a name, as a table of executable texts and
// names; the same on every system.
#include "platform/process_name_match.h"

#include <gtest/gtest.h>

#include "platform/ascii_case.h"

namespace platform {
namespace {

struct MatchCase {
  const char* executable;
  const char* name;
  bool matches;
};

// "\xC3\xA9" is e-acute, "\xC3\x89" its capital, "\xE4\xB8\xBB" a CJK character: UTF-8 text.
const MatchCase kMatchCases[] = {
    // The file-name part, whatever the directory.
    {"C:\\Apps\\main.exe", "main.exe", true},
    {"D:\\Other\\place\\main.exe", "main.exe", true},
    {"main.exe", "main.exe", true},
    {"C:main.exe", "main.exe", true},
    {"\\opt\\app\\main", "main", true},
    // Letter case of ASCII letters only.
    {"C:\\Apps\\Main.Exe", "MAIN.EXE", true},
    {"C:\\Apps\\MAIN.EXE", "main.exe", true},
    {"caf\xC3\xA9.exe", "CAF\xC3\xA9.EXE", true},
    {"caf\xC3\xA9.exe", "CAF\xC3\x89.EXE", false},
    {"C:\\\xE4\xB8\xBB\\\xE4\xB8\xBB.exe", "\xE4\xB8\xBB.EXE", true},
    // Any other byte, and the length, must agree exactly.
    {"C:\\Apps\\main.exe", "main.ex", false},
    {"C:\\Apps\\main.exe", "main.exe ", false},
    {"C:\\Apps\\main.exe", "main", false},
    {"C:\\Apps\\main_exe", "main.exe", false},
    // The whole text, for a name given with its full path.
    {"C:\\Apps\\main.exe", "c:\\apps\\MAIN.EXE", true},
    {"C:\\Apps\\main.exe", "C:\\Other\\main.exe", false},
    // A directory in front of the name is no full path: it matches nothing.
    {"C:\\Apps\\main.exe", "Apps\\main.exe", false},
    {"C:\\Apps\\main.exe", "\\Apps\\main.exe", false},
    // ":" ends the directory part as "\" does; the last one of either counts.
    {"C:\\Apps\\data:main.exe", "main.exe", true},
    {"C:\\Apps\\main.exe:stream", "main.exe", false},
    {"C:\\Apps\\main.exe:stream", "stream", true},
    // "/" is no separator to the rule (the POSIX layer turns it into "\" before).
    {"/opt/app/main", "main", false},
    // Empty names and file-name parts.
    {"C:\\Apps\\main.exe", "", false},
    {"", "", false},
    {"C:\\Apps\\", "", false},
    {"C:\\Apps\\", "C:\\Apps\\", true},
};

TEST(ProcessNameMatchTest, Table) {
  for (const MatchCase& c : kMatchCases) {
    EXPECT_EQ(ProcessNameMatches(c.executable, c.name), c.matches)
        << "executable \"" << c.executable << "\", name \"" << c.name << "\"";
  }
}

TEST(ProcessNameMatchTest, UpperCasesAsciiLettersOnly) {
  std::string every;
  for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
  const std::string upper = UpperCaseAscii(every);
  ASSERT_EQ(upper.size(), every.size());
  for (int b = 0; b < 256; ++b) {
    const int expected = b >= 'a' && b <= 'z' ? b - 'a' + 'A' : b;
    EXPECT_EQ(static_cast<unsigned char>(upper[b]), expected) << "byte " << b;
  }
}

}  // namespace
}  // namespace platform
