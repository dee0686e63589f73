// End-to-end tests of the updater: the real `update` runs in a temporary program directory (without
// a display) beside a copy of the test's child program standing in for the main program, and the
// files, the exit status and the arguments the program was started again with are checked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "app/update_transaction.h"
#include "platform/temporary_tree.h"
#include "support/child_processes.h"
#include "support/child_program_copies.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"
#include "unzip/base/file_utils.h"

namespace {

namespace fs = std::filesystem;

class UpdateRun : public ::testing::Test {
 protected:
  UpdateRun() {
    program_ = work_.File("program");
    fs::create_directories(test::FsPath(program_));
    fs::create_directories(test::FsPath(work_.File("runtime")));
    fs::copy_file(UPDATE_UPDATER, test::FsPath(Path("update")));
  }

  std::string Path(const std::string& name) const { return program_ + "\\" + name; }

  // Puts the child program into the program directory as `name`.
  void AddProgram(const std::string& name) { programs_.Add(Path(name)); }

  // Starts the program `name` of the program directory so that it stays until it is killed.
  void StartProgram(const std::string& name) {
    const std::string command = "UPDATE_CHILD_RECORD='" +
                                test::NativePath(work_.File("first.txt")) + "' '" +
                                test::NativePath(Path(name)) + "' -stay &";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(test::WaitFor([&] { return FileExists(work_.File("first.txt")); }));
  }

  // Runs the updater without a display, with a runtime directory (and so a guard) of the test's
  // own (as the user `asUser` when one is given); returns its exit status.
  int RunUpdater(const std::string& asUser = "", const std::string& environment = "") {
    const std::string command =
        "cd / && " + (asUser.empty() ? std::string() : "runuser -u " + asUser + " -- ") +
        "env -u DISPLAY " + environment + " XDG_RUNTIME_DIR='" +
        test::NativePath(work_.File("runtime")) + "' UPDATE_CHILD_RECORD='" +
        test::NativePath(work_.File("restart.txt")) + "' '" + test::NativePath(Path("update")) +
        "' 2> '" + test::NativePath(work_.File("stderr.txt")) + "'";
    const int status = std::system(command.c_str());
    stderr_ = test::ReadFileBytes(work_.File("stderr.txt"));
    return status > 255 ? status >> 8 : status;
  }

  // The arguments the main program was started again with; empty when it was not.
  std::string Restart() {
    test::WaitFor([&] { return FileExists(work_.File("restart.txt")); });
    return FileExists(work_.File("restart.txt")) ? test::ReadFileBytes(work_.File("restart.txt"))
                                                 : "";
  }

  void WriteArchive(const std::vector<std::pair<std::string, std::string>>& files) {
    test::WriteFileBytes(Path("update.zip"), test::BuildZipOfFiles(files));
  }

  test::TempDir work_;
  std::string program_;
  std::string stderr_;
  test::ChildProgramCopies programs_;  // after work_: killed before it is removed
};

TEST_F(UpdateRun, AppliesTheUpdateAndStartsTheProgramAgainUnderItsOwnName) {
  const std::string name = test::UniqueName("prog-") + ".bin";
  AddProgram(name);
  StartProgram(name);
  test::WriteFileBytes(Path("uplog.txt"), "  " + name + "  \r\nanother line\r\n");
  test::WriteFileBytes(Path("MainRun._tmp"), "");
  test::WriteFileBytes(Path("data.txt"), "old");
  test::WriteFileBytes(Path("update.zip.ini"), "companion");
  // The new executable arrives as main.exe and takes the program's name.
  const std::string newProgram = test::ReadFileBytes(test::ChildProgram());
  WriteArchive({{"data.txt", "new"}, {"sub/more.txt", "more"}, {"main.exe", newProgram}});

  EXPECT_EQ(RunUpdater(), 0) << stderr_;
  EXPECT_EQ(Restart(), "-start\n");
  EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "new");
  EXPECT_EQ(test::ReadFileBytes(Path("sub\\more.txt")), "more");
  EXPECT_FALSE(FileExists(Path("main.exe")));
  EXPECT_TRUE(FileExists(Path(name)));
  for (const char* gone : {"uplog.txt", "MainRun._tmp", "update.zip", "update.zip.ini"}) {
    EXPECT_FALSE(FileExists(Path(gone))) << gone;
  }
}

