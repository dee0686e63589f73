// The update sequence's steps: preparation with the checks that come before anything is closed,
// the wait for the main program, extraction into the staging directory and the transaction, and
// the relaunch.
#include "app/update_run.h"

#include <chrono>
#include <cstdint>
#include <thread>

#include "app/app_paths.h"
#include "app/hand_over_file.h"
#include "app/update_signature.h"
#include "platform/error_text.h"
#include "platform/files.h"
#include "platform/launch.h"
#include "platform/process_name_match.h"
#include "platform/processes.h"
#include "platform/temporary_tree.h"
#include "resources/window_layout.h"
#include "unzip/base/checked_math.h"
#include "unzip/base/file_utils.h"
#include "unzip/base/path_text.h"

namespace {

constexpr char kHandOverFile[] = "uplog.txt";
constexpr char kMarkerFile[] = "\\MainRun._tmp";
constexpr char kStartArgument[] = "-start";
// A main program that has not gone after this long will not go: the update is not applied.
constexpr auto kCloseTimeLimit = std::chrono::seconds(60);
// The version resource's (resources/update.rc), for the log.
constexpr char kUpdaterVersion[] = "1.1.0.0";
// Room kept free beyond the archive's uncompressed size: 1% of it plus 1 MB, for the journal,
// the directories and the file system's own bookkeeping.
constexpr int64_t kMegabyte = 1024 * 1024;
constexpr int64_t kSpaceMarginDivisor = 100;
constexpr char kWriteProbe[] = "write-probe";

// Whether this user can create files in the program directory: a probe file in the staging
// directory, which the update writes first. Empty, or the refusal's text.
std::string WriteCheck(const std::string& appDir) {
  const std::string dir = WithoutTrailingBackslash(appDir);
  const std::string staging = update_transaction::StagingDir(appDir);
  const bool existed = platform::ReadAttributes(staging) != platform::kInvalidAttributes;
  bool written = existed || platform::MakeDirectory(WithoutTrailingBackslash(staging));
  if (written) {
    platform::File probe = platform::File::Open(staging + kWriteProbe, platform::kOpenCreate);
    written = probe.IsOpen();
  }
  const int code = platform::LastError().code;
  // What the probe leaves is dropped by the next start's recovery at the latest.
  (void)platform::RemoveFile(staging + kWriteProbe);
  if (!existed) (void)platform::DeleteDirectory(WithoutTrailingBackslash(staging));
  if (written) return "";
  std::string text = "The program directory " + platform::DisplayPath(dir) +
                     " cannot be written by this user (" + platform::SystemErrorText(code) +
                     "); the update was not applied.";
  if (platform::IsUnderProtectedLocation(dir)) {
    text += " It lies in a protected location: run the update as an administrator.";
  }
  return text;
}

// Whether the volume has room for the whole new tree, which is staged before the old one moves.
// An archive whose directory cannot be read is left to the extraction, which says why. Empty,
// or the refusal's text.
std::string SpaceCheck(const std::string& appDir, const std::string& zipFileName) {
  int64_t needed = 0;
  try {
    TUnZipper directory;
    directory.DoProcessMessages = false;
    // No question reaches the user before the program is closed: the answer is "no".
    directory.OnHandleMessage = [](TUnZipper*, int, const std::string&, const std::string&,
                                   uint32_t, int&) {};
    directory.SetZipName(zipFileName);
    directory.LoadDirectory();
    for (int i = 0; i < directory.EntryCount(); ++i) {
      needed = SaturatingAdd(
          needed, ClampToInt64(directory.SortedEntries->Items(i)->GetUncompressedSize64()));
    }
    directory.ClearArchive();
  } catch (...) {
    return "";
  }
  needed = SaturatingAdd(SaturatingAdd(needed, needed / kSpaceMarginDivisor), kMegabyte);
  const std::string dir = WithoutTrailingBackslash(appDir);
  const int64_t available = platform::FreeDiskSpace(dir);
  if (available < 0 || available >= needed) return "";  // unknown: the extraction finds out
  const int64_t neededMb = needed / kMegabyte + (needed % kMegabyte != 0 ? 1 : 0);
  return "The update needs " + std::to_string(neededMb) + " MB on the volume of " +
         platform::DisplayPath(dir) + ", but only " + std::to_string(available / kMegabyte) +
         " MB are free; the update was not applied.";
}

void Notify(const std::function<void()>& event) {
  if (event) event();
}

std::string ReasonText(TSkipReason reason) {
  switch (reason) {
    case srBadPassword:
      return "it is encrypted";
    case srNoOverwrite:
      return "the existing file was kept";
    case srCreateError:
      return "it could not be written";
    case srUnsafePath:
      return "its name points outside the program directory";
    default:
      return "it was skipped";
  }
}

// Moves what was extracted into the program directory; the failure's text, or empty.
std::string ApplyStagedUpdate(const std::string& appDir, TUpdateJournal& journal,
                              const std::vector<std::string>& keepPermissionsOf,
                              platform::FileSystemFlush& stagedFiles,
                              const update_transaction::TPump& pump) {
  namespace transaction = update_transaction;
  std::string reservedName;
  if (!transaction::PlanMoves(appDir, &journal, &reservedName)) {
    return reservedName + " was not updated: the name is kept for the updater's own files";
  }
  if (!transaction::WriteJournal(appDir, journal)) {
    return "The update could not be prepared: " + transaction::LastFailureText(appDir);
  }
  if (transaction::Commit(appDir, journal, keepPermissionsOf, &stagedFiles, pump)) return "";
  const std::string reason = transaction::LastFailureText(appDir);
  if (transaction::RollBack(appDir, journal, pump)) {
    return "The update could not be applied (" + reason + "); the program was left as it was";
  }
  // The journal says what is left to undo: the next start finishes it before anything else.
  return "The update could not be applied (" + reason +
         "); the old files are restored when the updater starts again";
}

}  // namespace

