// The update transaction: journal, commit, clean-up and recovery.
#include "app/update_transaction.h"

#include <chrono>
#include <cstdio>
#include <set>

#include "app/app_paths.h"
#include "app/archive_check.h"
#include "app/files_in_use.h"
#include "platform/ascii_case.h"
#include "platform/crypto.h"
#include "platform/error_text.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/injected_faults.h"
#include "platform/path_text.h"
#include "platform/temporary_tree.h"
#include "release/own_names.h"
#include "signing/update_signature.h"
#include "unzip/unzipper.h"

namespace update_transaction {
namespace {

// A long commit, roll-back or clean-up lets the window handle its messages this often.
constexpr auto kPumpInterval = std::chrono::milliseconds(50);

// Moves `from` to `to`, making room for it: a missing parent is created, a read-only source is
// made writable first (as the component's ReplaceReadOnly would).
// `rename` makes the move itself.
bool Move(const std::string& from, const std::string& to,
          const std::function<bool(const std::string&, const std::string&)>& rename) {
  const std::string parent = platform::ExtractFilePath(to);
  // A parent that could not be made fails the rename, which records why.
  if (!parent.empty() && !platform::DirectoryExists(parent)) {
    (void)platform::MakeDirectories(parent);
  }
  if (rename(from, to)) return true;
  const uint32_t attributes = platform::ReadAttributes(from);
  if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrReadOnly) == 0) {
    return false;
  }
  // A source that stays read-only fails the rename again, which records why.
  (void)platform::WriteAttributes(from, attributes & ~platform::kAttrReadOnly);
  if (rename(from, to)) {
    // The mark is put back where it can be: the file's place and content are what count.
    (void)platform::WriteAttributes(to, attributes);
    return true;
  }
  const platform::KeepFirstError renameFailure;
  (void)platform::WriteAttributes(from, attributes);
  return false;
}

// The directories whose entries a commit or roll-back changed, each flushed once at its end
// rather than after every move: the renames follow one another, and the program directory is
// mixed only as long as they take.
class TTouchedDirectories {
 public:
  explicit TTouchedDirectories(const std::string& appDir) : appDir_(appDir) {}

  // The directory holding `path` and those above it, up to the program directory: a parent
  // that a move had to create is new in its own parent.
  void Add(const std::string& path) {
    for (std::string dir = platform::ExtractFilePath(path);
         dir.size() >= appDir_.size() && dirs_.insert(dir).second;
         dir = platform::ExtractFilePath(dir.substr(0, dir.size() - 1))) {
    }
  }

  // Flushes every one; false when one could not be (the others are flushed all the same).
  bool Flush() {
    bool flushed = true;
    for (const std::string& dir : dirs_) {
      if (platform::DirectoryExists(dir) && !platform::FlushDirectory(dir)) flushed = false;
    }
    return flushed;
  }

 private:
  std::string appDir_;
  std::set<std::string> dirs_;
};

// Lets the window handle its messages every kPumpInterval, asked between moves: a look at a
// monotonic clock is all it costs in between.
class TPacer {
 public:
  explicit TPacer(const TPump& pump) : pump_(pump), last_(std::chrono::steady_clock::now()) {}

  void Tick() {
    if (!pump_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kPumpInterval) return;
    pump_();
    last_ = std::chrono::steady_clock::now();
  }

 private:
  const TPump& pump_;
  std::chrono::steady_clock::time_point last_;
};

// What the moves of one commit or roll-back share: the directories they touched, flushed once
// at the end, and the time they may still wait for files that other programs hold (none
// without `waits`).
struct TSteps {
  TSteps(const std::string& appDir, files_in_use::TLockWaits* lockWaits)
      : touched(appDir), waits(lockWaits), app(appDir) {}
  TTouchedDirectories touched;
  files_in_use::TLockWaits* waits;
  std::string app;
};

