// Directory trees on POSIX: walked through directory descriptors (openat, fstatat without
// following links, unlinkat), so that no link met on the way, the first name included, is ever
// entered.
#include "platform/temporary_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/files_internal.h"
#include "platform/posix/native_path.h"

namespace platform {
namespace {

// An open directory descriptor; closed by the destructor.
class DirectoryHandle {
 public:
  explicit DirectoryHandle(int fd) : fd_(fd) {}
  ~DirectoryHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  DirectoryHandle(const DirectoryHandle&) = delete;
  DirectoryHandle& operator=(const DirectoryHandle&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }

 private:
  int fd_;
};

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Opens the directory `name` in `parent` (AT_FDCWD for a path), never through a link. A
// directory whose owner lacks read or search permission gets it back first when `giveRights`.
DirectoryHandle OpenDirectory(int parent, const char* name, const struct stat& info,
                              bool giveRights) {
  if (giveRights && (info.st_mode & S_IRWXU) != S_IRWXU) {
    // AT_SYMLINK_NOFOLLOW: a link put in its place meanwhile keeps its target's rights.
    (void)fchmodat(parent, name, (info.st_mode & 07777) | S_IRWXU, AT_SYMLINK_NOFOLLOW);
  }
  int fd;
  do {
    fd = ::openat(parent, name, kDirectoryFlags);
  } while (fd < 0 && errno == EINTR);
  return DirectoryHandle(fd);
}

// The names in the directory `fd`, "." and ".." left out; false when it cannot be read whole.
bool ReadNames(int fd, std::vector<std::string>* names) {
  // fdopendir takes over the descriptor it is given: a copy of its own.
  const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return false;
  DIR* dir = fdopendir(copy);
  if (dir == nullptr) {
    ::close(copy);
    return false;
  }
  bool whole = true;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) {
      whole = errno == 0;
      break;
    }
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  closedir(dir);
  return whole;
}

// Removes everything in the directory `fd`; false when something stays.
bool RemoveContents(int fd) {
  std::vector<std::string> names;
  bool removed = ReadNames(fd, &names);
  for (const std::string& name : names) {
    struct stat info;
    if (fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      removed = removed && errno == ENOENT;
      continue;
    }
    if (S_ISDIR(info.st_mode)) {
      const DirectoryHandle child = OpenDirectory(fd, name.c_str(), info, true);
      if (!child.IsOpen() || !RemoveContents(child.Fd())) removed = false;
      if (unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0) removed = false;
    } else if (unlinkat(fd, name.c_str(), 0) != 0) {
      // A link, a special file or a file: the name goes, whatever it leads to.
      removed = removed && errno == ENOENT;
    }
  }
  return removed;
}

// Appends everything in the directory `fd` to `result`, each name after `prefix`.
void ListContents(int fd, const std::string& prefix, std::vector<std::string>* result) {
  std::vector<std::string> names;
  (void)ReadNames(fd, &names);
  for (const std::string& name : names) {
    struct stat info;
    if (fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISDIR(info.st_mode)) {
      result->push_back(prefix + name);
      continue;
    }
    result->push_back(prefix + name + "\\");
    const DirectoryHandle child = OpenDirectory(fd, name.c_str(), info, false);
    if (child.IsOpen()) ListContents(child.Fd(), prefix + name + "\\", result);
  }
}

}  // namespace

bool RemoveDirectoryTree(const std::string& path) {
  std::string native;
  if (!internal::Native("remove directory tree", path, &native)) return false;
  // "dir/" would make the calls below resolve a final link.
  native = internal::WithoutFinalSlashes(native);
  struct stat info;
  if (native.empty()) return false;
  if (lstat(native.c_str(), &info) != 0) return errno == ENOENT;
  if (!S_ISDIR(info.st_mode)) return ::unlink(native.c_str()) == 0 || errno == ENOENT;
  {
    const DirectoryHandle dir = OpenDirectory(AT_FDCWD, native.c_str(), info, true);
    if (dir.IsOpen()) (void)RemoveContents(dir.Fd());
  }
  if (::rmdir(native.c_str()) == 0 || errno == ENOENT) return true;
  internal::RecordError("remove directory tree", path, errno);
  return false;
}

std::vector<std::string> ListDirectoryTree(const std::string& path) {
  std::vector<std::string> result;
  std::string native;
  if (!internal::Native("list directory tree", path, &native)) return result;
  native = internal::WithoutFinalSlashes(native);
  struct stat info;
  if (native.empty() || lstat(native.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return result;
  }
  const DirectoryHandle dir = OpenDirectory(AT_FDCWD, native.c_str(), info, false);
  if (dir.IsOpen()) ListContents(dir.Fd(), "", &result);
  std::sort(result.begin(), result.end());
  return result;
}

}  // namespace platform
