// Files held by other programs, as the updater meets them: the check before closing, renames
// waiting out a lock, the repeated-failure sentence. A real process holds a real file; on Linux
// nothing is ever held, and the waits are driven by a rename that fails as told.
#include "app/files_in_use.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "support/child_processes.h"
#include "support/file_holder.h"
#include "support/temp_dir.h"

namespace files_in_use {
namespace {

using std::chrono::milliseconds;

// "data\engine.dll" as this system shows paths.
const std::string kEngine = platform::DisplayPath("data\\engine.dll");

class FilesInUse : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::MakeDirectory(dir_.File("data")));
    test::WriteFileBytes(Path("data\\engine.dll"), "engine");
    test::WriteFileBytes(Path("data\\other.dll"), "other");
  }

  // A path inside the program directory.
  std::string Path(const std::string& relative) const { return appDir_ + relative; }
  // Starts a holder of the file `relative`, running as `program` (a name of its own by default).
  void Hold(test::FileHolderProcess& holder, const std::string& relative,
            const std::string& program = "") {
    const std::string name = program.empty() ? test::UniqueName("helper-") + ".exe" : program;
    ASSERT_TRUE(holder.Start(dir_.File("holders\\" + name), Path(relative)));
  }

  test::TempDir dir_;
  const std::string appDir_ = dir_.Path() + "\\";
  test::FileHolderProcess holder_;  // after dir_: gone before it
  test::FileHolderProcess secondHolder_;
};

// ---- Naming ---------------------------------------------------------------------------------

TEST(FilesInUseText, HoldersAreNamedAsTheSystemNamesThem) {
  struct Case {
    std::vector<platform::FileHolder> holders;
    std::string text;
  };
  const Case cases[] = {
      {{}, "another program"},
      {{{"Helper", 4242, "C:\\app\\helper.exe"}}, "Helper (process 4242)"},
      {{{"", 7, "C:\\app\\helper.exe"}}, "helper.exe (process 7)"},
      {{{"", 7, ""}}, "a program (process 7)"},
      {{{"A", 1, ""}, {"B", 2, ""}}, "A (process 1) and B (process 2)"},
      {{{"A", 1, ""}, {"B", 2, ""}, {"C", 3, ""}},
       "A (process 1), B (process 2) and C (process 3)"},
  };
  for (const Case& c : cases) EXPECT_EQ(HolderText(c.holders), c.text);
  EXPECT_EQ(InUseText("data\\engine.dll", {{"Helper", 4242, ""}}),
            kEngine + " is in use by Helper (process 4242)");
}

TEST(FilesInUseText, ARepeatedLockOfTheSameArchiveAndFileIsSaidOnce) {
  const std::string digest(64, 'a');
  const TLockFailure failure{digest, "data\\engine.dll"};
  struct Case {
    TLockFailure previous;
    TLockFailure current;
    bool repeated;
  };
  const Case cases[] = {
      {failure, failure, true},
      {{std::string(64, 'b'), "data\\engine.dll"}, failure, false},
      {{digest, "data\\other.dll"}, failure, false},
      {{}, failure, false},
      {{"", "data\\engine.dll"}, {"", "data\\engine.dll"}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RepeatedLockFailureText(c.previous, c.current),
              c.repeated ? "this update has failed twice because " + kEngine + " is in use" : "")
        << c.previous.ArchiveSha256 << " " << c.previous.File;
  }

  TLockFailure read;
  ASSERT_TRUE(ParseLockFailure(LockFailureLine({digest, "my data\\engine 2.dll"}), &read));
  EXPECT_EQ(read, (TLockFailure{digest, "my data\\engine 2.dll"}));
  for (const char* bad :
       {"", "abc", " data\\engine.dll", "abc ", "ABC x", "xyz x", "abc x\ny", "abc x\r"}) {
    EXPECT_FALSE(ParseLockFailure(bad, &read)) << bad;
  }
}

// ---- The check before closing -----------------------------------------------------------------

TEST_F(FilesInUse, NothingHeldNothingSaid) {
  test::WriteFileBytes(Path("main.exe"), "program");
  EXPECT_EQ(CheckFilesInUse(appDir_,
                            {"main.exe", "data\\engine.dll", "data\\other.dll", "data\\new.dll",
                             "missing\\file.dll"},
                            "main.exe"),
            "");
  EXPECT_EQ(CheckFilesInUse(appDir_, {}, "main.exe"), "");
}

