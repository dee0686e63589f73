// The update transaction of update.exe under Windows (Wine): killed at every step boundary and
// terminated at random moments of the extraction, the program directory is wholly old or new (or
// mid-commit with the journal saying so) and one more run finishes the update; a failure at any
// rename, and at flushes and writes through the run, leaves the old or the new tree and shows the
// error; a stale main.exe does not undo the delivered program; a package of changes made by
// update-pack applies over its base only.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "app/windows/process_windows.h"
#include "app/windows/update_exe_fixture.h"
#include "support/tool_run.h"

namespace {

using DirTree = std::map<std::string, std::string>;

class UpdateExeTransaction : public test::UpdateExeFixture {
 protected:
  // The old program directory, the archive and the hand-over file, afresh.
  void Prepare(bool deliverProgram) {
    // The program that the last run started must be gone before its file can be.
    // (Should it stay, remove_all below fails loudly.)
    if (!name_.empty()) (void)test::ChildProgramCopies::Kill(Path(name_));
    test::fs::remove_all(test::FsPath(program_));
    UseProgramDirectory("program");
    AddProgramOnce();
    test::WriteFileBytes(Path("a.txt"), "old a");
    test::WriteFileBytes(Path("keep.txt"), "kept");
    test::fs::create_directories(test::FsPath(Path("sub")));
    test::WriteFileBytes(Path("sub\\b.txt"), "old b");
    std::vector<std::pair<std::string, std::string>> files = {
        {"a.txt", "new a"}, {"sub/b.txt", "new b"}, {"sub/c.txt", "new c"}, {"new/d.txt", "d"}};
    if (deliverProgram) files.push_back({"main.exe", NewProgram()});
    WriteArchive(files);
    HandOver();
    test::fs::remove(test::FsPath(work_.File("restart.txt")));
  }

  void HandOver() { test::WriteFileBytes(Path("uplog.txt"), name_ + "\r\n"); }

  // The program directory without the updater's own files.
  DirTree Program() const {
    DirTree tree = Tree();
    for (const char* own : {"update.exe", "update.zip", "uplog.txt"}) tree.erase(own);
    return tree;
  }

  std::string JournalState() const {
    const std::string journal = Path(".update-journal");
    if (!test::fs::exists(test::FsPath(journal))) return "none";
    const std::string text = test::ReadFileBytes(journal);
    const size_t state = text.find("\nstate ");
    return state == std::string::npos
               ? "?"
               : text.substr(state + 7, text.find('\n', state + 1) - state - 7);
  }

  // Old, new, or in between while the journal says that a commit or a roll-back is under way
  // (the next start finishes it before anything else).
  void ExpectWhole(const DirTree& oldTree, const DirTree& newTree) {
    const DirTree now = Program();
    const std::string state = JournalState();
    EXPECT_TRUE(now == oldTree || now == newTree || state == "committing" ||
                state == "rolling-back")
        << "journal " << state;
  }

  // One more run, answering any box: the new tree, the archive gone, the program started.
  void ExpectNextRunFinishes(const DirTree& newTree) {
    test::fs::remove(test::FsPath(work_.File("restart.txt")));
    EXPECT_EQ(RunAnsweringBoxes(), 0);
    EXPECT_EQ(Program(), newTree);
    EXPECT_FALSE(test::fs::exists(test::FsPath(Path("update.zip"))));
    EXPECT_EQ(Restart(), "-start\n");
  }

  // Runs the updater with `environment`, pressing OK on every box it shows; the exit code, and
  // in `boxText` the first box's text.
  int RunAnsweringBoxes(const std::vector<std::pair<std::string, std::string>>& environment = {},
                        std::string* boxText = nullptr) {
    test::ChildProcess updater;
    auto variables = environment;
    variables.push_back({"UPDATE_CHILD_RECORD", work_.File("restart.txt")});
    if (!updater.Start(Path("update.exe"), "", variables)) return -1;
    const auto code = updater.WaitForExit([&] {
      HWND box = test::FindMessageBoxOf(updater.Id());
      // A box just made may not have its text yet: it is answered once it reads whole.
      const std::string text = box != nullptr ? test::MessageBoxText(box) : "";
      if (text.empty()) return;
      if (boxText != nullptr && boxText->empty()) *boxText = text;
      test::PressOk(box);
    });
    return code ? static_cast<int>(*code) : -1;
  }

  std::string NewProgram() { return test::ReadFileBytes(test::ChildProgram()) + "new build"; }

