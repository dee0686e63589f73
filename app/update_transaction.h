// Applying an update as a transaction, so that the program directory is always wholly old or
// wholly new, whenever the updater is killed: the archive is extracted into a staging directory,
// a journal records what is to be replaced, the commit moves every old file into a backup
// directory and every new one into place, and a start after an interruption finishes or drops
// the transaction before anything else happens. A commit that fails (a locked file, a full disk)
// is rolled back: the old files return, the new ones go back into the staging directory.
//
// The updater's own names in the program directory (the staging and backup directories, the
// journal, ...) are listed in app/own_names.h; archive entries may not use them at the top of
// the tree, in any letter case.
//
// The journal, its states and its text: app/update_journal.h.
//
// Durability, and what it relies on. A kill loses nothing that was written: only a power cut or
// a crash of the system can lose writes, and then only those not yet flushed. So the commit
// flushes in three points, not after every file: (1) the staged files and their directories
// are durable (one flush of the file system on Linux, each file flushed on Windows) before the
// journal says "committing"; (2) all the renames of the commit follow one another with no flush
// in between, which keeps the stretch of a mixed program directory as short as the renames
// themselves; (3) each directory the commit touched (program directories, backup, staging) is
// flushed once, and only then does the journal say "committed". A roll-back does the same.
// This relies on the file system keeping its metadata operations in order: the journaling file
// systems (ext4, XFS, NTFS) write renames to their journal in the order they were made, so after
// a power cut the disk shows a prefix of the commit's renames, which the journal's "committing"
// tells the recovery to complete (or "rolling-back" to undo); btrfs commits whole transactions,
// which keeps that order as well. What holds where:
//   - every system, every file system: a kill (of the updater, of its window) loses nothing;
//     the next start finishes or undoes the transaction.
//   - journaling file systems: a power cut or a crash of the system loses nothing either.
//   - FAT and exFAT: not safe against a power cut. They keep no order among unflushed metadata
//     writes, and a rename across directories there is two sector writes (the new name, then
//     the old one removed) that may reach the disk in either order: after a cut a file may have
//     no name or two, and a recovery that takes a missing staged file for a placed one could
//     then clean up the only copy. The updater says so in update.log when the program directory
//     is on such a volume.
//   - On Windows, FlushDirectory does nothing (NTFS's journal orders the renames); on FAT there
//     it orders nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/update_journal.h"

class TUnZipper;
namespace platform {
class FileSystemFlush;
}
namespace files_in_use {
class TLockWaits;
}

