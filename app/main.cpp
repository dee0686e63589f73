// The entry of the updater: one copy at a time (a second copy brings the first one's window to
// the front and ends), then the update window and the message loop until the sequence ends.
#include <cstdio>
#include <exception>
#include <string>

#include "app/app_paths.h"
#include "app/own_names.h"
#include "app/update_form.h"
#include "app/update_transaction.h"
#include "platform/files.h"
#include "platform/instance_guard.h"
#include "platform/ui.h"
#include "resources/window_layout.h"

int main() {
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
  } catch (const std::exception& e) {
    std::fprintf(stderr, "update: %s\n", e.what());
    return 1;
  }
  return 0;
}
