// The failure text made from the platform's error record: operation, path and the system's reason.
#include "platform/error_text.h"

#include <gtest/gtest.h>

#include <string>

#include "support/child_processes.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

TEST(ErrorText, NamesTheOperationThePathAndTheSystemsReason) {
  test::TempDir dir;
  const std::string missing = dir.File("missing.txt");
  ASSERT_FALSE(File::Open(missing, kOpenRead).IsOpen());
  const OsError error = LastError();
  const std::string reason = SystemErrorText(error.code);
  EXPECT_EQ(ErrorText(error), error.operation + " \"" + DisplayPath(missing) + "\": " + reason);
  // The path the record carries wins over the one given for a handle.
  EXPECT_EQ(ErrorText(error, "other"), ErrorText(error));
}

TEST(ErrorText, AHandleOperationTakesThePathItsCallerGives) {
  const OsError write{"write", "", 28};
  const std::string reason = SystemErrorText(28);
  struct Case {
    OsError error;
    std::string handlePath;
    std::string expected;
  };
  const Case cases[] = {
      {write, "C:\\app\\a.new", "write \"" + DisplayPath("C:\\app\\a.new") + "\": " + reason},
      {write, "", "write: " + reason},
      {{"", "", 28}, "", reason},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorText(c.error, c.handlePath), c.expected);
}

TEST(ErrorText, PathsAreShownAsTheSystemShowsThem) {
  EXPECT_EQ(DisplayPath("C:\\app\\data\\a.txt"),
            test::OnWindows() ? "C:\\app\\data\\a.txt" : "C:/app/data/a.txt");
}

}  // namespace
}  // namespace platform