namespace update_transaction {

// Called now and then through a long commit, roll-back or clean-up: the window handles its
// messages. It must not touch the program directory.
using TPump = std::function<void()>;

// The names inside `appDir` (which ends in "\").
std::string StagingDir(const std::string& appDir);
std::string BackupDir(const std::string& appDir);

// The most recent failure of a transaction's step as a person reads it: the operation, the path
// and the system's reason.
std::string LastFailureText(const std::string& appDir);

// The identity of the archive at `zipFileName`; an empty Sha256 when it cannot be read.
TUpdateJournal::TArchive IdentifyArchive(const std::string& zipFileName);
// The identity of an archive of `size` bytes whose SHA-256 is `sha256`.
TUpdateJournal::TArchive ArchiveIdentity(int64_t size, const uint8_t (&sha256)[32]);

// The directories that the archive just extracted by `unzip` holds as entries of their own, as
// paths relative to its destination ("lib\"): they carry attributes for the program's
// directories.
std::vector<std::string> StoredDirectories(TUnZipper& unzip);

// The moves for exactly what the extraction reported: `extracted` lists the files it wrote and
// verified, relative to the staging directory (whatever else lies there is not applied). Every
// file goes to the same path in the program directory, except a "main.exe" (found by the file
// system's own rule of names, so in any letter case on Windows) when the main program has
// another name: a new executable delivered under the default name takes the program's own name,
// and wins over a file of that name in the archive; a "main.exe" already in the program
// directory beside a main program of another name is stale and retired into the backup, so
// that the relaunch cannot put it over the program. Each move notes whether the program had a
// file at its target. Directories the program lacks (the files' parents and the archive's own
// directory entries, `Stored`) are listed for the commit to create; `Stored` keeps only the
// directories that the staging directory holds. `removals` are files the new release no longer
// has: each one the program has (and the archive does not bring) is retired into the backup, and
// its parents are noted as directories the commit removes when it leaves them empty. False, with
// `refusedName` set, when a name is one of the updater's own at the top of the tree or not a
// plain relative path.
[[nodiscard]] bool PlanMoves(const std::string& appDir, TUpdateJournal* journal,
                             const std::vector<std::string>& extracted,
                             const std::vector<std::string>& removals, std::string* refusedName);

// Moves every old file out of the way into the backup directory and every staged file into
// place, marking the journal committing before and committed after (with the flushes described
// above), gives the program's directories the attributes of the stored ones and removes the
// directories that retired files left empty. Each move
// already made is recognised, so a commit interrupted anywhere can simply be run again (a commit
// resumed from "committing" takes a missing staged file for one already placed only where the new
// file is in place and the old one, if there was one, in the backup). A staged file missing from
// a first commit fails it: the staged tree was changed after the extraction.
// `keepPermissionsOf` names the staged files that carry no permission bits of their own: they
// take the permission bits of the file they replace. `stagedFiles` has watched the file system
// since before the extraction (null: a watch begins here). False when a move, a flush or the
// journal failed; the caller then rolls back. With `lockWaits`, a rename that another program's
// handle holds up (a scanner, a preview) is tried again within that budget
// (app/files_in_use.h); without, it fails at once.
[[nodiscard]] bool Commit(const std::string& appDir, TUpdateJournal& journal,
                          const std::vector<std::string>& keepPermissionsOf,
                          platform::FileSystemFlush* stagedFiles = nullptr, const TPump& pump = {},
                          files_in_use::TLockWaits* lockWaits = nullptr);

// Undoes a commit, wherever it stopped: every new file goes back into the staging directory,
// every old one back into place (into its directories, made again where the commit removed
// them), the directories the commit created go. Marks the journal
// rolling-back first, so that an interruption goes on rolling back. True when the program is
// whole and old again; the journal then keeps only the main program's name (ResetToStaged).
// A roll-back leaves the program's directories that existed before with the attributes the
// commit gave them: their files are old again, their attributes are not.
[[nodiscard]] bool RollBack(const std::string& appDir, TUpdateJournal& journal,
                            const TPump& pump = {}, files_in_use::TLockWaits* lockWaits = nullptr);

// After an update that did not change the program, while the archive stays for a later run: the
// journal keeps only the main program's name (the hand-over file is gone, and the next run must
// still know it) and the identity of the archive it was named for (empty: none), then the staging
// and backup directories go. False when the journal could not be written.
[[nodiscard]] bool ResetToStaged(const std::string& appDir, const std::string& mainExeName,
                                 const TUpdateJournal::TArchive& archive);

// Drops whatever a transaction left, when there is nothing more to do: the journal goes first
// (without it, the rest is mere leftovers), then the staging and backup directories.
void DropStaged(const std::string& appDir);

// Records the main program's name before the hand-over file is deleted, while an archive waits
// to be applied, bound to that archive's identity (`archive`; empty when it could not be read):
// a run killed from now on, or the next run for the same archive, still knows the name; another
// archive does not inherit it. An unfinished transaction's journal is left as it is. False when
// the journal could not be written, or one that is there cannot be read (it is not overwritten).
[[nodiscard]] bool RememberMainProgram(const std::string& appDir, const std::string& mainExeName,
                                       const TUpdateJournal::TArchive& archive);

// After the archive was set aside: a journal that only names the program for it goes.
void ForgetStagedProgram(const std::string& appDir);

// Removes the backup and staging directories, the archive, its ".ini" and its ".sig" (none when
// `zipFileName` is empty). The journal, saying committed, stays until the main program has been
// started again (ForgetFinishedUpdate): a run killed before that still knows whom to start.
void CleanUp(const std::string& appDir, const std::string& zipFileName, const TPump& pump = {});

// Whether the journal says committed: an update is in place and its program not started yet.
bool UpdateCommitted(const std::string& appDir);

// Deletes a journal that says committed.
void ForgetFinishedUpdate(const std::string& appDir);

struct TRecovery {
  std::string MainExeName;     // recorded by the interrupted run; empty when there was none
  bool Unfinished = false;     // a transaction could be neither finished nor undone
  std::string JournalProblem;  // why a journal that is there could not be read; empty: none
};

// Finishes or drops what an interrupted run left: "staged" keeps only the name (while the
// archive it names waits; for another archive, or none, the journal goes), "committing" commits
// again (rolling back if that fails), "rolling-back" rolls back again, "committed" cleans up. A
// journal that exists but cannot be read or trusted leaves everything as it is: `JournalProblem`
// says why, and no update is made until it can be read. The clean-up deletes the archive only when
// it is the one the journal identifies: another archive, or any archive under a journal that
// identifies none (written before the identity was recorded), is kept for the run that follows,
// which applies it (applying an archive twice ends in the same tree). Without a journal, leftover
// staging and backup directories go.
TRecovery RecoverInterruptedUpdate(const std::string& appDir, const std::string& zipFileName);

}  // namespace update_transaction
