// The update transaction: journal, commit, clean-up and recovery.
#include "app/update_transaction.h"

#include <iterator>
#include <sstream>

#include "app/app_paths.h"
#include "platform/ascii_case.h"
#include "platform/error_text.h"
#include "platform/files.h"
#include "platform/injected_faults.h"
#include "platform/temporary_tree.h"
#include "unzip/base/file_utils.h"
#include "unzip/base/path_text.h"

namespace update_transaction {
namespace {

constexpr char kJournalHeader[] = "update-journal 1";
// The journal's items: each line is one of these keys, a space and its value ("end" stands
// alone).
constexpr char kStateKey[] = "state ";
constexpr char kMainKey[] = "main ";
constexpr char kDirKey[] = "dir ";
constexpr char kFileKey[] = "file ";
constexpr char kEndKey[] = "end";
// The states' names in the journal, in the order of TUpdateJournal::TState.
constexpr const char* kStateNames[] = {"staged", "committing", "committed", "rolling-back"};
static_assert(std::size(kStateNames) == TUpdateJournal::jsRollingBack + 1);

// Every name of the transaction's own begins with this, in any letter case.
constexpr char kOwnNamePrefix[] = ".update-";

// The value of `line` when it holds the item `key`.
bool ItemValue(const std::string& line, const std::string& key, std::string* value) {
  if (line.compare(0, key.size(), key) != 0) return false;
  *value = line.substr(key.size());
  return true;
}

std::string NextJournalPath(const std::string& appDir) {
  return JournalPath(appDir) + ".new";
}

// One more durable change: the directory holding `path` is flushed.
bool FlushParent(const std::string& path) {
  const std::string parent = ExtractFilePath(path);
  return parent.empty() || platform::FlushDirectory(parent);
}

// Moves `from` to `to`, making room for it: a missing parent is created, a read-only source is
// made writable first (as the component's ReplaceReadOnly would).
bool Move(const std::string& from, const std::string& to) {
  const std::string parent = ExtractFilePath(to);
  // A parent that could not be made fails the rename, which records why.
  if (!parent.empty() && !DirectoryExists(parent)) (void)ForceDirectories(parent);
  if (platform::RenameFile(from, to)) return true;
  const uint32_t attributes = FileGetAttr(from);
  if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrReadOnly) == 0) {
    return false;
  }
  // A source that stays read-only fails the rename again, which records why.
  (void)FileSetAttr(from, attributes & ~platform::kAttrReadOnly);
  const bool moved = platform::RenameFile(from, to);
  // The mark is put back where it can be: the file's place and content are what count.
  (void)FileSetAttr(moved ? to : from, attributes);
  return moved;
}

// Moves `from` to `to` durably (both directories flushed), as one step of a transaction.
bool MoveStep(const std::string& from, const std::string& to) {
  if (!Move(from, to) || !FlushParent(to) || !FlushParent(from)) return false;
  platform::StepBoundary();
  return true;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  for (const std::string& entry : list) {
    if (entry == item) return true;
  }
  return false;
}

// Whether `path` is one of the transaction's names, or below one.
bool IsOwnName(const std::string& path) {
  const std::string_view prefix = kOwnNamePrefix;
  return path.size() >= prefix.size() &&
         platform::EqualsIgnoringAsciiCase(std::string_view(path).substr(0, prefix.size()), prefix);
}

}  // namespace

std::string StagingDir(const std::string& appDir) {
  return appDir + kOwnNamePrefix + "staging\\";
}

std::string BackupDir(const std::string& appDir) {
  return appDir + kOwnNamePrefix + "backup\\";
}

std::string JournalPath(const std::string& appDir) {
  return appDir + kOwnNamePrefix + "journal";
}

std::string LastFailureText(const std::string& appDir) {
  // The journal's draft is the one file the transaction writes through a handle, and a handle's
  // failure is recorded without a path.
  return platform::ErrorText(platform::LastError(), NextJournalPath(appDir));
}

bool WriteJournal(const std::string& appDir, const TUpdateJournal& journal) {
  std::ostringstream text;
  text << kJournalHeader << "\n"
       << kStateKey << kStateNames[journal.State] << "\n"
       << kMainKey << journal.MainExeName << "\n";
  for (const std::string& dir : journal.Directories) text << kDirKey << dir << "\n";
  for (const TUpdateJournal::TMove& move : journal.Files) {
    text << kFileKey << move.staged << "\t" << move.target << "\n";
  }
  text << kEndKey << "\n";  // a journal without it was cut short
  const std::string content = text.str();
  const std::string next = NextJournalPath(appDir);
  {
    platform::File file = platform::File::Open(next, platform::kOpenCreate);
    if (!file.IsOpen()) return false;
    if (file.Write(content.data(), static_cast<int32_t>(content.size())) !=
            static_cast<int32_t>(content.size()) ||
        !file.FlushToDisk()) {
      return false;
    }
  }
  if (!platform::ReplaceFileAtomically(next, JournalPath(appDir)) ||
      !platform::FlushDirectory(appDir)) {
    return false;
  }
  platform::StepBoundary();
  return true;
}

