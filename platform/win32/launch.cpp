// Starting a program on Windows: CreateProcess with the program's path quoted on the command
// line (".exe" added to a name without an extension that is no file), shown normally, not
// waited for.
#include <windows.h>

#include <vector>

// Included after <windows.h> on purpose: it proves that no name of the header is a macro there.
#include "platform/files_internal.h"
#include "platform/launch.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

constexpr char kOperation[] = "start program";

// The file that the system's own start finds for `path`: the path as written when it names a
// file; else, for a name without an extension, that name with ".exe".
std::wstring ProgramFile(const std::string& path, const std::wstring& wide) {
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return wide;
  }
  const size_t slash = path.find_last_of("\\/:");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name.find('.') != std::string::npos) return wide;
  return wide + L".exe";
}

}  // namespace

bool StartProgram(const std::string& path, const std::string& argument) {
  std::wstring written;
  std::wstring commandLine;
  if (!internal::ToWide(path, &written) ||
      !internal::ToWide(ProgramCommandLine(path, argument), &commandLine)) {
    internal::RecordError(kOperation, path, ERROR_INVALID_NAME);
    return false;
  }
  const std::wstring application = ProgramFile(path, written);
  // CreateProcessW may write into the command line, so it gets a buffer of its own. Naming the
  // application as well means that exactly this file runs: no search of other directories, no
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
