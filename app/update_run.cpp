// The update run: its sequence of steps, and what each step is handed.
#include "app/update_run.h"

#include <iterator>

#include "app/app_paths.h"
#include "app/run/close_program.h"
#include "app/run/commit_update.h"
#include "app/run/restart_program.h"
#include "app/run/set_aside.h"
#include "platform/error_text.h"
#include "platform/files.h"
#include "platform/product_version.h"
#include "release/own_names.h"
#include "release/release_record.h"
#include "resources/window_layout.h"

// The run, in the README's order: each row names the step, the member that hands it what it
// needs, the states of the run in which it runs, and what it waits for: the window's first timer
// tick before closing the program (only while the run goes on), the window's close (after its
// box, if any) before the end. A run that ended early (nothing to apply, refused, failed) goes
// straight on to the steps that end it. update.result is in place before the program starts.
const TUpdateRun::TStep TUpdateRun::kSequence[] = {
    {"read the hand-over file", &TUpdateRun::ReadHandOverStep, kGoingOn, kNoStop},
    {"check before closing", &TUpdateRun::CheckBeforeClosingStep, kGoingOn, kNoStop},
    {"close the program", &TUpdateRun::CloseProgramStep, kGoingOn | kNothing, kFirstTick},
    {"check again and stage", &TUpdateRun::StageStep, kGoingOn, kNoStop},
    {"commit", &TUpdateRun::CommitStep, kGoingOn, kNoStop},
    {"set aside or keep the archive", &TUpdateRun::SetAsideStep, kRefused | kFailed, kNoStop},
    {"record the result", &TUpdateRun::RecordResultStep, kAlways, kWindowClosed},
    {"restart the program", &TUpdateRun::RestartStep, kAlways, kNoStop},
};

TUpdateRun::TUpdateRun(const update_transaction::TRecovery& recovery)
    : log_(GetAppDir() + TUpdateLog::kFileName),
      context_{GetAppDir(), GetAppDir() + kArchiveName, log_,
               [this] {
                 if (OnWait) OnWait();
               }},
      recovery_(recovery) {
  ZipFileName = context_.ZipFileName;
  namespace settings = resources::unzip;
  unzip_ = std::make_unique<TUnZipper>();
  unzip_->RecreateDirs = settings::kRecreateDirs;
  unzip_->OverwriteMode = settings::kOverwriteAlways ? Always : Prompt;
  unzip_->DoAll = settings::kDoAll;
  unzip_->ReplaceReadOnly = settings::kReplaceReadOnly;
  // Where one flush of the file system makes every staged file durable, the commit makes it.
  unzip_->FlushFilesOnClose = settings::kFlushFilesOnClose && platform::FilesNeedFlushEach();
}

TUpdateRun::~TUpdateRun() = default;

void TUpdateRun::Prepare() {
  RunUntil(kFirstTick);
}

TRunResult TUpdateRun::Update() {
  RunUntil(kWindowClosed);
  if (outcome_.Kind == TStepOutcome::kPassed || outcome_.Text.empty()) return {};
  return {outcome_.Text};
}

std::string TUpdateRun::Finish() {
  // The window has closed. A run that had not begun the update by then (closed before its first
  // tick) ends refused: the program, which may still run, is started only when it does not.
  if (outcome_.Passed() && result_.Outcome != TUpdateOutcome::kApplied) {
    EndWith(TStepOutcome::Refused(
        {NotAppliedText("the updater's window was closed before the update began")}));
  }
  // What had not run is left out, and the run ends.
  while (next_ < std::size(kSequence) && kSequence[next_].WaitsFor != kWindowClosed) ++next_;
  RunUntil(kEnd);
  return restartFailure_;
}

void TUpdateRun::RunUntil(TStop stop) {
  for (; next_ < std::size(kSequence); ++next_) {
    const TStep& step = kSequence[next_];
    // The first tick matters only to a run that goes on; the end waits for the window to close.
    const bool waits =
        step.WaitsFor == kWindowClosed || (step.WaitsFor == kFirstTick && outcome_.Passed());
    if (waits && step.WaitsFor >= stop) return;
    if ((step.RunsWhen & (1u << outcome_.Kind)) == 0) continue;
    TStepOutcome outcome;
    try {
      outcome = (this->*step.Run)();
    } catch (const std::exception& e) {
      outcome = RaisedIn(step, e.what());
    } catch (...) {
      outcome = RaisedIn(step, "an unexpected error");
    }
    // Only a run that goes on can end; the steps that end it report nothing further here.
    if (!outcome.Passed() && outcome_.Passed()) EndWith(outcome);
  }
}

bool TUpdateRun::BeforeClosing(const TStep& step) {
  for (const TStep& row : kSequence) {
    if (row.WaitsFor == kFirstTick) return false;
    if (&row == &step) return true;
  }
  return false;
}

TStepOutcome TUpdateRun::RaisedIn(const TStep& step, const std::string& what) {
  if (!BeforeClosing(step)) return TStepOutcome::Failed(what);
  if (checked_.ArchiveWaits) {
    // A program whose name is known starts again as it was when it is not running once the box
    // has been answered; one whose name could not be read is not guessed at.
    const bool known = !handOver_.MainExeName.empty();
    if (!known) log_.Write("the main program is not known and not started");
    return TStepOutcome::Refused({NotCheckedText(what)}, known);
  }
  log_.Write("the preparation stopped: " + what);
  TStepOutcome nothing;
  nothing.Kind = TStepOutcome::kNothingToApply;
  if (!handOver_.MainExeName.empty()) return nothing;
  // Without an archive nothing was at stake but the relaunch, and the name is not known.
  log_.Write("the main program is not known and not started");
  nothing.Text = "The program to start again could not be settled (" + what + ").";
  nothing.Relaunch = false;
  return nothing;
}

