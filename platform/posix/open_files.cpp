// Open files on POSIX: a File is a file descriptor; its times go between DOS date/time and local
// time through localtime_r and mktime.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/dos_date_rule.h"
#include "platform/files.h"
#include "platform/posix/files_internal.h"
#include "platform/posix/native_path.h"

namespace platform {
namespace internal {

int32_t TimeToDosDateTime(time_t value) {
  std::tm fields{};
  if (localtime_r(&value, &fields) == nullptr) return -1;
  const int year = fields.tm_year + 1900;
  if (year < 1980 || year > 2107) return -1;
  // tm_sec can be 60 on a leap second; DOS time stops at 58.
  const int second = fields.tm_sec > 59 ? 59 : fields.tm_sec;
  const DosDateTimeFields dos{
      static_cast<uint32_t>(year),           static_cast<uint32_t>(fields.tm_mon + 1),
      static_cast<uint32_t>(fields.tm_mday), static_cast<uint32_t>(fields.tm_hour),
      static_cast<uint32_t>(fields.tm_min),  static_cast<uint32_t>(second)};
  return static_cast<int32_t>(PackDosDateTime(dos));
}

}  // namespace internal

namespace {

// The error recorded for a name that kOpenCreate and kOpenNoLinks do not open: a link, a
// directory, or a FIFO, a device or a socket.
int NotRegularCode(mode_t mode) {
  if (S_ISLNK(mode)) return ELOOP;
  if (S_ISDIR(mode)) return EISDIR;
  return ENXIO;
}

// The local time that a DOS date/time names, or false when its fields do not form a real date
// and time (mktime would quietly roll 31 February over into March).
bool DosDateTimeToTime(uint32_t dosDateTime, time_t* result) {
  if (!IsValidDosDateTime(dosDateTime)) return false;
  const DosDateTimeFields f = SplitDosDateTime(dosDateTime);
  // mktime looks at the time zone file on every call; the files of an archive mostly share a
  // few hours, and within an hour the offset from UTC stays the same, so the start of the last
  // hour converted serves again.
  thread_local uint32_t cachedHour = 0;
  thread_local time_t cachedHourStart = 0;
  const uint32_t hourKey = dosDateTime & 0xFFFFF800u;
  if (cachedHour != hourKey) {
    std::tm fields{};
    fields.tm_year = static_cast<int>(f.Year) - 1900;
    fields.tm_mon = static_cast<int>(f.Month) - 1;
    fields.tm_mday = static_cast<int>(f.Day);
    fields.tm_hour = static_cast<int>(f.Hour);
    fields.tm_isdst = -1;
    const time_t hourStart = std::mktime(&fields);
    if (hourStart == static_cast<time_t>(-1)) return false;
    cachedHour = hourKey;
    cachedHourStart = hourStart;
  }
  *result = cachedHourStart + static_cast<time_t>(f.Minute * 60 + f.Second);
  return true;
}

}  // namespace

File File::Open(const std::string& path, uint16_t mode) {
  const bool create = mode == kOpenCreate;
  const bool regularOnly = create || (mode & kOpenNoLinks) != 0;
  const char* operation = create ? "create" : "open";
  std::string native;
  if (!Native(operation, path, &native)) return File();
  int flags = O_CLOEXEC;
  if (create) {
    flags |= O_RDWR | O_CREAT | O_TRUNC;
  } else {
    const int access = mode & 0x03;
    if (access == 3 || (mode & 0xF0) > kShareDenyNone) {
      Record(operation, path, EINVAL);
      return File();
    }
    flags |= access == 0 ? O_RDONLY : access == 1 ? O_WRONLY : O_RDWR;
    if ((mode & kOpenAppend) != 0) flags |= O_APPEND;
  }
  if (regularOnly) {
    // Looked at first, so that a device is not even opened (opening one may act on it); the
    // open itself refuses a link that appears meanwhile, and the check after it the rest.
    struct stat before;
    if (lstat(native.c_str(), &before) == 0 && !S_ISREG(before.st_mode)) {
      Record(operation, path, NotRegularCode(before.st_mode));
      return File();
    }
    flags |= O_NOFOLLOW;
  }
  // Non-blocking only for the open itself, so that a FIFO without a partner cannot hang it. The
  // create mode opens only regular files, which ignore the flag.
  int fd;
  do {
    fd = ::open(native.c_str(), flags | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    Record(operation, path, errno);
    return File();
  }
  File file(fd);
  struct stat info;
  if (fstat(fd, &info) != 0) {
    Record(operation, path, errno);
    return File();
  }
  // Windows cannot open a directory as a file; a read-only open of one succeeds here.
  if (S_ISDIR(info.st_mode) || (regularOnly && !S_ISREG(info.st_mode))) {
    Record(operation, path, NotRegularCode(info.st_mode));
    return File();
  }
  // Regular files ignore O_NONBLOCK; anything else (a FIFO, a device) gets blocking I/O back.
  if (S_ISREG(info.st_mode)) return file;
  const int statusFlags = fcntl(fd, F_GETFL);
  if (statusFlags < 0 || fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK) != 0) {
    Record(operation, path, errno);
    return File();
  }
  return file;
}

File File::CreateNew(const std::string& path, bool ownerOnly) {
  std::string native;
  if (!Native("create", path, &native)) return File();
  int fd;
  do {
    fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                ownerOnly ? 0600 : 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    Record("create", path, errno);
    return File();
  }
  return File(fd);
}

bool File::IsOpen() const {
  return handle_ != kInvalid;
}

void File::Close() {
  if (!IsOpen()) return;
  // Linux releases the descriptor even when close reports an error, so it is never retried.
  ::close(static_cast<int>(handle_));
  handle_ = kInvalid;
}

int32_t File::Read(void* buffer, int32_t count) {
  if (!IsOpen()) {
    Record("read", "", EBADF);
    return -1;
  }
  if (count <= 0) return 0;
  auto* out = static_cast<char*>(buffer);
  int32_t total = 0;
  while (total < count) {
    const ssize_t n = ::read(static_cast<int>(handle_), out + total, count - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      Record("read", "", errno);
      return total > 0 ? total : -1;
    }
    if (n == 0) break;
    total += static_cast<int32_t>(n);
  }
  return total;
}

int32_t File::Write(const void* buffer, int32_t count) {
  if (!IsOpen()) {
    Record("write", "", EBADF);
    return -1;
  }
  if (count <= 0) return 0;
  if (InjectedFailure(internal::FaultKind::kWrite, "write", "")) return -1;
  const auto* in = static_cast<const char*>(buffer);
  int32_t total = 0;
  while (total < count) {
    const ssize_t n = ::write(static_cast<int>(handle_), in + total, count - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      Record("write", "", errno);
      return total > 0 ? total : -1;
    }
    if (n == 0) {
      Record("write", "", ENOSPC);
      return total > 0 ? total : -1;
    }
    total += static_cast<int32_t>(n);
  }
  return total;
}

int64_t File::Seek(int64_t offset, int origin) {
  static constexpr int kWhence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (!IsOpen() || origin < 0 || origin > 2) {
    Record("seek", "", IsOpen() ? EINVAL : EBADF);
    return -1;
  }
  // lseek itself refuses a negative target with EINVAL and leaves the position alone.
  const off_t result =
      ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), kWhence[origin]);
  if (result < 0) {
    Record("seek", "", errno);
    return -1;
  }
  return static_cast<int64_t>(result);
}

