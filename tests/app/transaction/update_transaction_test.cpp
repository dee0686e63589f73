// The update transaction in the process itself, on both systems: what the commit plans, that a
// roll-back from any point of a commit restores the old tree exactly, and what the start-up
// recovery does with each state of the journal.
#include "app/update_transaction.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/ascii_case.h"
#include "platform/files.h"
#include "platform/temporary_tree.h"
#include "support/temp_dir.h"
#include "unzip/base/file_utils.h"
#include "unzip/base/path_text.h"

namespace {

namespace transaction = update_transaction;
using Tree = std::map<std::string, std::string>;  // path -> bytes; directories end in "\"

class UpdateTransaction : public ::testing::Test {
 protected:
  UpdateTransaction() : app_(dir_.Path() + "\\") {}

  void Write(const std::string& root, const Tree& tree) {
    for (const auto& [path, data] : tree) {
      if (path.back() == '\\') {
        ForceDirectories(root + path);
      } else {
        ForceDirectories(ExtractFilePath(root + path));
        test::WriteFileBytes(root + path, data);
      }
    }
  }

  // The program directory without the transaction's own names.
  Tree Read() {
    Tree tree;
    for (const std::string& path : platform::ListDirectoryTree(app_)) {
      if (path.rfind(".update-", 0) == 0) continue;
      tree[path] = path.back() == '\\' ? "" : test::ReadFileBytes(app_ + path);
    }
    return tree;
  }

  // Old tree in the program directory, the update in the staging directory, moves planned.
  TUpdateJournal Stage(const Tree& oldTree, const Tree& staged, const std::string& mainExe) {
    Write(app_, oldTree);
    Write(transaction::StagingDir(app_), staged);
    TUpdateJournal journal;
    journal.MainExeName = mainExe;
    std::string reserved;
    EXPECT_TRUE(transaction::PlanMoves(app_, &journal, &reserved)) << reserved;
    EXPECT_TRUE(transaction::WriteJournal(app_, journal));
    return journal;
  }