bool ReadJournal(const std::string& appDir, TUpdateJournal* journal) {
  platform::File file = platform::File::Open(JournalPath(appDir), platform::kOpenRead);
  if (!file.IsOpen()) return false;
  const int64_t size = file.Size();
  if (size <= 0 || size > (64 << 20)) return false;
  std::string text(static_cast<size_t>(size), '\0');
  if (file.Read(text.data(), static_cast<int32_t>(size)) != size) return false;
  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line != kJournalHeader) return false;
  *journal = TUpdateJournal();
  bool complete = false;
  std::string value;
  while (std::getline(lines, line)) {
    if (line == kEndKey) {
      complete = true;
    } else if (ItemValue(line, kStateKey, &value)) {
      bool known = false;
      for (int state = TUpdateJournal::jsStaged; state <= TUpdateJournal::jsRollingBack; ++state) {
        if (value != kStateNames[state]) continue;
        journal->State = static_cast<TUpdateJournal::TState>(state);
        known = true;
      }
      if (!known) return false;
    } else if (ItemValue(line, kMainKey, &value)) {
      journal->MainExeName = value;
    } else if (ItemValue(line, kDirKey, &value)) {
      journal->Directories.push_back(value);
    } else if (ItemValue(line, kFileKey, &value)) {
      const size_t tab = value.find('\t');
      if (tab == std::string::npos) return false;
      journal->Files.push_back({value.substr(0, tab), value.substr(tab + 1)});
    } else {
      return false;
    }
  }
  return complete;
}

bool PlanMoves(const std::string& appDir, TUpdateJournal* journal, std::string* reservedName) {
  journal->Files.clear();
  journal->Directories.clear();
  const std::string staging = StagingDir(appDir);
  // A delivered "main.exe" becomes the main program: a staged file that is the main program
  // already (by the file system's own rules of spelling) stays behind.
  const bool renamedMain =
      journal->MainExeName != kDefaultMainExe && FileExists(staging + kDefaultMainExe) &&
      !platform::SameFile(staging + kDefaultMainExe, staging + journal->MainExeName);
  for (const std::string& path : platform::ListDirectoryTree(staging)) {
    if (IsOwnName(path)) {
      *reservedName = path;
      return false;
    }
    if (!path.empty() && path.back() == '\\') {
      if (!DirectoryExists(appDir + path)) journal->Directories.push_back(path);
    } else if (renamedMain && path == kDefaultMainExe) {
      journal->Files.push_back({path, journal->MainExeName});
    } else if (!renamedMain ||
               !platform::SameFile(staging + path, staging + journal->MainExeName)) {
      journal->Files.push_back({path, path});
    }
  }
  return true;
}

bool Commit(const std::string& appDir, TUpdateJournal& journal,
            const std::vector<std::string>& keepPermissionsOf) {
  if (journal.State != TUpdateJournal::jsCommitting) {
    journal.State = TUpdateJournal::jsCommitting;
    if (!WriteJournal(appDir, journal)) return false;
  }
  for (const std::string& dir : journal.Directories) {
    if (!ForceDirectories(appDir + dir)) return false;
  }
  for (const TUpdateJournal::TMove& move : journal.Files) {
    const std::string staged = StagingDir(appDir) + move.staged;
    const std::string target = appDir + move.target;
    const std::string backup = BackupDir(appDir) + move.target;
    if (!FileExists(staged)) continue;  // moved into place before an interruption
    if (FileExists(target)) {
      if (Contains(keepPermissionsOf, move.staged)) {
        const int32_t permissions = platform::ReadPermissions(target);
        // Bits that cannot be copied leave the new file with its own: it is in place all the same.
        if (permissions >= 0) {
          (void)platform::WritePermissions(staged, static_cast<uint32_t>(permissions));
        }
      }
      if (!MoveStep(target, backup)) return false;
    }
    if (!MoveStep(staged, target)) return false;
  }
  journal.State = TUpdateJournal::jsCommitted;
  return WriteJournal(appDir, journal);
}

