// The checks before anything is closed, in the order they run.
#include "app/run/check_before_closing.h"

#include "app/app_paths.h"
#include "app/archive_check.h"
#include "app/files_in_use.h"
#include "app/link_check.h"
#include "app/release_check.h"
#include "app/update_log.h"
#include "platform/error_text.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/path_text.h"
#include "platform/processes.h"
#include "platform/temporary_tree.h"
#include "release/release_record.h"
#include "unzip/unzipper.h"

namespace {

constexpr char kMarkerFile[] = "MainRun._tmp";
constexpr char kWriteProbe[] = "write-probe";

// Whether this user can create files in the program directory: a probe file in the staging
// directory, which the update writes first. Empty, or the refusal's text.
std::string WriteCheck(const std::string& appDir) {
  const std::string dir = platform::WithoutTrailingBackslash(appDir);
  const std::string staging = update_transaction::StagingDir(appDir);
  // A link in the staging directory's place is removed as a link: the probe never goes through.
  if (platform::LinkFreeKind(staging) == platform::PathKind::kLink) {
    (void)platform::RemoveDirectoryTree(staging);
  }
  const bool existed = platform::LinkFreeKind(staging) == platform::PathKind::kDirectory;
  bool written = existed || platform::MakeDirectory(platform::WithoutTrailingBackslash(staging));
  if (written) {
    platform::File probe = platform::File::Open(staging + kWriteProbe, platform::kOpenCreate);
    written = probe.IsOpen();
  }
  const int code = platform::LastError().code;
  // What the probe leaves is dropped by the next start's recovery at the latest.
  (void)platform::RemoveFile(staging + kWriteProbe);
  if (!existed) (void)platform::DeleteDirectory(platform::WithoutTrailingBackslash(staging));
  if (written) return "";
  std::string text = "The program directory " + platform::DisplayPath(dir) +
                     " cannot be written by this user (" + platform::SystemErrorText(code) +
                     "); the update was not applied.";
  if (platform::IsUnderProtectedLocation(dir)) {
    text += " It lies in a protected location: run the update as an administrator.";
  }
  return text;
}

// The component as it is before the program is closed: it asks nothing (every question is
// answered "no") and pumps no messages. Its settings come back at the end of the scope.
class TQuietComponent {
 public:
  explicit TQuietComponent(TUnZipper& zipper)
      : zipper_(zipper), pumped_(zipper.DoProcessMessages), asked_(zipper.OnHandleMessage) {
    zipper_.DoProcessMessages = false;
    zipper_.OnHandleMessage = [](TUnZipper*, int, const std::string&, const std::string&, uint32_t,
                                 int&) {};
  }
  ~TQuietComponent() {
    zipper_.DoProcessMessages = pumped_;
    zipper_.OnHandleMessage = asked_;
  }
  TQuietComponent(const TQuietComponent&) = delete;
  TQuietComponent& operator=(const TQuietComponent&) = delete;

