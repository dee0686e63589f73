// Scratch directories: a new directory of its own in the system's temporary directory, and the
// removal of a directory with everything below it.
#pragma once

#include <string>

namespace platform {

// Creates a new, empty directory named `prefix` plus a unique part in the system's temporary
// directory and returns its path ("\" separators); empty when it cannot.
std::string MakeTemporaryDirectory(const std::string& prefix);

// Removes `path` and everything below it, read-only files included. True when it is gone.
bool RemoveDirectoryTree(const std::string& path);

}  // namespace platform
