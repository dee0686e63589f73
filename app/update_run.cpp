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
#include "app/archive_check.h"
#include "app/files_in_use.h"
#include "app/hand_over_file.h"
#include "app/link_check.h"
#include "app/release_check.h"
#include "app/update_result.h"
#include "platform/ascii_case.h"
#include "platform/error_text.h"
#include "platform/exceptions.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/injected_faults.h"
#include "platform/launch.h"
#include "platform/path_text.h"
#include "platform/process_name_match.h"
#include "platform/processes.h"
#include "platform/product_version.h"
#include "platform/temporary_tree.h"
#include "release/own_names.h"
#include "release/release_record.h"
#include "resources/window_layout.h"
#include "signing/update_signature.h"
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
constexpr char kWriteProbe[] = "write-probe";
// An archive that can never be applied as it is goes aside under this name (with its signature),
// so that a program that starts the updater whenever an archive waits does not loop.
constexpr char kRefusedSuffix[] = ".refused";
// A hand-over file that cannot be opened is tried again this often, this long: its writer, the
// main program, is usually just exiting.
constexpr auto kHandOverRetryPause = std::chrono::milliseconds(100);
constexpr auto kHandOverRetryTime = std::chrono::seconds(1);

std::string NotCheckedText(const std::string& reason) {
  return NotAppliedText("it could not be checked (" + reason + ")");
}

std::string ChangedText(const std::string& what) {
  return NotAppliedText(std::string(kArchiveName) + " " + what +
                        "; it is applied as checked or not at all");
}

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

// `name` as the program directory spells it: a name that matches no file exactly but exactly one
// file of the directory with the ASCII letters in another case is that file (a program that
// wrote its name as Windows would let it, on a file system that tells cases apart); else `name`.
std::string SpelledAsOnDisk(const std::string& name, const std::string& appDir) {
  if (platform::LinkFreeKind(appDir + name) != platform::PathKind::kMissing) return name;
  std::string found;
  for (const std::string& path : platform::ListDirectoryTree(appDir)) {
    if (path.find('\\') != std::string::npos || !platform::EqualsIgnoringAsciiCase(path, name)) {
      continue;
    }
    if (!found.empty()) return name;  // two candidates: none is taken
    found = path;
  }
  return found.empty() ? name : found;
}

// The main program's file name from what the hand-over file names: a bare file name as it
// stands; a path (full, or relative to the program directory) as its file name when it leads
// into the program directory. Empty, with `refusal` set, for anything else: the name is used to
// close, replace and start a file, so it never leads out of the program directory.
std::string ProgramFileName(const std::string& named, const std::string& appDir,
                            std::string* refusal) {
  if (platform::IsBareFileName(named)) return SpelledAsOnDisk(named, appDir);
  std::string path = named;
  platform::SlashesToBackslashes(path);
  const std::string dir = platform::ExtractFilePath(path);
  const std::string name = path.substr(dir.size());
  if (!dir.empty() && platform::IsBareFileName(name)) {
    const bool absolute = dir[0] == '\\' || (dir.size() >= 2 && dir[1] == ':');
    const std::string expanded = platform::ExpandFileName(absolute ? dir : appDir + dir);
    if (!expanded.empty() && platform::SameFile(platform::WithoutTrailingBackslash(expanded),
                                                platform::WithoutTrailingBackslash(appDir))) {
      return SpelledAsOnDisk(name, appDir);
    }
  }
  *refusal = std::string(kHandOverFile) + " names " + named + ", which is not " +
             (platform::IsBareFileName(name) ? "in the program directory" : "a file name");
  return "";
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
    case srUnknownMethod:
      return "it is compressed with a method the updater does not read";
    case srStrongEncryption:
      return "it is encrypted with PKWARE strong encryption, which the updater does not read";
    default:
      return "it was skipped";
  }
}