TEST_F(UpdateRun, WithoutAnArchiveTheProgramIsOnlyRestarted) {
  AddProgram("main.exe");
  StartProgram("main.exe");
  test::WriteFileBytes(Path("uplog.txt"), "   \nignored.exe\n");  // a blank first line
  EXPECT_EQ(RunUpdater(), 0) << stderr_;
  EXPECT_EQ(Restart(), "-start\n");
  EXPECT_FALSE(FileExists(Path("uplog.txt")));
}

TEST_F(UpdateRun, AnArchiveThatCannotBeAppliedWholeIsKept) {
  struct Case {
    const char* what;
    std::string archive;
  };
  test::ZipArchive unsafe;
  test::ZipEntry escape;
  escape.name = "../outside.txt";
  escape.data = "x";
  unsafe.entries = {escape};
  const Case cases[] = {{"not an archive", std::string(3000, 'x')},
                        {"an entry outside the directory", test::BuildZip(unsafe)}};
  AddProgram("main.exe");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileDelete(work_.File("restart.txt"));
    test::WriteFileBytes(Path("update.zip"), c.archive);
    EXPECT_EQ(RunUpdater(), 0);
    EXPECT_FALSE(stderr_.empty());  // the message box's text, without a display
    EXPECT_TRUE(FileExists(Path("update.zip")));
    EXPECT_EQ(Restart(), "-start\n");
  }
  EXPECT_FALSE(FileExists(work_.File("outside.txt")));
}

TEST_F(UpdateRun, ASecondCopyEndsAtOnceAndTouchesNothing) {
  AddProgram("holder.bin");
  const std::string command = "XDG_RUNTIME_DIR='" + test::NativePath(work_.File("runtime")) +
                              "' UPDATE_CHILD_GUARD=VeskerOneCopy2 UPDATE_CHILD_RECORD='" +
                              test::NativePath(work_.File("holder.txt")) + "' '" +
                              test::NativePath(Path("holder.bin")) + "' -guard-stay &";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_TRUE(test::WaitFor([&] { return FileExists(work_.File("holder.txt")); }));
  ASSERT_NE(test::ReadFileBytes(work_.File("holder.txt")).find("guard acquired"),
            std::string::npos);
  WriteArchive({{"data.txt", "new"}});
  test::WriteFileBytes(Path("uplog.txt"), "main.exe\n");
  EXPECT_EQ(RunUpdater(), 0) << stderr_;
  EXPECT_TRUE(FileExists(Path("update.zip")));
  EXPECT_TRUE(FileExists(Path("uplog.txt")));
  EXPECT_FALSE(FileExists(Path("data.txt")));
}

TEST_F(UpdateRun, AProgramThatCannotBeClosedStopsTheUpdateAfterAMinute) {
  // Only root can start a program that an unprivileged updater cannot terminate.
  if (std::system("[ \"$(id -u)\" = 0 ] && command -v runuser > /dev/null") != 0) {
    GTEST_SKIP() << "needs root and runuser, to run the updater as another user";
  }
  const std::string name = test::UniqueName("stuck-") + ".bin";
  AddProgram(name);
  StartProgram(name);
  for (const std::string& dir : {work_.Path(), program_, work_.File("runtime")}) {
    fs::permissions(test::FsPath(dir), fs::perms::all);
  }
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");
  WriteArchive({{"data.txt", "new"}});
  EXPECT_EQ(RunUpdater("nobody"), 0) << stderr_;
  EXPECT_NE(
      stderr_.find("The program " + name + " could not be closed; the update was not applied."),
      std::string::npos)
      << stderr_;
  EXPECT_TRUE(FileExists(Path("update.zip")));
  EXPECT_FALSE(FileExists(Path("data.txt")));
  EXPECT_FALSE(FileExists(work_.File("restart.txt")));  // not started again
}

