// The file layer on POSIX: file descriptors, stat/chmod for attributes, local time through
// localtime_r/mktime for DOS times. Paths come in with "\" and go out with "\".
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "platform/dos_date_rule.h"
#include "platform/error_text.h"
#include "platform/files_internal.h"
#include "platform/injected_faults.h"
#include "platform/posix/native_path.h"

namespace platform {
namespace internal {

bool Native(const char* operation, const std::string& path, std::string* native) {
  if (path.find('\0') != std::string::npos) {
    RecordError(operation, path, EINVAL);
    return false;
  }
  *native = path;
  for (char& c : *native) {
    if (c == '\\') c = '/';
  }
  return true;
}

std::string WithoutFinalSlashes(std::string native) {
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  return native;
}

std::string SystemForm(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace internal

namespace {

void Record(const char* operation, const std::string& path, int code) {
  internal::RecordError(operation, path, code);
}

// A failure that a test planned (platform/injected_faults.h), recorded as the system's own.
bool InjectedFailure(internal::FaultKind kind, const char* operation, const std::string& path) {
  static constexpr internal::FaultCodes kCodes = {ENOSPC, EBUSY, EIO};
  return internal::InjectedFailure(kind, operation, path, kCodes);
}

using internal::Native;
using internal::SystemForm;
using internal::WithoutFinalSlashes;

// The local DOS date/time of a time stamp, or -1 outside the years 1980 to 2107.
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

}  // namespace

// ---- Errors ---------------------------------------------------------------------------------

namespace {

// strerror_r comes in two shapes (XSI returns int, GNU returns the text); take either.
[[maybe_unused]] const char* ErrorTextOf(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* ErrorTextOf(const char* result, const char*) {
  return result;
}

}  // namespace

std::string SystemErrorText(int code) {
  char buffer[256] = {};
  const char* text = ErrorTextOf(strerror_r(code, buffer, sizeof buffer), buffer);
  return internal::TrimSystemText(text != nullptr ? text : "", code);
}

std::string DisplayPath(const std::string& path) {
  std::string shown = path;
  for (char& c : shown) {
    if (c == '\\') c = '/';
  }
  return shown;
}

void RecordFileTooLarge(const std::string& path) {
  Record("write", path, EFBIG);
}

// ---- Open files -----------------------------------------------------------------------------

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

// ---- What a name is, links not followed -------------------------------------------------------

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

// ---- Names and attributes -------------------------------------------------------------------

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

// ---- Directories and moves ------------------------------------------------------------------

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

// ---- Many files made durable at once ---------------------------------------------------------

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
