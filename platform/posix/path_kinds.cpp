// What a name is on POSIX: lstat, or stat when links are followed.
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "platform/files.h"
#include "platform/posix/files_internal.h"
#include "platform/posix/native_path.h"

namespace platform {
namespace {

PathKind KindOf(const char* operation, const std::string& path, bool followLinks) {
  std::string native;
  if (!Native(operation, path, &native)) return PathKind::kUnknown;
  if (!followLinks) native = WithoutFinalSlashes(native);
  struct stat info;
  const int result = followLinks ? stat(native.c_str(), &info) : lstat(native.c_str(), &info);
  if (result != 0) {
    const int code = errno;
    if (code == ENOENT || code == ENOTDIR) return PathKind::kMissing;
    Record(operation, path, code);
    return PathKind::kUnknown;
  }
  if (S_ISREG(info.st_mode)) return PathKind::kFile;
  if (S_ISDIR(info.st_mode)) return PathKind::kDirectory;
  if (S_ISLNK(info.st_mode)) return PathKind::kLink;
  return PathKind::kSpecial;
}

}  // namespace

PathKind LinkFreeKind(const std::string& path) {
  return KindOf("look at", path, false);
}

PathKind KindOfPath(const std::string& path) {
  return KindOf("look at", path, true);
}

std::string LinkFreeKindText(const std::string& path) {
  const PathKind kind = LinkFreeKind(path);
  std::string native;
  struct stat info;
  if (kind != PathKind::kSpecial || !Native("look at", path, &native) ||
      lstat(WithoutFinalSlashes(native).c_str(), &info) != 0) {
    return PathKindText(kind);
  }
  if (S_ISFIFO(info.st_mode)) return "a FIFO";
  if (S_ISSOCK(info.st_mode)) return "a socket";
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "a device";
  return PathKindText(kind);
}

}  // namespace platform
