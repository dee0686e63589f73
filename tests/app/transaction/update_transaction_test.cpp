// The update transaction in the process itself, on both systems: what the commit plans, that a
// roll-back from any point of a commit restores the old tree exactly, and what the start-up
// recovery does with each state of the journal.
#include "app/update_transaction.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/ascii_case.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/path_text.h"
#include "platform/temporary_tree.h"
#include "support/links.h"
#include "support/temp_dir.h"

namespace {

namespace transaction = update_transaction;
using Tree = std::map<std::string, std::string>;  // path -> bytes; directories end in "\"

class UpdateTransaction : public ::testing::Test {
 protected:
  UpdateTransaction() : app_(dir_.Path() + "\\") {}

  void Write(const std::string& root, const Tree& tree) {
    for (const auto& [path, data] : tree) {
      if (path.back() == '\\') {
        ASSERT_TRUE(platform::MakeDirectories(root + path));
      } else {
        ASSERT_TRUE(platform::MakeDirectories(platform::ExtractFilePath(root + path)));
        test::WriteFileBytes(root + path, data);
      }
    }
  }

  // The program directory (`app`, else the fixture's) without the transaction's own names.
  Tree Read(const std::string& app = "") {
    const std::string& root = app.empty() ? app_ : app;
    Tree tree;
    for (const std::string& path : platform::ListDirectoryTree(root)) {
      if (path.rfind(".update-", 0) == 0) continue;
      tree[path] = path.back() == '\\' ? "" : test::ReadFileBytes(root + path);
    }
    return tree;
  }

  // What the extraction reports of the staging tree: its files; and its directories, which an
  // archive holds as entries of their own.
  std::vector<std::string> Extracted(bool directories = false) {
    std::vector<std::string> paths;
    for (const std::string& path : platform::ListDirectoryTree(transaction::StagingDir(app_))) {
      if ((path.back() == '\\') == directories) paths.push_back(path);
    }
    return paths;
  }

