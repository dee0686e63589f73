// The update transaction: journal, commit, clean-up and recovery.
#include "app/update_transaction.h"

#include <cstdlib>
#include <sstream>

#include "platform/files.h"
#include "platform/temporary_tree.h"
#include "unzip/file_utils.h"
#include "unzip/path_text.h"

namespace update_transaction {
namespace {

constexpr char kJournalHeader[] = "update-journal 1";
constexpr char kDefaultMainExe[] = "main.exe";

const char* StateName(TUpdateJournal::TState state) {
  switch (state) {
    case TUpdateJournal::jsStaged:
      return "staged";
    case TUpdateJournal::jsCommitting:
      return "committing";
    default:
      return "committed";
  }
}

// One more durable change: the directory holding `path` is flushed.
void FlushParent(const std::string& path) {
  const std::string parent = ExtractFilePath(path);
  if (!parent.empty()) platform::FlushDirectory(parent);
}

// Moves `from` to `to`, making room for it: a missing parent is created, a read-only source is
// made writable first (as the component's ReplaceReadOnly would).
bool Move(const std::string& from, const std::string& to) {
  const std::string parent = ExtractFilePath(to);
  if (!parent.empty() && !DirectoryExists(parent)) ForceDirectories(parent);
  if (platform::RenameFile(from, to)) return true;
  const uint32_t attributes = FileGetAttr(from);
  if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrReadOnly) == 0) {
    return false;
  }
  FileSetAttr(from, attributes & ~platform::kAttrReadOnly);
  const bool moved = platform::RenameFile(from, to);
  FileSetAttr(moved ? to : from, attributes);
  return moved;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  for (const std::string& entry : list) {
    if (entry == item) return true;
  }
  return false;
}

}  // namespace

std::string StagingDir(const std::string& appDir) {
  return appDir + ".update-staging\\";
}

std::string BackupDir(const std::string& appDir) {
  return appDir + ".update-backup\\";
}

std::string JournalPath(const std::string& appDir) {
  return appDir + ".update-journal";
}

void StepBoundary() {
  static int step = 0;
  static const char* killAt = std::getenv("UPDATE_KILL_AT_STEP");
  ++step;
  if (killAt != nullptr && std::atoi(killAt) == step) std::_Exit(137);  // as abrupt as a kill
}

bool WriteJournal(const std::string& appDir, const TUpdateJournal& journal) {
  std::ostringstream text;
  text << kJournalHeader << "\n"
       << "state " << StateName(journal.State) << "\n"
       << "main " << journal.MainExeName << "\n";
  for (const std::string& dir : journal.Directories) text << "dir " << dir << "\n";
  for (const TUpdateJournal::TMove& move : journal.Files) {
    text << "file " << move.staged << "\t" << move.target << "\n";
  }
  text << "end\n";  // a journal without it was cut short
  const std::string content = text.str();
  const std::string next = JournalPath(appDir) + ".new";
  {
    platform::File file = platform::File::Open(next, platform::kOpenCreate);
    if (!file.IsOpen()) return false;
    if (file.Write(content.data(), static_cast<int32_t>(content.size())) !=
            static_cast<int32_t>(content.size()) ||
        !file.FlushToDisk()) {
      return false;
    }
  }
  if (!platform::ReplaceFileAtomically(next, JournalPath(appDir))) return false;
  platform::FlushDirectory(appDir);
  StepBoundary();
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
  while (std::getline(lines, line)) {
    if (line == "end") {
      complete = true;
    } else if (line == "state staged") {
      journal->State = TUpdateJournal::jsStaged;
    } else if (line == "state committing") {
      journal->State = TUpdateJournal::jsCommitting;
    } else if (line == "state committed") {
      journal->State = TUpdateJournal::jsCommitted;
    } else if (line.rfind("main ", 0) == 0) {
      journal->MainExeName = line.substr(5);
    } else if (line.rfind("dir ", 0) == 0) {
      journal->Directories.push_back(line.substr(4));
    } else if (line.rfind("file ", 0) == 0) {
      const size_t tab = line.find('\t');
      if (tab == std::string::npos) return false;
      journal->Files.push_back({line.substr(5, tab - 5), line.substr(tab + 1)});
    } else {
      return false;
    }
  }
  return complete;
}

