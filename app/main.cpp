// The entry of the updater: one copy per program directory at a time (a second copy brings the
// first one's window to the front and ends), then the update window and the message loop until
// the sequence ends.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/app_paths.h"
#include "app/run/read_hand_over.h"
#include "app/run/restart_program.h"
#include "app/update_form.h"
#include "app/update_log.h"
#include "app/update_result.h"
#include "app/update_transaction.h"
#include "platform/command_line.h"
#include "platform/error_text.h"
#include "platform/files.h"
#include "platform/instance_guard.h"
#include "platform/product_version.h"
#include "platform/ui.h"
#include "release/own_names.h"
#include "resources/window_layout.h"

namespace {

constexpr char kUsage[] =
    "usage: update            apply update.zip beside this program to its directory, then start\n"
    "                         the program named in uplog.txt again (see the README)\n"
    "       update --help     show this text\n"
    "       update --version  show the version\n"
    "Exit status: 0 applied or nothing to apply, 1 not applied (update.result says why).\n";

// The guard of this user's copies for one program directory: the name holds a digest of the
// directory's path (FNV-1a), so that the updaters of two programs never keep each other out.
std::string OneCopyGuardName(const std::string& appDir) {
  uint64_t digest = 0xcbf29ce484222325u;
  for (const unsigned char c : appDir) {
    digest = (digest ^ c) * 0x100000001b3u;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name = "VeskerOneCopy2-";
  for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(digest >> shift) & 0xF];
  return name;
}

// The directory's lock could not be taken: nothing is changed, and the run ends as busy, said
// in update.log and update.result. The program, when it has ended to let the update run, is
// started again as after a refusal (only when it is not running).
int EndBusy(const std::string& why) {
  const std::string appDir = GetAppDir();
  TUpdateLog log(appDir + TUpdateLog::kFileName);
  const TRunContext run{appDir, appDir + kArchiveName, log, {}};
  TUpdateResult result{TUpdateOutcome::kNotApplied, TResultCode::kBusy,
                       "The update was not applied: the program directory's lock " +
                           std::string(own_names::kLock) + " cannot be taken (" + why + ").",
                       "", ""};
  log.Write(result.Reason);
  std::fprintf(stderr, "update: %s\n", result.Reason.c_str());
  try {
    // No recovery without the lock: the name comes from the hand-over file or the default.
    THandOver handOver;
    ReadHandOverFile(run, {},
                     platform::LinkFreeKind(run.ZipFileName) != platform::PathKind::kMissing,
                     &handOver);
    // As after a waiting archive: without the lock nothing in the directory is renamed.
    const TStepOutcome started = RestartProgram(run, handOver.MainExeName, true, true);
    if (!started.Passed()) {
      result.Code = TResultCode::kNotStarted;
      result.Reason += " " + started.Text;
    }
  } catch (const std::exception& e) {
    log.Write(std::string("the main program is not known and not started: ") + e.what());
  }
  if (!WriteUpdateResult(appDir, result)) {
    log.Write(std::string(own_names::kResult) +
              " could not be written: " + platform::ErrorText(platform::LastError()));
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Asking what it is must never close a program or touch a file: answered before anything.
  const std::vector<std::string> arguments = platform::CommandLineArguments(argc, argv);
  if (arguments.size() > 1 && (arguments[1] == "--help" || arguments[1] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (arguments.size() > 1 && arguments[1] == "--version") {
    std::printf("update %s\n", platform::kProductVersion);
    return 0;
  }
  // Any other argument is ignored: the updater takes its work from its directory. A second copy
  // for this directory ends whether or not the first one has a window to show.
  if (!platform::AcquireInstanceGuard(OneCopyGuardName(GetAppDir()))) {
    (void)platform::ui::ActivateWindowOfOtherCopy(std::string(resources::form1::kClassName),
                                                  platform::ExecutablePath());
    return 0;
  }
  // One updater per program directory, also across users and sessions, which the guard above
  // does not see. A user who cannot create the lock cannot change the directory either: the
  // run's own checks say so.
  std::string why;
  switch (platform::AcquireDirectoryGuard(GetAppDir() + own_names::kLock, &why)) {
    case platform::DirectoryGuard::kHeldElsewhere:
      (void)platform::ui::ActivateWindowOfOtherCopy(std::string(resources::form1::kClassName),
                                                    platform::ExecutablePath());
      return 0;
    case platform::DirectoryGuard::kRefused:
      return EndBusy(why);
    case platform::DirectoryGuard::kTaken:
    case platform::DirectoryGuard::kNotCreatable:
      break;
  }
  try {
    // Before anything else: an update that was interrupted is finished or dropped.
    const update_transaction::TRecovery recovery =
        update_transaction::RecoverInterruptedUpdate(GetAppDir(), GetAppDir() + kArchiveName);
    // Without a display the sequence runs all the same, its messages going to the error output.
    (void)platform::ui::InitializeApplication(std::string(resources::kApplicationTitle));
    TForm1 form(recovery);  // its creation prepares the update and shows the window
    if (platform::ui::StartedMaximized()) form.Window().Maximize();
    platform::ui::RunMessageLoop();
    form.FormDestroy();
    return form.ExitCode();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "update: %s\n", e.what());
    return 1;
  }
  return 0;
}