TEST_F(FilesInUse, AHeldFileIsNamedBeforeTheProgramIsClosed) {
  Hold(holder_, "data\\engine.dll");
  const std::string refusal =
      CheckFilesInUse(appDir_, {"data\\other.dll", "data\\engine.dll"}, "main.exe");
  if (!test::OnWindows()) {
    EXPECT_EQ(refusal, "");
    return;
  }
  // Windows names the holder where Restart Manager can say; Wine never can.
  const std::string start = "The update was not applied: " + kEngine + " is in use by ";
  const std::string end = ". Close it and start the update again.";
  EXPECT_EQ(refusal.substr(0, start.size()), start) << refusal;
  ASSERT_GT(refusal.size(), start.size() + end.size()) << refusal;
  EXPECT_EQ(refusal.substr(refusal.size() - end.size()), end) << refusal;
  const std::string holder =
      refusal.substr(start.size(), refusal.size() - start.size() - end.size());
  EXPECT_TRUE(holder == "another program" || holder.find(" (process ") != std::string::npos)
      << holder;
}

TEST_F(FilesInUse, SeveralHeldFilesAreCounted) {
  Hold(holder_, "data\\engine.dll");
  Hold(secondHolder_, "data\\other.dll");
  const std::string refusal =
      CheckFilesInUse(appDir_, {"data\\engine.dll", "data\\other.dll"}, "main.exe");
  if (!test::OnWindows()) {
    EXPECT_EQ(refusal, "");
    return;
  }
  EXPECT_EQ(refusal.rfind("The update was not applied: " + kEngine + " is in use by ", 0), 0u)
      << refusal;
  const std::string end =
      ", and 1 more file is in use as well. Close the programs using them "
      "and start the update again.";
  EXPECT_NE(refusal.find(end), std::string::npos) << refusal;
}

// The main program is closed next: what only it holds stands in no one's way. Its own executable
// is not even looked at; a file it holds is passed over whether the system names the holder (it
// is the main program) or not (it may be).
TEST_F(FilesInUse, WhatTheMainProgramHoldsIsLeftToItsClosing) {
  const std::string mainName = test::UniqueName("Main-") + ".exe";
  test::WriteFileBytes(Path(mainName), "program");
  Hold(holder_, mainName);
  Hold(secondHolder_, "data\\engine.dll", mainName);
  EXPECT_EQ(CheckFilesInUse(appDir_, {mainName, "data\\engine.dll"}, mainName), "");
}

// A file that another program holds while the main program runs (holding files of its own): the
// main program holds no handle to it, so it is refused before anything is closed, though the
// system may name nobody (Wine): "another program".
TEST_F(FilesInUse, AFileThatTheRunningProgramDoesNotHoldIsAnotherProgramsAndRefused) {
  const std::string mainName = test::UniqueName("Main-") + ".exe";
  test::WriteFileBytes(Path(mainName), "program");
  Hold(secondHolder_, "data\\other.dll", mainName);
  Hold(holder_, "data\\engine.dll");
  const std::string refusal = CheckFilesInUse(appDir_, {mainName, "data\\engine.dll"}, mainName);
  if (!test::OnWindows()) {
    EXPECT_EQ(refusal, "");
    return;
  }
  const std::string start = "The update was not applied: " + kEngine + " is in use by ";
  EXPECT_EQ(refusal.rfind(start, 0), 0u) << refusal;
  EXPECT_EQ(refusal.find(mainName), std::string::npos) << refusal;
}

// ---- Renames waiting out a lock ---------------------------------------------------------------

// A rename that fails `failures` times, each failure recorded as the platform records one (the
// code of a missing file, which the tests' classification calls a lock or not), then renames.
class ScriptedRename {
 public:
  ScriptedRename(const test::TempDir& dir, int failures) : dir_(dir), failures_(failures) {}

  bool operator()(const std::string& from, const std::string& to) {
    ++calls;
    if (failures_ < 0 || calls <= failures_) {
      EXPECT_FALSE(platform::RemoveFile(dir_.File("no such file")));
      return false;
    }
    return platform::RenameFile(from, to);
  }
  static int Code() {
    test::TempDir dir;
    EXPECT_FALSE(platform::RemoveFile(dir.File("no such file")));
    return platform::LastError().code;
  }

  int calls = 0;

 private:
  const test::TempDir& dir_;
  int failures_;  // negative: every time
};

struct WaitCase {
  const char* what;
  int failures;  // negative: every time
  bool lock;     // whether the failure is a passing lock
  milliseconds budget;
  bool renamed;
  int calls;  // tries of the rename
};

