// The entry of the updater: one copy at a time (a second copy brings the first one's window to
// the front and ends), then the update window and the message loop until the sequence ends.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/app_paths.h"
#include "app/update_form.h"
#include "app/update_transaction.h"
#include "platform/command_line.h"
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
  // Any other argument is ignored: the updater takes its work from its directory.
  if (!platform::AcquireInstanceGuard("VeskerOneCopy2")) {
    // This copy ends whether or not the first one has a window to show.
    (void)platform::ui::ActivateWindowOfOtherCopy(std::string(resources::form1::kClassName),
                                                  platform::ExecutablePath());
    return 0;
  }
  // One updater per program directory, also across users and sessions, which the guard above
  // does not see.
  if (platform::AcquireDirectoryGuard(GetAppDir() + own_names::kLock) ==
      platform::DirectoryGuard::kHeldElsewhere) {
    (void)platform::ui::ActivateWindowOfOtherCopy(std::string(resources::form1::kClassName),
                                                  platform::ExecutablePath());
    return 0;
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
