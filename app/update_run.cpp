// The update sequence's steps: preparation with the checks that come before anything is closed,
// the wait for the main program, extraction into the staging directory and the transaction, and
// the relaunch.
#include "app/update_run.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <thread>

#include "app/app_paths.h"
#include "app/hand_over_file.h"
#include "platform/error_text.h"
#include "platform/exceptions.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/injected_faults.h"
#include "platform/launch.h"
#include "platform/path_text.h"
#include "platform/process_name_match.h"
#include "platform/processes.h"
#include "platform/temporary_tree.h"
#include "resources/window_layout.h"
#include "signing/update_signature.h"
#include "unzip/base/checked_math.h"
#include "unzip/base/unzip_exceptions.h"

namespace {

constexpr char kHandOverFile[] = "uplog.txt";
constexpr char kMarkerFile[] = "\\MainRun._tmp";
constexpr char kStartArgument[] = "-start";
// A main program that has not gone after this long will not go: the update is not applied.
constexpr auto kCloseTimeLimit = std::chrono::seconds(60);
// A main program that is on its way out (it started the updater and is saving its state) is
// given this long to end by itself, and is looked at this often meanwhile.
constexpr auto kExitGrace = std::chrono::seconds(3);
constexpr auto kExitPoll = std::chrono::milliseconds(100);
// The version resource's (resources/update.rc), for the log.
constexpr char kUpdaterVersion[] = "1.1.0.0";
// Room kept free beyond the archive's uncompressed size: 1% of it plus 1 MB, for the journal,
// the directories and the file system's own bookkeeping.
constexpr int64_t kMegabyte = 1024 * 1024;
constexpr int64_t kSpaceMarginDivisor = 100;
constexpr char kWriteProbe[] = "write-probe";
// A hand-over file that cannot be opened is tried again this often, this long: its writer, the
// main program, is usually just exiting.
constexpr auto kHandOverRetryPause = std::chrono::milliseconds(100);
constexpr auto kHandOverRetryTime = std::chrono::seconds(1);
// The companion file that holds a directory for an archive without one: "update.zfc".
constexpr char kCompanionSuffix[] = ".zfc";

std::string NotCheckedText(const std::string& reason) {
  return "The update was not applied: it could not be checked (" + reason + ").";
}

std::string ChangedText(const std::string& what) {
  return "The update was not applied: " + std::string(kArchiveName) + " " + what +
         "; it is applied as checked or not at all.";
}

// The archive's name in the program directory without its extension, and the companion's.
std::string CompanionPath(const std::string& appDir) {
  const std::string archive = kArchiveName;
  return appDir + archive.substr(0, archive.rfind('.')) + kCompanionSuffix;
}

// Whether this user can create files in the program directory: a probe file in the staging
// directory, which the update writes first. Empty, or the refusal's text.
std::string WriteCheck(const std::string& appDir) {
  const std::string dir = platform::WithoutTrailingBackslash(appDir);
  const std::string staging = update_transaction::StagingDir(appDir);
  const bool existed = platform::ReadAttributes(staging) != platform::kInvalidAttributes;
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

// What the archive's directory says before anything is closed: a signed update is one file (no
// split parts, no companion file, which the signature does not cover), and the volume has room
// for the whole new tree, which is staged before the old one moves. An archive whose directory
// cannot be read is left to the extraction, which says why. Empty, or the refusal's text.
std::string DirectoryCheck(const std::string& appDir, const std::string& zipFileName,
                           bool signatureRequired) {
  if (signatureRequired &&
      platform::LinkFreeKind(CompanionPath(appDir)) != platform::PathKind::kMissing) {
    return "The update was not applied: signed updates are one file, and " +
           platform::DisplayPath(CompanionPath(appDir)) + " lies beside " + kArchiveName + ".";
  }
  int64_t needed = 0;
  try {
    TUnZipper directory;
    directory.DoProcessMessages = false;
    // No question reaches the user before the program is closed: the answer is "no".
    directory.OnHandleMessage = [](TUnZipper*, int, const std::string&, const std::string&,
                                   uint32_t, int&) {};
    directory.SetZipName(zipFileName);
    directory.LoadDirectory();
    if (signatureRequired && directory.EndRecord->GetThisDisk32() != 0) {
      return "The update was not applied: signed updates are one file, and " +
             std::string(kArchiveName) + " is a part of a split archive.";
    }
    for (int i = 0; i < directory.EntryCount(); ++i) {
      needed = SaturatingAdd(
          needed, ClampToInt64(directory.SortedEntries->Items(i)->GetUncompressedSize64()));
    }
    directory.ClearArchive();
  } catch (const EIncompleteZip&) {
    if (signatureRequired) {
      return "The update was not applied: signed updates are one file, and " +
             std::string(kArchiveName) + " needs the other parts of a split archive.";
    }
    return "";
  } catch (...) {
    return "";
  }
  needed = SaturatingAdd(SaturatingAdd(needed, needed / kSpaceMarginDivisor), kMegabyte);
  const std::string dir = platform::WithoutTrailingBackslash(appDir);
  const int64_t available = platform::FreeDiskSpace(dir);
  if (available < 0 || available >= needed) return "";  // unknown: the extraction finds out
  const int64_t neededMb = needed / kMegabyte + (needed % kMegabyte != 0 ? 1 : 0);
  return "The update needs " + std::to_string(neededMb) + " MB on the volume of " +
         platform::DisplayPath(dir) + ", but only " + std::to_string(available / kMegabyte) +
         " MB are free; the update was not applied.";
}

// The main program's file name from what the hand-over file names: a bare file name as it
// stands; a path (full, or relative to the program directory) as its file name when it leads
// into the program directory. Empty, with `refusal` set, for anything else: the name is used to
// close, replace and start a file, so it never leads out of the program directory.
std::string ProgramFileName(const std::string& named, const std::string& appDir,
                            std::string* refusal) {
  if (platform::IsBareFileName(named)) return named;
  std::string path = named;
  platform::SlashesToBackslashes(path);
  const std::string dir = platform::ExtractFilePath(path);
  const std::string name = path.substr(dir.size());
  if (!dir.empty() && platform::IsBareFileName(name)) {
    const bool absolute = dir[0] == '\\' || (dir.size() >= 2 && dir[1] == ':');
    const std::string expanded = platform::ExpandFileName(absolute ? dir : appDir + dir);
    if (!expanded.empty() && platform::SameFile(platform::WithoutTrailingBackslash(expanded),
                                                platform::WithoutTrailingBackslash(appDir))) {
      return name;
    }
  }
  *refusal = std::string(kHandOverFile) + " names " + named + ", which is not " +
             (platform::IsBareFileName(name) ? "in the program directory" : "a file name");
  return "";
}

void Notify(const std::function<void()>& event) {
  if (event) event();
}

// Whether no process of `name` runs, waiting up to `grace` for the last one to end by itself.
bool WaitForExit(const std::string& name, std::chrono::milliseconds grace,
                 const std::function<void()>& onWait = {}) {
  const auto start = std::chrono::steady_clock::now();
  while (platform::FindProcessID(name) > 0) {
    if (std::chrono::steady_clock::now() - start >= grace) return false;
    Notify(onWait);
    std::this_thread::sleep_for(kExitPoll);
  }
  return true;
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
                              const std::vector<std::string>& extracted,
                              const std::vector<std::string>& keepPermissionsOf,
                              platform::FileSystemFlush& stagedFiles,
                              const update_transaction::TPump& pump) {
  namespace transaction = update_transaction;
  std::string refusedName;
  if (!transaction::PlanMoves(appDir, &journal, extracted, &refusedName)) {
    return platform::HasControlCharacter(refusedName) || !platform::IsPlainRelativePath(refusedName)
               ? "an entry's name holds characters no file name may hold; the update was not "
                 "applied"
               : refusedName + " was not updated: the name is kept for the updater's own files";
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
  const std::string appDir = GetAppDir();
  ZipFileName = appDir + kArchiveName;
  // Anything at the archive's name waits (a link, a directory, a device too): the checks say
  // why it cannot be applied. Only "no such file" means that there is nothing to apply.
  const platform::PathKind archiveKind = platform::LinkFreeKind(ZipFileName);
  const bool archiveWaits = archiveKind != platform::PathKind::kMissing;
  archiveWaited_ = archiveWaits;
  // Refused until every check has passed: an error anywhere below leaves it refused.
  checksPassed_ = false;
  refusal_ = {NotCheckedText("the preparation did not finish"), false};
  std::string failure;
  try {
    LogList.clear();
    int64_t archiveSize = -1;
    if (archiveKind == platform::PathKind::kFile) {
      platform::File archive = platform::File::Open(ZipFileName, platform::kOpenRead);
      archiveSize = archive.IsOpen() ? archive.Size() : -1;
    }
    log_.Write("update " + std::string(kUpdaterVersion) + " started; " +
               (archiveWaits
                    ? std::string(kArchiveName) + ": " + std::to_string(archiveSize) + " bytes"
                    : "no " + std::string(kArchiveName)));
    ReadHandOver(archiveWaits);
    log_.Write("main program: " + MainExeName);
    const std::string handOver = appDir + kHandOverFile;
    const bool isItself = platform::ProcessNameMatches(AppExecutablePath(), MainExeName);
    if (!archiveWaits) {
      refusal_ = {};
      Notify(OnNothingToApply);
      if (handedOver_) (void)platform::RemoveFile(handOver);
    } else {
      // The journal knows the name before the hand-over file goes: a run killed from here on
      // still finishes the update under it.
      const bool remembered = update_transaction::RememberMainProgram(appDir, MainExeName);
      // Nothing is closed for an update that cannot be done: a running program stays as it is,
      // one that had ended starts again.
      const std::string refusal = CheckBeforeClosing();
      // The checks ran to their end: the journal knows the name, and a hand-over file that
      // cannot be deleted is read again by the next run.
      if (handedOver_ && remembered) (void)platform::RemoveFile(handOver);
      if (refusal.empty()) {
        checksPassed_ = true;
        refusal_ = {};
      } else {
        // Whether the program starts again is decided when the box has been answered: one that
        // was still exiting then has ended.
        refusal_ = {refusal, true};
        refused_ = true;
        log_.Write(refusal);
      }
    }
    // A first attempt only: the wait for the main program terminates it again until it is gone.
    if ((checksPassed_ || !archiveWaits) && !isItself) {
      wasRunning_ = platform::FindProcessID(MainExeName) > 0;
      (void)platform::KillProcessByName(MainExeName);
    }
    Notify(OnWait);
    // The marker only tells the main program that it was started before: one that stays is
    // harmless.
    const std::string marker = appDir + kMarkerFile;
    if (platform::FileExists(marker)) (void)platform::RemoveFile(marker);
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "an unexpected error";
  }
  if (!failure.empty() && archiveWaits && !checksPassed_) {
    // A program whose name is known starts again as it was when it is not running once the box
    // has been answered; one whose name could not be read is not guessed at.
    const bool known = !MainExeName.empty();
    refusal_ = {NotCheckedText(failure), known};
    refused_ = true;
    log_.Write(refusal_.Failure);
    if (!known) log_.Write("the main program is not known and not started");
  } else if (!failure.empty()) {
    log_.Write("the preparation stopped: " + failure);
    if (MainExeName.empty()) {
      // Without an archive nothing was at stake but the relaunch, and the name is not known.
      refusal_ = {"The program to start again could not be settled (" + failure + ").", false};
      log_.Write("the main program is not known and not started");
    }
  }
}

void TUpdateRun::ReadHandOver(bool archiveWaits) {
  const std::string handOver = GetAppDir() + kHandOverFile;
  // Present is anything but "no such file": a link that leads nowhere, a FIFO or a file that
  // cannot be read is a hand-over that failed, not an absent one.
  handedOver_ = platform::LinkFreeKind(handOver) != platform::PathKind::kMissing;
  if (handedOver_) {
    const platform::PathKind kind = platform::KindOfPath(handOver);
    if (kind == platform::PathKind::kUnknown) {
      throw EStreamError(std::string(kHandOverFile) + " cannot be read: " +
                         platform::SystemErrorText(platform::LastError().code));
    }
    if (kind != platform::PathKind::kFile) {
      throw EStreamError(std::string(kHandOverFile) + " is " + platform::PathKindText(kind) +
                         ", not a regular file");
    }
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
      try {
        LogList = LoadLines(handOver);
        break;
      } catch (const EFOpenError&) {
        if (std::chrono::steady_clock::now() - start >= kHandOverRetryTime) throw;
      }
      Notify(OnWait);
      std::this_thread::sleep_for(kHandOverRetryPause);
    }
  }
  // Without a hand-over file, a journal's name stands in while its archive waits, or for the
  // relaunch after an update it applied; otherwise the default does.
  if (LogList.empty() && !recovery_.MainExeName.empty() &&
      (archiveWaits || AppliedUpdateAwaitsRelaunch())) {
    MainExeName = recovery_.MainExeName;
    return;
  }
  std::string refusal;
  MainExeName = ProgramFileName(MainExeNameFrom(LogList), GetAppDir(), &refusal);
  if (!refusal.empty()) throw EStreamError(refusal);
}

std::string TUpdateRun::OpenAndHashArchive(uint8_t (&digest)[platform::kSha256Length]) {
  const platform::PathKind kind = platform::LinkFreeKind(ZipFileName);
  if (kind == platform::PathKind::kUnknown) {
    return NotCheckedText(std::string(kArchiveName) + " cannot be read: " +
                          platform::SystemErrorText(platform::LastError().code));
  }
  if (kind != platform::PathKind::kFile) {
    return "The update was not applied: " + std::string(kArchiveName) + " is " +
           platform::PathKindText(kind) + ", not a regular file.";
  }
  // Others may read it meanwhile, but not write, rename or delete it (on Windows; on POSIX the
  // stamps below tell).
  platform::File file =
      platform::File::Open(ZipFileName, platform::kOpenRead | platform::kShareDenyWrite);
  platform::FileStamp stamp;
  if (!file.IsOpen() || !file.ReadStamp(&stamp) || !platform::Sha256OfOpenFile(file, digest)) {
    return NotCheckedText(platform::ErrorText(platform::LastError(), ZipFileName));
  }
  platform::FileStamp after;
  if (!file.ReadStamp(&after)) {
    return NotCheckedText(platform::ErrorText(platform::LastError(), ZipFileName));
  }
  if (!(after == stamp)) return ChangedText("changed while it was checked");
  if (archive_.IsOpen() && !stamp.SameFileAs(archiveStamp_)) {
    return ChangedText("was replaced after it was checked");
  }
  if (archive_.IsOpen() && !(stamp == archiveStamp_)) {
    return ChangedText("changed after it was checked");
  }
  archive_ = std::move(file);
  archiveStamp_ = stamp;
  return "";
}

std::string TUpdateRun::CheckBeforeClosing() {
  const std::string appDir = GetAppDir();
  const std::string dir = platform::WithoutTrailingBackslash(appDir);
  if (!recovery_.JournalProblem.empty()) {
    return "The update was not applied: an earlier update's record could not be read (" +
           recovery_.JournalProblem + "); nothing was changed.";
  }
  signatureRequired_ = signing::UpdateSignatureRequired(dir);
  std::string refusal = OpenAndHashArchive(archiveDigest_);
  if (!refusal.empty()) return refusal;
  if (signatureRequired_) {
    const signing::SignatureCheck check =
        signing::CheckUpdateSignatureOfDigest(dir, kArchiveName, archiveDigest_);
    if (!check.Verified) return signing::SignatureRefusalText(check.Reason);
    log_.Write("the signature of " + std::string(kArchiveName) + " was verified");
  }
  refusal = WriteCheck(appDir);
  if (refusal.empty()) refusal = DirectoryCheck(appDir, ZipFileName, signatureRequired_);
  return refusal;
}

std::string TUpdateRun::CheckArchiveAgain() {
  if (!archive_.IsOpen()) return NotCheckedText("the archive was not opened");
  // The name must still lead to the file that was checked, and that file must hold what it held.
  uint8_t digest[platform::kSha256Length];
  std::string refusal = OpenAndHashArchive(digest);
  if (!refusal.empty()) return refusal;
  if (!signatureRequired_) {
    std::copy(std::begin(digest), std::end(digest), std::begin(archiveDigest_));
    return "";
  }
  if (!std::equal(std::begin(digest), std::end(digest), std::begin(archiveDigest_))) {
    return ChangedText("changed after it was checked");
  }
  // This check decides: the key and the signature are read again, and verified on the digest
  // of the bytes that are extracted next.
  const std::string dir = platform::WithoutTrailingBackslash(GetAppDir());
  const signing::SignatureCheck check =
      signing::CheckUpdateSignatureOfDigest(dir, kArchiveName, digest);
  if (!check.Verified) return signing::SignatureRefusalText(check.Reason);
  log_.Write("the signature of " + std::string(kArchiveName) +
             " was verified again on the bytes that are applied");
  return "";
}

bool TUpdateRun::AppliedUpdateAwaitsRelaunch() const {
  return update_transaction::UpdateCommitted(GetAppDir());
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
  if (!checksPassed_) {
    // Nothing is applied that this run did not check.
    unzip_.reset();
    archive_.Close();
    if (refusal_.Failure.empty()) refusal_ = {NotCheckedText("the checks did not run"), false};
    return refusal_;
  }
  if (recovery_.Unfinished) {
    // The files of an earlier update are half in place, perhaps held by the program that has
    // just been closed: the recovery is tried once more before the update is refused.
    recovery_ = update_transaction::RecoverInterruptedUpdate(GetAppDir(), ZipFileName);
  }
  if (recovery_.Unfinished) {
    unzip_.reset();
    archive_.Close();
    const std::string failure =
        "An earlier update could not be finished; the next start tries again";
    log_.Write("the update was not applied: " + failure);
    return {failure};
  }
  namespace transaction = update_transaction;
  const std::string appDir = GetAppDir();
  const std::string staging = transaction::StagingDir(appDir);
  // The program has gone: this check of the archive decides what is applied.
  platform::PausePoint("closed");
  if (const std::string changed = CheckArchiveAgain(); !changed.empty()) {
    unzip_.reset();
    archive_.Close();
    log_.Write(changed);
    return {changed};
  }
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
  // What is applied is what the extraction wrote and verified, nothing else that lies in the
  // staging directory. Files that bring no permission bits of their own keep those of the file
  // they replace.
  std::vector<std::string> extracted;
  std::vector<std::string> keepPermissionsOf;
  std::string currentEntry;
  unzip_->OnEndUnZip = [&](TUnZipper* sender, int index, const std::string& name) {
    currentEntry.clear();
    if (name.compare(0, staging.size(), staging) != 0) return;
    extracted.push_back(name.substr(staging.size()));
    if (!sender->SortedEntries->Items(index)->HasUnixPermissions()) {
      keepPermissionsOf.push_back(extracted.back());
    }
  };
  // The entry being written, to name it when the extraction fails on it.
  unzip_->OnStartUnZip = [&](TUnZipper* sender, int index, const std::string&, bool&) {
    currentEntry = sender->EntryFileName(index);
  };
  unzip_->DoAll = true;
  // Everything is extracted and verified into the staging directory before anything of the
  // program is touched; the journal names the main program from the start, as the hand-over
  // file is gone already.
  TUpdateJournal journal;
  journal.MainExeName = MainExeName;
  // A recovery deletes only the archive it staged: the one just checked.
  journal.Archive = transaction::ArchiveIdentity(archiveStamp_.Size, archiveDigest_);
  // Watched from before the first staged byte: its flush reports any write-back failure since.
  platform::FileSystemFlush stagedFiles(appDir);
  const transaction::TPump pump = [this] { Notify(OnWait); };
  std::string failure;
  // The extraction begins in an empty staging directory: nothing left there rides along.
  (void)platform::RemoveDirectoryTree(staging);
  if (platform::LinkFreeKind(platform::WithoutTrailingBackslash(staging)) !=
      platform::PathKind::kMissing) {
    failure = "The update could not be prepared: " +
              platform::DisplayPath(platform::WithoutTrailingBackslash(staging)) +
              " could not be emptied";
  } else if (!transaction::WriteJournal(appDir, journal)) {
    failure = "The update could not be prepared: " + transaction::LastFailureText(appDir);
  }
  if (failure.empty()) {
    unzip_->SetDestDir(staging);
    unzip_->RecreateDirs = true;
    unzip_->RetainAttributes = true;
    // The component reads through one handle from the directory to the last entry; it must be
    // the file that was checked, unchanged at the end.
    unzip_->KeepZipOpen = true;
    try {
      unzip_->LoadDirectory();
      platform::FileStamp read;
      if (!unzip_->ArchiveFile || !unzip_->ArchiveFile->FileHandle().ReadStamp(&read) ||
          !read.SameFileAs(archiveStamp_)) {
        failure = ChangedText("was replaced after it was checked");
      } else {
        unzip_->UnZip();
        journal.Stored = transaction::StoredDirectories(*unzip_);
      }
    } catch (const std::exception& e) {
      // Named with the entry it stopped on, when it stopped on one.
      failure = currentEntry.empty() ? std::string(e.what()) : currentEntry + ": " + e.what();
      log_.Write("the extraction failed: " + failure);
    }
    platform::FileStamp after;
    if (failure.empty() && (!archive_.ReadStamp(&after) || !(after == archiveStamp_))) {
      failure = ChangedText("changed while it was applied");
    }
    if (failure.empty()) failure = firstProblem_;
  }
  unzip_.reset();  // closes the archive: it is deleted below, or kept
  archive_.Close();
  if (failure.empty()) {
    failure = ApplyStagedUpdate(appDir, journal, extracted, keepPermissionsOf, stagedFiles, pump);
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
    if (MainExeName.empty()) return;
    const std::string target = GetAppDir() + MainExeName;
    const std::string delivered = GetAppDir() + kDefaultMainExe;
    // A "main.exe" beside a program of another name becomes the program only where no archive
    // waited: an update delivers its program through the transaction, and after this run's own
    // failure or refusal the directory stays as it was. One file under two spellings (a
    // case-insensitive file system) is no delivery at all.
    if (!archiveWaited_ && MainExeName != kDefaultMainExe && platform::FileExists(delivered) &&
        !platform::SameFile(delivered, target) &&
        !update_transaction::UpdateCommitted(GetAppDir())) {
      // In one step: when it fails, the old program is still there and is started.
      if (!platform::ReplaceFileAtomically(delivered, target)) {
        log_.Write(std::string(kDefaultMainExe) + " could not become " + MainExeName + ": " +
                   platform::ErrorText(platform::LastError()));
      }
    }
    // After a refusal the program starts again only when it is not running now, after the box:
    // one that is still exiting (it started the updater and ended, as it should) is given a
    // moment to end first.
    if (refused_ && !platform::ProcessNameMatches(AppExecutablePath(), MainExeName) &&
        !WaitForExit(MainExeName, kExitGrace, OnWait)) {
      log_.Write(MainExeName + " was left running");
      return;
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
  update_transaction::ForgetFinishedUpdate(GetAppDir());
}
