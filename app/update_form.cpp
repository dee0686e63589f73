// The update sequence: prepare (hand-over file, names, first termination, marker file), wait for
// the main program, extract "update.zip" over the program directory with the progress bar, and
// start the main program again when the window goes.
#include "app/update_form.h"

#include <chrono>
#include <thread>

#include "app/app_paths.h"
#include "app/hand_over_file.h"
#include "app/platform_progress.h"
#include "app/update_transaction.h"
#include "controls/theme_manager.h"
#include "controls/themed_progress_bar.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/jpeg_image.h"
#include "platform/launch.h"
#include "platform/process_name_match.h"
#include "platform/processes.h"
#include "platform/temporary_tree.h"
#include "resources/background_picture.h"
#include "resources/window_layout.h"
#include "unzip/base/file_utils.h"
#include "unzip/base/path_text.h"

TForm1* Form1 = nullptr;

namespace {

constexpr char kHandOverFile[] = "uplog.txt";
constexpr char kMarkerFile[] = "\\MainRun._tmp";
constexpr char kStartArgument[] = "-start";
// A main program that has not gone after this long will not go: the update is not applied.
constexpr auto kCloseTimeLimit = std::chrono::seconds(60);

// The bar's repaint requests go to the window's painted area.
class TWindowSurface : public TControlSurface {
 public:
  explicit TWindowSurface(platform::ui::Window& window) : window_(window) {}
  void Invalidate() override { window_.RepaintAreas(); }
  void Repaint() override { window_.RepaintAreas(); }

 private:
  platform::ui::Window& window_;
};

TThemeManager& ThemeManager() {
  // What the platform has, found once. Linux has neither the compositor's hosted bar nor visual
  // styles nor system colours: the classic painting shows there, in the classic colours.
  static auto* manager = new TThemeManager(PlatformThemeStartupFacts(), PlatformSystemColors());
  return *manager;
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
                              const std::vector<std::string>& keepPermissionsOf) {
  namespace transaction = update_transaction;
  std::string reservedName;
  if (!transaction::PlanMoves(appDir, &journal, &reservedName)) {
    return reservedName + " was not updated: the name is kept for the updater's own files";
  }
  if (!transaction::WriteJournal(appDir, journal)) {
    return "The update could not be prepared: " +
           platform::SystemErrorText(platform::LastError().code);
  }
  if (transaction::Commit(appDir, journal, keepPermissionsOf)) return "";
  const std::string reason = platform::SystemErrorText(platform::LastError().code);
  if (transaction::RollBack(appDir, journal)) {
    return "The update could not be applied (" + reason + "); the program was left as it was";
  }
  // The journal says what is left to undo: the next start finishes it before anything else.
  return "The update could not be applied (" + reason +
         "); the old files are restored when the updater starts again";
}

}  // namespace

