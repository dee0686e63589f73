// The second check of the archive and its extraction into the staging directory.
#include "app/run/stage_update.h"

#include "app/app_paths.h"
#include "app/update_log.h"
#include "platform/error_text.h"
#include "platform/injected_faults.h"
#include "platform/path_text.h"
#include "platform/temporary_tree.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/unzipper.h"

namespace {

namespace transaction = update_transaction;

// The failure's text when the staging directory cannot be emptied or the journal written;
// empty when the extraction may begin.
std::string PrepareStaging(const std::string& appDir, const TUpdateJournal& journal) {
  const std::string staging = transaction::StagingDir(appDir);
  // The extraction begins in an empty staging directory: nothing left there rides along.
  (void)platform::RemoveDirectoryTree(staging);
  if (platform::LinkFreeKind(platform::WithoutTrailingBackslash(staging)) !=
      platform::PathKind::kMissing) {
    return "The update could not be prepared: " +
           platform::DisplayPath(platform::WithoutTrailingBackslash(staging)) +
           " could not be emptied";
  }
  if (!transaction::WriteJournal(appDir, journal)) {
    return "The update could not be prepared: " + transaction::LastFailureText(appDir);
  }
  return "";
}

// Extracts the archive into the staging directory; the failure's text or empty. `permanent`:
// whether a failure is the archive's own.
std::string Extract(const TRunContext& run, TUnZipper& component, TCheckedArchive& archive,
                    const TStagingObserver& observer, TUpdateJournal* journal, bool* permanent) {
  component.SetDestDir(transaction::StagingDir(run.AppDir));
  component.RecreateDirs = true;
  component.RetainAttributes = true;
  // The component reads through one handle from the directory to the last entry; it must be
  // the file that was checked, unchanged at the end.
  component.KeepZipOpen = true;
  try {
    component.LoadDirectory();
    platform::FileStamp read;
    if (!component.ArchiveFile || !component.ArchiveFile->FileHandle().ReadStamp(&read) ||
        !read.SameFileAs(archive.Stamp())) {
      return ArchiveChangedText("was replaced after it was checked");
    }
    component.UnZip();
    journal->Stored = transaction::StoredDirectories(component);
  } catch (const std::exception& e) {
    // The component's own errors are the archive's: damaged data, which stays damaged. Those
    // of the system (a disk full, a file that cannot be written) may pass. Either is named
    // with the entry it stopped on, when it stopped on one.
    // A read of the archive that the system refused may pass as well (a disk, a network share).
    const bool writing = dynamic_cast<const ECantWriteUCF*>(&e) != nullptr ||
                         dynamic_cast<const EUserCanceled*>(&e) != nullptr ||
                         dynamic_cast<const EArchiveReadError*>(&e) != nullptr;
    const bool damaged = !writing && (dynamic_cast<const EUnZipException*>(&e) != nullptr ||
                                      dynamic_cast<const EZLibError*>(&e) != nullptr);
    *permanent = damaged;
    const std::string what = damaged ? "damaged data (" + std::string(e.what()) + ")" : e.what();
    const std::string failure =
        observer.CurrentEntry().empty() ? what : observer.CurrentEntry() + ": " + what;
    run.Log.Write("the extraction failed: " + failure);
    return failure;
  }
  *permanent = observer.ProblemPermanent();
  if (!archive.Unchanged()) return ArchiveChangedText("changed while it was applied");
  return observer.FirstProblem();
}

}  // namespace

TStepOutcome StageUpdate(const TRunContext& run, update_transaction::TRecovery* recovery,
                         const std::string& mainExeName, std::unique_ptr<TUnZipper>& component,
                         TCheckedArchive* archive, const TStagingObserver::TProgress& onProgress,
                         const TStagingObserver::TExtracted& onExtracted, TStagedUpdate* staged) {
  if (recovery->Unfinished) {
    // The files of an earlier update are half in place, perhaps held by the program that has
    // just been closed: the recovery is tried once more before the update is refused.
    *recovery = transaction::RecoverInterruptedUpdate(run.AppDir, run.ZipFileName);
  }
  if (recovery->Unfinished) {
    const std::string failure =
        "An earlier update could not be finished; the next start tries again";
    run.Log.Write("the update was not applied: " + failure);
    return TStepOutcome::Failed(failure);
  }
  // FAT and exFAT keep no order among unflushed renames: a power cut there may cost a file.
  if (platform::IsOnFatVolume(platform::WithoutTrailingBackslash(run.AppDir))) {
    run.Log.Write(
        "the program directory is on a FAT or exFAT volume: the update is safe against a "
        "kill, not against a power cut");
  }
  // The program has gone: this check of the archive decides what is applied.
  platform::PausePoint("closed");
  if (const TRefusal again = archive->CheckAgain(run); !again.Passed()) {
    return TStepOutcome::Refused(again);
  }
  component->OverwriteMode = Always;
  component->SetZipName(run.ZipFileName);
  component->DoAll = true;
  // Everything is extracted and verified into the staging directory before anything of the
  // program is touched; the journal names the main program from the start, as the hand-over
  // file is gone already.
  TStagingObserver observer(*component, transaction::StagingDir(run.AppDir), run.Log, onProgress,
                            onExtracted);
  staged->Journal.MainExeName = mainExeName;
  // A recovery deletes only the archive it staged: the one just checked.
  staged->Journal.Archive = transaction::ArchiveIdentity(archive->Stamp().Size, archive->Digest());
  staged->StagedFiles = std::make_unique<platform::FileSystemFlush>(run.AppDir);
  bool permanent = false;
  std::string failure = PrepareStaging(run.AppDir, staged->Journal);
  if (failure.empty()) {
    failure = Extract(run, *component, *archive, observer, &staged->Journal, &permanent);
  }
  // The observer's events end with the component, which closes the archive: it is deleted
  // after the commit, or kept.
  component.reset();
  archive->Close();
  staged->Extracted = observer.Extracted();
  staged->KeepPermissionsOf = observer.KeepPermissionsOf();
  if (failure.empty()) return {};
  // The archive stays for a later run, and the journal with the program's name; one that
  // cannot be rewritten still says staged and names it.
  (void)transaction::ResetToStaged(run.AppDir, mainExeName, staged->Journal.Archive);
  run.Log.Write("the update was not applied: " + failure);
  return TStepOutcome::Failed(failure, permanent);
}