 private:
  TUnZipper& zipper_;
  bool pumped_;
  TUnZipper::THandleMessageEvent asked_;
};

// Writes the release the archive holds into update.log.
void LogRelease(TUpdateLog& log, const TArchiveRelease& release) {
  if (!release.Present) return;
  TReleaseRecord record;
  std::string ignored;
  if (!ParseReleaseRecord(release.Text, &record, &ignored)) return;
  log.Write(std::string(kArchiveName) + " holds " + record.Product + " " + record.Version +
            (record.From.empty() ? "" : " (the changes from " + record.From + ")") +
            (record.Removals.empty()
                 ? ""
                 : ", removing " + std::to_string(record.Removals.size()) + " files"));
}

// What the archive's directory and release record say, relative to the program directory.
struct TArchiveContents {
  std::vector<std::string> Files;        // the files it brings
  std::vector<std::string> Directories;  // its directory entries, each ending in "\"
  std::vector<std::string> Removals;     // the files its release takes away
  int64_t Needed = 0;                    // the room its new tree takes
};

// Reads what the archive holds through the handle that extracts it later, and checks it.
TRefusal CheckArchiveContents(const TRunContext& run, const std::string& mainExeName,
                              TUnZipper& component, bool signatureRequired,
                              TArchiveContents* contents) {
  // No question reaches the user before the program is closed (the answer is "no"), and
  // nothing is pumped: the window may not be there yet.
  TQuietComponent quiet(component);
  component.KeepZipOpen = true;
  TRefusal refusal =
      CheckArchiveDirectory(component, run.AppDir, run.ZipFileName, mainExeName, signatureRequired,
                            &contents->Needed, &contents->Files, &contents->Directories);
  if (!refusal.Passed()) return refusal;
  TArchiveRelease release;
  refusal = ReadArchiveRelease(component, &release);
  if (!refusal.Passed()) return refusal;
  const std::string updaterName =
      AppExecutablePath().substr(platform::ExtractFilePath(AppExecutablePath()).size());
  refusal = CheckRelease(run.AppDir, release, signatureRequired, mainExeName, updaterName,
                         &contents->Removals);
  if (!refusal.Passed()) return refusal;
  LogRelease(run.Log, release);
  return {};
}

// The checks in their order; the refusal of the first that failed, passed when all passed.
TRefusal RunChecks(const TRunContext& run, const update_transaction::TRecovery& recovery,
                   const std::string& mainExeName, TUnZipper& component, TCheckedArchive* archive,
                   std::vector<std::string>* removals) {
  if (!recovery.JournalProblem.empty()) {
    return {NotAppliedText("an earlier update's record could not be read (" +
                           recovery.JournalProblem + "); nothing was changed")};
  }
  TRefusal refusal = archive->Check(run);
  if (!refusal.Passed()) return refusal;
  TArchiveContents contents;
  refusal =
      CheckArchiveContents(run, mainExeName, component, archive->SignatureRequired(), &contents);
  if (!refusal.Passed()) return refusal;
  *removals = contents.Removals;
  // The files the release takes away are renamed by the commit like the files it brings.
  std::vector<std::string> files = contents.Files;
  files.insert(files.end(), removals->begin(), removals->end());
  // Nothing is written through a link on the way to a file or directory of the update (it would
  // land outside the program directory): the directories it makes and gives attributes count
  // as much as its files. The links may go: the refusal passes then.
  std::vector<std::string> targets = files;
  targets.insert(targets.end(), contents.Directories.begin(), contents.Directories.end());
  refusal.Text = ProgramTreeLinkRefusal(run.AppDir, targets);
  if (!refusal.Passed()) return refusal;
  refusal.Text = WriteCheck(run.AppDir);
  if (!refusal.Passed()) return refusal;
  refusal = CheckRoom(run.AppDir, contents.Needed);
  if (!refusal.Passed()) return refusal;
  // A file that another program holds would stop the commit half-way: said now, while nothing is
  // closed. A stale "main.exe" is retired beside the files replaced.
  if (mainExeName != kDefaultMainExe) files.push_back(kDefaultMainExe);
  refusal.Text = files_in_use::CheckFilesInUse(run.AppDir, files, ProcessNameOf(mainExeName));
  return refusal;
}

}  // namespace

TStepOutcome CheckBeforeClosing(const TRunContext& run,
                                const update_transaction::TRecovery& recovery,
                                const THandOver& handOver, TUnZipper& component,
                                TCheckedArchive* archive, TCheckedUpdate* checked) {
  const std::string handOverPath = run.AppDir + kHandOverFile;
  TStepOutcome outcome;
  if (!checked->ArchiveWaits) {
    outcome.Kind = TStepOutcome::kNothingToApply;
    if (handOver.Present) (void)platform::RemoveFile(handOverPath);
  } else {
    // Nothing is closed for an update that cannot be done: a running program stays as it is,
    // one that had ended starts again.
    const TRefusal refusal =
        RunChecks(run, recovery, handOver.MainExeName, component, archive, &checked->Removals);
    // The journal knows the name, for this archive only, before the hand-over file goes: a run
    // killed from here on still finishes the update under it, and a later run for the same
    // archive still knows whom to close and start.
    const bool remembered = update_transaction::RememberMainProgram(
        run.AppDir, handOver.MainExeName, archive->Identity());
    // The checks ran to their end: a hand-over file that cannot be deleted is read again by the
    // next run.
    if (handOver.Present && remembered) (void)platform::RemoveFile(handOverPath);
    // Whether the program starts again is decided when the box has been answered: one that
    // was still exiting then has ended.
    if (!refusal.Passed()) outcome = TStepOutcome::Refused(refusal);
  }
  // Nothing is terminated yet: closing the program gives it time to end by itself.
  if (outcome.Kind != TStepOutcome::kRefused && !IsUpdaterName(handOver.MainExeName)) {
    checked->WasRunning = platform::FindProcessID(ProcessNameOf(handOver.MainExeName)) > 0;
  }
  // The marker only tells the main program that it was started before: one that stays is
  // harmless.
  const std::string marker = run.AppDir + kMarkerFile;
  if (platform::FileExists(marker)) (void)platform::RemoveFile(marker);
  return outcome;
}