int64_t File::Size() {
  struct stat info;
  if (!IsOpen() || fstat(static_cast<int>(handle_), &info) != 0) {
    Record("get size", "", IsOpen() ? errno : EBADF);
    return -1;
  }
  return static_cast<int64_t>(info.st_size);
}

bool File::SetEndOfFile() {
  const int64_t position = Seek(0, 1);
  if (position < 0) return false;
  if (ftruncate(static_cast<int>(handle_), static_cast<off_t>(position)) != 0) {
    Record("set end of file", "", errno);
    return false;
  }
  return true;
}

bool File::FlushToDisk() {
  if (IsOpen() && InjectedFailure(internal::FaultKind::kFlush, "flush", "")) return false;
  if (!IsOpen() || fsync(static_cast<int>(handle_)) != 0) {
    Record("flush", "", IsOpen() ? errno : EBADF);
    return false;
  }
  return true;
}

bool File::SetLastWriteDosTime(uint32_t dosDateTime) {
  if (!IsOpen()) {
    Record("set file time", "", EBADF);
    return false;
  }
  time_t value;
  if (!DosDateTimeToTime(dosDateTime, &value)) {
    Record("set file time", "", EINVAL);
    return false;
  }
  const struct timespec times[2] = {{0, UTIME_OMIT}, {value, 0}};
  if (futimens(static_cast<int>(handle_), times) != 0) {
    Record("set file time", "", errno);
    return false;
  }
  return true;
}

int32_t File::LastWriteDosTime() {
  struct stat info;
  if (!IsOpen() || fstat(static_cast<int>(handle_), &info) != 0) {
    Record("get file time", "", IsOpen() ? errno : EBADF);
    return -1;
  }
  const int32_t result = TimeToDosDateTime(info.st_mtim.tv_sec);
  if (result == -1) Record("get file time", "", EOVERFLOW);
  return result;
}

bool File::ReadStamp(FileStamp* stamp) {
  struct stat info;
  if (!IsOpen() || fstat(static_cast<int>(handle_), &info) != 0) {
    Record("get file information", "", IsOpen() ? errno : EBADF);
    return false;
  }
  stamp->Volume = static_cast<uint64_t>(info.st_dev);
  stamp->Index = static_cast<uint64_t>(info.st_ino);
  stamp->Size = static_cast<int64_t>(info.st_size);
  stamp->WriteTime = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}

}  // namespace platform
