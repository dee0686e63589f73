// Destination directories of entries, and the judgement of paths that would leave the
// destination or name something other than a plain file.
#include "unzip/entry_destination.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"
#include "unzip/base/directories.h"
#include "unzip/unzipper.h"

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

TEST(EntryDestination, ALoneRootStaysTheRootAndGetsNoSecondSeparator) {
  struct Case {
    const char* value;   // given to the setter
    const char* stored;  // DestDir afterwards
  };
  const Case setterCases[] = {
      {"/", "\\"},  {"\\", "\\"},       {"C:\\", "C:\\"},         {"C:/", "C:\\"},
      {"C:", "C:"}, {"/app/", "\\app"}, {"C:\\app\\", "C:\\app"}, {"", ""},
  };
  TUnZipper zipper;
  for (const Case& c : setterCases) {
    zipper.SetDestDir(c.value);
    EXPECT_EQ(zipper.DestDir(), c.stored) << c.value;
  }
  zipper.SetRootDir("/");
  EXPECT_EQ(zipper.RootDir(), "\\");

  struct JoinCase {
    const char* base;
    const char* directory;
    const char* expected;
  };
  const JoinCase joinCases[] = {
      {"\\", "", "\\"},
      {"\\", "sub\\", "\\sub\\"},
      {"\\", "\\abs\\", "\\abs\\"},
      {"\\", "D:\\abs\\", "\\abs\\"},
      {"C:\\", "", "C:\\"},
      {"C:\\", "sub\\", "C:\\sub\\"},
      {"C:\\", "\\abs\\", "C:\\abs\\"},
  };
  for (const JoinCase& c : joinCases) {
    EXPECT_EQ(EntryDestinationDir(c.base, c.directory, true, {}), c.expected)
        << c.base << " " << c.directory;
  }
  EXPECT_FALSE(IsUnsafeOutputPath("\\", "\\x", true));
  EXPECT_FALSE(IsUnsafeOutputPath("C:\\", "C:\\sub\\x", true));
  EXPECT_TRUE(IsUnsafeOutputPath("\\", "\\sub\\..\\..\\x", true));
  EXPECT_TRUE(IsUnsafeOutputPath("C:\\", "D:\\x", true));
}