void PlanMoves(const std::string& appDir, TUpdateJournal* journal) {
  journal->Files.clear();
  journal->Directories.clear();
  const bool renamedMain = journal->MainExeName != kDefaultMainExe;
  for (const std::string& path : platform::ListDirectoryTree(StagingDir(appDir))) {
    if (!path.empty() && path.back() == '\\') {
      journal->Directories.push_back(path);
    } else if (renamedMain && path == kDefaultMainExe) {
      journal->Files.push_back({path, journal->MainExeName});
    } else {
      journal->Files.push_back({path, path});
    }
  }
}

bool Commit(const std::string& appDir, TUpdateJournal& journal,
            const std::vector<std::string>& keepPermissionsOf) {
  if (journal.State != TUpdateJournal::jsCommitting) {
    journal.State = TUpdateJournal::jsCommitting;
    if (!WriteJournal(appDir, journal)) return false;
  }
  for (const std::string& dir : journal.Directories) ForceDirectories(appDir + dir);
  for (const TUpdateJournal::TMove& move : journal.Files) {
    const std::string staged = StagingDir(appDir) + move.staged;
    const std::string target = appDir + move.target;
    const std::string backup = BackupDir(appDir) + move.target;
    if (!FileExists(staged)) continue;  // moved into place before an interruption
    if (FileExists(target)) {
      if (Contains(keepPermissionsOf, move.staged)) {
        const int32_t permissions = platform::ReadPermissions(target);
        if (permissions >= 0)
          platform::WritePermissions(staged, static_cast<uint32_t>(permissions));
      }
      // An old file already in the backup means this target is a new file placed before.
      if (FileExists(backup)) {
        FileDelete(target);
      } else if (!Move(target, backup)) {
        return false;
      }
      FlushParent(backup);
      StepBoundary();
    }
    if (!Move(staged, target)) return false;
    FlushParent(target);
    StepBoundary();
  }
  journal.State = TUpdateJournal::jsCommitted;
  return WriteJournal(appDir, journal);
}

void CleanUp(const std::string& appDir, const std::string& zipFileName) {
  // An executable still running from the backup may refuse to go on Windows: the next start
  // removes what is left.
  platform::RemoveDirectoryTree(BackupDir(appDir));
  StepBoundary();
  platform::RemoveDirectoryTree(StagingDir(appDir));
  StepBoundary();
  FileDelete(zipFileName);
  FileDelete(zipFileName + ".ini");
  platform::FlushDirectory(appDir);
  StepBoundary();
  FileDelete(JournalPath(appDir));
  platform::FlushDirectory(appDir);
}

std::string RecoverInterruptedUpdate(const std::string& appDir, const std::string& zipFileName) {
  TUpdateJournal journal;
  if (!ReadJournal(appDir, &journal)) {
    // No transaction (or one whose journal never became whole): only leftovers to remove.
    platform::RemoveDirectoryTree(StagingDir(appDir));
    platform::RemoveDirectoryTree(BackupDir(appDir));
    FileDelete(JournalPath(appDir) + ".new");
    FileDelete(JournalPath(appDir));
    return journal.MainExeName;
  }
  switch (journal.State) {
    case TUpdateJournal::jsStaged:
      platform::RemoveDirectoryTree(StagingDir(appDir));
      platform::RemoveDirectoryTree(BackupDir(appDir));
      FileDelete(JournalPath(appDir));
      platform::FlushDirectory(appDir);
      break;
    case TUpdateJournal::jsCommitting:
      // The staged tree was complete and verified: finish moving it into place. Permission
      // bits were settled before the interruption for every file already moved.
      if (Commit(appDir, journal, {})) CleanUp(appDir, zipFileName);
      break;
    case TUpdateJournal::jsCommitted:
      CleanUp(appDir, zipFileName);
      break;
  }
  return journal.MainExeName;
}

}  // namespace update_transaction
