// update.result: what the last run of the updater did, for the main program to read when it
// starts again. UTF-8 text beside the program, replaced in one step by every run:
//   result applied|not-applied|nothing
//   reason <what happened, in words>          (when there is something to say)
//   version <the release version installed>   (when the program has a release record)
//   locked <SHA-256 of the archive> <file>    (when a file in use stopped the update)
#pragma once

#include <string>

enum class TUpdateOutcome { kApplied, kNotApplied, kNothing };

struct TUpdateResult {
  TUpdateOutcome Outcome = TUpdateOutcome::kNothing;
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
