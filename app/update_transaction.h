// Applying an update as a transaction, so that the program directory is always wholly old or
// wholly new, whenever the updater is killed: the archive is extracted into a staging directory,
// a journal records what is to be replaced, the commit moves every old file into a backup
// directory and every new one into place, and a start after an interruption finishes or drops
// the transaction before anything else happens. A commit that fails (a locked file, a full disk)
// is rolled back: the old files return, the new ones go back into the staging directory.
//
// Names inside the program directory: ".update-staging\", ".update-backup\", ".update-journal"
// (and ".update-journal.new" while it is being written). Archive entries may not use them.
//
// The journal is UTF-8 text, one item per line:
//   update-journal 1
//   state staged|committing|committed|rolling-back
//   main <main program's file name>
//   dir <directory the commit creates, relative to the program directory>
//   file <path in the staging directory>\t<path in the program directory>
//   end
// It is written to ".update-journal.new", flushed, renamed over ".update-journal" in one step,
// and the program directory flushed, so that a crash leaves the old journal or the new one.
//
// Every step of a commit or a roll-back leaves each file in a state that both of them can go on
// from: staged only (not begun), backup only (old file moved away), placed (new file in place,
// old one in the backup, or none for a new file).
#pragma once

#include <string>
#include <vector>

struct TUpdateJournal {
  enum TState { jsStaged, jsCommitting, jsCommitted, jsRollingBack };
  struct TMove {
    std::string staged;  // relative to the staging directory
    std::string target;  // relative to the program directory
  };
  TState State = jsStaged;
  std::string MainExeName;
  std::vector<TMove> Files;
  std::vector<std::string> Directories;  // created by the commit, parents first
};

namespace update_transaction {

// The names inside `appDir` (which ends in "\").
std::string StagingDir(const std::string& appDir);
std::string BackupDir(const std::string& appDir);
std::string JournalPath(const std::string& appDir);

// The most recent failure of a transaction's step as a person reads it: the operation, the path
// and the system's reason.
std::string LastFailureText(const std::string& appDir);

// Writes the journal durably (see above); false when it could not.
[[nodiscard]] bool WriteJournal(const std::string& appDir, const TUpdateJournal& journal);
// Reads the journal; false when there is none or it cannot be read whole.
[[nodiscard]] bool ReadJournal(const std::string& appDir, TUpdateJournal* journal);

// The moves for what was extracted into the staging directory: every file goes to the same path
// in the program directory, except a "main.exe" when the main program has another name (a new
// executable delivered under the default name takes the program's own name, and wins over a file
// of that name in the archive). Directories the program lacks are listed for the commit to
// create. False, with `reservedName` set, when the archive brought a name of the transaction's
// own at the top of the tree.
[[nodiscard]] bool PlanMoves(const std::string& appDir, TUpdateJournal* journal,
                             std::string* reservedName);

// Moves every old file out of the way into the backup directory and every staged file into
// place, marking the journal committing before and committed after. Each move already made is
// recognised, so a commit interrupted anywhere can simply be run again. `keepPermissionsOf`
// names the staged files that carry no permission bits of their own: they take the permission
// bits of the file they replace. False when a move, a flush or the journal failed; the caller
// then rolls back.
[[nodiscard]] bool Commit(const std::string& appDir, TUpdateJournal& journal,
                          const std::vector<std::string>& keepPermissionsOf);

// Undoes a commit, wherever it stopped: every new file goes back into the staging directory,
// every old one back into place, the directories the commit created go. Marks the journal
// rolling-back first, so that an interruption goes on rolling back. True when the program is
// whole and old again; the journal then keeps only the main program's name (ResetToStaged).
[[nodiscard]] bool RollBack(const std::string& appDir, TUpdateJournal& journal);

// After an update that did not change the program, while the archive stays for a later run: the
// journal keeps only the main program's name (the hand-over file is gone, and the next run must
// still know it), then the staging and backup directories go. False when the journal could not
// be written.
[[nodiscard]] bool ResetToStaged(const std::string& appDir, const std::string& mainExeName);

// Drops whatever a transaction left, when there is nothing more to do: the journal goes first
// (without it, the rest is mere leftovers), then the staging and backup directories.
void DropStaged(const std::string& appDir);

// Records the main program's name before the hand-over file is deleted, while an archive waits
// to be applied: a run killed from now on still finishes under that name. An unfinished
// transaction's journal is left as it is. False when the journal could not be written.
[[nodiscard]] bool RememberMainProgram(const std::string& appDir, const std::string& mainExeName);

// Removes the backup and staging directories, the archive and its ".ini". The journal, saying
// committed, stays until the main program has been started again (ForgetFinishedUpdate): a run
// killed before that still knows whom to start.
void CleanUp(const std::string& appDir, const std::string& zipFileName);

// Deletes a journal that says committed.
void ForgetFinishedUpdate(const std::string& appDir);

struct TRecovery {
  std::string MainExeName;  // recorded by the interrupted run; empty when there was none
  bool Unfinished = false;  // a transaction could be neither finished nor undone
};

// Finishes or drops what an interrupted run left: "staged" keeps only the name (while the
// archive waits), "committing" commits again (rolling back if that fails), "rolling-back" rolls
// back again, "committed" cleans up. Without a journal, leftover staging and backup directories
// go.
TRecovery RecoverInterruptedUpdate(const std::string& appDir, const std::string& zipFileName);

}  // namespace update_transaction