// Moves `from` to `to` as one step of a transaction, waiting out a lock that passes (a scanner
// that holds a new file for a moment); both directories are flushed later.
bool MoveStep(const std::string& from, const std::string& to, TSteps& steps) {
  const auto rename = [&](const std::string& source, const std::string& target) {
    if (steps.waits == nullptr) return platform::RenameFile(source, target);
    // The file as a person knows it: its place in the program directory.
    const std::string& inProgram = source.compare(0, steps.app.size(), steps.app) == 0 &&
                                           source.find(own_names::kStaging) != steps.app.size() &&
                                           source.find(own_names::kBackup) != steps.app.size()
                                       ? source
                                       : target;
    return files_in_use::RenameWaitingOutLocks(platform::RenameFile, source, target,
                                               inProgram.substr(steps.app.size()), *steps.waits);
  };
  const bool moved = Move(from, to, rename);
  steps.touched.Add(from);
  steps.touched.Add(to);
  if (!moved) return false;
  platform::StepBoundary();
  return true;
}

// Removes the tree at `dir`, letting the window handle its messages between the files.
void RemoveTree(const std::string& dir, TPacer& pacer) {
  for (const std::string& path : platform::ListDirectoryTree(dir)) {
    // A file that stays (read-only, still open) is removed with the tree below.
    if (path.back() != '\\') (void)platform::RemoveFile(dir + path);
    pacer.Tick();
  }
  (void)platform::RemoveDirectoryTree(dir);
}

std::string HexText(const uint8_t* bytes, size_t count) {
  std::string text;
  char pair[3];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

// The archive to delete at the end of a recovery: `zipFileName` when it is the one the journal
// identifies, else none.
std::string IdentifiedArchive(const TUpdateJournal& journal, const std::string& zipFileName) {
  if (journal.Archive.Sha256.empty() || !platform::FileExists(zipFileName)) return "";
  return IdentifyArchive(zipFileName) == journal.Archive ? zipFileName : "";
}

}  // namespace

std::string StagingDir(const std::string& appDir) {
  return appDir + own_names::kStaging + "\\";
}

std::string BackupDir(const std::string& appDir) {
  return appDir + own_names::kBackup + "\\";
}

std::string LastFailureText(const std::string& appDir) {
  // The journal's draft is the one file the transaction writes through a handle, and a handle's
  // failure is recorded without a path.
  return platform::ErrorText(platform::LastError(), NextJournalPath(appDir));
}

TUpdateJournal::TArchive IdentifyArchive(const std::string& zipFileName) {
  platform::File file =
      platform::File::Open(zipFileName, platform::kOpenRead | platform::kShareDenyWrite);
  uint8_t digest[platform::kSha256Length];
  if (!file.IsOpen() || !platform::Sha256OfOpenFile(file, digest)) return {};
  return ArchiveIdentity(file.Size(), digest);
}

TUpdateJournal::TArchive ArchiveIdentity(int64_t size, const uint8_t (&sha256)[32]) {
  TUpdateJournal::TArchive archive;
  archive.Size = size;
  archive.Sha256 = HexText(sha256, sizeof sha256);
  return archive;
}

std::vector<std::string> StoredDirectories(TUnZipper& unzip) {
  std::vector<std::string> dirs;
  for (int index = 0; unzip.SortedEntries != nullptr && index < unzip.SortedEntries->Count();
       ++index) {
    const TZipHeaderInfo* entry = unzip.SortedEntries->Items(index);
    if (!entry->StandsForDirectory()) continue;
    const std::string dir = entry->DirectoryPath();
    if (!dir.empty()) dirs.push_back(dir);
  }
  return dirs;
}