TForm1::TForm1(const update_transaction::TRecovery& recovery) : recovery_(recovery) {
  namespace layout = resources;
  window_ = std::make_unique<platform::ui::Window>(
      std::string(layout::form1::kClassName), std::string(layout::form1::kCaption),
      layout::form1::kClientWidth, layout::form1::kClientHeight);
  window_->OnCloseRequest = [] { platform::ui::RequestTermination(); };
  // Image1: the background picture at its natural size.
  if (platform::DecodeJpeg(resources::kBackgroundJpeg, resources::kBackgroundJpegSize,
                           background_)) {
    window_->SetBackground({background_.width, background_.height, background_.pixels.data()});
  }
  // pb_unzip, drawn above the picture: the platform's own bar when the compositor is there, else
  // the visual-style parts, else the classic painting.
  namespace bar = resources::pb_unzip;
  pb_unzip = std::make_unique<TThemedProgressBar>(ThemeManager(), [this] {
    return CreatePlatformHostedBar(*window_, bar::kLeft, bar::kTop, bar::kWidth, bar::kHeight);
  });
  // The painted area keeps the style alive: it outlives pb_unzip with the window.
  auto style = std::make_shared<TPlatformProgressStyle>(window_.get());
  pb_unzip->SetVisualStyle(style.get());
  ConnectSystemChanges(*window_, ThemeManager(), style.get());
  pb_unzip->SetSize(bar::kWidth, bar::kHeight);
  pb_unzip->SetBorderWidth(bar::kBorderWidth);
  pb_unzip->SetOrientation(bar::kOrientationHorizontal ? poHorizontal : poVertical);
  pb_unzip->SetThemeObject(std::string(bar::kThemeObject));
  pb_unzip->SetShowBorder(bar::kShowBorder);
  pb_unzip->SetSmooth(bar::kSmooth);
  pb_unzip->SetMin(bar::kMin);
  pb_unzip->SetMax(bar::kMax);
  pb_unzip->SetPosition(bar::kPosition);
  surface_ = std::make_unique<TWindowSurface>(*window_);
  pb_unzip->SetSurface(surface_.get());
  window_->AddPaintedArea(bar::kLeft, bar::kTop, bar::kWidth, bar::kHeight,
                          [this, style](uint8_t* rgb, int width, int height) {
                            // What the bar leaves unpainted shows the control's colour.
                            TRgbCanvas canvas(width, height, ThemeManager().Colors().ButtonFace);
                            pb_unzip->Paint(canvas);
                            std::copy(canvas.Data(), canvas.Data() + canvas.RowBytes() * height,
                                      rgb);
                          });
  // unzip, with the settings of the window description.
  namespace settings = resources::unzip;
  unzip = std::make_unique<TUnZipper>();
  unzip->RecreateDirs = settings::kRecreateDirs;
  unzip->OverwriteMode = settings::kOverwriteAlways ? Always : Prompt;
  unzip->DoAll = settings::kDoAll;
  unzip->ReplaceReadOnly = settings::kReplaceReadOnly;
  unzip->FlushFilesOnClose = settings::kFlushFilesOnClose;
  Timer1 = std::make_unique<platform::ui::Timer>(resources::timer1::kIntervalMs, [this] {
    try {
      Timer1Timer();
    } catch (const std::exception& e) {
      platform::ui::ShowErrorMessage(e.what());
    }
  });
  Timer1->SetEnabled(resources::timer1::kEnabled);  // armed when the description is loaded
  Form1 = this;
  FormCreate();
}

TForm1::~TForm1() {
  FormDestroy();
  pb_unzip->SetSurface(nullptr);
  Form1 = nullptr;
}

void TForm1::FormCreate() {
  Timer1->SetEnabled(false);
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
    // finishes the update under it.
    if (handedOver && (!FileExists(ZipFileName) ||
                       update_transaction::RememberMainProgram(GetAppDir(), MainExeName))) {
      FileDelete(handOver);
    }
    if (!FileExists(ZipFileName)) platform::ui::RequestTermination();
    if (!platform::ProcessNameMatches(AppExecutablePath(), MainExeName)) {
      platform::KillProcessByName(MainExeName);
    }
    platform::ui::ProcessMessages();
    const std::string marker = ExtractFilePath(AppExecutablePath()) + kMarkerFile;
    if (FileExists(marker)) FileDelete(marker);
    window_->Show();
  } catch (...) {
    // A preparation that stopped early still ends the normal way: the defaults stand in for
    // what it did not settle, and the window shows.
  }
  if (MainExeName.empty()) MainExeName = kDefaultMainExe;
  if (ZipFileName.empty()) ZipFileName = GetAppDir() + kArchiveName;
  if (!window_->Visible()) window_->Show();
  Timer1->SetEnabled(true);
}