TEST_F(FilesInUse, ARenameWaitsOutAPassingLockWithinItsBudget) {
  const int code = ScriptedRename::Code();
  const WaitCase cases[] = {
      {"a lock that passes", 3, true, TLockWaits::kBudget, true, 4},
      {"a lock that lasts", -1, true, milliseconds(300), false, 4},  // 50 + 100 + 150 ms
      {"no budget left", -1, true, milliseconds(0), false, 1},
      {"not a lock", 3, false, TLockWaits::kBudget, false, 1},
  };
  for (const WaitCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string from = Path("data\\engine.dll");
    const std::string to = Path("engine.old");
    TLockWaits waits(c.budget);
    waits.IsPassingLock = [&](int failed, const std::string& path) {
      EXPECT_EQ(path, from);
      return c.lock && failed == code;
    };
    std::vector<std::string> shown;
    waits.OnWait = [&](const std::string& text) { shown.push_back(text); };
    ScriptedRename rename(dir_, c.failures);
    const bool renamed =
        RenameWaitingOutLocks(std::ref(rename), from, to, "data\\engine.dll", waits);
    EXPECT_EQ(renamed, c.renamed);
    EXPECT_EQ(rename.calls, c.calls);
    EXPECT_EQ(shown.empty(), c.calls == 1);
    for (const std::string& text : shown) {
      EXPECT_EQ(text, "Waiting for " + kEngine + ", which another program is using\xE2\x80\xA6");
    }
    if (renamed) {
      ASSERT_TRUE(platform::RenameFile(to, from));
      EXPECT_EQ(waits.FailureText(), "");
      continue;
    }
    EXPECT_EQ(platform::LastError().code, code) << "the rename's own failure stays recorded";
    EXPECT_EQ(waits.LockedFile(), c.lock ? "data\\engine.dll" : "");
    EXPECT_EQ(waits.FailureText(), c.lock ? kEngine + " is in use by another program" : "");
  }
}

// One budget for all the renames of an update: once spent, a lock fails at once.
TEST_F(FilesInUse, TheRenamesOfAnUpdateShareOneBudget) {
  const int code = ScriptedRename::Code();
  TLockWaits waits(milliseconds(200));
  waits.IsPassingLock = [&](int failed, const std::string&) { return failed == code; };
  ScriptedRename first(dir_, -1);
  EXPECT_FALSE(RenameWaitingOutLocks(std::ref(first), Path("data\\engine.dll"), Path("engine.old"),
                                     "data\\engine.dll", waits));
  EXPECT_EQ(waits.Remaining(), milliseconds(0));
  ScriptedRename second(dir_, 1);
  EXPECT_FALSE(RenameWaitingOutLocks(std::ref(second), Path("data\\other.dll"), Path("other.old"),
                                     "data\\other.dll", waits));
  EXPECT_EQ(second.calls, 1);
  EXPECT_EQ(waits.LockedFile(), "data\\other.dll");
}

// A real holder that lets go while the rename waits for it: the rename goes through within the
// budget.
TEST_F(FilesInUse, ARenameGoesThroughOnceTheHolderLetsGo) {
  Hold(holder_, "data\\engine.dll");
  TLockWaits waits;
  int waited = 0;
  waits.OnWait = [&](const std::string&) {
    if (waited++ == 0) {
      EXPECT_TRUE(holder_.Stop());
    }
  };
  EXPECT_TRUE(RenameWaitingOutLocks(platform::RenameFile, Path("data\\engine.dll"),
                                    Path("engine.old"), "data\\engine.dll", waits))
      << platform::LastError().code;
  EXPECT_EQ(test::ReadFileBytes(Path("engine.old")), "engine");
  EXPECT_EQ(waited > 0, test::OnWindows());
}

// A holder that does not let go within the budget: the rename fails, the file stays, and the
// failure names it.
TEST_F(FilesInUse, ALastingLockFailsNamingTheFile) {
  Hold(holder_, "data\\engine.dll");
  TLockWaits waits(milliseconds(300));
  const bool renamed =
      RenameWaitingOutLocks(platform::ReplaceFileAtomically, Path("data\\engine.dll"),
                            Path("data\\other.dll"), "data\\engine.dll", waits);
  if (!test::OnWindows()) {
    EXPECT_TRUE(renamed);
    return;
  }
  EXPECT_FALSE(renamed);
  EXPECT_EQ(platform::LastError().operation, "replace");
  EXPECT_EQ(platform::LastError().path, Path("data\\engine.dll"));
  EXPECT_TRUE(platform::IsPassingLock(platform::LastError().code, Path("data\\engine.dll")));
  EXPECT_EQ(test::ReadFileBytes(Path("data\\engine.dll")), "engine");
  EXPECT_EQ(test::ReadFileBytes(Path("data\\other.dll")), "other");
  EXPECT_EQ(waits.LockedFile(), "data\\engine.dll");
  EXPECT_EQ(waits.FailureText().rfind(kEngine + " is in use by ", 0), 0u) << waits.FailureText();
}

}  // namespace
}  // namespace files_in_use
