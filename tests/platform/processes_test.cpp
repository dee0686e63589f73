// Process search and termination against real child processes: copies of the test's child
// program under names of their own, so that tests running at the same time never meet.
#include "platform/processes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/launch.h"
#include "platform/process_name_match.h"
#include "support/child_processes.h"
#include "support/child_program_copies.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class ProcessesTest : public ::testing::Test {
 protected:
  // Copies the child program to `directory` (under the test's directory) as `name` and returns
  // the copy's path.
  std::string CopyChild(const std::string& directory, const std::string& name) {
    return copies_.Add(dir_.File(directory + "\\" + name));
  }

  // Starts `program` to stay until killed (with `mode`), and waits until it runs.
  void StartStaying(const std::string& program, const std::string& mode = "-stay") {
    const std::string record = dir_.File("record-" + std::to_string(records_++));
    {
      test::ScopedEnv env("UPDATE_CHILD_RECORD", record);
      ASSERT_TRUE(StartProgram(program, mode)) << program;
    }
    ASSERT_TRUE(test::WaitFor([&] { return fs::exists(test::FsPath(record)); })) << program;
  }

  test::TempDir dir_;
  test::ChildProgramCopies copies_;  // after dir_: gone before it
  int records_ = 0;
};

// Two copies of one program in different directories: both found under every spelling of the
// name that differs in ASCII letter case only, and both terminated by one call.
TEST_F(ProcessesTest, FindsAndKillsEveryCopyByName) {
  // "\xC3\xA9" (e-acute) is no ASCII letter: its case stays as it is.
  const std::string name = test::UniqueName("Kid-\xC3\xA9-") + ".exe";
  StartStaying(CopyChild("one", name));
  StartStaying(CopyChild("two", name));

  const int id = FindProcessID(name);
  EXPECT_GT(id, 0);
  EXPECT_EQ(FindProcessID(UpperCaseAscii(name)), id);
  std::string lower = name;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  EXPECT_EQ(FindProcessID(lower), id);
  EXPECT_EQ(FindProcessID(UpperCaseAscii(name).replace(4, 2, "\xC3\x89")), 0);
  EXPECT_EQ(FindProcessID(name.substr(0, name.size() - 4)), 0);
  EXPECT_EQ(FindProcessID("one\\" + name), 0);

  EXPECT_TRUE(KillProcessByName(lower));
  EXPECT_TRUE(test::WaitFor([&] { return FindProcessID(name) == 0; }));
}

TEST_F(ProcessesTest, FullPathMatchesWhereTheListingHasIt) {
  if (test::OnWindows()) GTEST_SKIP() << "the Windows process snapshot lists file names only";
  const std::string name = test::UniqueName("kid-") + ".exe";
  const std::string program = CopyChild("dir", name);
  StartStaying(program);

  const int id = FindProcessID(name);
  EXPECT_GT(id, 0);
  EXPECT_EQ(FindProcessID(program), id);
  EXPECT_EQ(FindProcessID(test::FsPath(program).string()), id) << "written with \"/\"";
  EXPECT_EQ(FindProcessID(dir_.File("other\\" + name)), 0);
  EXPECT_TRUE(KillProcessByName(program));
  EXPECT_TRUE(test::WaitFor([&] { return FindProcessID(name) == 0; }));
}

// Asked to close, a program ends as a person closing it would make it: on POSIX SIGTERM ends
// one that keeps the default; on Windows only a window can be asked, and this one has none.
TEST_F(ProcessesTest, AskedToCloseEveryCopyHearsIt) {
  const std::string name = test::UniqueName("asked-") + ".exe";
  StartStaying(CopyChild("one", name));
  StartStaying(CopyChild("two", name), "-stay-closing");
  EXPECT_EQ(FindProcessIDs(name).size(), 2u);
  EXPECT_EQ(FindProcessIDs(name).front(), FindProcessID(name));
  if (test::OnWindows()) {
    EXPECT_FALSE(AskProcessesToClose(name));
    EXPECT_TRUE(KillProcessByName(name));
  } else {
    EXPECT_TRUE(AskProcessesToClose(name));
  }
  EXPECT_TRUE(test::WaitFor([&] { return FindProcessIDs(name).empty(); }));
  EXPECT_FALSE(AskProcessesToClose(name));
}

TEST_F(ProcessesTest, NothingMatches) {
  const std::string name = test::UniqueName("nobody-") + ".exe";
  EXPECT_EQ(FindProcessID(name), 0);
  EXPECT_FALSE(KillProcessByName(name));
  EXPECT_EQ(FindProcessID(""), 0);
  EXPECT_FALSE(KillProcessByName(""));
  EXPECT_TRUE(FindProcessIDs(name).empty());
  EXPECT_FALSE(AskProcessesToClose(name));
}

// A killed process whose parent does not collect it stays listed by the system as a zombie; it
// is gone all the same. Its name is short enough (15 bytes at most) for the kernel's short name
// of the process, the one executable text a zombie still has, to be all of it.
TEST_F(ProcessesTest, ZombieCountsAsGone) {
  if (test::OnWindows()) GTEST_SKIP() << "Windows has no zombie processes";
  const std::string zombieName = test::UniqueName("z") + ".exe";
  const std::string parentName = test::UniqueName("parent-") + ".exe";
  const std::string zombie = test::FsPath(CopyChild("z", zombieName)).string();
  const std::string parent = test::FsPath(CopyChild("p", parentName)).string();
  const std::string zombieRecord = test::FsPath(dir_.File("zombie-record")).string();
  const std::string parentRecord = test::FsPath(dir_.File("parent-record")).string();
  // The sub-shell starts the first copy and then becomes the second one, which never waits for
  // its children.
  const std::string command = "( env UPDATE_CHILD_RECORD='" + zombieRecord + "' '" + zombie +
                              "' -stay & exec env UPDATE_CHILD_RECORD='" + parentRecord + "' '" +
                              parent + "' -stay ) </dev/null >/dev/null 2>&1 &";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_TRUE(test::WaitFor([&] { return fs::exists(zombieRecord) && fs::exists(parentRecord); }));

  const int id = FindProcessID(zombieName);
  ASSERT_GT(id, 0);
  EXPECT_TRUE(KillProcessByName(zombieName));
  EXPECT_TRUE(test::WaitFor([&] { return FindProcessID(zombieName) == 0; }));
  EXPECT_TRUE(fs::exists("/proc/" + std::to_string(id))) << "the zombie should still be listed";
  EXPECT_FALSE(KillProcessByName(zombieName));

  EXPECT_TRUE(KillProcessByName(parentName));
  EXPECT_TRUE(test::WaitFor([&] { return FindProcessID(parentName) == 0; }));
}

}  // namespace
}  // namespace platform