TUpdateRun::TUpdateRun(const update_transaction::TRecovery& recovery)
    : recovery_(recovery), log_(GetAppDir() + TUpdateLog::kFileName) {
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
  try {
    LogList.clear();
    const std::string handOver = GetAppDir() + kHandOverFile;
    const bool handedOver = FileExists(handOver);
    if (handedOver) LogList = LoadLines(handOver);
    ZipFileName = AddPathDelimiter(ExtractFilePath(AppExecutablePath())) + kArchiveName;
    const bool archiveWaits = FileExists(ZipFileName);
    platform::File archive = platform::File::Open(ZipFileName, platform::kOpenRead);
    log_.Write("update " + std::string(kUpdaterVersion) + " started; " +
               (archiveWaits ? std::string(kArchiveName) + ": " +
                                   std::to_string(archive.IsOpen() ? archive.Size() : -1) + " bytes"
                             : "no " + std::string(kArchiveName)));
    archive.Close();
    // Without a hand-over file, a journal's name stands in while its archive waits, or for the
    // relaunch after an update it applied; otherwise the default does.
    MainExeName = LogList.empty() && !recovery_.MainExeName.empty() &&
                          (archiveWaits || AppliedUpdateAwaitsRelaunch())
                      ? recovery_.MainExeName
                      : MainExeNameFrom(LogList);
    log_.Write("main program: " + MainExeName);
    // The hand-over file goes once the journal knows the name: a run killed from here on still
    // finishes the update under it. One that cannot be deleted is read again by the next run.
    if (handedOver &&
        (!archiveWaits || update_transaction::RememberMainProgram(GetAppDir(), MainExeName))) {
      (void)FileDelete(handOver);
    }
    if (!archiveWaits) Notify(OnNothingToApply);
    const bool isItself = platform::ProcessNameMatches(AppExecutablePath(), MainExeName);
    // Nothing is closed for an update that cannot be done: a running program stays as it is,
    // one that had ended starts again.
    const std::string refusal = archiveWaits ? CheckBeforeClosing() : "";
    if (!refusal.empty()) {
      const bool running = !isItself && platform::FindProcessID(MainExeName) > 0;
      refusal_ = {refusal, !running};
      log_.Write(refusal);
      if (running) log_.Write(MainExeName + " was left running");
    }
    // A first attempt only: the wait for the main program terminates it again until it is gone.
    if (refusal.empty() && !isItself) {
      wasRunning_ = platform::FindProcessID(MainExeName) > 0;
      (void)platform::KillProcessByName(MainExeName);
    }
    Notify(OnWait);
    // The marker only tells the main program that it was started before: one that stays is
    // harmless.
    const std::string marker = ExtractFilePath(AppExecutablePath()) + kMarkerFile;
    if (FileExists(marker)) (void)FileDelete(marker);
  } catch (...) {
    // The defaults below stand in for what the preparation did not settle.
  }
  if (MainExeName.empty()) MainExeName = kDefaultMainExe;
  if (ZipFileName.empty()) ZipFileName = GetAppDir() + kArchiveName;
}

