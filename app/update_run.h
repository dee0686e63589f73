// The update run without its window: a short table of named steps (app/run/), run in the order
// the README tells them. Each step gets what it needs and gives what it produces explicitly, and
// ends with one TStepOutcome; the run keeps what one step hands to a later one. What a person is
// to be told comes back as a result, for the window to show.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/files_in_use.h"
#include "app/run/check_before_closing.h"
#include "app/run/checked_archive.h"
#include "app/run/read_hand_over.h"
#include "app/run/stage_update.h"
#include "app/run/step_outcome.h"
#include "app/update_log.h"
#include "app/update_result.h"
#include "app/update_transaction.h"
#include "unzip/unzipper.h"

// What the window shows at the end of the update's stretch of the run.
struct TRunResult {
  std::string Failure;  // the text of the error box; empty when there is nothing to tell
};

class TUpdateRun {
 public:
  // `recovery`: what the start-up recovery found of an interrupted run (its main program's name
  // stands in when no hand-over file is there; an unfinished transaction stops the update). The
  // component is set up with the settings of the window description.
  explicit TUpdateRun(const update_transaction::TRecovery& recovery);
  ~TUpdateRun();
  TUpdateRun(const TUpdateRun&) = delete;
  TUpdateRun& operator=(const TUpdateRun&) = delete;

  // Between the steps of a wait, and once in the preparation: the window handles its messages.
  std::function<void()> OnWait;
  // The preparation found no archive: the sequence is to end (it still goes on to its end).
  std::function<void()> OnNothingToApply;
  // The component's progress over the whole extraction, in percent.
  std::function<void(TUnZipper* sender, int percent)> OnProgress;
  // The component's end of the extraction; it still works until the extraction returns.
  std::function<void(TUnZipper* sender, int fileCount)> OnExtracted;

  // The stretches of the run, as the window calls them. Each raises nothing: a step that raises
  // ends the run as refused (before closing) or failed (after).
  //
  // Before the window shows: the hand-over file and every check before closing. It fails
  // closed: while an archive waits, nothing goes on unless every check passed. A run that ends
  // here (nothing to apply, refused) sets a refused archive aside at once.
  void Prepare();
  // On the window's first timer tick: the program closed, the archive checked again and staged,
  // and the commit; what the window is to show then.
  TRunResult Update();
  // When the window closes: update.result written and the program started again (unless the run
  // says not to), the finished transaction forgotten, where that has not happened yet. A window
  // closed before the update began ends the run refused. The text of a failed start, for a box,
  // or empty.
  std::string Finish();

  // The process's exit code: 0 when the update was applied or there was nothing to apply, 1
  // when it was not applied or the program could not be started again.
  int ExitCode() const;

  std::string MainExeName;
  std::vector<std::string> LogList;
  std::string ZipFileName;

 private:
  // Where a stretch of the run ends: before a step that waits for the window.
  enum TStop { kNoStop, kFirstTick, kWindowClosed, kEnd };
  // The states of the run in which a step runs.
  enum TRunsWhen : unsigned {
    kGoingOn = 1u << TStepOutcome::kPassed,
    kNothing = 1u << TStepOutcome::kNothingToApply,
    kRefused = 1u << TStepOutcome::kRefused,
    kFailed = 1u << TStepOutcome::kFailed,
    kAlways = kGoingOn | kNothing | kRefused | kFailed,
  };
  struct TStep {
    const char* Name;
    TStepOutcome (TUpdateRun::*Run)();
    unsigned RunsWhen;
    TStop WaitsFor;  // kFirstTick only while the run goes on
  };
  static const TStep kSequence[];

  // The steps, each passing the run's hand-overs to its own file (app/run/).
  TStepOutcome ReadHandOverStep();
  TStepOutcome CheckBeforeClosingStep();
  TStepOutcome CloseProgramStep();
  TStepOutcome StageStep();
  TStepOutcome CommitStep();
  TStepOutcome SetAsideStep();
  TStepOutcome RestartStep();
  TStepOutcome RecordResultStep();

  // Runs the steps from the next one up to the stretch's end `stop`.
  void RunUntil(TStop stop);
  // Whether `step` comes before the step that closes the program.
  static bool BeforeClosing(const TStep& step);
  // A step that raised: refused before the program is closed, failed after.
  TStepOutcome RaisedIn(const TStep& step, const std::string& what);
  // The run ends early with `outcome`: update.result and the window are told.
  void EndWith(const TStepOutcome& outcome);

  TUpdateLog log_;
  TRunContext context_;
  update_transaction::TRecovery recovery_;
  std::unique_ptr<TUnZipper> unzip_;
  size_t next_ = 0;       // the next step of kSequence
  TStepOutcome outcome_;  // where the run stands: going on, or how it ended
  // Handed from step to step.
  files_in_use::TLockFailure previousLock_;  // from the last run's update.result
  THandOver handOver_;
  TCheckedArchive archive_;
  TCheckedUpdate checked_;
  TStagedUpdate staged_;
  std::string locked_;  // the lock that stopped the commit, for update.result
  TUpdateResult result_;
  std::string restartFailure_;  // why the program could not be started again
  bool killed_ = false;         // the program had to be terminated: update.result says so
};
