// End-to-end tests of who may run an update where: the updaters of two programs at the same
// moment, the lock of a program directory against readers and other users, and the main program
// asked to close before it is terminated. The real `update` runs without a display in temporary
// program directories beside copies of the test's child program; the files, the exit status,
// update.result, update.log and whether the program runs are checked.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "support/child_processes.h"
#include "support/child_program_copies.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"

namespace {

namespace fs = std::filesystem;

// Whether the tests may run something as the user nobody.
bool CanRunAsNobody() {
  return std::system("[ \"$(id -u)\" = 0 ] && command -v runuser > /dev/null") == 0;
}

// One program directory with its updater, its main program (not running) and an archive.
class ProgramDirectory {
 public:
  ProgramDirectory(const test::TempDir& work, const std::string& name,
                   test::ChildProgramCopies& copies)
      : work_(work), dir_(work.File(name)), program_(test::UniqueName("guarded-") + ".bin") {
    fs::create_directories(test::FsPath(dir_));
    fs::copy_file(UPDATE_UPDATER, test::FsPath(Path("update")));
    copies.Add(Path(program_));
    Lay();
  }

  // What an update finds: the hand-over file, the old data, the archive; no result, no restart.
  void Lay() {
    test::WriteFileBytes(Path("uplog.txt"), program_ + "\n");
    test::WriteFileBytes(Path("data.txt"), "old");
    test::WriteFileBytes(Path("update.zip"), test::BuildZipOfFiles({{"data.txt", "new"}}));
    fs::remove(test::FsPath(Path("update.result")));
    fs::remove(test::FsPath(dir_ + "-restart.txt"));
  }

  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }
  // Starts the program with `mode` (and `environment`, "NAME='value' ..."), and waits until it
  // runs.
  void StartProgram(const std::string& mode, const std::string& environment = "") const {
    const std::string record = dir_ + "-first.txt";
    ASSERT_EQ(std::system((environment + " UPDATE_CHILD_RECORD='" + test::NativePath(record) +
                           "' '" + Native(program_) + "' " + mode + " &")
                              .c_str()),
              0);
    ASSERT_TRUE(test::WaitFor([&] { return platform::FileExists(record); }));
  }
  std::string Native(const std::string& name) const { return test::NativePath(Path(name)); }
  const std::string& Program() const { return program_; }

  // The command that runs the updater without a display (as `asUser` when given), its runtime
  // directory (and so its per-user guard) shared with every directory of the test, the restarted
  // program recording its arguments in "restart.txt" beside the program directory.
  std::string Command(const std::string& environment = "", const std::string& asUser = "") const {
    return "cd / && " + (asUser.empty() ? std::string() : "runuser -u " + asUser + " -- ") +
           "env -u DISPLAY " + environment + " XDG_RUNTIME_DIR='" +
           test::NativePath(work_.File("runtime")) + "' UPDATE_CHILD_RECORD='" +
           test::NativePath(dir_ + "-restart.txt") + "' '" + Native("update") + "' 2> '" +
           test::NativePath(dir_ + "-stderr.txt") + "'";
  }
  // Runs the updater to its end; its exit status.
  int Run(const std::string& environment = "", const std::string& asUser = "") {
    const int status = std::system(Command(environment, asUser).c_str());
    stderr_ = test::ReadFileBytes(dir_ + "-stderr.txt");
    return status > 255 ? status >> 8 : status;
  }

  // The arguments the program was started again with, once it has been; empty when it was not.
  std::string Restart(bool wait = true) const {
    const std::string record = dir_ + "-restart.txt";
    if (wait) test::WaitFor([&] { return platform::FileExists(record); });
    return platform::FileExists(record) ? test::ReadFileBytes(record) : "";
  }
  std::string Read(const std::string& name) const {
    return platform::FileExists(Path(name)) ? test::ReadFileBytes(Path(name)) : "";
  }
  const std::string& Stderr() const { return stderr_; }

