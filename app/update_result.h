// update.result: what the last run of the updater did, for the main program to read when it
// starts again. UTF-8 text beside the program, replaced in one step by every run:
//   result applied|not-applied|nothing
//   reason <what happened, in words>          (when there is something to say)
//   version <the release version installed>   (when the program has a release record)
#pragma once

#include <string>

enum class TUpdateOutcome { kApplied, kNotApplied, kNothing };

struct TUpdateResult {
  TUpdateOutcome Outcome = TUpdateOutcome::kNothing;
  std::string Reason;   // one line; empty when there is nothing to say
  std::string Version;  // empty when unknown
};

// The file's text.
std::string UpdateResultText(const TUpdateResult& result);

// Writes "update.result" in `appDir` (which ends in "\"): a draft, renamed over the file in one
// step. False when it could not be written (the run goes on; its log says what happened).
[[nodiscard]] bool WriteUpdateResult(const std::string& appDir, const TUpdateResult& result);
