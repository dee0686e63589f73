// The update sequence's steps: preparation, the wait for the main program, extraction into the
// staging directory and the transaction, and the relaunch.
#include "app/update_run.h"

#include <chrono>
#include <thread>

#include "app/app_paths.h"
#include "app/hand_over_file.h"
#include "platform/files.h"
#include "platform/launch.h"
#include "platform/process_name_match.h"
#include "platform/processes.h"
#include "platform/temporary_tree.h"
#include "resources/window_layout.h"
#include "unzip/base/file_utils.h"
#include "unzip/base/path_text.h"

namespace {

constexpr char kHandOverFile[] = "uplog.txt";
constexpr char kMarkerFile[] = "\\MainRun._tmp";
constexpr char kStartArgument[] = "-start";
// A main program that has not gone after this long will not go: the update is not applied.
constexpr auto kCloseTimeLimit = std::chrono::seconds(60);

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

TUpdateRun::TUpdateRun(const update_transaction::TRecovery& recovery) : recovery_(recovery) {
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
    // Without a hand-over file, an interrupted run's journal still knows the program's name.
    MainExeName = LogList.empty() && !recovery_.MainExeName.empty() ? recovery_.MainExeName
                                                                    : MainExeNameFrom(LogList);
    ZipFileName = AddPathDelimiter(ExtractFilePath(AppExecutablePath())) + kArchiveName;
    // The hand-over file goes once the journal knows the name: a run killed from here on still
    // finishes the update under it. One that cannot be deleted is read again by the next run.
    if (handedOver && (!FileExists(ZipFileName) ||
                       update_transaction::RememberMainProgram(GetAppDir(), MainExeName))) {
      (void)FileDelete(handOver);
    }
    if (!FileExists(ZipFileName)) Notify(OnNothingToApply);
    // A first attempt only: the wait for the main program terminates it again until it is gone.
    if (!platform::ProcessNameMatches(AppExecutablePath(), MainExeName)) {
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

TRunResult TUpdateRun::WaitForMainProgram() {
  // The updater never waits for itself: a main program of its own name would be itself.
  const bool isItself = platform::ProcessNameMatches(AppExecutablePath(), MainExeName);
  const auto start = std::chrono::steady_clock::now();
  while (!isItself && platform::FindProcessID(MainExeName) > 0) {
    if (std::chrono::steady_clock::now() - start >= kCloseTimeLimit) {
      return {"The program " + MainExeName + " could not be closed; the update was not applied.",
              false};
    }
    // The search above says whether the termination took.
    (void)platform::KillProcessByName(MainExeName);
    Notify(OnWait);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return {};
}

TRunResult TUpdateRun::Apply() {
  if (recovery_.Unfinished) {
    // The files of an earlier update are half in place: that one has to be finished first.
    unzip_.reset();
    return {"An earlier update could not be finished; the next start tries again"};
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
    if (firstProblem_.empty()) firstProblem_ = name + " was not updated: " + ReasonText(reason);
  };
  unzip_->OnBadCRC = [this](TUnZipper* sender, uint32_t, uint32_t, int index) {
    if (firstProblem_.empty()) {
      firstProblem_ = sender->EntryFileName(index) + " was not updated: its data are damaged";
    }
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
    }
    if (failure.empty()) failure = firstProblem_;
  }
  unzip_.reset();  // closes the archive: it is deleted below, or kept
  if (failure.empty()) {
    failure = ApplyStagedUpdate(appDir, journal, keepPermissionsOf, stagedFiles, pump);
  }
  if (failure.empty()) {
    transaction::CleanUp(appDir, ZipFileName, pump);
  } else if (journal.State == TUpdateJournal::jsStaged) {
    // The archive stays for a later run, and the journal with the program's name; one that
    // cannot be rewritten still says staged and names it.
    (void)transaction::ResetToStaged(appDir, MainExeName);
  }
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
    (void)platform::StartProgram(target, kStartArgument);
  } catch (...) {
  }
}

void TUpdateRun::ForgetFinishedUpdate() {
  update_transaction::ForgetFinishedUpdate(ExtractFilePath(AppExecutablePath()));
}
