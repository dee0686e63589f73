// The application framework on Windows: the message loop with its termination flag, the pump of
// long work, the standard error box and the handlers of the message box and the two choosers,
// all through the wide API so that Chinese text shows on every system locale; and the
// application's own window, which carries the application title on the taskbar.
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

constexpr wchar_t kApplicationWindowClass[] = L"UpdateApplicationWindow";
constexpr int kIconResource = 1;
// Posted to the application's window when it was activated: the main window takes over.
constexpr UINT kActivateMainWindow = WM_APP + 1;

LRESULT CALLBACK ApplicationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
      // Clicking the taskbar entry activates this window, which has no area of its own.
      if (LOWORD(wParam) != WA_INACTIVE) PostMessageW(window, kActivateMainWindow, 0, 0);
      break;
    case kActivateMainWindow: {
      HWND main = State().mainWindow;
      if (main == nullptr || !IsWindowVisible(main) || GetActiveWindow() != window) return 0;
      // While a message box is up, the main window is disabled and the box gets the focus.
      HWND target = IsWindowEnabled(main) ? main : GetLastActivePopup(main);
      SetActiveWindow(target != nullptr ? target : main);
      return 0;
    }
    case WM_CLOSE:
      // Closing the taskbar entry is a close request of the main window; this window stays.
      if (State().mainWindow != nullptr) PostMessageW(State().mainWindow, WM_CLOSE, 0, 0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// A window of no size in the middle of the screen, shown with the first Window: the taskbar lists
// it (and not the Windows it owns) with the application's title and icon.
void CreateApplicationWindow(const std::wstring& title) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = ApplicationWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hIcon = LoadIconW(windowClass.hInstance, MAKEINTRESOURCEW(kIconResource));
  windowClass.lpszClassName = kApplicationWindowClass;
  RegisterClassExW(&windowClass);
  State().applicationWindow =
      CreateWindowExW(0, kApplicationWindowClass, title.c_str(),
                      WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                      GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// Dispatches what is waiting. A quit request is taken for good: the flag records it, and it is
// not posted again, since a quit message left in the queue would end every later message box
// the moment it opens.
bool PumpWaitingMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      State().terminated = true;
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return State().terminated;
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
  const std::wstring wideTitle = Wide(title);
  if (State().applicationWindow == nullptr) {
    CreateApplicationWindow(wideTitle);
  } else {
    SetWindowTextW(State().applicationWindow, wideTitle.c_str());
  }
  SetMessageBoxHandler(WideMessageBox);
  SetFileOpenHandler(FileOpenDialog);
  SetDirectoryChooserHandler(DirectoryChooser);
  SetMessagePump(PumpWaitingMessages);
  return true;
}

void RequestTermination() {
  State().terminated = true;
  // Wakes a loop that waits for a message. Not with a quit message: a message box shown before
  // the loop takes it would end at once.
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
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