// The program directory's content, our own names and the updater's files left out.
std::map<std::string, std::string> Tree(const std::string& dir) {
  std::map<std::string, std::string> tree;
  for (const std::string& path : platform::ListDirectoryTree(dir)) {
    if (path.rfind(".update-", 0) == 0 || path == "update" || path == "update.zip" ||
        path == "uplog.txt") {
      continue;
    }
    tree[path] = path.back() == '\\' ? "" : test::ReadFileBytes(dir + "\\" + path);
  }
  return tree;
}

TEST_F(UpdateRun, KilledAtAnyStepTheDirectoryIsWhollyOldOrNewAndTheNextRunFinishes) {
  const std::string program = test::ReadFileBytes(test::ChildProgram());
  const std::string newProgram = program + "new build";  // still runs: the end is not read
  const std::map<std::string, std::string> oldTree = {{"a.txt", "old a"},
                                                      {"keep.txt", "kept"},
                                                      {"sub\\", ""},
                                                      {"sub\\b.txt", "old b"},
                                                      {"demo.bin", program}};
  const std::map<std::string, std::string> newTree = {
      {"a.txt", "new a"},      {"keep.txt", "kept"},    {"sub\\", ""},
      {"sub\\b.txt", "new b"}, {"sub\\c.txt", "new c"}, {"newdir\\", ""},
      {"newdir\\d.txt", "d"},  {"empty\\", ""},         {"demo.bin", newProgram}};
  const std::string zip = test::BuildZipOfFiles({{"a.txt", "new a"},
                                                 {"sub/b.txt", "new b"},
                                                 {"sub/c.txt", "new c"},
                                                 {"newdir/d.txt", "d"},
                                                 {"empty/", ""},
                                                 {"main.exe", newProgram}});
  int finished = 0;
  for (int step = 1; finished < 2; ++step) {
    SCOPED_TRACE("killed at step " + std::to_string(step));
    platform::RemoveDirectoryTree(program_);
    fs::create_directories(test::FsPath(program_ + "\\sub"));
    fs::copy_file(UPDATE_UPDATER, test::FsPath(Path("update")));
    for (const auto& [name, data] : oldTree) {
      if (name.back() != '\\') test::WriteFileBytes(Path(name), data);
    }
    fs::permissions(test::FsPath(Path("demo.bin")), fs::perms::owner_all, fs::perm_options::add);
    test::WriteFileBytes(Path("update.zip"), zip);
    test::WriteFileBytes(Path("uplog.txt"), "demo.bin\n");
    FileDelete(work_.File("restart.txt"));

    const int status = RunUpdater("", "UPDATE_KILL_AT_STEP=" + std::to_string(step));
    if (status != 137) ++finished;  // the run has fewer steps than this: it went through
    // Wholly old or new; in between only while the journal says the commit is under way, which
    // the next start finishes before anything else.
    const auto tree = Tree(program_);
    TUpdateJournal journal;
    const bool committing = update_transaction::ReadJournal(program_ + "\\", &journal) &&
                            journal.State == TUpdateJournal::jsCommitting;
    EXPECT_TRUE(tree == oldTree || tree == newTree || committing) << stderr_;
    // One more run, without a kill, ends with the new tree and the program started. A killed
    // run's journal still names the program; after a whole run the program hands over anew.
    if (status != 137) test::WriteFileBytes(Path("uplog.txt"), "demo.bin\n");
    FileDelete(work_.File("restart.txt"));
    EXPECT_EQ(RunUpdater(), 0) << stderr_;
    EXPECT_EQ(Tree(program_), newTree);
    EXPECT_FALSE(FileExists(Path("update.zip")));
    EXPECT_EQ(Restart(), "-start\n");
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