// Moves what was extracted into the program directory; the failure's text, or empty.
std::string ApplyStagedUpdate(
    const std::string& appDir, TUpdateJournal& journal, const std::vector<std::string>& extracted,
    const std::vector<std::string>& removals, const std::vector<std::string>& keepPermissionsOf,
    platform::FileSystemFlush& stagedFiles, const update_transaction::TPump& pump, bool* permanent,
    files_in_use::TLockWaits& commitWaits, files_in_use::TLockWaits& rollBackWaits) {
  namespace transaction = update_transaction;
  std::string refusedName;
  if (!transaction::PlanMoves(appDir, &journal, extracted, removals, &refusedName)) {
    *permanent = true;
    return platform::HasControlCharacter(refusedName) || !platform::IsPlainRelativePath(refusedName)
               ? "an entry's name holds characters no file name may hold; the update was not "
                 "applied"
               : refusedName + " was not updated: the name is kept for the updater's own files";
  }
  if (!transaction::WriteJournal(appDir, journal)) {
    return "The update could not be prepared: " + transaction::LastFailureText(appDir);
  }
  if (transaction::Commit(appDir, journal, keepPermissionsOf, &stagedFiles, pump, &commitWaits)) {
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
  // What stopped the last run, when a file in use did: said again if it stops this one too.
  if (!files_in_use::ParseLockFailure(ReadLockedItem(appDir), &previousLock_)) previousLock_ = {};
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
    log_.Write("update " + std::string(platform::kProductVersion) + " started; " +
               (archiveWaits
                    ? std::string(kArchiveName) + ": " + std::to_string(archiveSize) + " bytes"
                    : "no " + std::string(kArchiveName)));
    ReadHandOver(archiveWaits);
    log_.Write("main program: " + MainExeName);
    const std::string handOver = appDir + kHandOverFile;
    const bool isItself = platform::ProcessNameMatches(AppExecutablePath(), MainExeName);
    if (!archiveWaits) {
      refusal_ = {};
      result_ = {TUpdateOutcome::kNothing, "no " + std::string(kArchiveName), {}, {}};
      Notify(OnNothingToApply);
      if (handedOver_) (void)platform::RemoveFile(handOver);
    } else {
      // The journal knows the name before the hand-over file goes: a run killed from here on
      // still finishes the update under it.
      const bool remembered = update_transaction::RememberMainProgram(appDir, MainExeName);
      // Nothing is closed for an update that cannot be done: a running program stays as it is,
      // one that had ended starts again.
      const TRefusal refusal = CheckBeforeClosing();
      // The checks ran to their end: the journal knows the name, and a hand-over file that
      // cannot be deleted is read again by the next run.
      if (handedOver_ && remembered) (void)platform::RemoveFile(handOver);
      if (refusal.Passed()) {
        checksPassed_ = true;
        refusal_ = {};
      } else {
        // Whether the program starts again is decided when the box has been answered: one that
        // was still exiting then has ended.
        Refuse(refusal, true);
      }
    }
    // Nothing is terminated yet: the wait for the main program gives it time to end by itself.
    // Without an archive there is no wait: a program still running after that time is
    // terminated once here, to be started again.
    if ((checksPassed_ || !archiveWaits) && !isItself) {
      wasRunning_ = platform::FindProcessID(MainExeName) > 0;
      if (!archiveWaits && wasRunning_ && !WaitForExit(MainExeName, kExitGrace, OnWait)) {
        (void)platform::KillProcessByName(MainExeName);
      }
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
    Refuse({NotCheckedText(failure)}, known);
    if (!known) log_.Write("the main program is not known and not started");
  } else if (!failure.empty()) {
    log_.Write("the preparation stopped: " + failure);
    if (MainExeName.empty()) {
      // Without an archive nothing was at stake but the relaunch, and the name is not known.
      refusal_ = {"The program to start again could not be settled (" + failure + ").", false};
      result_ = {TUpdateOutcome::kNothing, refusal_.Failure, {}, {}};
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

TRefusal TUpdateRun::OpenAndHashArchive(uint8_t (&digest)[platform::kSha256Length]) {
  const platform::PathKind kind = platform::LinkFreeKind(ZipFileName);
  if (kind == platform::PathKind::kUnknown) {
    return {NotCheckedText(std::string(kArchiveName) + " cannot be read: " +
                           platform::SystemErrorText(platform::LastError().code))};
  }
  if (kind != platform::PathKind::kFile) {
    return {NotAppliedText(std::string(kArchiveName) + " is " + platform::PathKindText(kind) +
                           ", not a regular file"),
            true};
  }
  // Others may read it meanwhile, but not write, rename or delete it (on Windows; on POSIX the
  // stamps below tell).
  platform::File file =
      platform::File::Open(ZipFileName, platform::kOpenRead | platform::kShareDenyWrite);
  platform::FileStamp stamp;
  if (!file.IsOpen() || !file.ReadStamp(&stamp) || !platform::Sha256OfOpenFile(file, digest)) {
    return {NotCheckedText(platform::ErrorText(platform::LastError(), ZipFileName))};
  }
  platform::FileStamp after;
  if (!file.ReadStamp(&after)) {
    return {NotCheckedText(platform::ErrorText(platform::LastError(), ZipFileName))};
  }
  if (!(after == stamp)) return {ChangedText("changed while it was checked")};
  if (archive_.IsOpen() && !stamp.SameFileAs(archiveStamp_)) {
    return {ChangedText("was replaced after it was checked")};
  }
  if (archive_.IsOpen() && !(stamp == archiveStamp_)) {
    return {ChangedText("changed after it was checked")};
  }
  archive_ = std::move(file);
  archiveStamp_ = stamp;
  return {};
}

TRefusal TUpdateRun::CheckBeforeClosing() {
  const std::string appDir = GetAppDir();
  const std::string dir = platform::WithoutTrailingBackslash(appDir);
  if (!recovery_.JournalProblem.empty()) {
    return {NotAppliedText("an earlier update's record could not be read (" +
                           recovery_.JournalProblem + "); nothing was changed")};
  }
  signatureRequired_ = signing::UpdateSignatureRequired(dir);
  TRefusal refusal = OpenAndHashArchive(archiveDigest_);
  if (!refusal.Passed()) return refusal;
  if (signatureRequired_) {
    const signing::SignatureCheck check =
        signing::CheckUpdateSignatureOfDigest(dir, kArchiveName, archiveDigest_);
    if (!check.Verified) return {signing::SignatureRefusalText(check.Reason), true};
    log_.Write("the signature of " + std::string(kArchiveName) + " was verified");
  }
  int64_t needed = 0;
  std::vector<std::string> files;
  {
    // No question reaches the user before the program is closed (the answer is "no"), and
    // nothing is pumped: the window may not be there yet. The directory read here is the one
    // extracted, through the handle that reads it.
    TQuietComponent quiet(*unzip_);
    unzip_->KeepZipOpen = true;
    refusal = CheckArchiveDirectory(*unzip_, appDir, ZipFileName, MainExeName, signatureRequired_,
                                    &needed, &files);
    if (!refusal.Passed()) return refusal;
    TArchiveRelease release;
    refusal = ReadArchiveRelease(*unzip_, &release);
    if (!refusal.Passed()) return refusal;
    const std::string updaterName =
        AppExecutablePath().substr(platform::ExtractFilePath(AppExecutablePath()).size());
    refusal =
        CheckRelease(appDir, release, signatureRequired_, MainExeName, updaterName, &removals_);
    if (!refusal.Passed()) return refusal;
    LogRelease(release);
  }
  // The files the release takes away are renamed by the commit like the files it brings.
  files.insert(files.end(), removals_.begin(), removals_.end());
  // Nothing is written through a link on the way to a file of the update (it would land outside
  // the program directory). The links may go: the refusal passes then.
  refusal.Text = ProgramTreeLinkRefusal(appDir, files);
  if (!refusal.Passed()) return refusal;
  refusal.Text = WriteCheck(appDir);
  if (!refusal.Passed()) return refusal;
  refusal = CheckRoom(appDir, needed);
  if (!refusal.Passed()) return refusal;
  // A file that another program holds would stop the commit half-way: said now, while nothing is
  // closed. A stale "main.exe" is retired beside the files replaced.
  if (MainExeName != kDefaultMainExe) files.push_back(kDefaultMainExe);
  refusal.Text = files_in_use::CheckFilesInUse(appDir, files, MainExeName);
  return refusal;
}

void TUpdateRun::LogRelease(const TArchiveRelease& release) {
  if (!release.Present) return;
  TReleaseRecord record;
  std::string ignored;
  if (!ParseReleaseRecord(release.Text, &record, &ignored)) return;
  log_.Write(std::string(kArchiveName) + " holds " + record.Product + " " + record.Version +
             (record.From.empty() ? "" : " (the changes from " + record.From + ")") +
             (record.Removals.empty()
                  ? ""
                  : ", removing " + std::to_string(record.Removals.size()) + " files"));
}

TRefusal TUpdateRun::CheckArchiveAgain() {
  if (!archive_.IsOpen()) return {NotCheckedText("the archive was not opened")};
  // The name must still lead to the file that was checked, and that file must hold what it held.
  uint8_t digest[platform::kSha256Length];
  const TRefusal refusal = OpenAndHashArchive(digest);
  if (!refusal.Passed()) return refusal;
  if (!signatureRequired_) {
    std::copy(std::begin(digest), std::end(digest), std::begin(archiveDigest_));
    return {};
  }
  if (!std::equal(std::begin(digest), std::end(digest), std::begin(archiveDigest_))) {
    return {ChangedText("changed after it was checked")};
  }
  // This check decides: the key and the signature are read again, and verified on the digest
  // of the bytes that are extracted next.
  const std::string dir = platform::WithoutTrailingBackslash(GetAppDir());
  const signing::SignatureCheck check =
      signing::CheckUpdateSignatureOfDigest(dir, kArchiveName, digest);
  if (!check.Verified) return {signing::SignatureRefusalText(check.Reason), true};
  log_.Write("the signature of " + std::string(kArchiveName) +
             " was verified again on the bytes that are applied");
  return {};
}

void TUpdateRun::SetArchiveAside() {
  archive_.Close();
  const std::string aside = ZipFileName + kRefusedSuffix;
  if (!platform::ReplaceFileAtomically(ZipFileName, aside)) {
    log_.Write(std::string(kArchiveName) +
               " could not be set aside: " + platform::ErrorText(platform::LastError()));
    return;
  }
  // Its signature goes with it; an older one's, without a signature of its own, goes away.
  const std::string signature = ZipFileName + signing::kSignatureSuffix;
  if (platform::LinkFreeKind(signature) != platform::PathKind::kMissing) {
    (void)platform::ReplaceFileAtomically(signature, aside + signing::kSignatureSuffix);
  } else {
    (void)platform::RemoveFile(aside + signing::kSignatureSuffix);
  }
  log_.Write(std::string(kArchiveName) + " cannot be applied as it is: it was set aside as " +
             kArchiveName + kRefusedSuffix);
  result_.Reason +=
      " " + std::string(kArchiveName) + " was set aside as " + kArchiveName + kRefusedSuffix + ".";
}

void TUpdateRun::Refuse(const TRefusal& refusal, bool relaunch) {
  // Nothing of the archive is read after a refusal: the component lets go of it (on Windows its
  // handle would keep it from being set aside).
  if (unzip_) unzip_->ClearArchive();
  refusal_ = {refusal.Text, relaunch};
  refused_ = true;
  result_ = {TUpdateOutcome::kNotApplied, refusal.Text, {}, {}};
  log_.Write(refusal.Text);
  if (refusal.Permanent) SetArchiveAside();
}

bool TUpdateRun::AppliedUpdateAwaitsRelaunch() const {
  return update_transaction::UpdateCommitted(GetAppDir());
}

TRunResult TUpdateRun::WaitForMainProgram() {
  if (!refusal_.Failure.empty()) return refusal_;
  // The updater never waits for itself: a main program of its own name would be itself.
  if (platform::ProcessNameMatches(AppExecutablePath(), MainExeName)) return {};
  // A program that started the updater and is on its way out (saving its state) ends by itself:
  // it is not killed for that.
  if (WaitForExit(MainExeName, kExitGrace, OnWait)) {
    if (wasRunning_) log_.Write(MainExeName + " ended by itself");
    return {};
  }
  const auto start = std::chrono::steady_clock::now();
  for (int id = platform::FindProcessID(MainExeName); id > 0;
       id = platform::FindProcessID(MainExeName)) {
    if (std::chrono::steady_clock::now() - start >= kCloseTimeLimit) {
      const std::string user = platform::ProcessUserName(id);
      const std::string failure = MainExeName + " (process " + std::to_string(id) +
                                  (user.empty() ? "" : ", user " + user) +
                                  ") could not be closed; the update was not applied.";
      log_.Write(failure);
      log_.Write(MainExeName + " is not started again");
      result_ = {TUpdateOutcome::kNotApplied, failure, {}, {}};
      return {failure, false};
    }
    // The search above says whether the termination took.
    (void)platform::KillProcessByName(MainExeName);
    Notify(OnWait);
    std::this_thread::sleep_for(kExitPoll);
  }
  log_.Write("closed " + MainExeName);
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
    result_ = {TUpdateOutcome::kNotApplied, failure, {}, {}};
    return {failure};
  }
  namespace transaction = update_transaction;
  const std::string appDir = GetAppDir();
  const std::string staging = transaction::StagingDir(appDir);
  // FAT and exFAT keep no order among unflushed renames: a power cut there may cost a file.
  if (platform::IsOnFatVolume(platform::WithoutTrailingBackslash(appDir))) {
    log_.Write(
        "the program directory is on a FAT or exFAT volume: the update is safe against a "
        "kill, not against a power cut");
  }
  // The program has gone: this check of the archive decides what is applied.
  platform::PausePoint("closed");
  if (const TRefusal again = CheckArchiveAgain(); !again.Passed()) {
    unzip_.reset();
    Refuse(again, true);
    archive_.Close();
    return refusal_;
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
    if (firstProblem_.empty()) {
      firstProblem_ = problem;
      // What the archive holds never changes; a file that could not be written may next time.
      problemPermanent_ = reason != srCreateError && reason != srNoOverwrite;
    }
  };
  unzip_->OnBadCRC = [this](TUnZipper* sender, uint32_t, uint32_t, int index) {
    const std::string problem =
        sender->EntryFileName(index) + ": damaged data (its CRC-32 does not match)";
    log_.Write("failed entry " + problem);
    if (firstProblem_.empty()) {
      firstProblem_ = problem;
      problemPermanent_ = true;
    }
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
      // The component's own errors are the archive's: damaged data, which stays damaged. Those
      // of the system (a disk full, a file that cannot be written) may pass. Either is named
      // with the entry it stopped on, when it stopped on one.
      const bool writing = dynamic_cast<const ECantWriteUCF*>(&e) != nullptr ||
                           dynamic_cast<const EUserCanceled*>(&e) != nullptr;
      const bool damaged = !writing && (dynamic_cast<const EUnZipException*>(&e) != nullptr ||
                                        dynamic_cast<const EZLibError*>(&e) != nullptr);
      problemPermanent_ = damaged;
      const std::string what = damaged ? "damaged data (" + std::string(e.what()) + ")" : e.what();
      failure = currentEntry.empty() ? what : currentEntry + ": " + what;
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
    // Renames held up by another program's handle wait, within one budget for the commit and
    // one for a roll-back; each wait is logged once per file, and the window pumped.
    files_in_use::TLockWaits commitWaits;
    files_in_use::TLockWaits rollBackWaits;
    std::string lastWait;
    for (files_in_use::TLockWaits* waits : {&commitWaits, &rollBackWaits}) {
      waits->OnWait = [this, &lastWait](const std::string& text) {
        if (text != lastWait) log_.Write(text);
        lastWait = text;
        Notify(OnWait);
      };
    }
    failure = ApplyStagedUpdate(appDir, journal, extracted, removals_, keepPermissionsOf,
                                stagedFiles, pump, &problemPermanent_, commitWaits, rollBackWaits);
    if (!commitWaits.LockedFile().empty()) {
      // The same archive stopped by the same file twice: a person must act.
      const files_in_use::TLockFailure lock{journal.Archive.Sha256, commitWaits.LockedFile()};
      const std::string repeated = files_in_use::RepeatedLockFailureText(previousLock_, lock);
      if (!repeated.empty()) failure += "; " + repeated;
      result_.Locked = files_in_use::LockFailureLine(lock);
    }
  }
  if (failure.empty()) {
    const auto retired =
        std::count_if(journal.Files.begin(), journal.Files.end(),
                      [](const TUpdateJournal::TMove& m) { return m.staged.empty(); });
    log_.Write("replaced or added " + std::to_string(journal.Files.size() - retired) +
               " files, removed " + std::to_string(retired));
    transaction::CleanUp(appDir, ZipFileName, pump);
    log_.Write("the update was applied");
  } else if (journal.State == TUpdateJournal::jsStaged) {
    // The archive stays for a later run, and the journal with the program's name; one that
    // cannot be rewritten still says staged and names it.
    (void)transaction::ResetToStaged(appDir, MainExeName);
  }
  if (failure.empty()) {
    result_ = {TUpdateOutcome::kApplied, "", {}, {}};
    return {};
  }
  log_.Write("the update was not applied: " + failure);
  result_.Outcome = TUpdateOutcome::kNotApplied;
  result_.Reason = failure;
  if (problemPermanent_) SetArchiveAside();
  return {failure};
}

std::string TUpdateRun::StartMainProgram() {
  try {
    if (MainExeName.empty()) return "";
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
      return "";
    }
    // The program starts in its own directory, whatever directory the updater was started in.
    (void)platform::ChangeDirectory(platform::WithoutTrailingBackslash(GetAppDir()));
    if (platform::StartProgram(target, kStartArgument)) {
      log_.Write("started " + MainExeName + " " + kStartArgument);
      return "";
    }
    const std::string failure =
        MainExeName + " could not be started: " + platform::ErrorText(platform::LastError()) +
        ". Start it again by hand.";
    log_.Write(failure);
    relaunchFailed_ = true;
    result_.Reason += (result_.Reason.empty() ? "" : " ") + failure;
    return failure;
  } catch (const std::exception& e) {
    relaunchFailed_ = true;
    return MainExeName + " could not be started: " + e.what();
  }
}

int TUpdateRun::ExitCode() const {
  return result_.Outcome == TUpdateOutcome::kNotApplied || relaunchFailed_ ? 1 : 0;
}

void TUpdateRun::RecordResult() {
  // The release now in place, as its record says.
  const TInstalledRelease installed = ReadInstalledRelease(GetAppDir());
  if (installed.State == TInstalledRelease::irPresent) result_.Version = installed.Record.Version;
  if (!WriteUpdateResult(GetAppDir(), result_)) {
    log_.Write(std::string(own_names::kResult) +
               " could not be written: " + platform::ErrorText(platform::LastError()));
  }
}

void TUpdateRun::ForgetFinishedUpdate() {
  update_transaction::ForgetFinishedUpdate(GetAppDir());
}