namespace {

// The files the new release no longer has (`removed`) go into the backup with the rest of the old
// tree: each is added to the journal's moves, and its directories to those the commit removes
// when they are left empty, but for the directories the archive stores (`stored`).
void RetireRemovals(const std::string& appDir, const std::set<std::string>& removed,
                    const std::set<std::string>& stored, TUpdateJournal* journal) {
  const std::string staging = StagingDir(appDir);
  // A file the archive brings (in any spelling that names it here) is placed instead, and one
  // that is gone already needs nothing.
  std::set<std::string> retired;
  for (const TUpdateJournal::TMove& move : journal->Files) retired.insert(move.target);
  std::set<std::string> emptied;
  for (const std::string& path : removed) {
    if (retired.count(path) != 0 || platform::FileExists(staging + path) ||
        !platform::FileExists(appDir + path)) {
      continue;
    }
    journal->Files.push_back({"", path, TUpdateJournal::kOldExisted});
    for (size_t cut = path.find('\\'); cut != std::string::npos; cut = path.find('\\', cut + 1)) {
      emptied.insert(path.substr(0, cut + 1));
    }
  }
  // A directory the archive stores as an entry of its own belongs to the new release, empty or
  // not: neither it nor a directory on its way may go (any spelling that names it here).
  std::erase_if(emptied, [&](const std::string& dir) {
    for (const std::string& kept : stored) {
      if (platform::EqualsIgnoringAsciiCase(kept.substr(0, dir.size()), dir)) return true;
    }
    return false;
  });
  journal->Emptied.assign(emptied.begin(), emptied.end());
}

}  // namespace

bool PlanMoves(const std::string& appDir, TUpdateJournal* journal,
               const std::vector<std::string>& extracted, const std::vector<std::string>& removals,
               std::string* refusedName) {
  journal->Files.clear();
  journal->Directories.clear();
  journal->Emptied.clear();
  const std::set<std::string> stored(journal->Stored.begin(), journal->Stored.end());
  journal->Stored.clear();
  const std::set<std::string> files(extracted.begin(), extracted.end());
  const std::string staging = StagingDir(appDir);
  const std::set<std::string> removed(removals.begin(), removals.end());
  for (const std::set<std::string>* names : {&files, &stored, &removed}) {
    for (const std::string& name : *names) {
      if (!UpdatePathProblem(name).empty()) {
        *refusedName = name;
        return false;
      }
    }
  }
  // The delivered "main.exe", under whatever spelling names that file here.
  std::string delivered;
  for (const std::string& path : files) {
    if (platform::SameFile(staging + path, staging + kDefaultMainExe)) delivered = path;
  }
  const bool otherName = journal->MainExeName != kDefaultMainExe;
  // A delivered "main.exe" becomes the main program: a staged file that is the main program
  // already (by the file system's own rules of spelling) stays behind.
  const bool renamedMain = otherName && !delivered.empty() &&
                           !platform::SameFile(staging + delivered, staging + journal->MainExeName);
  std::set<std::string> dirs(stored.begin(), stored.end());
  const auto addMove = [&](const std::string& staged, const std::string& target) {
    const bool old = platform::FileExists(appDir + target);
    journal->Files.push_back(
        {staged, target, old ? TUpdateJournal::kOldExisted : TUpdateJournal::kOldNone});
    for (size_t cut = target.find('\\'); cut != std::string::npos;
         cut = target.find('\\', cut + 1)) {
      dirs.insert(target.substr(0, cut + 1));
    }
  };
  for (const std::string& path : files) {
    if (renamedMain && path == delivered) {
      addMove(path, journal->MainExeName);
    } else if (!renamedMain ||
               !platform::SameFile(staging + path, staging + journal->MainExeName)) {
      addMove(path, path);
    }
  }
  // Parents sort before their children: the commit creates them in this order.
  for (const std::string& dir : dirs) {
    if (!platform::DirectoryExists(appDir + dir)) journal->Directories.push_back(dir);
    if (stored.count(dir) != 0 && platform::DirectoryExists(staging + dir)) {
      journal->Stored.push_back(dir);
    }
  }
  // A "main.exe" left beside a main program of another name would be moved over the new
  // program when it starts: it goes into the backup with the rest of the old tree.
  const bool placesMain = !delivered.empty() && !renamedMain;
  if (otherName && !placesMain && platform::FileExists(appDir + kDefaultMainExe) &&
      !platform::SameFile(appDir + kDefaultMainExe, appDir + journal->MainExeName)) {
    journal->Files.push_back({"", kDefaultMainExe, TUpdateJournal::kOldExisted});
  }
  RetireRemovals(appDir, removed, stored, journal);
  return true;
}

