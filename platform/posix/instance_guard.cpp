// The single-instance guard on POSIX: an exclusive flock on a per-user lock file, and on a
// directory's lock file, that stays open, and so locked, until the process ends.
#include "platform/instance_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/files.h"
#include "platform/instance_guard_internal.h"
#include "platform/posix/user_name.h"

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
internal::GuardOutcome LockForLife(const std::string& path, int access, mode_t mode, bool ownOnly) {
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

// What OpenDirectoryLock returns for a missing lock that this user may not create.
constexpr int kNotCreatable = -2;

std::string OwnerText(uid_t owner) {
  return "it belongs to the user " + internal::UserNameOf(owner) +
         " (made by an update run as that user)";
}

// Opens the directory lock for reading and writing, created private when missing; a descriptor,
// kNotCreatable, or -1 with `reason` said.
int OpenDirectoryLock(const std::string& path, std::string& reason) {
  // O_NOFOLLOW: the name could be a link to a file elsewhere. O_CLOEXEC: the relaunched program
  // would hold the lock on. O_NONBLOCK: a FIFO at the name must not hold the open up.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) return fd;
  const int code = errno;
  struct stat info;
  const bool exists = lstat(path.c_str(), &info) == 0;
  if (!exists && errno == ENOENT && (code == EACCES || code == EPERM || code == EROFS)) {
    return kNotCreatable;
  }
  reason = exists && S_ISLNK(info.st_mode)      ? std::string("it is a link")
           : exists && info.st_uid != geteuid() ? OwnerText(info.st_uid)
                                                : "open: " + SystemErrorText(code);
  return -1;
}

// Puts a new private lock, held by this process, in the place of `path`: true when done.
bool ReplaceWithPrivateLock(const std::string& path) {
  const std::string fresh = path + "." + std::to_string(getpid());
  (void)::unlink(fresh.c_str());  // left by a process of this id that ended on the way
  const int fd = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  if (fchmod(fd, 0600) == 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
      ::rename(fresh.c_str(), path.c_str()) == 0) {
    return true;  // both stay open, and held, for the rest of the process's life
  }
  (void)::unlink(fresh.c_str());  // nothing else knows its name
  ::close(fd);
  return false;
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

DirectoryGuard AcquireDirectoryGuard(const std::string& lockPath, std::string* why) {
  std::string native = lockPath;
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  std::string ignored;
  std::string& reason = why != nullptr ? *why : ignored;
  reason.clear();
  if (native.find('\0') != std::string::npos) {
    reason = "its name holds a NUL byte";
    return DirectoryGuard::kRefused;
  }
  const int fd = OpenDirectoryLock(native, reason);
  if (fd == kNotCreatable) return DirectoryGuard::kNotCreatable;
  if (fd < 0) return DirectoryGuard::kRefused;
  struct stat info;
  if (fstat(fd, &info) != 0) {
    reason = "fstat: " + SystemErrorText(errno);
  } else if (!S_ISREG(info.st_mode)) {
    reason = "it is not a regular file";
  } else if (info.st_uid != geteuid()) {
    reason = OwnerText(info.st_uid);
  }
  if (!reason.empty()) {
    ::close(fd);
    return DirectoryGuard::kRefused;
  }
  // Made by an older updater, open to all: whoever opened it meanwhile may hold it.
  const bool private_ = (info.st_mode & 077) == 0;
  int result;
  do {
    result = flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    const int code = errno;
    ::close(fd);
    if (code == EWOULDBLOCK && private_) return DirectoryGuard::kHeldElsewhere;
    reason = code == EWOULDBLOCK ? "it is held by another process, and other users may open it"
                                 : "flock: " + SystemErrorText(code);
    return DirectoryGuard::kRefused;
  }
  // Held now: a lock that others may open gives way to a private one, which this process
  // holds before its name takes the place of the old one. Whatever fails on the way leaves
  // the old one private; it stays held either way.
  if (!private_ && !ReplaceWithPrivateLock(native) && fchmod(fd, 0600) != 0) {
    reason = "it cannot be made private: " + SystemErrorText(errno);
    ::close(fd);
    return DirectoryGuard::kRefused;
  }
  // The descriptor stays open for the rest of the process's life: closing it would unlock.
  return DirectoryGuard::kTaken;
}

}  // namespace platform
