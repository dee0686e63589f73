// Destination directories of entries, and the judgement of paths that would leave the
// destination or name something other than a plain file.
#include "unzip/entry_destination.h"

#include <gtest/gtest.h>

#include "platform/files.h"

namespace {

TEST(EntryDestination, StoredDirectoriesGoBelowTheDestination) {
  struct Case {
    const char* directory;
    bool recreate;
    std::vector<std::string> relative;
    const char* expected;
  };
  const Case cases[] = {
      {"", true, {}, "C:\\x\\"},
      {"sub\\", false, {}, "C:\\x\\"},
      {"sub\\", true, {}, "C:\\x\\sub\\"},
      {"\\abs\\", true, {}, "C:\\x\\abs\\"},
      {"D:\\abs\\", true, {}, "C:\\x\\abs\\"},
      {"Data\\sub\\", true, {"data\\"}, "C:\\x\\sub\\"},
      {"other\\", true, {"data\\"}, "C:\\x\\other\\"},
      {"data\\", true, {"data\\", "da"}, "C:\\x\\"},
      {"data\\", true, {""}, "C:\\x\\data\\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EntryDestinationDir("C:\\x", c.directory, c.recreate, c.relative), c.expected)
        << c.directory;
  }
  EXPECT_EQ(EntryDestinationDir("C:", "", true, {}), "C:\\");
}

TEST(EntryDestination, PathsOutsideTheDestinationAreUnsafe) {
  struct Case {
    const char* path;
    bool isFile;
    bool unsafe;
  };
  const Case cases[] = {
      {"C:\\x\\a.txt", true, false},
      {"C:\\x\\sub\\..\\a.txt", true, false},
      {"C:\\x\\.\\a.txt", true, false},
      {"C:\\x\\..\\a.txt", true, true},
      {"C:\\x\\sub\\..\\..\\a.txt", true, true},
      {"C:\\x\\sub/../../a.txt", true, true},
      {"C:\\x..\\a.txt", true, true},
      {"C:\\y\\a.txt", true, true},
      {"C:\\x\\", true, true},
      {"C:\\x\\sub\\..", true, true},
      {"C:\\x\\sub\\", false, false},
      {"C:\\x\\sub\\..\\", false, false},
      {"C:\\x\\..\\", false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsUnsafeOutputPath("C:\\x", c.path, c.isFile), c.unsafe) << c.path;
  }
  EXPECT_TRUE(IsUnsafeOutputPath("C:\\x", std::string("C:\\x\\a\0b", 8), true));
}

TEST(EntryDestination, NamesTheFileSystemWouldTakeForDevicesAreUnsafeWhereItDoes) {
  const bool windowsNames = platform::IsReservedFileName("CON");
  for (const char* name :
       {"CON", "con.txt", "NUL", "COM1", "lpt9.log", "AUX .txt", "name.", "name ", "a:b"}) {
    EXPECT_EQ(IsUnsafeOutputPath("C:\\x", std::string("C:\\x\\sub\\") + name, true), windowsNames)
        << name;
  }
  for (const char* name : {"console", "COM0", "LPT10", "nul-device", ".hidden"}) {
    EXPECT_FALSE(IsUnsafeOutputPath("C:\\x", std::string("C:\\x\\") + name, true)) << name;
  }
}

}  // namespace
