// Moving the staged update into place, or back out of it.
#include "app/run/commit_update.h"

#include <algorithm>

#include "app/archive_check.h"
#include "app/update_log.h"
#include "platform/path_text.h"

namespace {

namespace transaction = update_transaction;

// Moves what was extracted into the program directory; the failure's text, or empty.
std::string ApplyStagedUpdate(const std::string& appDir, TStagedUpdate& staged,
                              const std::vector<std::string>& removals,
                              const transaction::TPump& pump, bool* permanent,
                              files_in_use::TLockWaits& commitWaits,
                              files_in_use::TLockWaits& rollBackWaits) {
  TUpdateJournal& journal = staged.Journal;
  std::string refusedName;
  if (!transaction::PlanMoves(appDir, &journal, staged.Extracted, removals, &refusedName)) {
    *permanent = true;
    return NotAppliedText(refusedName + " cannot be applied: " + UpdatePathProblem(refusedName));
  }
  if (!transaction::WriteJournal(appDir, journal)) {
    return "The update could not be prepared: " + transaction::LastFailureText(appDir);
  }
  if (transaction::Commit(appDir, journal, staged.KeepPermissionsOf, staged.StagedFiles.get(), pump,
                          &commitWaits)) {
    return "";
  }
  // A lock that lasted is named with its holder; any other failure with the system's words.
  const std::string reason = commitWaits.FailureText().empty()
                                 ? transaction::LastFailureText(appDir)
                                 : commitWaits.FailureText();
  if (transaction::RollBack(appDir, journal, pump, &rollBackWaits)) {
    return "The update could not be applied (" + reason + "); the program was left as it was";
  }
  // The journal says what is left to undo: the next start finishes it before anything else.
  return "The update could not be applied (" + reason +
         "); the old files are restored when the updater starts again";
}

}  // namespace

TStepOutcome CommitUpdate(const TRunContext& run, TStagedUpdate& staged,
                          const std::vector<std::string>& removals,
                          const files_in_use::TLockFailure& previousLock, std::string* locked) {
  const transaction::TPump pump = [&run] { run.Pump(); };
  files_in_use::TLockWaits commitWaits;
  files_in_use::TLockWaits rollBackWaits;
  std::string lastWait;
  for (files_in_use::TLockWaits* waits : {&commitWaits, &rollBackWaits}) {
    waits->OnWait = [&run, &lastWait](const std::string& text) {
      if (text != lastWait) run.Log.Write(text);
      lastWait = text;
      run.Pump();
    };
  }
  bool permanent = false;
  std::string failure =
      ApplyStagedUpdate(run.AppDir, staged, removals, pump, &permanent, commitWaits, rollBackWaits);
  if (!commitWaits.LockedFile().empty()) {
    // The same archive stopped by the same file twice: a person must act.
    const files_in_use::TLockFailure lock{staged.Journal.Archive.Sha256, commitWaits.LockedFile()};
    const std::string repeated = files_in_use::RepeatedLockFailureText(previousLock, lock);
    if (!repeated.empty()) failure += "; " + repeated;
    *locked = files_in_use::LockFailureLine(lock);
  }
  if (!failure.empty()) {
    if (staged.Journal.State == TUpdateJournal::jsStaged) {
      // The archive stays for a later run, and the journal with the program's name; one that
      // cannot be rewritten still says staged and names it.
      (void)transaction::ResetToStaged(run.AppDir, staged.Journal.MainExeName,
                                       staged.Journal.Archive);
    }
    run.Log.Write("the update was not applied: " + failure);
    return TStepOutcome::Failed(failure, permanent);
  }
  const auto retired =
      std::count_if(staged.Journal.Files.begin(), staged.Journal.Files.end(),
                    [](const TUpdateJournal::TMove& m) { return m.staged.empty(); });
  run.Log.Write("replaced or added " + std::to_string(staged.Journal.Files.size() - retired) +
                " files, removed " + std::to_string(retired));
  transaction::CleanUp(run.AppDir, run.ZipFileName, pump);
  run.Log.Write("the update was applied");
  return {};
}