std::string TUpdateRun::CheckBeforeClosing() {
  const std::string appDir = ExtractFilePath(AppExecutablePath());
  const std::string dir = WithoutTrailingBackslash(appDir);
  if (platform::UpdateSignatureRequired(dir)) {
    const platform::SignatureCheck check = platform::CheckUpdateSignature(dir, kArchiveName);
    if (!check.Verified) return platform::SignatureRefusalText(check.Reason);
    log_.Write("the signature of " + std::string(kArchiveName) + " was verified");
  }
  std::string refusal = WriteCheck(appDir);
  if (refusal.empty()) refusal = SpaceCheck(appDir, ZipFileName);
  return refusal;
}

bool TUpdateRun::AppliedUpdateAwaitsRelaunch() const {
  TUpdateJournal journal;
  return update_transaction::ReadJournal(GetAppDir(), &journal) &&
         journal.State == TUpdateJournal::jsCommitted;
}

TRunResult TUpdateRun::WaitForMainProgram() {
  if (!refusal_.Failure.empty()) return refusal_;
  // The updater never waits for itself: a main program of its own name would be itself.
  const bool isItself = platform::ProcessNameMatches(AppExecutablePath(), MainExeName);
  const auto start = std::chrono::steady_clock::now();
  while (!isItself && platform::FindProcessID(MainExeName) > 0) {
    if (std::chrono::steady_clock::now() - start >= kCloseTimeLimit) {
      const std::string failure =
          "The program " + MainExeName + " could not be closed; the update was not applied.";
      log_.Write(failure);
      log_.Write(MainExeName + " is not started again");
      return {failure, false};
    }
    // The search above says whether the termination took.
    (void)platform::KillProcessByName(MainExeName);
    Notify(OnWait);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (wasRunning_) log_.Write("closed " + MainExeName);
  return {};
}

TRunResult TUpdateRun::Apply() {
  if (!refusal_.Failure.empty()) {
    unzip_.reset();
    return refusal_;
  }
  if (recovery_.Unfinished) {
    // The files of an earlier update are half in place: that one has to be finished first.
    unzip_.reset();
    const std::string failure =
        "An earlier update could not be finished; the next start tries again";
    log_.Write("the update was not applied: " + failure);
    return {failure};
  }
  namespace transaction = update_transaction;
  const std::string appDir = ExtractFilePath(AppExecutablePath());
  const std::string staging = transaction::StagingDir(appDir);
  unzip_->OverwriteMode = Always;
  unzip_->SetZipName(ZipFileName);
  unzip_->OnTotalPercentDone = [this](TUnZipper* sender, int percent) {
    if (OnProgress) OnProgress(sender, percent);
  };
  unzip_->OnUnZipComplete = [this](TUnZipper* sender, int count) {
    if (OnExtracted) OnExtracted(sender, count);
  };
  // Whatever did not make it is remembered, so that a partial update is not taken for a whole.
  unzip_->OnSkippingFile = [this](TUnZipper*, TSkipReason reason, const std::string& name, int,
                                  bool&) {
    const std::string problem = name + " was not updated: " + ReasonText(reason);
    log_.Write("refused entry " + problem);
    if (firstProblem_.empty()) firstProblem_ = problem;
  };
  unzip_->OnBadCRC = [this](TUnZipper* sender, uint32_t, uint32_t, int index) {
    const std::string problem =
        sender->EntryFileName(index) + " was not updated: its data are damaged";
    log_.Write("failed entry " + problem);
    if (firstProblem_.empty()) firstProblem_ = problem;
  };
  // Files that bring no permission bits of their own keep those of the file they replace.
  std::vector<std::string> keepPermissionsOf;
  unzip_->OnEndUnZip = [&](TUnZipper* sender, int index, const std::string& name) {
    if (!sender->SortedEntries->Items(index)->HasUnixPermissions() &&
        name.compare(0, staging.size(), staging) == 0) {
      keepPermissionsOf.push_back(name.substr(staging.size()));
    }
  };
  unzip_->DoAll = true;
  // Everything is extracted and verified into the staging directory before anything of the
  // program is touched; the journal names the main program from the start, as the hand-over
  // file is gone already.
  TUpdateJournal journal;
  journal.MainExeName = MainExeName;
  // A recovery deletes only the archive it staged.
  journal.Archive = transaction::IdentifyArchive(ZipFileName);
  // Watched from before the first staged byte: its flush reports any write-back failure since.
  platform::FileSystemFlush stagedFiles(appDir);
  const transaction::TPump pump = [this] { Notify(OnWait); };
  std::string failure;
  // A staging tree that cannot be emptied fails the extraction into it, which tells why.
  (void)platform::RemoveDirectoryTree(staging);
  if (!transaction::WriteJournal(appDir, journal)) {
    failure = "The update could not be prepared: " + transaction::LastFailureText(appDir);
  }
  if (failure.empty()) {
    unzip_->SetDestDir(staging);
    unzip_->RecreateDirs = true;
    unzip_->RetainAttributes = true;
    try {
      unzip_->UnZip();
      journal.Stored = transaction::StoredDirectories(*unzip_);
    } catch (const std::exception& e) {
      failure = e.what();
      log_.Write("the extraction failed: " + failure);
    }
    if (failure.empty()) failure = firstProblem_;
  }
  unzip_.reset();  // closes the archive: it is deleted below, or kept
  if (failure.empty()) {
    failure = ApplyStagedUpdate(appDir, journal, keepPermissionsOf, stagedFiles, pump);
  }
  if (failure.empty()) {
    log_.Write("replaced or added " + std::to_string(journal.Files.size()) + " files");
    transaction::CleanUp(appDir, ZipFileName, pump);
    log_.Write("the update was applied");
  } else if (journal.State == TUpdateJournal::jsStaged) {
    // The archive stays for a later run, and the journal with the program's name; one that
    // cannot be rewritten still says staged and names it.
    (void)transaction::ResetToStaged(appDir, MainExeName);
  }
  if (!failure.empty()) log_.Write("the update was not applied: " + failure);
  return {failure};
}

void TUpdateRun::StartMainProgram() {
  try {
    const std::string target = GetAppDir() + MainExeName;
    const std::string delivered = GetAppDir() + kDefaultMainExe;
    // One file under two spellings (a case-insensitive file system) must not be deleted. After
    // an update the delivered program has its name already: a "main.exe" then is none of it.
    if (MainExeName != kDefaultMainExe && FileExists(delivered) &&
        !platform::SameFile(delivered, target) &&
        !update_transaction::UpdateCommitted(GetAppDir())) {
      // When the new program cannot take the name, the old one is started as it is.
      (void)FileDelete(target);
      (void)platform::RenameFile(delivered, target);
    }
    // Nothing is left to do when the program does not start: the updater ends all the same.
    if (platform::StartProgram(target, kStartArgument)) {
      log_.Write("started " + MainExeName + " " + kStartArgument);
    } else {
      log_.Write(MainExeName +
                 " could not be started: " + platform::ErrorText(platform::LastError()));
    }
  } catch (...) {
  }
}

void TUpdateRun::ForgetFinishedUpdate() {
  update_transaction::ForgetFinishedUpdate(ExtractFilePath(AppExecutablePath()));
}