  // The main program under one name for all runs of a test.
  void AddProgramOnce() {
    if (name_.empty()) name_ = test::UniqueName("txn-") + ".exe";
    AddProgram(name_);
  }

  // The old and new trees of a whole run.
  std::pair<DirTree, DirTree> Reference(bool deliverProgram) {
    Prepare(deliverProgram);
    const DirTree oldTree = Program();
    EXPECT_EQ(RunAnsweringBoxes(), 0);
    return {oldTree, Program()};
  }

  std::string name_;
};

TEST_F(UpdateExeTransaction, KilledAtEveryStepTheDirectoryIsWhollyOldOrNewAndTheNextRunFinishes) {
  const auto [oldTree, newTree] = Reference(true);
  ASSERT_NE(oldTree, newTree);
  int steps = 0;
  for (int step = 1;; ++step) {
    SCOPED_TRACE("killed at step " + std::to_string(step));
    Prepare(true);
    const int code = RunAnsweringBoxes({{"UPDATE_KILL_AT_STEP", std::to_string(step)}});
    ExpectWhole(oldTree, newTree);
    if (code != 137) break;  // the run has fewer steps than this: it went through
    ++steps;
    ExpectNextRunFinishes(newTree);
    if (HasFailure()) break;
  }
  EXPECT_GT(steps, 10);
  std::printf("killed at %d step boundaries\n", steps);
}

TEST_F(UpdateExeTransaction, AStaleMainExeBesideTheProgramDoesNotUndoTheDeliveredOne) {
  const auto [oldTree, newTree] = Reference(true);
  Prepare(true);
  // Not a program: had it been moved over the delivered one, nothing would start.
  test::WriteFileBytes(Path("main.exe"), "a stale main.exe");
  EXPECT_EQ(RunAnsweringBoxes(), 0);
  EXPECT_EQ(Program(), newTree);  // the delivered program under its name, no main.exe
  EXPECT_EQ(Restart(), "-start\n");
}

TEST_F(UpdateExeTransaction, TerminatedDuringTheExtractionTheNextRunFinishes) {
  const auto [oldTree, newTree] = Reference(true);
  std::mt19937 random(20261210);
  for (int point = 0; point < 8; ++point) {
    SCOPED_TRACE("kill point " + std::to_string(point));
    Prepare(true);
    test::ChildProcess updater;
    ASSERT_TRUE(updater.Start(Path("update.exe"), "",
                              {{"UPDATE_CHILD_RECORD", work_.File("restart.txt")}}));
    // A few milliseconds into the extraction. The commit's moments are covered by the step
    // boundaries above: a kill there lands, more often than not, in the relaunch that follows
    // within milliseconds, and a process terminated inside CreateProcess leaves under Wine a
    // half-started child that cannot be terminated (Windows creates the child whole).
    test::WaitFor([&] {
      return !updater.Running() || test::fs::exists(test::FsPath(Path(".update-staging")));
    });
    Sleep(std::uniform_int_distribution<DWORD>(0, 40)(random));
    const bool killed = updater.Running();
    // The next run starts only once this one has gone: one still ending holds the guard.
    ASSERT_TRUE(updater.Terminate());
    ExpectWhole(oldTree, newTree);
    if (!killed) HandOver();  // it went through: the program hands over anew
    ExpectNextRunFinishes(newTree);
    if (HasFailure()) break;
  }
}

TEST_F(UpdateExeTransaction, AFailureAtAnyRenameFlushOrWriteLeavesTheOldOrNewTree) {
  const auto [oldTree, newTree] = Reference(false);
  int injected = 0;
  // Every rename (the Windows rules of moving files are what differs here); every third flush
  // and write, which keeps the run short under Wine (Linux runs every one).
  for (const auto& [kind, stride] : {std::pair{"rename", 1}, {"flush", 3}, {"write", 3}}) {
    for (int number = 1;; number += stride) {
      SCOPED_TRACE(std::string(kind) + " #" + std::to_string(number));
      Prepare(false);
      const std::string record = work_.File("fault.txt");
      test::fs::remove(test::FsPath(record));
      std::string box;
      const int code = RunAnsweringBoxes(
          {{"UPDATE_INJECT_FAULT", std::string(kind) + ":" + std::to_string(number) + ":locked"},
           {"UPDATE_INJECT_FAULT_RECORD", record}},
          &box);
      if (!test::fs::exists(test::FsPath(record))) break;  // the run has fewer than that
      ++injected;
      const DirTree now = Program();
      EXPECT_TRUE(now == oldTree || now == newTree) << "journal " << JournalState();
      EXPECT_EQ(code, now == newTree ? 0 : 1);  // applied, or not
      if (now == oldTree) {
        EXPECT_FALSE(box.empty()) << "the failure was not shown";
        EXPECT_TRUE(test::fs::exists(test::FsPath(Path("update.zip"))));
      }
      HandOver();
      ExpectNextRunFinishes(newTree);
      if (HasFailure()) return;
    }
  }
  EXPECT_GT(injected, 15);
  std::printf("%d failures injected\n", injected);
}

}  // namespace