  // Every line of update.log starts with its local time and names one event.
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(Read("update.log"));
    const std::regex stamp(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d .+)");
    for (std::string line; std::getline(in, line);) {
      EXPECT_TRUE(std::regex_match(line, stamp)) << line;
      lines.push_back(line);
    }
    return lines;
  }
  // Each of `parts` in a line of update.log, in this order.
  void ExpectLog(const std::vector<std::string>& parts) const {
    const std::vector<std::string> lines = LogLines();
    size_t at = 0;
    for (const std::string& part : parts) {
      while (at < lines.size() && lines[at].find(part) == std::string::npos) ++at;
      ASSERT_LT(at, lines.size()) << "missing, or out of order: " << part << "\n"
                                  << Read("update.log");
      ++at;
    }
  }

 private:
  const test::TempDir& work_;
  std::string dir_;
  std::string program_;
  std::string stderr_;
};

class UpdateGuard : public ::testing::Test {
 protected:
  UpdateGuard() {
    fs::create_directories(test::FsPath(work_.File("runtime")));
    // Another user may look into the test's directory, and write only into "shared".
    fs::create_directories(test::FsPath(work_.File("shared")));
    fs::permissions(test::FsPath(work_.Path()),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(test::FsPath(work_.File("shared")), fs::perms::all);
  }

  test::TempDir work_;
  test::ChildProgramCopies copies_;  // after work_: killed before it is removed
};

// Two programs of one user, each with its own updater, update at the same moment: neither
// keeps the other out. The first is held after it closed its program; the second runs whole.
TEST_F(UpdateGuard, TheUpdatersOfTwoProgramsRunAtTheSameMoment) {
  ProgramDirectory first(work_, "first", copies_);
  ProgramDirectory second(work_, "second", copies_);
  const std::string pause = work_.File("paused");
  ASSERT_EQ(
      std::system((first.Command("UPDATE_PAUSE_AT='closed:" + test::NativePath(pause) + "'") + " &")
                      .c_str()),
      0);
  ASSERT_TRUE(test::WaitFor([&] { return platform::FileExists(pause); }));

  EXPECT_EQ(second.Run(), 0) << second.Stderr();
  EXPECT_EQ(second.Read("data.txt"), "new");
  EXPECT_EQ(second.Restart(), "-start\n");
  EXPECT_EQ(second.Read("update.result").rfind("result applied\ncode applied\n", 0), 0u)
      << second.Read("update.result");

  ASSERT_TRUE(platform::RemoveFile(pause));
  EXPECT_EQ(first.Restart(), "-start\n");
  EXPECT_TRUE(test::WaitFor([&] { return first.Read("update.result").size() > 0; }));
  EXPECT_EQ(first.Read("data.txt"), "new");
}

// A second copy for the same directory, while the first holds it: it ends at once with 0 and
// touches nothing, not even update.log.
TEST_F(UpdateGuard, ASecondCopyForTheSameDirectoryEndsAtOnce) {
  ProgramDirectory dir(work_, "program", copies_);
  const std::string pause = work_.File("paused");
  ASSERT_EQ(
      std::system(
          (dir.Command("UPDATE_PAUSE_AT='closed:" + test::NativePath(pause) + "'") + " &").c_str()),
      0);
  ASSERT_TRUE(test::WaitFor([&] { return platform::FileExists(pause); }));
  const std::string log = dir.Read("update.log");
  const std::string journal = dir.Read(".update-journal");

  EXPECT_EQ(dir.Run(), 0) << dir.Stderr();
  EXPECT_EQ(dir.Read("update.log"), log);
  EXPECT_EQ(dir.Read(".update-journal"), journal);
  EXPECT_EQ(dir.Read("data.txt"), "old");
  EXPECT_FALSE(platform::FileExists(dir.Path("update.result")));
  EXPECT_EQ(dir.Restart(false), "");

  ASSERT_TRUE(platform::RemoveFile(pause));
  EXPECT_EQ(dir.Restart(), "-start\n");
  EXPECT_TRUE(test::WaitFor([&] { return dir.Read("update.result").size() > 0; }));
  EXPECT_EQ(dir.Read("data.txt"), "new");
}

// The lock of a program directory: only a writer of the directory may hold it. Each row lays
// the lock out, the program having ended to let the update run, and runs the updater.
TEST_F(UpdateGuard, OnlyAWriterOfTheDirectoryMayHoldItsLock) {
  if (!CanRunAsNobody()) GTEST_SKIP() << "needs root and runuser, to hold the lock as nobody";
  enum Layout {
    kPrivate,     // made by an earlier run: nobody cannot even open it
    kOpenToAll,   // made 0644 by an older updater, held by nobody's shared flock
    kOpenUnheld,  // made 0644 by an older updater, held by no one
    kOthers,      // another user's file
    kLink,        // a symbolic link to a file elsewhere
  };
  struct Row {
    const char* what;
    Layout layout;
    bool applied;
    const char* says;  // in update.result's reason and update.log when not applied
  };
  const Row rows[] = {
      {"a private lock that a reader cannot open", kPrivate, true, ""},
      {"a lock open to all, held by a reader", kOpenToAll, false,
       "it is held by another process, and other users may open it"},
      {"a lock open to all, held by no one", kOpenUnheld, true, ""},
      {"another user's lock", kOthers, false, "it belongs to the user nobody"},
      {"a link at the lock's name", kLink, false, "it is a link"},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ProgramDirectory dir(work_, "program-" + std::to_string(n++), copies_);
    const std::string lock = dir.Native(".update-lock");
    std::string holder;  // the process id of nobody's shell that holds the lock
    switch (row.layout) {
      case kPrivate:
        // An earlier update made the lock.
        ASSERT_EQ(dir.Run(), 0) << dir.Stderr();
        ASSERT_EQ(dir.Restart(), "-start\n");
        dir.Lay();
        EXPECT_NE(std::system(
                      ("runuser -u nobody -- flock -s -n '" + lock + "' true 2>/dev/null").c_str()),
                  0)
            << "nobody could open the lock";
        break;
      case kOpenToAll:
      case kOpenUnheld:
        test::WriteFileBytes(dir.Path(".update-lock"), "");
        fs::permissions(test::FsPath(dir.Path(".update-lock")),
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read);
        if (row.layout == kOpenToAll) {
          holder = work_.File("shared\\holder-" + std::to_string(n));
          const std::string shell = "exec 9< '" + lock + "' && flock -s 9 && echo \\$\\$ > '" +
                                    test::NativePath(holder) + "' && exec sleep 90";
          ASSERT_EQ(
              std::system(
                  ("runuser -u nobody -- sh -c \"" + shell + "\" > /dev/null 2>&1 &").c_str()),
              0);
          ASSERT_TRUE(test::WaitFor([&] { return platform::FileExists(holder); }));
        }
        break;
      case kOthers:
        test::WriteFileBytes(dir.Path(".update-lock"), "");
        ASSERT_EQ(std::system(("chown nobody '" + lock + "' && chmod 600 '" + lock + "'").c_str()),
                  0);
        break;
      case kLink:
        test::WriteFileBytes(work_.File("elsewhere"), "elsewhere");
        fs::create_symlink(test::FsPath(work_.File("elsewhere")),
                           test::FsPath(dir.Path(".update-lock")));
        break;
    }

    const int status = dir.Run();
    if (!holder.empty()) {
      EXPECT_EQ(std::system(("kill -9 $(cat '" + test::NativePath(holder) + "')").c_str()), 0);
    }
    const std::string result = dir.Read("update.result");
    EXPECT_EQ(dir.Restart(), "-start\n") << "the program, which had ended, is started again";
    if (row.applied) {
      EXPECT_EQ(status, 0) << dir.Stderr();
      EXPECT_EQ(dir.Read("data.txt"), "new");
      EXPECT_EQ(result.rfind("result applied\ncode applied\n", 0), 0u) << result;
      // Only its user may open the lock now, and so hold it.
      struct stat info;
      ASSERT_EQ(lstat(lock.c_str(), &info), 0);
      EXPECT_TRUE(S_ISREG(info.st_mode));
      EXPECT_EQ(info.st_mode & 0777, 0600u);
      continue;
    }
    EXPECT_EQ(status, 1) << dir.Stderr();
    const std::string reason =
        "The update was not applied: the program directory's lock "
        ".update-lock cannot be taken (" +
        std::string(row.says);
    EXPECT_EQ(result.rfind("result not-applied\ncode busy\nreason " + reason, 0), 0u) << result;
    EXPECT_NE(dir.Stderr().find(reason), std::string::npos) << dir.Stderr();
    dir.ExpectLog({reason, "started " + dir.Program() + " -start"});
    // Nothing of the update happened: the archive and the hand-over file wait for a later run.
    EXPECT_EQ(dir.Read("data.txt"), "old");
    EXPECT_TRUE(platform::FileExists(dir.Path("update.zip")));
    EXPECT_TRUE(platform::FileExists(dir.Path("uplog.txt")));
    EXPECT_FALSE(platform::FileExists(dir.Path(".update-journal")));
    if (row.layout == kLink) {
      EXPECT_EQ(test::ReadFileBytes(work_.File("elsewhere")), "elsewhere");
    }
  }
}

// The main program is given the grace to end by itself, then asked to close (SIGTERM) and given
// the grace again, and only then terminated; update.log and update.result say which it was.
TEST_F(UpdateGuard, TheProgramIsAskedToCloseBeforeItIsTerminated) {
  struct Row {
    const char* what;
    const char* mode;
    bool archive;
    std::vector<std::string> log;  // in this order, each after "<program> " or as it stands
    bool asked;                    // the program heard the request and ended by itself
    bool killed;
  };
  const Row rows[] = {
      {"ends within the grace",
       "-save-and-exit",
       true,
       {"@ ended by itself", "the update was applied"},
       false,
       false},
      {"closes when asked",
       "-stay-closing",
       true,
       {"asked @ to close", "closed @: it closed when asked", "the update was applied"},
       true,
       false},
      {"ignores the request",
       "-stay-ignoring-close",
       true,
       {"asked @ to close", "@ had to be killed", "closed @", "the update was applied"},
       false,
       true},
      {"ignores the request, nothing to apply",
       "-stay-ignoring-close",
       false,
       {"asked @ to close", "@ had to be killed"},
       false,
       true},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ProgramDirectory dir(work_, "closing-" + std::to_string(n++), copies_);
    if (!row.archive) {
      ASSERT_TRUE(platform::RemoveFile(dir.Path("update.zip")));
    }
    const std::string closed = dir.Path("closed.txt");
    dir.StartProgram(row.mode, "UPDATE_CHILD_SAVE_MS=1000 UPDATE_CHILD_CLOSED='" +
                                   test::NativePath(closed) + "'");
    EXPECT_EQ(dir.Run(), 0) << dir.Stderr();
    EXPECT_EQ(dir.Restart(), "-start\n");
    EXPECT_EQ(dir.Read("data.txt"), row.archive ? "new" : "old");
    std::vector<std::string> log;
    for (std::string line : row.log) {
      if (const size_t at = line.find('@'); at != std::string::npos) {
        line.replace(at, 1, dir.Program());
      }
      log.push_back(line);
    }
    dir.ExpectLog(log);
    EXPECT_EQ(platform::FileExists(closed), row.asked);
    const std::string killed = dir.Program() + " did not close when asked and was terminated.";
    const std::string result = dir.Read("update.result");
    EXPECT_EQ(result.find(killed) != std::string::npos, row.killed) << result;
    EXPECT_EQ(result.rfind(row.archive ? "result applied\n" : "result nothing\n", 0), 0u) << result;
    if (!row.killed) {
      EXPECT_EQ(dir.Read("update.log").find("had to be killed"), std::string::npos);
    }
  }
}

}  // namespace
