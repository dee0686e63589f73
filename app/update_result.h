// update.result: what the last run of the updater did, for the main program to read when it
// starts again. UTF-8 text beside the program, replaced in one step by every run:
//   result applied|not-applied|nothing
//   code <the kind of what happened, one fixed word (below)>
//   reason <what happened, in words>          (when there is something to say)
//   version <the release version installed>   (when the program has a release record)
//   locked <SHA-256 of the archive> <file>    (when a file in use stopped the update)
#pragma once

#include <string>

enum class TUpdateOutcome { kApplied, kNotApplied, kNothing };

// The kind of what happened, as a fixed word that a program (and the fetch tool) tests without
// reading the reason's sentence.
enum class TResultCode {
  kApplied,     // "applied": the update is in place
  kNothing,     // "nothing": no archive waited
  kRefused,     // "refused": the archive never applies as it is; set aside as update.zip.refused
  kPassing,     // "passing": not applied this time (a file in use, no room, a program that did not
                // close, a key or record of this machine that cannot be read); update.zip stays
  kNeedsFull,   // "needs-full": a package of changes for a release other than the one installed
  kBusy,        // "busy": another updater holds the program directory, or its lock cannot be taken
  kNotStarted,  // "not-started": the program could not be started again (whatever else happened)
};

// The code's word in update.result.
const char* ResultCodeWord(TResultCode code);

struct TUpdateResult {
  TUpdateOutcome Outcome = TUpdateOutcome::kNothing;
  TResultCode Code = TResultCode::kNothing;
  std::string Reason;   // one line; empty when there is nothing to say
  std::string Version;  // empty when unknown
  std::string Locked;   // "<sha256> <file>" (app/files_in_use.h); empty when no lock stopped it
};

// The file's text.
std::string UpdateResultText(const TUpdateResult& result);

// The "locked" item of the update.result in `appDir` (which ends in "\"), read back by the next
// run; empty when there is none or the file cannot be read.
std::string ReadLockedItem(const std::string& appDir);

// Writes "update.result" in `appDir` (which ends in "\"): a draft, renamed over the file in one
// step. False when it could not be written (the run goes on; its log says what happened).
[[nodiscard]] bool WriteUpdateResult(const std::string& appDir, const TUpdateResult& result);
