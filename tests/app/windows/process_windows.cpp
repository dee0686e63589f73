// Looking at and answering the windows of the processes a Windows end-to-end test starts.
#include "app/windows/process_windows.h"

#include <vector>

#include "app/windows/wide_text.h"

namespace test {
namespace {

struct Search {
  DWORD processId;
  std::string className;
  HWND found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<Search*>(lParam);
  if (ProcessIdOf(window) != search->processId || ClassNameOf(window) != search->className) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM lParam) {
  auto* texts = reinterpret_cast<std::vector<std::string>*>(lParam);
  const std::string text = WindowTextOf(child);
  // The box's icon is a static control too, without text.
  if (ClassNameOf(child) == "Static" && !text.empty()) texts->push_back(text);
  return TRUE;
}

}  // namespace

std::string ClassNameOf(HWND window) {
  wchar_t name[257] = {};
  const int length = GetClassNameW(window, name, 256);
  return Utf8(std::wstring(name, static_cast<size_t>(length > 0 ? length : 0)));
}

std::string WindowTextOf(HWND window) {
  // Asked of the window itself: GetWindowTextW does not ask the controls of another process.
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied =
      SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return Utf8(text);
}

DWORD ProcessIdOf(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  return processId;
}

HWND FindWindowOf(DWORD processId, const std::string& className) {
  Search search{processId, className};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindMessageBoxOf(DWORD processId) {
  return FindWindowOf(processId, "#32770");
}

std::string MessageBoxText(HWND box) {
  std::vector<std::string> texts;
  EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&texts));
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : "\n") + text;
  return joined;
}

bool PressOk(HWND box) {
  const HWND button = GetDlgItem(box, IDOK);
  if (button == nullptr) return false;
  SendMessageW(button, BM_CLICK, 0, 0);
  return true;
}

}  // namespace test
