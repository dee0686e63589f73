// The questions and steps composed of the file layer's calls: what is there, and a directory with
// all its parents.
#include "platform/file_helpers.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

TEST(FileHelpers, FilesAndDirectoriesAreToldApart) {
  test::TempDir dir;
  test::WriteFileBytes(dir.File("file.txt"), "x");
  ASSERT_TRUE(MakeDirectory(dir.File("sub")));
  struct Case {
    std::string path;
    bool file, directory;
  } cases[] = {
      {dir.File("file.txt"), true, false},
      {dir.File("sub"), false, true},
      {dir.File("sub\\"), false, true},
      {dir.File("missing"), false, false},
      {dir.File("file.txt\\below"), false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileExists(c.path), c.file) << c.path;
    EXPECT_EQ(DirectoryExists(c.path), c.directory) << c.path;
  }
  ASSERT_TRUE(RemoveFile(dir.File("file.txt")));
  EXPECT_FALSE(FileExists(dir.File("file.txt")));
}

TEST(FileHelpers, MakeDirectoriesRefusesAnEmptyPath) {
  EXPECT_FALSE(MakeDirectories(""));
}

}  // namespace
}  // namespace platform
