// Small questions and steps composed of the file layer's calls (platform/files.h), the same on
// every system: whether a file or a directory is there, and a directory with all its parents.
#pragma once

#include <string>

namespace platform {

// Whether `path` names an existing file that is not a directory (FileExists) or an existing
// directory (DirectoryExists). Both follow symbolic links, as ReadAttributes does.
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// Creates `path` and every missing parent; "/" separates as "\" does. Existing directories,
// drive roots ("C:", "C:\", "\") and the current directory count as present. True when
// everything needed is there; false for an empty path or when a directory could not be made
// (recorded in LastError()).
[[nodiscard]] bool MakeDirectories(const std::string& path);

}  // namespace platform
