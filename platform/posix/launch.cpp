// Starting a program on POSIX: posix_spawn with an argument vector (no shell), and a thread that
// collects the program when it ends.
#include "platform/launch.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>

#include "platform/files_internal.h"

extern char** environ;

namespace platform {
namespace {

constexpr char kOperation[] = "start program";

// A program delivered inside an archive often arrives without its execute permission.
void MakeExecutableByOwner(const std::string& native) {
  struct stat info;
  if (stat(native.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  if ((info.st_mode & S_IXUSR) != 0) return;
  // A failure shows up as the spawn's own EACCES.
  chmod(native.c_str(), (info.st_mode & 07777) | S_IXUSR);
}

// A child that nobody waits for stays a zombie until the caller ends; a detached thread blocked
// on this one child collects it, without touching the caller's other children.
void CollectWhenEnded(pid_t child) {
  try {
    std::thread([child] {
      int status;
      while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread: the child stays a zombie until the caller ends, which is harmless.
  }
}

}  // namespace

bool StartProgram(const std::string& path, const std::string& argument) {
  if (path.find('\0') != std::string::npos || argument.find('\0') != std::string::npos) {
    internal::RecordError(kOperation, path, EINVAL);
    return false;
  }
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  MakeExecutableByOwner(native);

  // The caller's blocked signals would carry over into the new program; it starts with none.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);

  char* argv[] = {native.data(), const_cast<char*>(argument.c_str()), nullptr};
  pid_t child = 0;
  const int error = posix_spawn(&child, native.c_str(), nullptr, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    internal::RecordError(kOperation, path, error);
    return false;
  }
  CollectWhenEnded(child);
  return true;
}

}  // namespace platform
