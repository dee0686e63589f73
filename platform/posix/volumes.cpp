// Drives and volumes on POSIX, which has no drive letters: what a path's file system tells of
// its room (statvfs) and its type (statfs).
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/files.h"
#include "platform/posix/files_internal.h"
#include "platform/posix/native_path.h"

namespace platform {

// ---- Drives ---------------------------------------------------------------------------------

DriveKind DriveKindOf(const std::string& rootPath) {
  std::string native;
  if (!Native("get drive type", rootPath, &native)) return DriveKind::kNoRootDir;
  // Windows takes an empty root as the current directory's drive.
  if (native.empty()) native.push_back('.');
  struct stat info;
  if (stat(native.c_str(), &info) != 0) {
    Record("get drive type", rootPath, errno);
    return DriveKind::kNoRootDir;
  }
  return DriveKind::kFixed;
}

std::string VolumeLabel(const std::string&) {
  return "";
}

// ---- Room and rights of a volume ------------------------------------------------------------

int64_t FreeDiskSpace(const std::string& path) {
  std::string native;
  if (!Native("get free space", path, &native)) return -1;
  struct statvfs info;
  if (statvfs(native.c_str(), &info) != 0) {
    Record("get free space", path, errno);
    return -1;
  }
  // The blocks left to an unprivileged user; a count beyond the type's range is capped.
  const uint64_t blocks = info.f_bavail;
  const uint64_t blockSize = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
  constexpr uint64_t kMax = static_cast<uint64_t>(INT64_MAX);
  if (blockSize != 0 && blocks > kMax / blockSize) return INT64_MAX;
  return static_cast<int64_t>(blocks * blockSize);
}

int64_t VolumeClusterSize(const std::string& path) {
  std::string native;
  if (!Native("get cluster size", path, &native)) return -1;
  struct statvfs info;
  if (statvfs(native.c_str(), &info) != 0) {
    Record("get cluster size", path, errno);
    return -1;
  }
  // Some file systems leave the fragment size unset and give the block size alone.
  const uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
  if (unit == 0 || unit > static_cast<uint64_t>(INT64_MAX)) {
    Record("get cluster size", path, EOVERFLOW);
    return -1;
  }
  return static_cast<int64_t>(unit);
}

bool IsUnderProtectedLocation(const std::string&) {
  return false;
}

bool IsOnFatVolume(const std::string& path) {
  // The magic numbers of the kernel's msdos/vfat and exfat file systems.
  constexpr unsigned long kMsdosMagic = 0x4d44;
  constexpr unsigned long kExfatMagic = 0x2011BAB0;
  std::string native;
  if (!Native("look at the file system", path, &native)) return false;
  struct statfs info;
  if (statfs(native.c_str(), &info) != 0) return false;
  const auto type = static_cast<unsigned long>(info.f_type);
  return type == kMsdosMagic || type == kExfatMagic;
}

}  // namespace platform
