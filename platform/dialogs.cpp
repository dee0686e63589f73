// Holds the application's dialog handlers, with the windowless fallbacks.
#include "platform/dialogs.h"

#include <cstdio>
#include <utility>

namespace platform {
namespace {
struct Handlers {
  MessageBoxHandler messageBox;
  FileOpenHandler fileOpen;
  DirectoryChooserHandler directoryChooser;
};

Handlers& Installed() {
  static Handlers handlers;
  return handlers;
}
}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) {
  Installed().messageBox = std::move(handler);
}
void SetFileOpenHandler(FileOpenHandler handler) {
  Installed().fileOpen = std::move(handler);
}
void SetDirectoryChooserHandler(DirectoryChooserHandler handler) {
  Installed().directoryChooser = std::move(handler);
}

int SafeAnswer(uint32_t flags) {
  switch (flags & kMbButtonMask) {
    case kMbOk:
      return kIdOk;
    case kMbAbortRetryIgnore:
      return kIdAbort;
    case kMbYesNo:
      return kIdNo;
    default:  // OK/Cancel, Yes/No/Cancel, Retry/Cancel
      return kIdCancel;
  }
}

int ShowMessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  if (Installed().messageBox) return Installed().messageBox(text, caption, flags);
  const int answer = SafeAnswer(flags);
  static constexpr const char* kAnswerNames[] = {"",      "OK",     "Cancel", "Abort",
                                                 "Retry", "Ignore", "Yes",    "No"};
  std::fprintf(stderr, "%s%s%s [answered %s: no window to ask in]\n", caption.c_str(),
               caption.empty() ? "" : ": ", text.c_str(), kAnswerNames[answer]);
  return answer;
}

bool ShowFileOpenDialog(const std::string& title, const std::string& filter,
                        const std::string& initialDir, std::string* fileName) {
  return Installed().fileOpen && Installed().fileOpen(title, filter, initialDir, fileName);
}

bool ShowDirectoryChooser(const std::string& title, const std::string& initialDir,
                          std::string* directory) {
  return Installed().directoryChooser && Installed().directoryChooser(title, initialDir, directory);
}

}  // namespace platform
