// The single-instance guard between real processes: the test process and copies of the test's
// child program, each guard under a name of its own.
#include "platform/instance_guard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/launch.h"
#include "platform/processes.h"
#include "support/child_processes.h"
#include "support/child_program_copies.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class InstanceGuardTest : public ::testing::Test {
 protected:
  // Starts a copy of the child program that tries the guard `guard` (and with "-guard-stay"
  // keeps it until killed), and returns what it recorded.
  std::string RunChild(const std::string& mode, const std::string& guard) {
    lastChild_ = test::UniqueName("guard-kid") + ".exe";
    const std::string program = children_.Add(dir_.File(lastChild_));
    const std::string record = program + ".txt";
    {
      test::ScopedEnv recordEnv("UPDATE_CHILD_RECORD", record);
      test::ScopedEnv guardEnv("UPDATE_CHILD_GUARD", guard);
      EXPECT_TRUE(StartProgram(program, mode));
    }
    if (!test::WaitFor([&] { return fs::exists(test::FsPath(record)); })) return "<no record>";
    return test::ReadFileBytes(record);
  }

  test::TempDir dir_;
  // The lock files go to the test's directory on POSIX (and are removed with it).
  test::ScopedEnv runtimeDir_{"XDG_RUNTIME_DIR", test::FsPath(dir_.Path()).string()};
  test::ChildProgramCopies children_;  // after dir_: gone before it
  std::string lastChild_;              // the file name of the last copy started
};

TEST_F(InstanceGuardTest, HeldByOneProcessAtATime) {
  const std::string name = test::UniqueName("guard");
  EXPECT_TRUE(AcquireInstanceGuard(name));
  EXPECT_TRUE(AcquireInstanceGuard(name)) << "this process holds it already";
  std::thread([&] { EXPECT_TRUE(AcquireInstanceGuard(name)) << "from another thread"; }).join();

  EXPECT_EQ(RunChild("-guard", name), "-guard\nguard refused\n");
  EXPECT_EQ(RunChild("-guard", test::UniqueName("other")), "-guard\nguard acquired\n");
}

TEST_F(InstanceGuardTest, ReleasedWhenItsHolderEnds) {
  const std::string name = test::UniqueName("guard");
  ASSERT_EQ(RunChild("-guard-stay", name), "-guard-stay\nguard acquired\n");
  EXPECT_FALSE(AcquireInstanceGuard(name));
  EXPECT_FALSE(AcquireInstanceGuard(name)) << "a refusal is not remembered as holding";

  EXPECT_TRUE(KillProcessByName(lastChild_));
  EXPECT_TRUE(test::WaitFor([&] { return AcquireInstanceGuard(name); }));
}

TEST_F(InstanceGuardTest, NamesThatMakeNoGuardLetTheCallerRun) {
  for (const std::string& name :
       {std::string(), test::UniqueName("a/b"), test::UniqueName("nul") + '\0'}) {
    EXPECT_TRUE(AcquireInstanceGuard(name)) << name;
    EXPECT_TRUE(AcquireInstanceGuard(name)) << name;
  }
}

// Where the lock file lies decides which processes see one another's guard.
TEST_F(InstanceGuardTest, LockFilePerUser) {
  if (test::OnWindows()) GTEST_SKIP() << "Windows guards with a named mutex, not a file";
  const std::string inRuntimeDir = test::UniqueName("guard");
  ASSERT_TRUE(AcquireInstanceGuard(inRuntimeDir));
  EXPECT_TRUE(fs::is_regular_file(test::FsPath(dir_.File(inRuntimeDir + ".lock"))));

  // Without a usable runtime directory: the temporary directory, with the user id in the name.
  for (const char* runtimeDir : {"", "relative/dir"}) {
    test::ScopedEnv unset("XDG_RUNTIME_DIR", runtimeDir);
    const std::string name = test::UniqueName("guard");
    ASSERT_TRUE(AcquireInstanceGuard(name));
    int found = 0;
    for (const auto& entry : fs::directory_iterator("/tmp")) {
      const std::string file = entry.path().filename().string();
      if (file.starts_with(name + "-") && file.ends_with(".lock")) {
        ++found;
        fs::remove(entry.path());  // the guard leaves its file; the test does not
      }
    }
    EXPECT_EQ(found, 1) << "XDG_RUNTIME_DIR=" << runtimeDir;
  }
}

// The lock of a directory: taken, made private to its user; a lock that others may open is
// replaced by a private one while held; a link at its name is refused, naming why.
TEST_F(InstanceGuardTest, DirectoryGuardIsAWritersLock) {
  // A file that Windows keeps open for the rest of the process could not be removed with the
  // test's directory: the Windows lock is tested end to end, in a process of its own.
  if (test::OnWindows()) GTEST_SKIP() << "tested with update.exe (app/windows)";
  const std::string lock = dir_.File(test::UniqueName("lock-"));
  std::string why;
  EXPECT_EQ(AcquireDirectoryGuard(lock, &why), DirectoryGuard::kTaken) << why;
  EXPECT_TRUE(fs::is_regular_file(test::FsPath(lock)));
  EXPECT_EQ(fs::status(test::FsPath(lock)).permissions() & fs::perms::mask,
            fs::perms::owner_read | fs::perms::owner_write);
  // Held by this process: another open of it (as another updater's) finds it held.
  EXPECT_EQ(AcquireDirectoryGuard(lock, &why), DirectoryGuard::kHeldElsewhere) << why;

  const std::string open = dir_.File(test::UniqueName("open-"));
  test::WriteFileBytes(open, "");
  fs::permissions(test::FsPath(open), fs::perms::owner_read | fs::perms::owner_write |
                                          fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(AcquireDirectoryGuard(open, &why), DirectoryGuard::kTaken) << why;
  EXPECT_EQ(fs::status(test::FsPath(open)).permissions() & fs::perms::mask,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(AcquireDirectoryGuard(open, &why), DirectoryGuard::kHeldElsewhere) << why;

  const std::string link = dir_.File(test::UniqueName("link-"));
  fs::create_symlink(test::FsPath(lock), test::FsPath(link));
  EXPECT_EQ(AcquireDirectoryGuard(link, &why), DirectoryGuard::kRefused);
  EXPECT_EQ(why, "it is a link");
}

}  // namespace
}  // namespace platform
