// Files in use on POSIX: a rename never waits on another process, so nothing is ever held; who
// has a file open is read from /proc.
#include "platform/files_in_use.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

namespace platform {
namespace {

// Whether process `id` has the file (device, inode) open; kUnknown when its entries cannot be
// read.
HeldBy ProcessHolds(int id, const struct stat& file) {
  const std::string fds = "/proc/" + std::to_string(id) + "/fd";
  DIR* dir = opendir(fds.c_str());
  if (dir == nullptr) return HeldBy::kUnknown;
  HeldBy held = HeldBy::kNo;
  while (const dirent* entry = readdir(dir)) {
    struct stat info;
    if (entry->d_name[0] == '.' || stat((fds + "/" + entry->d_name).c_str(), &info) != 0) continue;
    if (info.st_dev == file.st_dev && info.st_ino == file.st_ino) {
      held = HeldBy::kYes;
      break;
    }
  }
  closedir(dir);
  return held;
}

}  // namespace

std::vector<std::vector<FileHolder>> FileHolders(const std::vector<std::string>& paths) {
  return std::vector<std::vector<FileHolder>>(paths.size());
}

RenameProbe ProbeRename(const std::string&) {
  return RenameProbe::kFree;
}

HeldBy ProcessesHoldFile(const std::vector<int>& ids, const std::string& path) {
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  struct stat file;
  // A file that has gone is held by nobody.
  if (stat(native.c_str(), &file) != 0) return errno == ENOENT ? HeldBy::kNo : HeldBy::kUnknown;
  HeldBy answer = HeldBy::kNo;
  for (const int id : ids) {
    const HeldBy held = ProcessHolds(id, file);
    if (held == HeldBy::kYes) return held;
    if (held == HeldBy::kUnknown) answer = held;
  }
  return answer;
}

bool IsPassingLock(int, const std::string&) {
  return false;
}

}  // namespace platform
