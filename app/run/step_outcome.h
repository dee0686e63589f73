// How a step of the update run ended, in the one type that every step returns, and what every
// step may use of the run's surroundings.
#pragma once

#include <functional>
#include <string>

#include "app/archive_check.h"

class TUpdateLog;

struct TStepOutcome {
  enum TKind {
    kPassed,          // the run goes on to its next step
    kNothingToApply,  // no archive waits: the run only starts the program again
    kRefused,         // a check refused: nothing was changed, and the program may still run
    kFailed,          // the update failed after the program was closed: it is started again
  };
  TKind Kind = kPassed;
  // What a person is told (the box, update.result's reason); empty for a passed step and for
  // a plain "nothing to apply".
  std::string Text;
  // The archive itself is at fault and never applies as it is: it is set aside.
  bool Permanent = false;
  // Whether the program is started again at the end (after a refusal only when it is not
  // running then).
  bool Relaunch = true;
  // A package of changes for a release other than the one installed: a full package applies.
  bool NeedsFull = false;

  bool Passed() const { return Kind == kPassed; }
  static TStepOutcome Refused(const TRefusal& refusal, bool relaunch = true) {
    return {kRefused, refusal.Text, refusal.Permanent, relaunch, refusal.NeedsFull};
  }
  static TStepOutcome Failed(const std::string& text, bool permanent = false) {
    return {kFailed, text, permanent, true, false};
  }
};

// Where a run works and how its steps tell what they do; the same for every step.
struct TRunContext {
  std::string AppDir;       // the program directory, ending in "\"
  std::string ZipFileName;  // the archive's full path
  TUpdateLog& Log;
  // Between the slices of a wait: the window handles its messages. May be empty.
  std::function<void()> OnWait;

  void Pump() const {
    if (OnWait) OnWait();
  }
};
