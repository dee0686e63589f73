// Finding and activating the window of a copy that runs already: the first top-level window of
// the class whose instance handle, resolved in this process, names this process's executable.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/ui.h"
#include "platform/win32/wide_text.h"

namespace platform::ui {
namespace {

struct Search {
  std::string className;
  std::string executablePath;
  HWND foundWindow = nullptr;
};

std::string ClassNameOf(HWND window) {
  wchar_t name[257] = {};
  const int length = GetClassNameW(window, name, 256);
  return length > 0 ? internal::ToUtf8(name, static_cast<size_t>(length)) : std::string();
}

BOOL CALLBACK FindOwnWindowProc(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<Search*>(lParam);
  // Byte for byte: a class that differs only in letter case is another program's.
  if (ClassNameOf(window) != search->className) return TRUE;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == GetCurrentProcessId()) return TRUE;
  // The full pointer-sized handle: the 32-bit read would cut a 64-bit image base. The handle is
  // resolved in this process, so it names our executable when the other copy's image sits at the
  // same base as ours.
  const auto instance = reinterpret_cast<HMODULE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
  std::vector<wchar_t> path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(instance, path.data(), static_cast<DWORD>(path.size()));
  if (instance == nullptr || length == 0 || length >= path.size()) return TRUE;
  if (internal::ToUtf8(path.data(), length) != search->executablePath) return TRUE;
  search->foundWindow = window;
  return FALSE;
}

}  // namespace

bool ActivateWindowOfOtherCopy(const std::string& className, const std::string& executablePath) {
  Search search{className, executablePath, nullptr};
  EnumWindows(FindOwnWindowProc, reinterpret_cast<LPARAM>(&search));
  if (search.foundWindow == nullptr) return false;
  SetForegroundWindow(search.foundWindow);
  return true;
}

}  // namespace platform::ui
