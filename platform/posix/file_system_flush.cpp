// Many files made durable at once on POSIX: one syncfs of the file system that holds them.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/files.h"
#include "platform/posix/files_internal.h"
#include "platform/posix/native_path.h"

namespace platform {

bool FilesNeedFlushEach() {
  return false;
}

FileSystemFlush::FileSystemFlush(const std::string& path) : path_(path) {
  std::string native;
  if (!Native("flush file system", path, &native)) {
    openError_ = LastError().code;
    return;
  }
  // Opened now: syncfs reports the write-back failures since its descriptor was opened.
  handle_ = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (handle_ < 0) openError_ = errno;
}

FileSystemFlush::~FileSystemFlush() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

FileSystemFlush::FileSystemFlush(FileSystemFlush&& other) noexcept
    : path_(std::move(other.path_)), handle_(other.handle_), openError_(other.openError_) {
  other.handle_ = -1;
}

FileSystemFlush& FileSystemFlush::operator=(FileSystemFlush&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    path_ = std::move(other.path_);
    handle_ = other.handle_;
    openError_ = other.openError_;
    other.handle_ = -1;
  }
  return *this;
}

bool FileSystemFlush::Flush() {
  if (InjectedFailure(internal::FaultKind::kFlush, "flush file system", path_)) return false;
  if (handle_ < 0) {
    Record("flush file system", path_, openError_);
    return false;
  }
  if (syncfs(static_cast<int>(handle_)) != 0) {
    Record("flush file system", path_, errno);
    return false;
  }
  return true;
}

}  // namespace platform
