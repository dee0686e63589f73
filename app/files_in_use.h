// Files of the program that other programs hold open: the check before the main program is
// closed, the commit's renames that wait out a passing lock, and the sentence for an update that
// a lasting lock has stopped twice. No window here: what a person reads comes back as text.
//
// Only the main program's processes are closed by the updater. Any other process holding a
// file without sharing its deletion (a virus scanner, a preview, a helper of the program) makes
// the commit's rename of that file fail on Windows; on POSIX nothing holds a rename up, and all
// of this comes down to nothing.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/files_in_use.h"

namespace files_in_use {

// "Helper (process 4242)", several joined by ", " and a final " and "; "another program" when
// the system names nobody. A holder without an application name goes by its executable's file
// name.
std::string HolderText(const std::vector<platform::FileHolder>& holders);

// "data\engine.dll is in use by Helper (process 4242)": `file` relative to the program
// directory, shown as the system shows paths (platform::DisplayPath).
std::string InUseText(const std::string& file, const std::vector<platform::FileHolder>& holders);

// Before the main program is closed: every file of `relativeTargets` (paths relative to
// `appDir`, which ends in "\") that the update will replace or retire and that exists is probed
// for a rename (platform::ProbeRename). Left out are
//   - the main program's own executable (a target at the top of the program directory that
//     answers to `mainExeName` by platform::ProcessNameMatches): its processes are closed next;
//   - a held file whose named holders are all processes of the main program's name, closed next
//     as well;
//   - a held file whose holders the system does not name (Restart Manager under Wine, or when
//     it fails) while a process of the main program's name has it open, or may have it (its
//     handles cannot be looked at: platform::ProcessesHoldFile): refusing for it would refuse
//     every update of a program that keeps a file open; the commit waits for it and names it if
//     it lasts. One that no process of the main program holds is another program's, refused as
//     "in use by another program".
// A probe that fails for another reason than a lock is left to the commit, which says why.
// Empty when nothing is held; otherwise the refusal:
//   "The update was not applied: data\engine.dll is in use by Helper (process 4242). Close it and
//   start the update again."
// naming the first held file, and, when there are more, how many more.
std::string CheckFilesInUse(const std::string& appDir,
                            const std::vector<std::string>& relativeTargets,
                            const std::string& mainExeName);

// A rename as the transaction makes it (platform::RenameFile, platform::ReplaceFileAtomically):
// false on failure, with the failure recorded in platform::LastError().
using TRename = std::function<bool(const std::string& from, const std::string& to)>;

// What the renames of one update share: the time they may still spend waiting for files that
// other programs hold (about 10 s in all), and what stopped the last one that a lock stopped.
class TLockWaits {
 public:
  static constexpr std::chrono::milliseconds kBudget{10000};
  // Backoff between the tries of one rename: doubling from the first wait up to the last.
  static constexpr std::chrono::milliseconds kFirstWait{50};
  static constexpr std::chrono::milliseconds kLongestWait{1000};
  // The window hears from a wait at least this often.
  static constexpr std::chrono::milliseconds kWaitSlice{50};

  explicit TLockWaits(std::chrono::milliseconds budget = kBudget) : remaining_(budget) {}

  // Called before each slice of a wait, with "Waiting for data\engine.dll, which another program
  // is using…": the window shows it and handles its messages. It must not touch the program
  // directory.
  std::function<void(const std::string& text)> OnWait;
  // Whether a failed rename waited on a passing lock (code, path moved); the platform's rule.
  std::function<bool(int code, const std::string& path)> IsPassingLock = platform::IsPassingLock;

  std::chrono::milliseconds Remaining() const { return remaining_; }
  // After a rename failed for a lock that outlasted the budget: the file (relative to the
  // program directory) and "data\engine.dll is in use by another program" (InUseText). Empty
  // until then.
  const std::string& LockedFile() const { return lockedFile_; }
  const std::string& FailureText() const { return failureText_; }

 private:
  friend bool RenameWaitingOutLocks(const TRename& rename, const std::string& from,
                                    const std::string& to, const std::string& shownFile,
                                    TLockWaits& waits);

  std::chrono::milliseconds remaining_;
  std::string lockedFile_;
  std::string failureText_;
};

// `rename(from, to)`, tried again with a growing wait while it fails on a passing lock
// (waits.IsPassingLock of the recorded code and `from`) and the budget of `waits` lasts. A
// failure for another reason returns false at once; so does a lock once the budget is spent,
// which records the file and its holders (those of `from` and `to` that the system names) in
// `waits`. `shownFile` is the file as a person knows it, relative to the program directory. On
// failure platform::LastError() is the last rename's own.
[[nodiscard]] bool RenameWaitingOutLocks(const TRename& rename, const std::string& from,
                                         const std::string& to, const std::string& shownFile,
                                         TLockWaits& waits);

// An update stopped by a lasting lock: the archive (its SHA-256 in hex) and the file.
struct TLockFailure {
  std::string ArchiveSha256;
  std::string File;  // relative to the program directory
  bool operator==(const TLockFailure&) const = default;
};

// The record as one line of text ("<sha256> <file>") and back; reading fails on anything else.
std::string LockFailureLine(const TLockFailure& failure);
[[nodiscard]] bool ParseLockFailure(const std::string& line, TLockFailure* failure);

// "this update has failed twice because data\engine.dll is in use", when `previous` and
// `current` name the same archive (a known digest) and the same file; empty otherwise.
std::string RepeatedLockFailureText(const TLockFailure& previous, const TLockFailure& current);

}  // namespace files_in_use
