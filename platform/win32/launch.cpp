// Starting a program on Windows: CreateProcess with the program's path quoted on the command
// line, shown normally, not waited for.
#include <windows.h>

#include <vector>

// Included after <windows.h> on purpose: it proves that no name of the header is a macro there.
#include "platform/files_internal.h"
#include "platform/launch.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

constexpr char kOperation[] = "start program";

}  // namespace

bool StartProgram(const std::string& path, const std::string& argument) {
  std::wstring application;
  std::wstring commandLine;
  if (!internal::ToWide(path, &application) ||
      !internal::ToWide(ProgramCommandLine(path, argument), &commandLine)) {
    internal::RecordError(kOperation, path, ERROR_INVALID_NAME);
    return false;
  }
  // CreateProcessW may write into the command line, so it gets a buffer of its own. Naming the
  // application as well means that exactly this file runs: no search, no ".exe" appended, no
  // "C:\Program.exe" for a path that starts "C:\Program Files\".
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &started)) {
    internal::RecordError(kOperation, path, static_cast<int>(GetLastError()));
    return false;
  }
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return true;
}

}  // namespace platform
