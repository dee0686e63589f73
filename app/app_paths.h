// The paths of the updater: its program directory, the names of the files it looks for there,
// and the delimiter rule the sequence uses.
#pragma once

#include <string>

// The archive an update arrives in, in the program directory.
inline constexpr char kArchiveName[] = "update.zip";
// The main program's name when nothing names another, and the name a new main program is
// delivered under in the archive.
inline constexpr char kDefaultMainExe[] = "main.exe";

// The name the main program's processes go by: the file name of `mainExeName`, which may lie in
// a sub-directory of the program directory ("bin\MyApp.exe" runs as "MyApp.exe").
std::string ProcessNameOf(const std::string& mainExeName);

// Whether `mainExeName` names the updater itself, or a program whose processes could not be told
// from the updater's.
bool IsUpdaterName(const std::string& mainExeName);

// The updater's own executable's full path.
std::string AppExecutablePath();

// The program directory: the directory part of the executable's path, ending in "\". Settled at
// its first call and the same for the rest of the run, also when the updater's own file is moved
// (into the backup, by an update that brings a new updater).
const std::string& GetAppDir();
