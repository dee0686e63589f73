// Starting another program without waiting for it, with one contract for Windows
// (platform/win32) and POSIX (platform/posix).
#pragma once

#include <string>

namespace platform {

// Starts the program file `path` (system form, "\" separators) with the single argument
// `argument` and returns without waiting for it. The new program inherits the environment and
// the current directory. True when it was started; on failure false, with the operation
// "start program", `path` and the OS error code recorded in LastError() (platform/files.h).
//   - Windows: CreateProcess of that file, with the command line that ProgramCommandLine
//     builds and the show command SW_SHOWNORMAL; no handle is inherited. A name without an
//     extension that is no file is started as the system's own start finds it: with ".exe".
//   - POSIX: posix_spawn of the file with the argument vector {path, argument}, no shell and no
//     search of PATH. A file whose owner may not execute it is given that permission first (its
//     other permission bits stay). The finished program is collected in the background, so it
//     does not stay behind as a zombie for the caller's whole life.
bool StartProgram(const std::string& path, const std::string& argument);

// The Windows command line for `path` and `argument`: the path in double quotes (a directory
// with blanks in it must not split the program's name; a file name cannot hold a quote), a
// blank, then the argument, itself quoted only when it is empty or holds white space or a quote,
// in the form that the C runtime splits back into the same text. Defined here, not in the
// Windows layer, so that every build can test the exact text.
inline std::string ProgramCommandLine(const std::string& path, const std::string& argument) {
  std::string line = "\"" + path + "\" ";
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    return line + argument;
  }
  // Inside quotes, backslashes are literal except in front of a quote, where each pair stands
  // for one backslash; so double the run before an escaped quote and before the closing one.
  line += '"';
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, '\\');
  return line + '"';
}

}  // namespace platform
