// The paths of the updater: its program directory, the names of the files it looks for there,
// and the delimiter rule the sequence uses.
#pragma once

#include <string>

// The archive an update arrives in, in the program directory.
inline constexpr char kArchiveName[] = "update.zip";
// The main program's name when nothing names another, and the name a new main program is
// delivered under in the archive.
inline constexpr char kDefaultMainExe[] = "main.exe";

// `s` unchanged when it is empty or consists only of bytes 0x00 to 0x20; otherwise `s` with "\"
// appended unless it ends in one. (UTF-8, the system's code page, never has the byte of "\"
// inside a multi-byte character, so the last byte decides.)
std::string AddPathDelimiter(const std::string& s);

// The updater's own executable's full path.
std::string AppExecutablePath();

// The program directory: the directory part of the executable's path, ending in "\".
std::string GetAppDir();
