// The terminal on Windows: the console, with echo switched off through the console mode for
// passwords. Text goes through the wide console API so that it is not bound to a code page.
#include "platform/terminal.h"

#include <windows.h>

#include <string>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool StdinIsTerminal() {
  return IsConsole(STD_INPUT_HANDLE);
}

bool StderrIsTerminal() {
  return IsConsole(STD_ERROR_HANDLE);
}

bool ReadTerminalLine(const std::string& prompt, bool echo, std::string* line) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  const HANDLE output = GetStdHandle(STD_ERROR_HANDLE);
  DWORD saved = 0;
  if (!GetConsoleMode(input, &saved)) return false;
  std::wstring widePrompt;
  internal::ToWide(prompt, &widePrompt);
  DWORD written = 0;
  WriteConsoleW(output, widePrompt.data(), static_cast<DWORD>(widePrompt.size()), &written,
                nullptr);
  if (!echo) SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::wstring wide;
  wchar_t c = 0;
  DWORD got = 0;
  bool ended = false;
  while (ReadConsoleW(input, &c, 1, &got, nullptr) && got == 1) {
    if (c == L'\n') {
      ended = true;
      break;
    }
    if (c != L'\r') wide.push_back(c);
  }
  if (!echo) {
    SetConsoleMode(input, saved);
    WriteConsoleW(output, L"\r\n", 2, &written, nullptr);
  }
  *line = internal::ToUtf8(wide.data(), wide.size());
  return ended;
}

}  // namespace platform
