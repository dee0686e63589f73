// Starting the main program again.
#include "app/run/restart_program.h"

#include "app/app_paths.h"
#include "app/run/close_program.h"
#include "app/update_log.h"
#include "app/update_transaction.h"
#include "platform/error_text.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/launch.h"
#include "platform/path_text.h"

TStepOutcome RestartProgram(const TRunContext& run, const std::string& mainExeName,
                            bool archiveWaited, bool refused) {
  try {
    if (mainExeName.empty()) return {};
    const std::string target = run.AppDir + mainExeName;
    const std::string delivered = run.AppDir + kDefaultMainExe;
    // A "main.exe" beside a program of another name becomes the program only where no archive
    // waited: an update delivers its program through the transaction, and after this run's own
    // failure or refusal the directory stays as it was. One file under two spellings (a
    // case-insensitive file system) is no delivery at all.
    if (!archiveWaited && mainExeName != kDefaultMainExe && platform::FileExists(delivered) &&
        !platform::SameFile(delivered, target) &&
        !update_transaction::UpdateCommitted(run.AppDir)) {
      // In one step: when it fails, the old program is still there and is started.
      if (!platform::ReplaceFileAtomically(delivered, target)) {
        run.Log.Write(std::string(kDefaultMainExe) + " could not become " + mainExeName + ": " +
                      platform::ErrorText(platform::LastError()));
      }
    }
    // After a refusal the program starts again only when it is not running now, after the box:
    // one that is still exiting (it started the updater and ended, as it should) is given a
    // moment to end first.
    if (refused && !IsUpdaterName(mainExeName) &&
        !WaitForExit(run, ProcessNameOf(mainExeName), kExitGrace)) {
      run.Log.Write(mainExeName + " was left running");
      return {};
    }
    // The program starts in its own directory, whatever directory the updater was started in.
    (void)platform::ChangeDirectory(platform::WithoutTrailingBackslash(run.AppDir));
    if (platform::StartProgram(target, kStartArgument)) {
      run.Log.Write("started " + mainExeName + " " + kStartArgument);
      return {};
    }
    const std::string failure =
        mainExeName + " could not be started: " + platform::ErrorText(platform::LastError()) +
        ". Start it again by hand.";
    run.Log.Write(failure);
    return TStepOutcome::Failed(failure);
  } catch (const std::exception& e) {
    return TStepOutcome::Failed(mainExeName + " could not be started: " + e.what());
  }
}