// The run's own paths below the root, seen through OnStartUnZip, which skips every entry: nothing
// is written to the real root. An empty DestDir run from the root is the root as well.
TEST(EntryDestination, EntriesBelowTheRootAreJoinedWithOneSeparator) {
  test::TempDir dir;
  test::WriteFileBytes(dir.File("in.zip"), test::BuildZipOfFiles({{"x", "x"}, {"sub/y", "y"}}));
  const std::string previous = platform::CurrentDirectory();
  ASSERT_TRUE(platform::ChangeDirectory("\\"));
  const std::string root = platform::CurrentDirectory();  // "\" here, "C:\" on Windows
  ASSERT_TRUE(platform::ChangeDirectory(previous));
  struct Case {
    std::string destination;
    std::string expectedBase;
  };
  std::vector<Case> cases = {{"/", "\\"}, {"", root}};
  // A drive's root only where drives exist (the names of devices tell the Windows host).
  if (platform::IsReservedFileName("CON")) cases.push_back({"C:\\", "C:\\"});
  for (const Case& c : cases) {
    const std::string& destination = c.destination;
    SCOPED_TRACE(destination);
    TUnZipper zipper;
    zipper.DoProcessMessages = false;
    zipper.DoAll = true;
    zipper.RecreateDirs = true;
    std::vector<std::string> paths;
    zipper.OnStartUnZip = [&paths](TUnZipper*, int, std::string& name, bool& skip) {
      paths.push_back(name);
      skip = true;
    };
    zipper.SetZipName(dir.File("in.zip"));
    zipper.SetDestDir(destination);
    ASSERT_TRUE(platform::ChangeDirectory("\\"));
    try {
      zipper.UnZip();
    } catch (const Exception& e) {
      ADD_FAILURE() << e.Message();
    }
    ASSERT_TRUE(platform::ChangeDirectory(previous));
    EXPECT_EQ(paths, (std::vector<std::string>{c.expectedBase + "x", c.expectedBase + "sub\\y"}));
  }
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
      {"C:\\x\\a\nb.txt", true, true},
      {"C:\\x\\a\tb\\c.txt", true, true},
      {"C:\\x\\a\x7F.txt", true, true},
      {"C:\\x\\sub\r\\", false, true},
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

TEST(EntryDestination, SlashesInTheComponentsPathsSeparateAsBackslashesDo) {
  TUnZipper zipper;
  zipper.SetDestDir("C:/app/");
  EXPECT_EQ(zipper.DestDir(), "C:\\app");
  zipper.SetDestDir("C:/");
  EXPECT_EQ(zipper.DestDir(), "C:\\");
  zipper.SetRootDir("data/sub");
  EXPECT_EQ(zipper.RootDir(), "data\\sub\\");
  EXPECT_EQ(zipper.RelativePathList, std::vector<std::string>{"data\\sub\\"});
  zipper.SetRootDir("data/");
  EXPECT_EQ(zipper.RootDir(), "data\\");

  // The extension of a split set's base name is looked for in the file-name part only.
  struct Case {
    const char* name;
    const char* zipName;
    const char* baseName;
  } cases[] = {
      {"C:/v1.2/app.zip", "C:\\v1.2\\app.zip", "C:\\v1.2\\app"},
      {"C:/v1.2/app", "C:\\v1.2\\app", "C:\\v1.2\\app"},
      {"C:\\v1.2/app-1.2.zip", "C:\\v1.2\\app-1.2.zip", "C:\\v1.2\\app-1.2"},
      {"out.d/app", "out.d\\app", "out.d\\app"},
  };
  for (const Case& c : cases) {
    zipper.SetZipName(c.name);
    EXPECT_EQ(zipper.ZipName(), c.zipName) << c.name;
    EXPECT_EQ(zipper.ZipBaseName, c.baseName) << c.name;
  }
}

TEST(EntryDestination, AMissingDestinationIsCreatedWithEveryParent) {
  test::TempDir dir;
  test::WriteFileBytes(dir.File("in.zip"),
                       test::BuildZipOfFiles({{"a.txt", "alpha"}, {"sub/b.txt", "bravo"}}));
  // "/" separates everywhere, and "new" and "deeper" do not exist yet.
  for (const std::string& destination : {dir.File("out/new/sub"), dir.File("out\\new/deeper/")}) {
    SCOPED_TRACE(destination);
    TUnZipper zipper;
    zipper.DoProcessMessages = false;
    zipper.DoAll = true;
    zipper.RecreateDirs = true;
    zipper.OverwriteMode = Always;
    zipper.SetZipName(dir.File("in.zip"));
    zipper.SetDestDir(destination);
    EXPECT_EQ(zipper.UnZip(), 2);
    std::string inside = destination;
    for (char& c : inside) c = c == '/' ? '\\' : c;
    if (inside.back() != '\\') inside += '\\';
    EXPECT_EQ(test::ReadFileBytes(inside + "a.txt"), "alpha");
    EXPECT_EQ(test::ReadFileBytes(inside + "sub\\b.txt"), "bravo");
  }
}

TEST(EntryDestination, AnArchiveInADottedDirectoryFindsItsCompanionFile) {
  test::TempDir dir;
  ASSERT_TRUE(ForceDirectories(dir.File("v1.2")));
  test::ZipArchive data;
  data.entries = {test::ZipEntry{}, test::ZipEntry{}};
  data.entries[0].name = "a.txt";
  data.entries[0].data = "alpha";
  data.entries[1].name = "b.txt";
  data.entries[1].data = "bravo";
  test::ZipArchive central = data;
  for (test::ZipEntry& entry : data.entries) entry.writeCentral = false;
  data.writeEnd = false;
  test::ZipLayout layout;
  test::WriteFileBytes(dir.File("v1.2\\app"), test::BuildZip(data, &layout));
  for (size_t i = 0; i < central.entries.size(); ++i) {
    central.entries[i].writeLocal = false;
    central.entries[i].localHeaderOffset = static_cast<uint32_t>(layout.localHeaderOffsets[i]);
  }
  test::WriteFileBytes(dir.File("v1.2\\app.zfc"), test::BuildZip(central));
  TUnZipper zipper;
  zipper.DoProcessMessages = false;
  zipper.SetZipName(dir.Path() + "/v1.2/app");
  zipper.LoadDirectory();
  ASSERT_EQ(zipper.EntryCount(), 2);
  EXPECT_EQ(zipper.EntryFileName(1), "b.txt");
}

}  // namespace