void TUpdateRun::EndWith(const TStepOutcome& outcome) {
  outcome_ = outcome;
  result_ = {};
  switch (outcome.Kind) {
    case TStepOutcome::kNothingToApply:
      result_.Outcome = TUpdateOutcome::kNothing;
      result_.Code = TResultCode::kNothing;
      result_.Reason = outcome.Text.empty() ? "no " + std::string(kArchiveName) : outcome.Text;
      if (outcome.Text.empty() && OnNothingToApply) OnNothingToApply();
      return;
    case TStepOutcome::kRefused:
      log_.Write(outcome.Text);
      break;
    case TStepOutcome::kFailed:
      // The step said in update.log how it failed.
      result_.Locked = locked_;
      break;
    case TStepOutcome::kPassed:
      return;
  }
  result_.Outcome = TUpdateOutcome::kNotApplied;
  result_.Reason = outcome.Text;
  result_.Code = outcome.NeedsFull   ? TResultCode::kNeedsFull
                 : outcome.Permanent ? TResultCode::kRefused
                                     : TResultCode::kPassing;
}

TStepOutcome TUpdateRun::ReadHandOverStep() {
  // What stopped the last run, when a file in use did: said again if it stops this one too.
  if (!files_in_use::ParseLockFailure(ReadLockedItem(context_.AppDir), &previousLock_)) {
    previousLock_ = {};
  }
  // The last run's result is not this one's: a program started meanwhile finds none.
  (void)platform::RemoveFile(context_.AppDir + own_names::kResult);
  // Anything at the archive's name waits (a link, a directory, a device too): the checks say
  // why it cannot be applied. Only "no such file" means that there is nothing to apply.
  // A directory of that name is no archive either: it is left alone.
  const platform::PathKind archiveKind = platform::LinkFreeKind(ZipFileName);
  checked_.ArchiveWaits =
      archiveKind != platform::PathKind::kMissing && archiveKind != platform::PathKind::kDirectory;
  int64_t archiveSize = -1;
  if (archiveKind == platform::PathKind::kFile) {
    platform::File archive = platform::File::Open(ZipFileName, platform::kOpenRead);
    archiveSize = archive.IsOpen() ? archive.Size() : -1;
  }
  log_.Write("update " + std::string(platform::kProductVersion) + " started; " +
             (checked_.ArchiveWaits
                  ? std::string(kArchiveName) + ": " + std::to_string(archiveSize) + " bytes"
              : archiveKind == platform::PathKind::kDirectory
                  ? std::string(kArchiveName) + " is a directory, not an archive"
                  : "no " + std::string(kArchiveName)));
  ReadHandOverFile(context_, recovery_, checked_.ArchiveWaits, &handOver_);
  MainExeName = handOver_.MainExeName;
  LogList = handOver_.Lines;
  log_.Write("main program: " + MainExeName);
  return {};
}

TStepOutcome TUpdateRun::CheckBeforeClosingStep() {
  return CheckBeforeClosing(context_, recovery_, handOver_, *unzip_, &archive_, &checked_);
}

TStepOutcome TUpdateRun::CloseProgramStep() {
  return CloseProgram(context_, MainExeName, checked_.ArchiveWaits, checked_.WasRunning, &killed_);
}

TStepOutcome TUpdateRun::StageStep() {
  return StageUpdate(context_, &recovery_, MainExeName, unzip_, &archive_, OnProgress, OnExtracted,
                     &staged_);
}

TStepOutcome TUpdateRun::CommitStep() {
  TStepOutcome outcome =
      CommitUpdate(context_, staged_, checked_.Removals, previousLock_, &locked_);
  if (outcome.Passed()) result_ = {TUpdateOutcome::kApplied, TResultCode::kApplied, "", "", ""};
  return outcome;
}

TStepOutcome TUpdateRun::SetAsideStep() {
  const std::string said = SetAsideOrKeep(context_, outcome_, unzip_.get(), &archive_);
  if (!said.empty()) result_.Reason += " " + said;
  return {};
}

TStepOutcome TUpdateRun::RecordResultStep() {
  // A run that could not settle its program's name starts nothing: it says so.
  if (MainExeName.empty()) result_.Code = TResultCode::kNotStarted;
  // The release now in place, as its record says.
  const TInstalledRelease installed = ReadInstalledRelease(context_.AppDir);
  if (installed.State == TInstalledRelease::irPresent) result_.Version = installed.Record.Version;
  if (killed_) {
    result_.Reason += (result_.Reason.empty() ? "" : " ") + KilledText(MainExeName);
    killed_ = false;  // said once, also when the result is written again
  }
  if (!WriteUpdateResult(context_.AppDir, result_)) {
    log_.Write(std::string(own_names::kResult) +
               " could not be written: " + platform::ErrorText(platform::LastError()));
  }
  return {};
}

TStepOutcome TUpdateRun::RestartStep() {
  if (outcome_.Relaunch) {
    const TStepOutcome started = RestartProgram(context_, MainExeName, checked_.ArchiveWaits,
                                                outcome_.Kind == TStepOutcome::kRefused);
    if (!started.Passed()) {
      restartFailure_ = started.Text;
      result_.Code = TResultCode::kNotStarted;
      result_.Reason += (result_.Reason.empty() ? "" : " ") + started.Text;
      (void)RecordResultStep();
    }
  }
  // After the relaunch: until now, a killed run's successor would still have known whom to start.
  update_transaction::ForgetFinishedUpdate(context_.AppDir);
  return {};
}

int TUpdateRun::ExitCode() const {
  return result_.Outcome == TUpdateOutcome::kNotApplied || result_.Code == TResultCode::kNotStarted
             ? 1
             : 0;
}
