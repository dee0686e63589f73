// The update transaction's journal: what it records, the states it passes through, and its text
// on disk. The transaction (app/update_transaction.h) writes it before every step that a kill
// could interrupt, and the next start reads it to finish or undo that step.
//
// The journal is UTF-8 text in ".update-journal" in the program directory, one item per line:
//   update-journal 1
//   state staged|committing|committed|rolling-back
//   main <main program's file name>
//   archive <size> <time> <SHA-256 in hex>   (the archive the staging came from; the time is
//                                             written as -1 and not read)
//   dir <directory the commit creates, relative to the program directory>
//   stored <directory the archive holds as an entry of its own: its attributes go to the program>
//   emptied <directory that the release's removals may leave empty: the commit removes it when
//            nothing is left in it; a roll-back's returning files bring it back>
//   file <path in the staging directory>\t<path in the program directory>\t<old|none>
//   end
// A "file" item with an empty staging path retires the program's file into the backup (a stale
// "main.exe" beside a main program of another name, or a file the new release removes); its last
// field says whether the program
// had a file at the target when the update was planned. Journals written before "archive",
// "stored", "emptied" and that field existed are read as they are. A journal without "end" was
// cut short.
//
// Nothing read back is trusted: every path must be a plain relative path (no drive, no leading
// separator, no empty, "." or ".." part, no control character) and `main` a bare file name. A
// journal that exists but cannot be read, does not parse or fails these checks is left as it is,
// and so is everything it could be about: the updater refuses to update until it can be read.
// It is written to ".update-journal.new", flushed, renamed over ".update-journal" in one step,
// and the program directory flushed, so that a crash leaves the old journal or the new one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TUpdateJournal {
  // The states of a transaction, in the order a successful update passes through them. Every
  // file of the update is, at any moment, staged only (not begun), backup only (old file moved
  // away, new one not yet placed) or placed (new file in place, its old one in the backup, or
  // none for a new file); the state says which way a start after a kill goes from there.
  //
  // No journal: no transaction. On disk: the program tree as it is; staging and backup
  // directories, if any, are leftovers. A start removes them.
  enum TState {
    // "staged": the program tree is wholly old. The staging directory holds nothing, part of an
    // extraction, or a whole verified one; the backup directory is empty or absent; `Files` may
    // be empty (the journal then only remembers the main program's name while an archive
    // waits). A start keeps the journal with the name alone while the archive still waits (this
    // run applies it afresh), else drops the journal, the staging and the backup directories.
    jsStaged,
    // "committing": the staged tree was whole, verified and durable before this was written;
    // the commit's renames are under way, each file staged only, backup only or placed. A start
    // commits again (a commit recognises every move already made) and cleans up, or, when the
    // commit fails, rolls back.
    jsCommitting,
    // "committed": every new file is placed, every old one in the backup, the directories
    // flushed. A start cleans up (backup, staging, and the archive when it is the one
    // identified) and starts the main program named here; the journal is deleted once the
    // program was started.
    jsCommitted,
    // "rolling-back": a commit failed; new files are going back into the staging directory and
    // old ones back into place. A start rolls back again; once the old tree is whole the
    // journal says staged with the name alone.
    jsRollingBack,
  };
  // Every legal transition, with who makes it:
  //   none        -> staged        RememberMainProgram (an archive waits), or the update run
  //                                before its extraction
  //   staged      -> committing    Commit, after the staged files were made durable
  //   committing  -> committed     Commit, after the last rename and the directory flushes
  //   committing  -> rolling-back  RollBack, when the commit failed
  //   rolling-back -> staged       RollBack, when the old tree is whole (ResetToStaged)
  //   staged      -> staged        ResetToStaged, after an update that changed nothing
  //   staged      -> none          DropStaged, when no archive waits any more
  //   committed   -> none          ForgetFinishedUpdate, after the main program was started

  // Whether the program had a file at a move's target when the update was planned.
  enum TOld { kOldUnknown, kOldExisted, kOldNone };
  struct TMove {
    std::string staged;  // relative to the staging directory; empty: the target is retired
    std::string target;  // relative to the program directory
    TOld old = kOldUnknown;
  };
  // What identifies the archive an update came from: its size and content, never its time (a
  // change of time zone or daylight saving would make an applied archive look new). Sha256 is
  // empty when it is not known.
  struct TArchive {
    int64_t Size = -1;
    std::string Sha256;  // lower-case hex
    bool operator==(const TArchive&) const = default;
  };
  TState State = jsStaged;
  std::string MainExeName;
  TArchive Archive;
  std::vector<TMove> Files;
  std::vector<std::string> Directories;  // created by the commit, parents first
  std::vector<std::string> Stored;       // directories with attributes of their own, parents first
  std::vector<std::string> Emptied;      // directories removals may empty, parents first
};

namespace update_transaction {

// The journal's path inside `appDir` (which ends in "\"), and the draft written before it.
std::string JournalPath(const std::string& appDir);
std::string NextJournalPath(const std::string& appDir);

// The journal's text, and the journal a text holds: false, with the reason in `problem`, when
// it is not a whole journal of this format (no header, an unknown item or state, no "end") or a
// value fails the checks above.
std::string JournalText(const TUpdateJournal& journal);
[[nodiscard]] bool ParseJournalText(const std::string& text, TUpdateJournal* journal,
                                    std::string* problem = nullptr);

// The largest journal read or written: about 1,000,000 files of long names. A journal above it
// is not written (the update is not begun), so every journal written can be read back.
constexpr int64_t kMaxJournalSize = 512 << 20;

// Writes the journal durably (see above); false when it could not.
[[nodiscard]] bool WriteJournal(const std::string& appDir, const TUpdateJournal& journal);

enum class TJournalRead {
  kAbsent,      // no such file: no transaction
  kRead,        // read whole, every value checked
  kUnreadable,  // there, but it cannot be opened, read, parsed or trusted
};
// Reads the journal, opened so that others may read and write it meanwhile (a scanner holding it
// for a moment does not make it unreadable). Only "no such file" is kAbsent; kUnreadable comes
// with the reason in `problem`.
[[nodiscard]] TJournalRead ReadJournal(const std::string& appDir, TUpdateJournal* journal,
                                       std::string* problem = nullptr);

}  // namespace update_transaction