namespace {

// A package of the changes from one release to the next, made by update-pack: over its base it
// turns the program directory into the new release (removed files and the directories they
// emptied gone), also after a kill at a step of the run; over another release it is refused and
// the program stays running.
TEST_F(UpdateExeTransaction, APackageOfChangesFromUpdatePackAppliesOverItsBaseOnly) {
  const std::map<std::string, std::string> base = {
      {"a.txt", "old a"},          {"keep.txt", "kept"},         {"gone.txt", "removed"},
      {"plugins\\old.dll", "old"}, {"plugins\\sub\\x.dat", "x"}, {"lib\\gone.dll", "removed"},
      {"lib\\kept.dll", "kept"}};
  const std::map<std::string, std::string> next = {
      {"a.txt", "new a"}, {"keep.txt", "kept"}, {"lib\\kept.dll", "kept"}, {"sub\\c.txt", "c"}};
  test::WriteTree(work_.File("release-1.0"), base);
  test::WriteFileBytes(work_.File("release-1.0\\.update-release"),
                       "update-release 1\nproduct demo\nversion 1.0\n");
  test::WriteTree(work_.File("release-1.1"), next);
  const test::ToolRun pack = test::RunTool(
      test::HostPath(UPDATE_PACK), work_,
      {"make", "--product", "demo", "--version", "1.1", "--from", work_.File("release-1.0"), "-o",
       work_.File("changes.zip"), work_.File("release-1.1")});
  ASSERT_EQ(pack.status, 0) << pack.err;
  const std::string archive = test::ReadFileBytes(work_.File("changes.zip"));
  const auto prepare = [&](const std::string& installedVersion) {
    if (!name_.empty()) (void)test::ChildProgramCopies::Kill(Path(name_));
    test::fs::remove_all(test::FsPath(program_));
    UseProgramDirectory("program");
    AddProgramOnce();
    test::WriteTree(program_, base);
    test::WriteFileBytes(Path(".update-release"),
                         "update-release 1\nproduct demo\nversion " + installedVersion + "\n");
    test::WriteFileBytes(Path("update.zip"), archive);
    HandOver();
    test::fs::remove(test::FsPath(work_.File("restart.txt")));
  };

  prepare("1.0");
  const DirTree oldTree = Program();
  ASSERT_EQ(RunAnsweringBoxes(), 0);
  const DirTree newTree = Program();
  DirTree expected;
  for (const auto& [path, data] : next) {
    std::string name = path;
    for (char& c : name) c = c == '\\' ? '/' : c;
    expected[name] =
        std::to_string(data.size()) + " bytes, CRC " + std::to_string(test::Crc32(data));
  }
  expected["lib/"] = expected["sub/"] = "";
  expected[name_] = oldTree.at(name_);
  EXPECT_EQ(newTree, expected);
  EXPECT_NE(test::ReadFileBytes(Path(".update-release")).find("version 1.1\n"), std::string::npos);

  // Killed at every other step, the directory is old or new, and one more run finishes.
  for (int step = 1;; step += 2) {
    SCOPED_TRACE("killed at step " + std::to_string(step));
    prepare("1.0");
    const int code = RunAnsweringBoxes({{"UPDATE_KILL_AT_STEP", std::to_string(step)}});
    ExpectWhole(oldTree, newTree);
    if (code != 137) break;
    ExpectNextRunFinishes(newTree);
    if (HasFailure()) break;
  }

  // Over another release: refused before anything is closed.
  prepare("0.9");
  test::ChildProcess running;
  StartProgram(name_, running);
  std::string box;
  EXPECT_EQ(RunAnsweringBoxes({}, &box), 1);
  EXPECT_NE(box.find("update.zip updates version 1.0; version 0.9 is installed (a full package is "
                     "needed)"),
            std::string::npos)
      << box;
  EXPECT_TRUE(running.Running());
  DirTree after = Program();
  EXPECT_EQ(after.erase("update.zip.refused"), 1u);
  EXPECT_EQ(after, oldTree);
}

}  // namespace
