// update-pack's view of a release tree: every file and directory below a directory, with what the
// archive keeps of each (time, permissions, attributes), links refused rather than followed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TReleaseItem {
  std::string Path;        // relative, "/" separators; a directory's ends in "/"
  std::string SourcePath;  // the file itself, in the system's form ("\" separators)
  bool IsDirectory = false;
  bool IsEmpty = false;  // a directory with nothing in it
  uint64_t Size = 0;     // a file's bytes
  // A file's last write, in seconds since 1970-01-01 UTC; 0 for a directory, whose time is never
  // read: it changes with every file made or removed in it (or a touch), and the same files
  // must give the same archive.
  int64_t ModifiedTime = 0;
  int32_t Permissions = -1;  // the permission bits (0777), or -1 where the system has none
  uint32_t Attributes = 0;   // DOS attributes: read-only, hidden, system, directory or archive
};

// Lists the tree below `root` (the system's form), sorted by Path in byte order. Every path must
// be one a release may hold (CheckReleasePath); with `skipOwnNames`, the updater's own names at
// the top (an installed program's bookkeeping, its record, its log) are left out instead of
// refused. A link, a device or anything else that is neither a file nor a directory is refused,
// never followed. False with `reason` naming the path and why.
[[nodiscard]] bool ListReleaseTree(const std::string& root, bool skipOwnNames,
                                   std::vector<TReleaseItem>* items, std::string* reason);