void TForm1::Timer1Timer() {
  Timer1->SetEnabled(false);
  // The updater never waits for itself: a main program of its own name would be itself.
  const bool isItself = platform::ProcessNameMatches(AppExecutablePath(), MainExeName);
  const auto start = std::chrono::steady_clock::now();
  while (!isItself && platform::FindProcessID(MainExeName) > 0) {
    if (std::chrono::steady_clock::now() - start >= kCloseTimeLimit) {
      platform::ui::ShowErrorMessage("The program " + MainExeName +
                                     " could not be closed; the update was not applied.");
      relaunch_ = false;
      Close();
      return;
    }
    platform::KillProcessByName(MainExeName);
    platform::ui::ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  update();
}

void TForm1::update() {
  if (recovery_.Unfinished) {
    // The files of an earlier update are half in place: that one has to be finished first.
    FinishUpdate("An earlier update could not be finished; the next start tries again");
    return;
  }
  namespace transaction = update_transaction;
  const std::string appDir = ExtractFilePath(AppExecutablePath());
  const std::string staging = transaction::StagingDir(appDir);
  unzip->OverwriteMode = Always;
  unzip->SetZipName(ZipFileName);
  unzip->OnTotalPercentDone = [this](TUnZipper* sender, int percent) {
    onUnzipProcess(sender, percent);
  };
  unzip->OnUnZipComplete = [this](TUnZipper* sender, int count) { onUnzipDone(sender, count); };
  // Whatever did not make it is remembered, so that a partial update is not taken for a whole.
  unzip->OnSkippingFile = [this](TUnZipper*, TSkipReason reason, const std::string& name, int,
                                 bool&) {
    if (firstProblem_.empty()) firstProblem_ = name + " was not updated: " + ReasonText(reason);
  };
  unzip->OnBadCRC = [this](TUnZipper* sender, uint32_t, uint32_t, int index) {
    if (firstProblem_.empty()) {
      firstProblem_ = sender->EntryFileName(index) + " was not updated: its data are damaged";
    }
  };
  // Files that bring no permission bits of their own keep those of the file they replace.
  std::vector<std::string> keepPermissionsOf;
  unzip->OnEndUnZip = [&](TUnZipper* sender, int index, const std::string& name) {
    if (!sender->SortedEntries->Items(index)->HasUnixPermissions() &&
        name.compare(0, staging.size(), staging) == 0) {
      keepPermissionsOf.push_back(name.substr(staging.size()));
    }
  };
  unzip->DoAll = true;
  // Everything is extracted and verified into the staging directory before anything of the
  // program is touched; the journal names the main program from the start, as the hand-over
  // file is gone already.
  TUpdateJournal journal;
  journal.MainExeName = MainExeName;
  std::string failure;
  platform::RemoveDirectoryTree(staging);
  if (!transaction::WriteJournal(appDir, journal)) {
    failure = "The update could not be prepared: " +
              platform::SystemErrorText(platform::LastError().code);
  }
  if (failure.empty()) {
    unzip->SetDestDir(staging);
    unzip->RecreateDirs = true;
    unzip->RetainAttributes = true;
    try {
      unzip->UnZip();
    } catch (const std::exception& e) {
      failure = e.what();
    }
    if (failure.empty()) failure = firstProblem_;
  }
  unzip.reset();  // closes the archive: it is deleted below, or kept
  if (failure.empty()) failure = ApplyStagedUpdate(appDir, journal, keepPermissionsOf);
  // The archive stays for a later run, and the journal with the program's name.
  if (!failure.empty() && journal.State == TUpdateJournal::jsStaged) {
    transaction::ResetToStaged(appDir, MainExeName);
  }
  FinishUpdate(failure);
}

void TForm1::onUnzipProcess(TUnZipper*, int percent) {
  pb_unzip->SetPosition(percent);
  platform::ui::ProcessMessages();
}

void TForm1::onUnzipDone(TUnZipper*, int) {
  // The component still works after this event until UnZip returns: the release, the deletion
  // of the archive and the closing of the window wait for that (FinishUpdate).
}

void TForm1::FinishUpdate(const std::string& failure) {
  unzip.reset();  // closes the archive before it is deleted
  if (failure.empty()) {
    update_transaction::CleanUp(ExtractFilePath(AppExecutablePath()), ZipFileName);
  } else {
    // The archive stays for a later run; the main program starts again as it is.
    platform::ui::ShowErrorMessage(failure);
  }
  Close();
}

void TForm1::Close() {
  platform::ui::RequestTermination();
}

void TForm1::FormDestroy() {
  if (relaunch_) openmain();
  // Until now, a killed run's successor would still have known whom to start.
  update_transaction::ForgetFinishedUpdate(ExtractFilePath(AppExecutablePath()));
  LogList.clear();
}

void TForm1::openmain() {
  try {
    const std::string target = GetAppDir() + MainExeName;
    const std::string delivered = GetAppDir() + kDefaultMainExe;
    // One file under two spellings (a case-insensitive file system) must not be deleted.
    if (MainExeName != kDefaultMainExe && FileExists(delivered) &&
        !platform::SameFile(delivered, target)) {
      FileDelete(target);
      platform::RenameFile(delivered, target);
    }
    platform::StartProgram(target, kStartArgument);
  } catch (...) {
  }
}