  // Old tree in the program directory, the update in the staging directory, moves planned.
  TUpdateJournal Stage(const Tree& oldTree, const Tree& staged, const std::string& mainExe) {
    Write(app_, oldTree);
    Write(transaction::StagingDir(app_), staged);
    TUpdateJournal journal;
    journal.MainExeName = mainExe;
    std::string reserved;
    EXPECT_TRUE(transaction::PlanMoves(app_, &journal, Extracted(), {}, &reserved)) << reserved;
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
  ASSERT_EQ(transaction::ReadJournal(app_, &read), transaction::TJournalRead::kRead);
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
    journal.Stored = Extracted(true);
    std::string reserved;
    EXPECT_EQ(transaction::PlanMoves(app_, &journal, Extracted(), {}, &reserved), !c.refused);
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
    ASSERT_TRUE(platform::MakeDirectories(dir_.Path()));
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

TEST_F(UpdateTransaction, RemovedFilesAndTheDirectoriesTheyEmptyGoAndComeBackOnRollBack) {
  Tree oldTree = kOld;
  oldTree["gone.txt"] = "removed";
  oldTree["lib\\gone.dll"] = "removed from a directory that stays";
  oldTree["plugins\\"] = "";
  oldTree["plugins\\old.dll"] = "removed";
  oldTree["plugins\\sub\\"] = "";
  oldTree["plugins\\sub\\x.dat"] = "removed";
  // Listed but gone already, or brought by the archive (placed, not removed).
  const std::vector<std::string> removals = {"gone.txt",         "lib\\gone.dll",
                                             "plugins\\old.dll", "plugins\\sub\\x.dat",
                                             "missing.txt",      "a.txt"};
  Write(app_, oldTree);
  Write(transaction::StagingDir(app_), kStaged);
  TUpdateJournal planned;
  planned.MainExeName = "prog.exe";
  std::string refused;
  ASSERT_TRUE(transaction::PlanMoves(app_, &planned, Extracted(), removals, &refused)) << refused;
  ASSERT_TRUE(transaction::WriteJournal(app_, planned));
  TUpdateJournal journal;
  ASSERT_EQ(transaction::ReadJournal(app_, &journal), transaction::TJournalRead::kRead);
  EXPECT_EQ(journal.Emptied, (std::vector<std::string>{"lib\\", "plugins\\", "plugins\\sub\\"}));
  ASSERT_TRUE(transaction::Commit(app_, journal, {}));
  EXPECT_EQ(Read(), kNew);  // "lib" keeps its new file; "plugins" is gone whole
  EXPECT_EQ(test::ReadFileBytes(transaction::BackupDir(app_) + "plugins\\sub\\x.dat"), "removed");
  // Committed again after a kill: nothing more to do, nothing undone.
  journal.State = TUpdateJournal::jsCommitting;
  ASSERT_TRUE(transaction::Commit(app_, journal, {}));
  EXPECT_EQ(Read(), kNew);
  EXPECT_TRUE(transaction::RollBack(app_, journal));
  EXPECT_EQ(Read(), oldTree);
  // A removal may not name the updater's own files or lead out of the program directory.
  for (const std::string& bad : {std::string(".update-journal"), std::string("..\\x")}) {
    TUpdateJournal other;
    EXPECT_FALSE(transaction::PlanMoves(app_, &other, {}, {bad}, &refused)) << bad;
    EXPECT_EQ(refused, bad);
  }
}

// An empty directory that the archive stores as an entry is part of the new release: the removals
// that empty it leave it (and the directories on its way) in place.
// A directory that the archive holds as an entry belongs to the new release, empty or not: the
// removals that empty it leave it, and the directories on its way, in place.
TEST_F(UpdateTransaction, ADirectoryTheArchiveStoresStaysWhenTheRemovalsEmptyIt) {
  struct Case {
    std::vector<std::string> stored;
    std::vector<std::string> emptied;
    Tree kept;  // besides the program
  };
  const Case cases[] = {
      {{}, {"plugins\\", "plugins\\sub\\"}, {}},
      {{"plugins\\"}, {"plugins\\sub\\"}, {{"plugins\\", ""}}},
      {{"plugins\\sub\\"}, {}, {{"plugins\\", ""}, {"plugins\\sub\\", ""}}},
      {{"data\\"}, {"plugins\\", "plugins\\sub\\"}, {{"data\\", ""}}},
  };
  const Tree oldTree = {
      {"prog.exe", "program"}, {"plugins\\old.dll", "removed"}, {"plugins\\sub\\x.dat", "removed"}};
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored.empty() ? "nothing stored" : c.stored[0]);
    const std::string app = app_ + "row" + std::to_string(++row) + "\\";
    Write(app, oldTree);
    ASSERT_TRUE(platform::MakeDirectories(transaction::StagingDir(app)));  // the extraction's
    for (const std::string& stored : c.stored) {
      ASSERT_TRUE(platform::MakeDirectories(transaction::StagingDir(app) + stored));
    }
    TUpdateJournal journal;
    journal.MainExeName = "prog.exe";
    journal.Stored = c.stored;
    std::string refused;
    ASSERT_TRUE(transaction::PlanMoves(app, &journal, {},
                                       {"plugins\\old.dll", "plugins\\sub\\x.dat"}, &refused))
        << refused;
    EXPECT_EQ(journal.Emptied, c.emptied);
    ASSERT_TRUE(transaction::Commit(app, journal, {}));
    Tree after = c.kept;
    after["prog.exe"] = "program";
    EXPECT_EQ(Read(app), after);
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
  ASSERT_TRUE(transaction::PlanMoves(app_, &journal, Extracted(), {}, &reserved));
  EXPECT_EQ(journal.Stored, (std::vector<std::string>{"lib\\", "new\\"}));
  ASSERT_TRUE(transaction::WriteJournal(app_, journal));
  TUpdateJournal read;
  ASSERT_EQ(transaction::ReadJournal(app_, &read), transaction::TJournalRead::kRead);
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
    ASSERT_TRUE(platform::MakeDirectories(dir_.Path()));
    TUpdateJournal journal = Stage(kOld, kStaged, "prog.exe");
    for (const std::string& dir : journal.Directories) {
      ASSERT_TRUE(platform::MakeDirectories(app_ + dir));
    }
    size_t made = 0;
    for (const TUpdateJournal::TMove& move : journal.Files) {
      const std::string target = app_ + move.target;
      if (made < stop && platform::FileExists(target)) {
        ASSERT_TRUE(platform::MakeDirectories(
            platform::ExtractFilePath(transaction::BackupDir(app_) + move.target)));
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
    ASSERT_EQ(transaction::ReadJournal(app_, &after), transaction::TJournalRead::kRead);
    EXPECT_EQ(after.State, TUpdateJournal::jsStaged);
    EXPECT_EQ(after.MainExeName, "prog.exe");
    EXPECT_TRUE(after.Files.empty());
    EXPECT_FALSE(platform::DirectoryExists(transaction::StagingDir(app_)));
  }
}

TEST_F(UpdateTransaction, RecoveryFinishesOrDropsEachStateOfTheJournal) {
  struct Case {
    TUpdateJournal::TState state;
    bool archive;
    Tree expected;
    bool journalStays;
    const char* name;           // the program's name the recovery hands on
    bool otherArchive = false;  // the archive there is not the one the journal names
  };
  const Case cases[] = {
      // The name stays while its archive waits, and goes with it or for another.
      {TUpdateJournal::jsStaged, true, kOld, true, "prog.exe"},
      {TUpdateJournal::jsStaged, false, kOld, false, ""},
      {TUpdateJournal::jsStaged, true, kOld, false, "", true},
      {TUpdateJournal::jsCommitting, true, kNew, true, "prog.exe"},  // forgotten after the start
      {TUpdateJournal::jsRollingBack, true, kOld, true, "prog.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.state));
    platform::RemoveDirectoryTree(dir_.Path());
    ASSERT_TRUE(platform::MakeDirectories(dir_.Path()));
    TUpdateJournal journal = Stage(kOld, kStaged, "prog.exe");
    journal.State = c.state;
    if (c.archive) test::WriteFileBytes(app_ + "update.zip", c.otherArchive ? "other" : "zip");
    journal.Archive = c.otherArchive ? transaction::ArchiveIdentity(3, {})
                                     : transaction::IdentifyArchive(app_ + "update.zip");
    ASSERT_TRUE(transaction::WriteJournal(app_, journal));
    const transaction::TRecovery recovery =
        transaction::RecoverInterruptedUpdate(app_, app_ + "update.zip");
    EXPECT_EQ(recovery.MainExeName, c.name);
    EXPECT_FALSE(recovery.Unfinished);
    Tree expected = c.expected;
    if (c.archive && c.expected == kOld) expected["update.zip"] = c.otherArchive ? "other" : "zip";
    EXPECT_EQ(Read(), expected);
    EXPECT_EQ(platform::FileExists(transaction::JournalPath(app_)), c.journalStays);
    EXPECT_FALSE(platform::DirectoryExists(transaction::StagingDir(app_)));
    EXPECT_FALSE(platform::DirectoryExists(transaction::BackupDir(app_)));
    transaction::ForgetFinishedUpdate(app_);
    EXPECT_EQ(platform::FileExists(transaction::JournalPath(app_)),
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
    ASSERT_TRUE(platform::MakeDirectories(dir_.Path()));
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
    ASSERT_EQ(transaction::ReadJournal(app_, &read), transaction::TJournalRead::kRead);
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

// What a journal says is not trusted: one that is there but cannot be read, is too large, does
// not parse, or names a path outside the program directory (or a program name that is no file
// name) leaves every file where it is, itself included, in every state, and says why.
TEST_F(UpdateTransaction, AJournalThatCannotBeTrustedLeavesEveryFileWhereItIs) {
  struct Case {
    const char* what;
    std::string body;               // after the header and the state line; "" with `special` set
    const char* special = nullptr;  // "directory" or "huge": the journal is no text at all
  };
  const std::string end = "end\n";
  const Case cases[] = {
      {"a directory in its place", "", "directory"},
      {"larger than any journal written", "", "huge"},
      {"no end", "main prog.exe\n"},
      {"an unknown item", "main prog.exe\nremove a.txt\n" + end},
      {"a line after its end", "main prog.exe\n" + end + "file a.txt\ta.txt\n"},
      {"a file item without its tab", "main prog.exe\nfile a.txt\n" + end},
      {"a target that climbs out", "main prog.exe\nfile a.txt\t..\\victim\\.bashrc\n" + end},
      {"an absolute target", "main prog.exe\nfile a.txt\t\\etc\\passwd\n" + end},
      {"a target on a drive", "main prog.exe\nfile a.txt\tC:\\x.txt\n" + end},
      {"a staged path that climbs out", "main prog.exe\nfile ..\\..\\x\tx.txt\n" + end},
      {"a target with a control character", "main prog.exe\nfile a.txt\ta\x01.txt\n" + end},
      {"an empty component", "main prog.exe\nfile a.txt\tlib\\\\b.dll\n" + end},
      {"a directory that climbs out", "main prog.exe\ndir ..\\outside\\\n" + end},
      {"a program name with a separator", "main ..\\victim\\important.dat\n" + end},
      {"a program name with a drive", "main C:evil.exe\n" + end},
      {"an unknown note on the old file", "main prog.exe\nfile a.txt\ta.txt\tmaybe\n" + end},
  };
  const char* states[] = {"staged", "committing", "committed", "rolling-back"};
  for (const Case& c : cases) {
    for (const char* state : states) {
      if (c.special != nullptr && state != states[0]) continue;
      SCOPED_TRACE(std::string(c.what) + ", " + state);
      platform::RemoveDirectoryTree(dir_.Path());
      ASSERT_TRUE(platform::MakeDirectories(dir_.Path()));
      Write(app_, kOld);
      Write(transaction::StagingDir(app_), kStaged);
      Write(transaction::BackupDir(app_), {{"a.txt", "old a"}});
      test::WriteFileBytes(app_ + "update.zip", "zip");
      const std::string journalPath = transaction::JournalPath(app_);
      if (c.special == nullptr) {
        test::WriteFileBytes(journalPath,
                             "update-journal 1\nstate " + std::string(state) + "\n" + c.body);
      } else if (std::string(c.special) == "directory") {
        ASSERT_TRUE(platform::MakeDirectories(journalPath));
      } else {
        platform::File file = platform::File::Open(journalPath, platform::kOpenCreate);
        ASSERT_TRUE(file.IsOpen());
        ASSERT_EQ(file.Seek(transaction::kMaxJournalSize + 1, 0), transaction::kMaxJournalSize + 1);
        ASSERT_TRUE(file.SetEndOfFile());
      }
      std::map<std::string, std::string> before;
      for (const std::string& path : platform::ListDirectoryTree(app_)) {
        const bool big = c.special != nullptr && app_ + path == journalPath;
        before[path] = path.back() == '\\' || big ? "" : test::ReadFileBytes(app_ + path);
      }
      const transaction::TRecovery recovery =
          transaction::RecoverInterruptedUpdate(app_, app_ + "update.zip");
      EXPECT_FALSE(recovery.JournalProblem.empty());
      std::map<std::string, std::string> after;
      for (const std::string& path : platform::ListDirectoryTree(app_)) {
        const bool big = c.special != nullptr && app_ + path == journalPath;
        after[path] = path.back() == '\\' || big ? "" : test::ReadFileBytes(app_ + path);
      }
      EXPECT_EQ(after, before);
      // No new name is remembered over it either.
      EXPECT_FALSE(transaction::RememberMainProgram(app_, "other.exe", {}));
    }
  }
}

// The commit applies what the extraction reported, and that only when it is all still there: a
// staged file that went missing before a first commit fails it (and the roll-back restores the
// old tree), and a file that lies in the staging directory without having been extracted is not
// applied.
TEST_F(UpdateTransaction, TheCommitAppliesExactlyWhatWasExtracted) {
  for (const bool removeOne : {true, false}) {
    SCOPED_TRACE(removeOne ? "a staged file removed" : "a stray file in staging");
    platform::RemoveDirectoryTree(dir_.Path());
    ASSERT_TRUE(platform::MakeDirectories(dir_.Path()));
    TUpdateJournal journal = Stage(kOld, kStaged, "prog.exe");
    if (removeOne) {
      ASSERT_TRUE(platform::RemoveFile(transaction::StagingDir(app_) + "lib\\b.dll"));
      EXPECT_FALSE(transaction::Commit(app_, journal, {}));
      EXPECT_TRUE(transaction::RollBack(app_, journal));
      EXPECT_EQ(Read(), kOld);
    } else {
      test::WriteFileBytes(transaction::StagingDir(app_) + "stray.dll", "not in the archive");
      ASSERT_TRUE(transaction::Commit(app_, journal, {}));
      EXPECT_EQ(Read(), kNew);
    }
  }
}

// A name the journal could not hold, or one of the updater's own, is never planned.
TEST_F(UpdateTransaction, NamesWithControlCharactersAreNeverPlanned) {
  for (const char* name : {"a\nb.txt", "sub\\a\tb.txt", "x\x7F"}) {
    SCOPED_TRACE(name);
    TUpdateJournal journal;
    journal.MainExeName = "prog.exe";
    std::string refused;
    EXPECT_FALSE(transaction::PlanMoves(app_, &journal, {"a.txt", name}, {}, &refused));
    EXPECT_EQ(refused, name);
  }
}

// The updater's own names as links to a directory elsewhere: the clean-up of a start removes the
// links themselves and leaves what they lead to as it was, read-only files included.
TEST_F(UpdateTransaction, RecoveryRemovesItsOwnNamesAsLinksAndNothingTheyLeadTo) {
  test::TempDir outside;
  const std::string elsewhere = outside.Path() + "\\";
  Write(elsewhere, {{"a.txt", "a"}, {"ro.txt", "ro"}, {"sub\\b.txt", "b"}});
  ASSERT_EQ(platform::WriteAttributes(elsewhere + "ro.txt", platform::kAttrReadOnly), 0);
  Write(app_, kOld);
  for (const std::string& own : {transaction::StagingDir(app_), transaction::BackupDir(app_)}) {
    if (!test::MakeLink(elsewhere, own.substr(0, own.size() - 1), true)) {
      GTEST_SKIP() << "this system makes no symbolic links";
    }
  }
  const transaction::TRecovery recovery =
      transaction::RecoverInterruptedUpdate(app_, app_ + "update.zip");
  EXPECT_FALSE(recovery.Unfinished);
  for (const std::string& own : {transaction::StagingDir(app_), transaction::BackupDir(app_)}) {
    EXPECT_EQ(platform::LinkFreeKind(own), platform::PathKind::kMissing) << own;
  }
  EXPECT_EQ(Read(), kOld);
  EXPECT_EQ(platform::ListDirectoryTree(elsewhere),
            (std::vector<std::string>{"a.txt", "ro.txt", "sub\\", "sub\\b.txt"}));
  EXPECT_EQ(test::ReadFileBytes(elsewhere + "sub\\b.txt"), "b");
  EXPECT_NE(platform::ReadAttributes(elsewhere + "ro.txt") & platform::kAttrReadOnly, 0u);
}

}  // namespace