namespace {

// The start of a first commit: everything that is not a rename is done before the journal says
// committing (the permission bits a new file takes over, and the backup's directories), the
// staged tree is made durable, and then the journal says committing. False when the flush or the
// journal failed.
bool MarkCommitting(const std::string& appDir, TUpdateJournal& journal,
                    const std::vector<std::string>& keepPermissionsOf,
                    platform::FileSystemFlush* stagedFiles) {
  const std::string staging = StagingDir(appDir);
  const std::set<std::string> keep(keepPermissionsOf.begin(), keepPermissionsOf.end());
  for (const TUpdateJournal::TMove& move : journal.Files) {
    const std::string target = appDir + move.target;
    if (!platform::FileExists(target)) continue;
    // A parent that could not be made fails the move into it, which records why.
    (void)platform::MakeDirectories(platform::ExtractFilePath(BackupDir(appDir) + move.target));
    if (!move.staged.empty() && keep.count(move.staged) != 0) {
      const int32_t permissions = platform::ReadPermissions(target);
      // Bits that cannot be copied leave the new file with its own: it is in place all the same.
      if (permissions >= 0) {
        (void)platform::WritePermissions(staging + move.staged, static_cast<uint32_t>(permissions));
      }
    }
  }
  // The staged files, their names and the backup's directories reach the disk before the
  // journal can send a recovery to them.
  if (stagedFiles != nullptr ? !stagedFiles->Flush()
                             : !platform::FileSystemFlush(staging).Flush()) {
    return false;
  }
  journal.State = TUpdateJournal::jsCommitting;
  return WriteJournal(appDir, journal);
}

}  // namespace

bool Commit(const std::string& appDir, TUpdateJournal& journal,
            const std::vector<std::string>& keepPermissionsOf,
            platform::FileSystemFlush* stagedFiles, const TPump& pump,
            files_in_use::TLockWaits* lockWaits) {
  const std::string staging = StagingDir(appDir);
  const bool resuming = journal.State == TUpdateJournal::jsCommitting;
  if (!resuming && !MarkCommitting(appDir, journal, keepPermissionsOf, stagedFiles)) return false;
  TSteps steps(appDir, lockWaits);
  TPacer pacer(pump);
  for (const std::string& dir : journal.Directories) {
    if (!platform::DirectoryExists(appDir + dir) && !platform::MakeDirectories(appDir + dir))
      return false;
    steps.touched.Add(appDir + dir);
  }
  // From here to the flushes below, renames only.
  for (const TUpdateJournal::TMove& move : journal.Files) {
    pacer.Tick();
    const std::string staged = staging + move.staged;
    const std::string target = appDir + move.target;
    const std::string backup = BackupDir(appDir) + move.target;
    if (move.staged.empty()) {
      if (platform::FileExists(target) && !MoveStep(target, backup, steps)) return false;
      continue;
    }
    if (!platform::FileExists(staged)) {
      // Moved into place before an interruption, where the new file is in place and the old
      // one in the backup. Anything else is a staged file that went missing (removed by a
      // scanner, say): the commit stops, and the open records why.
      if (resuming && platform::FileExists(target) &&
          (move.old != TUpdateJournal::kOldExisted || platform::FileExists(backup))) {
        continue;
      }
      (void)platform::File::Open(staged, platform::kOpenRead);
      return false;
    }
    if (platform::FileExists(target) && !MoveStep(target, backup, steps)) return false;
    if (!MoveStep(staged, target, steps)) return false;
  }
  // The program's directories take the attributes the archive gave them, as a file does.
  for (const std::string& dir : journal.Stored) {
    if (!platform::DirectoryExists(staging + dir)) continue;
    // A directory whose attributes cannot be set keeps its own: its content is in place.
    (void)platform::WriteAttributesAndPermissions(appDir + dir,
                                                  platform::ReadAttributes(staging + dir),
                                                  platform::ReadPermissions(staging + dir));
    steps.touched.Add(appDir + dir);  // the directory itself: its attributes live there
  }
  // Directories that the retired files left empty go, children before parents; one that still
  // holds anything refuses and stays, as it should.
  for (auto dir = journal.Emptied.rbegin(); dir != journal.Emptied.rend(); ++dir) {
    if (platform::LinkFreeKind(appDir + *dir) != platform::PathKind::kDirectory) continue;
    if (platform::DeleteDirectory(appDir + *dir)) steps.touched.Add(appDir + *dir);
  }
  if (!steps.touched.Flush()) return false;
  journal.State = TUpdateJournal::jsCommitted;
  return WriteJournal(appDir, journal);
}