bool RollBack(const std::string& appDir, TUpdateJournal& journal) {
  // Without the mark an interruption rolls forward instead, which ends whole too.
  journal.State = TUpdateJournal::jsRollingBack;
  (void)WriteJournal(appDir, journal);
  bool restored = true;
  for (auto move = journal.Files.rbegin(); move != journal.Files.rend(); ++move) {
    const std::string staged = StagingDir(appDir) + move->staged;
    const std::string target = appDir + move->target;
    const std::string backup = BackupDir(appDir) + move->target;
    // Placed: the new file goes back where it came from.
    if (!FileExists(staged) && FileExists(target) && !MoveStep(target, staged)) {
      restored = false;
      continue;
    }
    // Moved away: the old file comes back.
    if (FileExists(backup) && !FileExists(target) && !MoveStep(backup, target)) {
      restored = false;
    }
  }
  for (auto dir = journal.Directories.rbegin(); dir != journal.Directories.rend(); ++dir) {
    if (DirectoryExists(appDir + *dir) && !platform::DeleteDirectory(appDir + *dir)) {
      restored = false;
    }
  }
  return restored && ResetToStaged(appDir, journal.MainExeName);
}

bool ResetToStaged(const std::string& appDir, const std::string& mainExeName) {
  TUpdateJournal journal;
  journal.MainExeName = mainExeName;
  if (!WriteJournal(appDir, journal)) return false;
  // The journal says staged: what stays of the trees is removed by the next run or start.
  (void)platform::RemoveDirectoryTree(StagingDir(appDir));
  (void)platform::RemoveDirectoryTree(BackupDir(appDir));
  return true;
}

void DropStaged(const std::string& appDir) {
  // Nothing is left to do: whatever stays is dropped again at the next start.
  (void)FileDelete(JournalPath(appDir));
  (void)FileDelete(NextJournalPath(appDir));
  (void)platform::FlushDirectory(appDir);
  platform::StepBoundary();
  (void)platform::RemoveDirectoryTree(StagingDir(appDir));
  (void)platform::RemoveDirectoryTree(BackupDir(appDir));
}

bool RememberMainProgram(const std::string& appDir, const std::string& mainExeName) {
  TUpdateJournal journal;
  if (ReadJournal(appDir, &journal) && journal.State != TUpdateJournal::jsStaged) return true;
  return ResetToStaged(appDir, mainExeName);
}

void CleanUp(const std::string& appDir, const std::string& zipFileName) {
  // An executable still running from the backup may refuse to go on Windows: a later start
  // removes what is left (the journal says committed), and an archive that stays is applied
  // again, which ends in the same tree.
  (void)platform::RemoveDirectoryTree(BackupDir(appDir));
  platform::StepBoundary();
  (void)platform::RemoveDirectoryTree(StagingDir(appDir));
  platform::StepBoundary();
  (void)FileDelete(zipFileName);
  (void)FileDelete(zipFileName + ".ini");
  (void)platform::FlushDirectory(appDir);
  platform::StepBoundary();
}

void ForgetFinishedUpdate(const std::string& appDir) {
  TUpdateJournal journal;
  if (!ReadJournal(appDir, &journal) || journal.State != TUpdateJournal::jsCommitted) return;
  // A committed journal that stays only makes the next start clean up once more.
  (void)FileDelete(JournalPath(appDir));
  (void)platform::FlushDirectory(appDir);
}

TRecovery RecoverInterruptedUpdate(const std::string& appDir, const std::string& zipFileName) {
  TRecovery recovery;
  TUpdateJournal journal;
  if (!ReadJournal(appDir, &journal)) {
    // No transaction (or one whose journal never became whole): only leftovers to remove.
    DropStaged(appDir);
    return recovery;
  }
  recovery.MainExeName = journal.MainExeName;
  switch (journal.State) {
    case TUpdateJournal::jsStaged:
      if (FileExists(zipFileName)) {
        // A journal that cannot be rewritten still says staged and names the program.
        (void)ResetToStaged(appDir, journal.MainExeName);
      } else {
        DropStaged(appDir);
      }
      break;
    case TUpdateJournal::jsCommitting:
      // The staged tree was complete and verified: finish moving it into place. Permission
      // bits were settled before the interruption for every file already moved.
      if (Commit(appDir, journal, {})) {
        CleanUp(appDir, zipFileName);
      } else {
        recovery.Unfinished = !RollBack(appDir, journal);
      }
      break;
    case TUpdateJournal::jsRollingBack:
      recovery.Unfinished = !RollBack(appDir, journal);
      break;
    case TUpdateJournal::jsCommitted:
      CleanUp(appDir, zipFileName);
      break;
  }
  return recovery;
}

}  // namespace update_transaction
