// Applying an update as a transaction, so that the program directory is always wholly old or
// wholly new, whenever the updater is killed: the archive is extracted into a staging directory,
// a journal records what is to be replaced, the commit moves every old file into a backup
// directory and every new one into place, and a start after an interruption finishes or drops
// the transaction before anything else happens.
//
// Names inside the program directory: ".update-staging\", ".update-backup\", ".update-journal"
// (and ".update-journal.new" while it is being written).
//
// The journal is UTF-8 text, one item per line:
//   update-journal 1
//   state staged|committing|committed
//   main <main program's file name>
//   file <path in the staging directory>\t<path in the program directory>
//   dir <directory path in the program directory>
// It is written to ".update-journal.new", flushed, renamed over ".update-journal" in one step,
// and the program directory flushed, so that a crash leaves the old journal or the new one.
#pragma once

#include <string>
#include <vector>

struct TUpdateJournal {
  enum TState { jsStaged, jsCommitting, jsCommitted };
  struct TMove {
    std::string staged;  // relative to the staging directory
    std::string target;  // relative to the program directory
  };
  TState State = jsStaged;
  std::string MainExeName;
  std::vector<TMove> Files;
  std::vector<std::string> Directories;
};

namespace update_transaction {

// The names inside `appDir` (which ends in "\").
std::string StagingDir(const std::string& appDir);
std::string BackupDir(const std::string& appDir);
std::string JournalPath(const std::string& appDir);

// Writes the journal durably (see above); false when it could not.
bool WriteJournal(const std::string& appDir, const TUpdateJournal& journal);
// Reads the journal; false when there is none or it cannot be read whole.
bool ReadJournal(const std::string& appDir, TUpdateJournal* journal);

// The moves for what was extracted into the staging directory: every file goes to the same path
// in the program directory, except a "main.exe" when the main program has another name (a new
// executable delivered under the default name takes the program's own name).
void PlanMoves(const std::string& appDir, TUpdateJournal* journal);

// Moves every old file out of the way into the backup directory and every staged file into
// place, marking the journal committing before and committed after. Each move already made is
// recognised, so a commit interrupted anywhere can simply be run again. `keepPermissionsOf`
// names the staged files that carry no permission bits of their own: they take the permission
// bits of the file they replace. False when a move failed (the journal stays "committing").
bool Commit(const std::string& appDir, TUpdateJournal& journal,
            const std::vector<std::string>& keepPermissionsOf);

// Removes the backup and staging directories, the archive and its ".ini", then the journal.
void CleanUp(const std::string& appDir, const std::string& zipFileName);

// Finishes or drops what an interrupted run left: "staged" drops the staging directory (the
// archive stays for the next run), "committing" commits again, "committed" cleans up. Without a
// journal, leftover staging and backup directories go. Returns the main program's name that the
// interrupted run recorded (empty when there was none).
std::string RecoverInterruptedUpdate(const std::string& appDir, const std::string& zipFileName);

// A test hook: the updater kills itself at the step boundary numbered by the environment variable
// UPDATE_KILL_AT_STEP (every journal write, move and removal of a transaction is one step).
void StepBoundary();

}  // namespace update_transaction