bool RollBack(const std::string& appDir, TUpdateJournal& journal, const TPump& pump,
              files_in_use::TLockWaits* lockWaits) {
  // Without the mark an interruption rolls forward instead, which ends whole too.
  journal.State = TUpdateJournal::jsRollingBack;
  (void)WriteJournal(appDir, journal);
  TSteps steps(appDir, lockWaits);
  TPacer pacer(pump);
  bool restored = true;
  for (auto move = journal.Files.rbegin(); move != journal.Files.rend(); ++move) {
    pacer.Tick();
    const std::string staged = StagingDir(appDir) + move->staged;
    const std::string target = appDir + move->target;
    const std::string backup = BackupDir(appDir) + move->target;
    // Placed: the new file goes back where it came from. A file in place whose old copy is not
    // in the backup is the old file itself (its staged copy went missing): it stays.
    const bool placed = !move->staged.empty() && !platform::FileExists(staged) &&
                        platform::FileExists(target) &&
                        (move->old != TUpdateJournal::kOldExisted || platform::FileExists(backup));
    if (placed && !MoveStep(target, staged, steps)) {
      restored = false;
      continue;
    }
    // Moved away (or retired): the old file comes back, into the directories it was in (a
    // directory that the commit removed as emptied is made again).
    if (platform::FileExists(backup) && !platform::FileExists(target) &&
        !MoveStep(backup, target, steps)) {
      restored = false;
    }
    // An old file that is neither in place nor in the backup is lost: the tree is not the old
    // one, and the roll-back does not say it is (the open records which file).
    if (move->old == TUpdateJournal::kOldExisted && !platform::FileExists(target)) {
      (void)platform::File::Open(backup, platform::kOpenRead);
      restored = false;
    }
  }
  for (auto dir = journal.Directories.rbegin(); dir != journal.Directories.rend(); ++dir) {
    if (platform::DirectoryExists(appDir + *dir) && !platform::DeleteDirectory(appDir + *dir)) {
      restored = false;
    }
    steps.touched.Add(appDir + *dir);
  }
  // A roll-back that is not durable is done again by the next start.
  if (!steps.touched.Flush()) restored = false;
  return restored && ResetToStaged(appDir, journal.MainExeName, journal.Archive);
}

bool ResetToStaged(const std::string& appDir, const std::string& mainExeName,
                   const TUpdateJournal::TArchive& archive) {
  TUpdateJournal journal;
  journal.MainExeName = mainExeName;
  journal.Archive = archive;
  if (!WriteJournal(appDir, journal)) return false;
  // The journal says staged: what stays of the trees is removed by the next run or start.
  (void)platform::RemoveDirectoryTree(StagingDir(appDir));
  (void)platform::RemoveDirectoryTree(BackupDir(appDir));
  return true;
}

void DropStaged(const std::string& appDir) {
  // Nothing is left to do: whatever stays is dropped again at the next start.
  (void)platform::RemoveFile(JournalPath(appDir));
  (void)platform::RemoveFile(NextJournalPath(appDir));
  (void)platform::FlushDirectory(appDir);
  platform::StepBoundary();
  (void)platform::RemoveDirectoryTree(StagingDir(appDir));
  (void)platform::RemoveDirectoryTree(BackupDir(appDir));
}

