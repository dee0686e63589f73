// The text rules of paths with "\" separators: the directory part, its delimiter, the trailing
// separator and the turn of "/" into "\".
#include "platform/path_text.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

TEST(PathText, SplitsAndCutsAsTheExtractionExpects) {
  struct Case {
    const char* path;
    const char* dirWithDelimiter;
    const char* filePath;
    const char* withoutTrailingBackslash;
  } cases[] = {
      {"dir\\file", "dir\\", "dir\\", "dir\\file"},
      {"file", "", "", "file"},
      {"C:\\file", "C:\\\\", "C:\\", "C:\\file"},
      {"C:file", "C:\\", "C:", "C:file"},
      {"a\\b\\c.txt", "a\\b\\", "a\\b\\", "a\\b\\c.txt"},
      {"\\\\server\\share", "\\\\server\\", "\\\\server\\", "\\\\server\\share"},
      {"\\file", "\\\\", "\\", "\\file"},
      {"dir\\", "dir\\", "dir\\", "dir"},
      {"C:\\", "C:\\\\", "C:\\", "C:"},  // a root loses its separator too
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DirWithDelimiter(c.path), c.dirWithDelimiter) << c.path;
    EXPECT_EQ(ExtractFilePath(c.path), c.filePath) << c.path;
    EXPECT_EQ(WithoutTrailingBackslash(c.path), c.withoutTrailingBackslash) << c.path;
  }
  std::string name = "a/b\\c/";
  SlashesToBackslashes(name);
  EXPECT_EQ(name, "a\\b\\c\\");
}

}  // namespace
}  // namespace platform
