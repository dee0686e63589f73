// Names and attributes on POSIX: the DOS attributes and the permission bits as one file mode, read
// with stat and changed with one chmod at most; the file identity and date of a name.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/files.h"
#include "platform/posix/files_internal.h"
#include "platform/posix/native_path.h"

namespace platform {

uint32_t ReadAttributes(const std::string& path) {
  std::string native;
  if (!Native("get attributes", path, &native)) return kInvalidAttributes;
  struct stat info;
  if (stat(native.c_str(), &info) != 0) {
    Record("get attributes", path, errno);
    return kInvalidAttributes;
  }
  if (S_ISDIR(info.st_mode)) return kAttrDirectory;
  return (info.st_mode & S_IWUSR) == 0 ? kAttrArchive | kAttrReadOnly : kAttrArchive;
}

namespace {

// The one stat and at most one chmod behind the attribute and permission setters. The DOS
// read-only bit of `attributes` (when given) maps to the write permissions of a file; the
// permission bits of `permissions` (when not negative) replace the mode's rwx bits. A directory
// keeps its mode under the attributes and its owner's rwx under the permissions.
int ChangeMode(const char* operation, const std::string& path, const uint32_t* attributes,
               int32_t permissions) {
  std::string native;
  if (!Native(operation, path, &native)) return EINVAL;
  native = WithoutFinalSlashes(native);
  struct stat info;
  const int code = lstat(native.c_str(), &info) != 0 ? errno : S_ISLNK(info.st_mode) ? ELOOP : 0;
  if (code != 0) {
    Record(operation, path, code);
    return code;
  }
  const bool directory = S_ISDIR(info.st_mode);
  const mode_t current = info.st_mode & 07777;
  mode_t wanted = current;
  if (attributes != nullptr && !directory) {
    wanted = (*attributes & kAttrReadOnly) != 0
                 ? wanted & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)
                 : wanted | S_IWUSR;
  }
  if (permissions >= 0) {
    wanted = static_cast<mode_t>(permissions) & 0777;
    if (directory) wanted |= S_IRWXU;
  }
  // AT_SYMLINK_NOFOLLOW: a link put there since the look above is refused, not followed.
  if (wanted != current && fchmodat(AT_FDCWD, native.c_str(), wanted, AT_SYMLINK_NOFOLLOW) != 0) {
    const int failure = errno;
    Record(operation, path, failure);
    return failure;
  }
  return 0;
}

}  // namespace

int WriteAttributes(const std::string& path, uint32_t attributes) {
  return ChangeMode("set attributes", path, &attributes, -1);
}

int WritePermissions(const std::string& path, uint32_t mode) {
  return ChangeMode("set permissions", path, nullptr, static_cast<int32_t>(mode & 0777));
}

int WriteAttributesAndPermissions(const std::string& path, uint32_t attributes,
                                  int32_t permissions) {
  return ChangeMode("set attributes", path, &attributes, permissions < 0 ? -1 : permissions & 0777);
}

int32_t ReadPermissions(const std::string& path) {
  std::string native;
  if (!Native("read permissions", path, &native)) return -1;
  struct stat info;
  if (stat(native.c_str(), &info) != 0) {
    Record("read permissions", path, errno);
    return -1;
  }
  return static_cast<int32_t>(info.st_mode & 07777);
}

bool IsReservedFileName(const std::string&) {
  return false;
}

int32_t FileDosDateTime(const std::string& path) {
  std::string native;
  if (!Native("file date", path, &native)) return -1;
  struct stat info;
  if (stat(native.c_str(), &info) != 0) {
    Record("file date", path, errno);
    return -1;
  }
  if (S_ISDIR(info.st_mode)) {
    Record("file date", path, EISDIR);
    return -1;
  }
  const int32_t result = TimeToDosDateTime(info.st_mtim.tv_sec);
  if (result == -1) Record("file date", path, EOVERFLOW);
  return result;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::string nativeA, nativeB;
  if (!Native("compare files", a, &nativeA) || !Native("compare files", b, &nativeB)) return false;
  struct stat infoA, infoB;
  if (stat(nativeA.c_str(), &infoA) != 0 || stat(nativeB.c_str(), &infoB) != 0) return false;
  return infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino;
}

}  // namespace platform
