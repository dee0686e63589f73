// The contract of files in use, against a real process holding a real file; the same tests run
// on Linux, where nothing ever holds a rename up, and on Windows (under Wine, whose Restart
// Manager names nobody: where it does name a holder, the name is checked too).
#include "platform/files_in_use.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/processes.h"
#include "support/child_processes.h"
#include "support/file_holder.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

class FilesInUseTest : public ::testing::Test {
 protected:
  // Leaves a failure of its own in LastError(), which the calls under test must not replace.
  void RecordAFailure() {
    ASSERT_FALSE(RemoveFile(dir_.File("no such file")));
    recorded_ = LastError();
  }
  void ExpectStillRecorded() {
    EXPECT_EQ(LastError().operation, recorded_.operation);
    EXPECT_EQ(LastError().path, recorded_.path);
    EXPECT_EQ(LastError().code, recorded_.code);
  }

  test::TempDir dir_;
  test::FileHolderProcess holder_;  // after dir_: gone before it
  OsError recorded_;
};

TEST_F(FilesInUseTest, AFreeOrMissingFileCanBeRenamed) {
  test::WriteFileBytes(dir_.File("free.txt"), "x");
  ASSERT_TRUE(MakeDirectory(dir_.File("sub")));
  RecordAFailure();
  for (const char* name : {"free.txt", "missing.txt", "missing\\file.txt", "sub"}) {
    EXPECT_EQ(ProbeRename(dir_.File(name)), RenameProbe::kFree) << name;
  }
  ExpectStillRecorded();
  const auto holders = FileHolders({dir_.File("free.txt"), dir_.File("missing.txt")});
  ASSERT_EQ(holders.size(), 2u);
  EXPECT_TRUE(holders[0].empty());
  EXPECT_TRUE(holders[1].empty());
}

TEST_F(FilesInUseTest, AFileHeldWithoutDeleteSharingIsHeldOnWindowsOnly) {
  const std::string file = dir_.File("engine.dll");
  test::WriteFileBytes(file, "x");
  ASSERT_TRUE(holder_.Start(dir_.File(test::UniqueName("holder-") + ".exe"), file));

  RecordAFailure();
  EXPECT_EQ(ProbeRename(file), test::OnWindows() ? RenameProbe::kHeld : RenameProbe::kFree);
  const std::vector<std::vector<FileHolder>> holders = FileHolders({file});
  ExpectStillRecorded();
  ASSERT_EQ(holders.size(), 1u);
  if (!test::OnWindows()) {
    EXPECT_TRUE(holders[0].empty());
    return;
  }
  // Wine names nobody; Windows names the holder, by its process and executable.
  const int id = FindProcessID(holder_.Name());
  for (const FileHolder& holder : holders[0]) {
    EXPECT_EQ(holder.ProcessId, id) << holder.Name;
    EXPECT_EQ(holder.Executable.substr(holder.Executable.find_last_of('\\') + 1), holder_.Name());
  }
  // What the probe said is what a rename meets.
  EXPECT_FALSE(RenameFile(file, dir_.File("moved.dll")));
  EXPECT_TRUE(IsPassingLock(LastError().code, file)) << LastError().code;
}

// Whose handles hold a file: the holder's, on every system; not a process that only runs.
TEST_F(FilesInUseTest, TheHoldersHandlesSayThatItHoldsTheFile) {
  const std::string file = dir_.File("engine.dll");
  const std::string other = dir_.File("other.dll");
  test::WriteFileBytes(file, "x");
  test::WriteFileBytes(other, "x");
  ASSERT_TRUE(holder_.Start(dir_.File(test::UniqueName("holder-") + ".exe"), file));
  const std::vector<int> ids = FindProcessIDs(holder_.Name());
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_EQ(ProcessesHoldFile(ids, file), HeldBy::kYes);
  EXPECT_EQ(ProcessesHoldFile(ids, other), HeldBy::kNo);
  EXPECT_EQ(ProcessesHoldFile({}, file), HeldBy::kNo);
  EXPECT_EQ(ProcessesHoldFile(ids, dir_.File("missing.dll")), HeldBy::kNo);
}

// Windows' codes: 32 sharing violation, 33 lock violation, 5 access denied, 2 file not found.
// POSIX's: 16 EBUSY, 26 ETXTBSY, 13 EACCES.
TEST_F(FilesInUseTest, PassingLocks) {
  const std::string file = dir_.File("plain.txt");
  const std::string readOnly = dir_.File("read-only.txt");
  test::WriteFileBytes(file, "x");
  test::WriteFileBytes(readOnly, "x");
  ASSERT_EQ(WriteAttributes(readOnly, kAttrReadOnly), 0);
  struct Case {
    int code;
    std::string path;
    bool windows;  // the answer on Windows; POSIX answers no to all
  };
  const Case cases[] = {
      {32, file, true},        {33, file, true},     {32, dir_.File("missing.txt"), true},
      {5, file, true},         {5, readOnly, false}, {5, dir_.File("missing.txt"), false},
      {5, dir_.Path(), false}, {2, file, false},     {16, file, false},
      {26, file, false},       {13, file, false},    {0, file, false},
  };
  RecordAFailure();
  for (const Case& c : cases) {
    EXPECT_EQ(IsPassingLock(c.code, c.path), test::OnWindows() && c.windows)
        << c.code << " " << c.path;
  }
  ExpectStillRecorded();
  ASSERT_EQ(WriteAttributes(readOnly, kAttrNormal), 0);
}

}  // namespace
}  // namespace platform
