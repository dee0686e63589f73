// The archive component's own steps on directories: making a destination with all its parents
// (an empty one is an error of its own) and asking whether a directory can be entered.
#pragma once

#include <string>

// Creates `path` and every missing parent; "/" separates as "\" does. An empty path raises
// EInOutError "Unable to create directory" (code 3). Existing directories, drive roots ("C:",
// "C:\", "\") and the current directory count as present. True when everything needed was
// created.
bool ForceDirectories(const std::string& path);
// Whether the process can make `path` its current directory; the current directory is changed for
// the test and changed back.
bool CanChangeToDir(const std::string& path);
