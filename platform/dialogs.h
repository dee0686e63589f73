// Questions and choices put to the user: message boxes, the file-open dialog and the directory
// chooser. The application that owns a window installs its own handlers (Win32 or FLTK); in a
// program that installs none, a message box prints a clear line on stderr and takes the safe
// answer (No, Cancel or Abort, never Yes or OK unless OK is the only button), and the dialogs
// report that nothing was chosen.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// Button sets and answers, with the values of the Windows message box.
enum : uint32_t {
  kMbOk = 0,
  kMbOkCancel = 1,
  kMbAbortRetryIgnore = 2,
  kMbYesNoCancel = 3,
  kMbYesNo = 4,
  kMbRetryCancel = 5,
  kMbButtonMask = 0x0F,
};
enum : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdAbort = 3,
  kIdRetry = 4,
  kIdIgnore = 5,
  kIdYes = 6,
  kIdNo = 7
};

using MessageBoxHandler =
    std::function<int(const std::string& text, const std::string& caption, uint32_t flags)>;
// Returns true and sets *fileName when the user chose a file. `filter` is the "Name|*.ext|..."
// list of file types.
using FileOpenHandler = std::function<bool(const std::string& title, const std::string& filter,
                                           const std::string& initialDir, std::string* fileName)>;
// Returns true and sets *directory when the user chose one.
using DirectoryChooserHandler = std::function<bool(
    const std::string& title, const std::string& initialDir, std::string* directory)>;

// Installing an empty function removes the handler. Call from the UI thread.
void SetMessageBoxHandler(MessageBoxHandler handler);
void SetFileOpenHandler(FileOpenHandler handler);
void SetDirectoryChooserHandler(DirectoryChooserHandler handler);

// Shows a message box with `flags` (a button set, possibly with icon bits) and returns the
// answer; without a handler, the safe answer for the button set.
int ShowMessageBox(const std::string& text, const std::string& caption, uint32_t flags);
bool ShowFileOpenDialog(const std::string& title, const std::string& filter,
                        const std::string& initialDir, std::string* fileName);
bool ShowDirectoryChooser(const std::string& title, const std::string& initialDir,
                          std::string* directory);

// The answer that changes nothing for a button set: Cancel, No or Abort; OK for a lone OK.
int SafeAnswer(uint32_t flags);

}  // namespace platform