bool RememberMainProgram(const std::string& appDir, const std::string& mainExeName,
                         const TUpdateJournal::TArchive& archive) {
  TUpdateJournal journal;
  const TJournalRead read = ReadJournal(appDir, &journal);
  if (read == TJournalRead::kUnreadable) return false;
  if (read == TJournalRead::kRead && journal.State != TUpdateJournal::jsStaged) return true;
  return ResetToStaged(appDir, mainExeName, archive);
}

void ForgetStagedProgram(const std::string& appDir) {
  TUpdateJournal journal;
  if (ReadJournal(appDir, &journal) == TJournalRead::kRead &&
      journal.State == TUpdateJournal::jsStaged) {
    DropStaged(appDir);
  }
}

void CleanUp(const std::string& appDir, const std::string& zipFileName, const TPump& pump) {
  // An executable still running from the backup may refuse to go on Windows: a later start
  // removes what is left (the journal says committed), and an archive that stays is applied
  // again, which ends in the same tree.
  TPacer pacer(pump);
  RemoveTree(BackupDir(appDir), pacer);
  platform::StepBoundary();
  RemoveTree(StagingDir(appDir), pacer);
  platform::StepBoundary();
  if (!zipFileName.empty()) {
    (void)platform::RemoveFile(zipFileName);
    (void)platform::RemoveFile(zipFileName + ".ini");
    // The signature verifies nothing once its archive is gone.
    (void)platform::RemoveFile(zipFileName + signing::kSignatureSuffix);
  }
  (void)platform::FlushDirectory(appDir);
  platform::StepBoundary();
}

bool UpdateCommitted(const std::string& appDir) {
  TUpdateJournal journal;
  return ReadJournal(appDir, &journal) == TJournalRead::kRead &&
         journal.State == TUpdateJournal::jsCommitted;
}

void ForgetFinishedUpdate(const std::string& appDir) {
  TUpdateJournal journal;
  if (ReadJournal(appDir, &journal) != TJournalRead::kRead ||
      journal.State != TUpdateJournal::jsCommitted) {
    return;
  }
  // A committed journal that stays only makes the next start clean up once more.
  (void)platform::RemoveFile(JournalPath(appDir));
  (void)platform::FlushDirectory(appDir);
}

TRecovery RecoverInterruptedUpdate(const std::string& appDir, const std::string& zipFileName) {
  TRecovery recovery;
  TUpdateJournal journal;
  const TJournalRead read = ReadJournal(appDir, &journal, &recovery.JournalProblem);
  if (read == TJournalRead::kAbsent) {
    // No transaction: only leftovers to remove.
    DropStaged(appDir);
    return recovery;
  }
  // A journal that is there but cannot be trusted could be about any of the files: all stay.
  if (read == TJournalRead::kUnreadable) return recovery;
  recovery.MainExeName = journal.MainExeName;
  switch (journal.State) {
    case TUpdateJournal::jsStaged:
      // The name is kept for the archive it was written for (or, from a journal that names none,
      // for any archive); another archive comes with a hand-over file of its own.
      if (platform::FileExists(zipFileName) &&
          (journal.Archive.Sha256.empty() || IdentifyArchive(zipFileName) == journal.Archive)) {
        // A journal that cannot be rewritten still says staged and names the program.
        (void)ResetToStaged(appDir, journal.MainExeName, journal.Archive);
      } else {
        DropStaged(appDir);
        recovery.MainExeName.clear();
      }
      break;
    case TUpdateJournal::jsCommitting:
      // The staged tree was complete and verified: finish moving it into place. Permission
      // bits were settled before the interruption for every file already moved.
      if (Commit(appDir, journal, {})) {
        CleanUp(appDir, IdentifiedArchive(journal, zipFileName));
      } else {
        recovery.Unfinished = !RollBack(appDir, journal);
      }
      break;
    case TUpdateJournal::jsRollingBack:
      recovery.Unfinished = !RollBack(appDir, journal);
      break;
    case TUpdateJournal::jsCommitted:
      CleanUp(appDir, IdentifiedArchive(journal, zipFileName));
      break;
  }
  return recovery;
}

}  // namespace update_transaction
