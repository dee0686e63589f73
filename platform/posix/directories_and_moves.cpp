// Directories and moves on POSIX: mkdir, rmdir, unlink, rename, the current directory and the
// running executable (from /proc/self/exe).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/posix/files_internal.h"
#include "platform/posix/native_path.h"

namespace platform {

bool MakeDirectory(const std::string& path) {
  std::string native;
  if (!Native("create directory", path, &native)) return false;
  if (mkdir(native.c_str(), 0777) != 0) {
    Record("create directory", path, errno);
    return false;
  }
  return true;
}

bool DeleteDirectory(const std::string& path) {
  std::string native;
  if (!Native("remove directory", path, &native)) return false;
  if (rmdir(native.c_str()) != 0) {
    Record("remove directory", path, errno);
    return false;
  }
  return true;
}

bool RemoveFile(const std::string& path) {
  std::string native;
  if (!Native("delete file", path, &native)) return false;
  if (unlink(native.c_str()) != 0) {
    Record("delete file", path, errno);
    return false;
  }
  return true;
}

bool FlushDirectory(const std::string& path) {
  std::string native;
  if (!Native("flush directory", path, &native)) return false;
  if (InjectedFailure(internal::FaultKind::kFlush, "flush directory", path)) return false;
  const int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    Record("flush directory", path, errno);
    return false;
  }
  const bool flushed = fsync(fd) == 0;
  if (!flushed) Record("flush directory", path, errno);
  ::close(fd);
  return flushed;
}

bool RenameFile(const std::string& from, const std::string& to) {
  std::string nativeFrom;
  std::string nativeTo;
  if (!Native("rename", from, &nativeFrom) || !Native("rename", to, &nativeTo)) return false;
  if (InjectedFailure(internal::FaultKind::kRename, "rename", from)) return false;
  // renameat2 refuses an existing target atomically; file systems without RENAME_NOREPLACE
  // get the check-then-rename fallback.
  if (renameat2(AT_FDCWD, nativeFrom.c_str(), AT_FDCWD, nativeTo.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    Record("rename", from, errno);
    return false;
  }
  struct stat info;
  if (lstat(nativeTo.c_str(), &info) == 0) {
    Record("rename", from, EEXIST);
    return false;
  }
  if (rename(nativeFrom.c_str(), nativeTo.c_str()) != 0) {
    Record("rename", from, errno);
    return false;
  }
  return true;
}

bool ReplaceFileAtomically(const std::string& from, const std::string& to) {
  std::string nativeFrom;
  std::string nativeTo;
  if (!Native("replace", from, &nativeFrom) || !Native("replace", to, &nativeTo)) return false;
  if (InjectedFailure(internal::FaultKind::kRename, "replace", from)) return false;
  if (rename(nativeFrom.c_str(), nativeTo.c_str()) != 0) {
    Record("replace", from, errno);
    return false;
  }
  return true;
}

bool ChangeDirectory(const std::string& path) {
  std::string native;
  if (!Native("change directory", path, &native)) return false;
  if (chdir(native.c_str()) != 0) {
    Record("change directory", path, errno);
    return false;
  }
  return true;
}

namespace {

// The current directory in native form, or empty (with the failure recorded).
std::string NativeCurrentDirectory() {
  std::vector<char> buffer(256);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) return buffer.data();
    if (errno != ERANGE || buffer.size() >= (1u << 20)) {
      Record("get current directory", "", errno);
      return "";
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string CurrentDirectory() {
  return SystemForm(NativeCurrentDirectory());
}

std::string ExecutablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) {
      Record("get executable path", "/proc/self/exe", errno);
      return "";
    }
    // readlink truncates silently: only a result shorter than the buffer is known to be whole.
    if (static_cast<size_t>(n) < buffer.size()) {
      return SystemForm(std::string(buffer.data(), static_cast<size_t>(n)));
    }
    if (buffer.size() >= (1u << 20)) {
      Record("get executable path", "/proc/self/exe", ENAMETOOLONG);
      return "";
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExpandFileName(const std::string& path) {
  std::string native;
  if (path.empty()) return "";
  if (!Native("expand file name", path, &native)) return "";
  if (native.front() != '/') {
    const std::string current = NativeCurrentDirectory();
    if (current.empty()) return "";
    native = current + "/" + native;
  }
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= native.size()) {
    size_t end = native.find('/', start);
    if (end == std::string::npos) end = native.size();
    const std::string part = native.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "\\" + part;
  if (result.empty() || native.back() == '/') result += "\\";
  return result;
}

}  // namespace platform
