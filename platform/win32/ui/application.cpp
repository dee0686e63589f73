// The application framework on Windows: the message loop with its termination flag, the pump of
// long work, the standard error box and the handlers of the message box and the two choosers,
// all through the wide API so that Chinese text shows on every system locale.
#include <windows.h>
// The shell and dialog headers need the definitions of windows.h first.
#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/message_pump.h"
#include "platform/ui.h"
#include "platform/win32/ui/ui_state.h"
#include "platform/win32/wide_text.h"

namespace platform::ui {
namespace {

using internal::ToUtf8;
using internal::ToWide;

std::wstring Wide(const std::string& text) {
  std::wstring wide;
  ToWide(text, &wide);
  return wide;
}

// A box belongs to the window that is active, so that it stays above it.
int WideMessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  const std::wstring wideText = Wide(text);
  const std::wstring wideCaption = Wide(caption.empty() ? State().title : caption);
  return MessageBoxW(GetActiveWindow(), wideText.c_str(), wideCaption.c_str(), flags);
}

bool FileOpenDialog(const std::string& title, const std::string& filter,
                    const std::string& initialDir, std::string* fileName) {
  // "Name|*.ext|..." becomes the NUL-separated list with a double NUL at its end.
  std::wstring wideFilter = Wide(filter);
  for (wchar_t& c : wideFilter) {
    if (c == L'|') c = L'\0';
  }
  wideFilter.push_back(L'\0');
  wideFilter.push_back(L'\0');
  const std::wstring wideTitle = Wide(title);
  const std::wstring wideDir = Wide(initialDir);
  std::vector<wchar_t> buffer(32768, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = GetActiveWindow();
  dialog.lpstrFilter = filter.empty() ? nullptr : wideFilter.c_str();
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  dialog.lpstrTitle = title.empty() ? nullptr : wideTitle.c_str();
  dialog.lpstrInitialDir = initialDir.empty() ? nullptr : wideDir.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&dialog)) return false;
  *fileName = ToUtf8(buffer.data(), wcslen(buffer.data()));
  return true;
}

int CALLBACK SelectInitialDirectory(HWND dialog, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data != 0) {
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
  }
  return 0;
}

bool DirectoryChooser(const std::string& title, const std::string& initialDir,
                      std::string* directory) {
  // The dialog with the "new folder" button is an OLE client: it needs an apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const std::wstring wideTitle = Wide(title);
  const std::wstring wideDir = Wide(initialDir);
  BROWSEINFOW browse{};
  browse.hwndOwner = GetActiveWindow();
  browse.lpszTitle = wideTitle.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  browse.lpfn = SelectInitialDirectory;
  browse.lParam = initialDir.empty() ? 0 : reinterpret_cast<LPARAM>(wideDir.c_str());
  bool chosen = false;
  if (LPITEMIDLIST item = SHBrowseForFolderW(&browse)) {
    std::vector<wchar_t> path(32768, L'\0');
    if (SHGetPathFromIDListEx(item, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT)) {
      *directory = ToUtf8(path.data(), wcslen(path.data()));
      chosen = true;
    }
    CoTaskMemFree(item);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return chosen;
}

// Dispatches what is waiting. A quit request ends the pumping and is posted again, so that the
// application's own loop still sees it; the flag records it at once.
bool PumpWaitingMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      State().terminated = true;
      PostQuitMessage(static_cast<int>(message.wParam));
      return true;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return false;
}

}  // namespace

UiState& State() {
  static auto* state = new UiState;
  return *state;
}

void ReportCallbackFailure(const char* what) {
  ShowErrorMessage(what);
}

bool InitializeApplication(const std::string& title) {
  State().title = title;
  SetMessageBoxHandler(WideMessageBox);
  SetFileOpenHandler(FileOpenDialog);
  SetDirectoryChooserHandler(DirectoryChooser);
  SetMessagePump(PumpWaitingMessages);
  return true;
}

void RequestTermination() {
  State().terminated = true;
  // Wakes a loop that waits for a message.
  PostQuitMessage(0);
}

bool TerminationRequested() {
  return State().terminated;
}

void RunMessageLoop() {
  do {
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        State().terminated = true;
      } else {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    } else if (!State().terminated) {
      WaitMessage();  // wakes for the next message without taking it
    }
  } while (!State().terminated);
}

void ProcessMessages() {
  PumpWaitingMessages();
}

void ShowErrorMessage(const std::string& text) {
  std::string message = text;
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') message += '.';
  const std::wstring wideText = Wide(message);
  const std::wstring wideCaption = Wide(State().title);
  MessageBoxW(GetActiveWindow(), wideText.c_str(), wideCaption.c_str(), MB_OK | MB_ICONERROR);
}

bool StartedMaximized() {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 && startup.wShowWindow == SW_SHOWMAXIMIZED;
}

}  // namespace platform::ui
