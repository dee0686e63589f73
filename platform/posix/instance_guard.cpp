// The single-instance guard on POSIX: an exclusive flock on a per-user lock file that stays open,
// and so locked, until the process ends.
#include "platform/instance_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/instance_guard_internal.h"

namespace platform {
namespace {

// The lock file for `name`, or empty when the name cannot make one.
std::string LockPath(const std::string& name) {
  if (name.empty() || name.find_first_of(std::string("/\0", 2)) != std::string::npos) return "";
  const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
  if (runtimeDir != nullptr && runtimeDir[0] == '/') {
    return std::string(runtimeDir) + "/" + name + ".lock";
  }
  // Not $TMPDIR: every process of the user must reach the same file, whatever its environment.
  return "/tmp/" + name + "-" + std::to_string(geteuid()) + ".lock";
}

// Opens `path` (created when missing, never through a link) and locks it exclusively for the
// rest of the process's life. `ownOnly`: only a file of this user counts.
internal::GuardOutcome LockForLife(const std::string& path, int access, mode_t mode,
                                   bool ownOnly) {
  using internal::GuardOutcome;
  // Without O_CLOEXEC a program started later (the relaunched main program) would inherit the
  // descriptor and hold the lock on after this process ended. O_NOFOLLOW: in a shared
  // directory the name could be another user's symbolic link.
  int fd;
  do {
    fd = ::open(path.c_str(), access | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return GuardOutcome::kError;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (ownOnly && info.st_uid != geteuid())) {
    ::close(fd);
    return GuardOutcome::kError;
  }
  int result;
  do {
    result = flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    const bool heldElsewhere = errno == EWOULDBLOCK;
    ::close(fd);
    return heldElsewhere ? GuardOutcome::kHeldElsewhere : GuardOutcome::kError;
  }
  // The descriptor stays open for the rest of the process's life: closing it would unlock.
  return GuardOutcome::kTaken;
}

}  // namespace

namespace internal {

GuardOutcome TakeSystemGuard(const std::string& name) {
  const std::string path = LockPath(name);
  if (path.empty()) return GuardOutcome::kError;
  // Someone else's file could be locked by its owner to keep this user out: not ours, no guard.
  return LockForLife(path, O_RDWR, 0600, true);
}

}  // namespace internal

DirectoryGuard AcquireDirectoryGuard(const std::string& lockPath) {
  std::string native = lockPath;
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  if (native.find('\0') != std::string::npos) return DirectoryGuard::kUnavailable;
  // Read access is all flock needs, so another user who may read the file is guarded too.
  switch (LockForLife(native, O_RDONLY, 0644, false)) {
    case internal::GuardOutcome::kTaken:
      return DirectoryGuard::kTaken;
    case internal::GuardOutcome::kHeldElsewhere:
      return DirectoryGuard::kHeldElsewhere;
    case internal::GuardOutcome::kError:
      break;
  }
  return DirectoryGuard::kUnavailable;
}

}  // namespace platform
