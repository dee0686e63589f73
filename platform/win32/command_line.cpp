// Command-line arguments on Windows: split from the wide command line and converted to UTF-8.
#include "platform/command_line.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "platform/win32/wide_text.h"

namespace platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) {
    arguments.push_back(internal::ToUtf8(wide[i], wcslen(wide[i])));
  }
  LocalFree(wide);
  return arguments;
}

}  // namespace platform
