// Directory trees: a new scratch directory in the system's temporary directory, the removal of
// a directory with everything below it, and the listing of a tree.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Creates a new, empty directory named `prefix` plus a unique part in the system's temporary
// directory and returns its path ("\" separators); empty when it cannot.
std::string MakeTemporaryDirectory(const std::string& prefix);

// Removes `path` and everything below it, read-only files included. True when it is gone.
bool RemoveDirectoryTree(const std::string& path);

// Everything below `path`, as paths relative to it with "\" separators, sorted; directories end
// in "\". Empty when `path` is not a directory.
std::vector<std::string> ListDirectoryTree(const std::string& path);

}  // namespace platform
