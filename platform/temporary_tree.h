// Directory trees: a new scratch directory in the system's temporary directory, the removal of
// a directory with everything below it, and the listing of a tree, links never followed.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Creates a new, empty directory named `prefix` plus a unique part in the system's temporary
// directory and returns its path ("\" separators); empty when it cannot.
std::string MakeTemporaryDirectory(const std::string& prefix);

// Neither call below ever follows a link (a symbolic link, dangling or not; on Windows any
// reparse point: a junction, a mount point, a symbolic link), at any level, `path` itself
// included, with or without a final separator: a link is removed as a link and listed as a
// name, never entered, and no right of anything it leads to is changed. (POSIX walks the tree
// through directory descriptors, Windows through FindFirstFileEx and the reparse-point
// attribute.)

// Removes `path` and everything below it, read-only files and directories without rights
// included (their owner's rights are given back on the way; on Windows the read-only attribute
// is cleared). A file or a link at `path` is removed alone. True when nothing is left at `path`.
bool RemoveDirectoryTree(const std::string& path);

// Everything below `path`, as paths relative to it with "\" separators, sorted; directories end
// in "\", while links and special files (FIFOs, devices, sockets) are listed like files. Empty
// when `path` is not a directory (a link to one included).
std::vector<std::string> ListDirectoryTree(const std::string& path);

}  // namespace platform