  test::TempDir dir_;
  std::string app_;
};

const Tree kOld = {{"prog.exe", "old program"},
                   {"a.txt", "old a"},
                   {"keep.txt", "kept"},
                   {"lib\\", ""},
                   {"lib\\b.dll", "old b"}};
const Tree kStaged = {{"main.exe", "new program"}, {"a.txt", "new a"}, {"lib\\", ""},
                      {"lib\\b.dll", "new b"},     {"new\\", ""},      {"new\\deep\\", ""},
                      {"new\\deep\\c.txt", "c"}};
const Tree kNew = {{"prog.exe", "new program"}, {"a.txt", "new a"},
                   {"keep.txt", "kept"},        {"lib\\", ""},
                   {"lib\\b.dll", "new b"},     {"new\\", ""},
                   {"new\\deep\\", ""},         {"new\\deep\\c.txt", "c"}};

TEST_F(UpdateTransaction, PlansTheDeliveredMainProgramUnderItsNameAndOnlyMissingDirectories) {
  Tree staged = kStaged;
  staged["prog.exe"] = "the archive's own prog.exe";  // the delivered main.exe wins over it
  const TUpdateJournal journal = Stage(kOld, staged, "prog.exe");
  std::map<std::string, std::string> moves;
  for (const TUpdateJournal::TMove& move : journal.Files) moves[move.staged] = move.target;
  EXPECT_EQ(moves, (std::map<std::string, std::string>{{"main.exe", "prog.exe"},
                                                       {"a.txt", "a.txt"},
                                                       {"lib\\b.dll", "lib\\b.dll"},
                                                       {"new\\deep\\c.txt", "new\\deep\\c.txt"}}));
  EXPECT_EQ(journal.Directories, (std::vector<std::string>{"new\\", "new\\deep\\"}));

  TUpdateJournal read;
  ASSERT_TRUE(transaction::ReadJournal(app_, &read));
  EXPECT_EQ(read.MainExeName, "prog.exe");
  EXPECT_EQ(read.Files.size(), journal.Files.size());
  EXPECT_EQ(read.Directories, journal.Directories);
}

TEST_F(UpdateTransaction, AnArchiveMayNotBringTheUpdatersOwnNamesButNamesLikeThem) {
  const struct {
    std::string name;
    bool refused;
  } cases[] = {
      {".update-journal", true},
      {".UPDATE-Backup\\x.txt", true},
      {".update-staging\\", true},
      {".Update-Journal.new", true},
      {"update.log", true},
      {"UPDATE.LOG", true},
      {"update.log\\x.txt", true},
      {".update-notes.txt", false},
      {".update-stagingx\\a.txt", false},
      {"update.log.old", false},
      {"sub\\update.log", false},
      {"sub\\.update-journal", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::RemoveDirectoryTree(transaction::StagingDir(app_));
    Write(transaction::StagingDir(app_), {{"a.txt", "a"}, {c.name, "x"}});
    TUpdateJournal journal;
    journal.MainExeName = "prog.exe";
    std::string reserved;
    EXPECT_EQ(transaction::PlanMoves(app_, &journal, &reserved), !c.refused);
    if (c.refused) {
      EXPECT_TRUE(platform::EqualsIgnoringAsciiCase(reserved.substr(0, reserved.find('\\')),
                                                    c.name.substr(0, c.name.find('\\'))))
          << reserved;
    } else {
      bool planned = false;
      for (const TUpdateJournal::TMove& move : journal.Files) planned |= move.target == c.name;
      EXPECT_TRUE(planned || c.name.back() == '\\');
    }
  }
}

TEST_F(UpdateTransaction, AStaleMainExeBesideTheProgramGoesIntoTheBackupAndComesBackOnRollBack) {
  // With and without a new program delivered as "main.exe": afterwards, no "main.exe" is left
  // to be moved over the program when it starts.
  for (const bool delivered : {true, false}) {
    SCOPED_TRACE(delivered ? "delivered" : "not delivered");
    platform::RemoveDirectoryTree(dir_.Path());
    ForceDirectories(dir_.Path());
    Tree oldTree = kOld;
    oldTree["main.exe"] = "stale program";
    Tree staged = kStaged;
    Tree newTree = kNew;
    newTree.erase("main.exe");
    if (!delivered) {
      staged.erase("main.exe");
      newTree["prog.exe"] = "old program";
    }
    TUpdateJournal journal = Stage(oldTree, staged, "prog.exe");
    ASSERT_TRUE(transaction::Commit(app_, journal, {}));
    EXPECT_EQ(Read(), newTree);
    EXPECT_EQ(test::ReadFileBytes(transaction::BackupDir(app_) + "main.exe"), "stale program");
    EXPECT_TRUE(transaction::UpdateCommitted(app_));
    EXPECT_TRUE(transaction::RollBack(app_, journal));
    EXPECT_EQ(Read(), oldTree);
    EXPECT_FALSE(transaction::UpdateCommitted(app_));
  }
}

TEST_F(UpdateTransaction, StoredDirectoriesGiveTheirAttributesToTheProgramsDirectories) {
  Tree oldTree = kOld;
  oldTree["data\\"] = "";
  Tree staged = kStaged;
  staged["data\\"] = "";
  staged["data\\d.txt"] = "d";
  Write(app_, oldTree);
  Write(transaction::StagingDir(app_), staged);
  // "lib" exists and "new" is created: both take the archive's; "data" is not stored and keeps
  // its own.
  const std::string staging = transaction::StagingDir(app_);
  for (const char* dir : {"lib\\", "new\\"}) {
    ASSERT_EQ(platform::WriteAttributesAndPermissions(
                  staging + dir, platform::kAttrDirectory | platform::kAttrHidden, 0750),
              0);
  }
  ASSERT_EQ(platform::WriteAttributesAndPermissions(
                app_ + "data\\", platform::kAttrDirectory | platform::kAttrSystem, 0700),
            0);
  const uint32_t dataAttributes = platform::ReadAttributes(app_ + "data\\");
  const int32_t dataPermissions = platform::ReadPermissions(app_ + "data\\");
  TUpdateJournal journal;
  journal.MainExeName = "prog.exe";
  journal.Stored = {"lib\\", "new\\", "missing\\"};  // one the staging tree does not hold
  std::string reserved;
  ASSERT_TRUE(transaction::PlanMoves(app_, &journal, &reserved));
  EXPECT_EQ(journal.Stored, (std::vector<std::string>{"lib\\", "new\\"}));
  ASSERT_TRUE(transaction::WriteJournal(app_, journal));
  TUpdateJournal read;
  ASSERT_TRUE(transaction::ReadJournal(app_, &read));
  EXPECT_EQ(read.Stored, journal.Stored);
  ASSERT_TRUE(transaction::Commit(app_, read, {}));
  for (const char* dir : {"lib\\", "new\\"}) {
    SCOPED_TRACE(dir);
    EXPECT_EQ(platform::ReadAttributes(app_ + dir), platform::ReadAttributes(staging + dir));
    EXPECT_EQ(platform::ReadPermissions(app_ + dir), platform::ReadPermissions(staging + dir));
  }
  EXPECT_EQ(platform::ReadAttributes(app_ + "data\\"), dataAttributes);
  EXPECT_EQ(platform::ReadPermissions(app_ + "data\\"), dataPermissions);
  EXPECT_EQ(test::ReadFileBytes(app_ + "data\\d.txt"), "d");
}

TEST_F(UpdateTransaction, ACommitMakesTheNewTreeAndARollBackFromAnyPointTheOldOne) {
  {
    TUpdateJournal journal = Stage(kOld, kStaged, "prog.exe");
    ASSERT_TRUE(transaction::Commit(app_, journal, {}));
    EXPECT_EQ(Read(), kNew);
    EXPECT_TRUE(transaction::RollBack(app_, journal));
    EXPECT_EQ(Read(), kOld);
  }
  // A commit stopped after each of its moves (old file to the backup, new file into place):
  // the program directory is in between, and the roll-back restores it. Moves are made by hand
  // here as the commit makes them.
  for (size_t stop = 0; stop <= 6; ++stop) {
    SCOPED_TRACE("stopped after move " + std::to_string(stop));
    platform::RemoveDirectoryTree(dir_.Path());
    ForceDirectories(dir_.Path());
    TUpdateJournal journal = Stage(kOld, kStaged, "prog.exe");
    for (const std::string& dir : journal.Directories) ForceDirectories(app_ + dir);
    size_t made = 0;
    for (const TUpdateJournal::TMove& move : journal.Files) {
      const std::string target = app_ + move.target;
      if (made < stop && FileExists(target)) {
        ForceDirectories(ExtractFilePath(transaction::BackupDir(app_) + move.target));
        ASSERT_TRUE(platform::RenameFile(target, transaction::BackupDir(app_) + move.target));
        ++made;
      }
      if (made < stop) {
        ASSERT_TRUE(platform::RenameFile(transaction::StagingDir(app_) + move.staged, target));
        ++made;
      }
    }
    EXPECT_TRUE(transaction::RollBack(app_, journal));
    EXPECT_EQ(Read(), kOld);
    // Rolled back, only the name stays in the journal for the next run.
    TUpdateJournal after;
    ASSERT_TRUE(transaction::ReadJournal(app_, &after));
    EXPECT_EQ(after.State, TUpdateJournal::jsStaged);
    EXPECT_EQ(after.MainExeName, "prog.exe");
    EXPECT_TRUE(after.Files.empty());
    EXPECT_FALSE(DirectoryExists(transaction::StagingDir(app_)));
  }
}

TEST_F(UpdateTransaction, RecoveryFinishesOrDropsEachStateOfTheJournal) {
  struct Case {
    TUpdateJournal::TState state;
    bool archive;
    Tree expected;
    bool journalStays;
  };
  const Case cases[] = {
      {TUpdateJournal::jsStaged, true, kOld, true},  // the name stays while the archive waits
      {TUpdateJournal::jsStaged, false, kOld, false},
      {TUpdateJournal::jsCommitting, true, kNew, true},  // committed: forgotten after the start
      {TUpdateJournal::jsRollingBack, true, kOld, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.state));
    platform::RemoveDirectoryTree(dir_.Path());
    ForceDirectories(dir_.Path());
    TUpdateJournal journal = Stage(kOld, kStaged, "prog.exe");
    journal.State = c.state;
    if (c.archive) test::WriteFileBytes(app_ + "update.zip", "zip");
    journal.Archive = transaction::IdentifyArchive(app_ + "update.zip");
    ASSERT_TRUE(transaction::WriteJournal(app_, journal));
    const transaction::TRecovery recovery =
        transaction::RecoverInterruptedUpdate(app_, app_ + "update.zip");
    EXPECT_EQ(recovery.MainExeName, "prog.exe");
    EXPECT_FALSE(recovery.Unfinished);
    Tree expected = c.expected;
    if (c.archive && c.expected == kOld) expected["update.zip"] = "zip";
    EXPECT_EQ(Read(), expected);
    EXPECT_EQ(FileExists(transaction::JournalPath(app_)), c.journalStays);
    EXPECT_FALSE(DirectoryExists(transaction::StagingDir(app_)));
    EXPECT_FALSE(DirectoryExists(transaction::BackupDir(app_)));
    transaction::ForgetFinishedUpdate(app_);
    EXPECT_EQ(FileExists(transaction::JournalPath(app_)),
              c.journalStays && c.state != TUpdateJournal::jsCommitting);
  }
}

TEST_F(UpdateTransaction, RecoveryDeletesOnlyTheArchiveItStaged) {
  const struct {
    const char* what;
    TUpdateJournal::TState state;
    std::string recorded;  // the archive the journal identifies; empty: none (an older journal)
    bool deleted;
  } cases[] = {
      {"the same archive, committing", TUpdateJournal::jsCommitting, "zip", true},
      {"the same archive, committed", TUpdateJournal::jsCommitted, "zip", true},
      {"another archive, committing", TUpdateJournal::jsCommitting, "zap", false},
      {"another archive, committed", TUpdateJournal::jsCommitted, "zap", false},
      {"no identity, committing", TUpdateJournal::jsCommitting, "", false},
      {"no identity, committed", TUpdateJournal::jsCommitted, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    platform::RemoveDirectoryTree(dir_.Path());
    ForceDirectories(dir_.Path());
    TUpdateJournal journal = Stage(kOld, kStaged, "prog.exe");
    if (!c.recorded.empty()) {
      test::WriteFileBytes(app_ + "update.zip", c.recorded);
      journal.Archive = transaction::IdentifyArchive(app_ + "update.zip");
      ASSERT_FALSE(journal.Archive.Sha256.empty());
    }
    if (c.state == TUpdateJournal::jsCommitted) {
      ASSERT_TRUE(transaction::Commit(app_, journal, {}));
    }
    journal.State = c.state;
    ASSERT_TRUE(transaction::WriteJournal(app_, journal));
    TUpdateJournal read;
    ASSERT_TRUE(transaction::ReadJournal(app_, &read));
    EXPECT_EQ(read.Archive, journal.Archive);
    // The archive found now; the same size for "zap", so that only the digest tells.
    test::WriteFileBytes(app_ + "update.zip", "zip");
    const transaction::TRecovery recovery =
        transaction::RecoverInterruptedUpdate(app_, app_ + "update.zip");
    EXPECT_FALSE(recovery.Unfinished);
    Tree expected = kNew;
    if (!c.deleted) expected["update.zip"] = "zip";
    EXPECT_EQ(Read(), expected);
  }
}

}  // namespace
