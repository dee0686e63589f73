// Open files on Windows: a File is a HANDLE of CreateFileW; its times go between DOS date/time
// and the UTC file times through the local time.
#include <windows.h>

#include <cstdint>
#include <string>

// Included after <windows.h> on purpose: it proves that no name of the header is a macro there.
#include "platform/dos_date_rule.h"
#include "platform/files.h"
#include "platform/win32/files_internal.h"
#include "platform/win32/native_path.h"

namespace platform {
namespace internal {

int32_t FileTimeToDos(const FILETIME& utc) {
  FILETIME local;
  WORD date = 0;
  WORD time = 0;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time)) {
    return -1;
  }
  return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}

}  // namespace internal

namespace {

HANDLE AsHandle(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// Why a handle opened with FILE_FLAG_OPEN_REPARSE_POINT is not a regular file: 0 when it is one.
DWORD NotRegularCode(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return FailureCode();
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return ERROR_CANT_ACCESS_FILE;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return ERROR_ACCESS_DENIED;
  if (GetFileType(handle) != FILE_TYPE_DISK) return ERROR_BAD_FILE_TYPE;
  return 0;
}

// Opens `wide` as it is, a reparse point itself rather than what it leads to, and keeps the
// handle only for a regular file; INVALID_HANDLE_VALUE with the failure recorded otherwise.
HANDLE OpenRegularFile(const char* operation, const std::string& path, const std::wstring& wide,
                       DWORD access, DWORD share) {
  const HANDLE handle = CreateFileW(wide.c_str(), access, share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Record(operation, path, GetLastError());
    return INVALID_HANDLE_VALUE;
  }
  const DWORD refusal = NotRegularCode(handle);
  if (refusal == 0) return handle;
  CloseHandle(handle);
  Record(operation, path, refusal);
  return INVALID_HANDLE_VALUE;
}

// kOpenCreate: CREATE_ALWAYS would follow a link, and FILE_FLAG_OPEN_REPARSE_POINT may not go with
// it. So an existing regular file is opened as it is and cut to nothing, and a missing one is
// created new (CREATE_NEW fails on any name that is there, a reparse point too); a name that
// appears between the two is looked at again.
HANDLE CreateRegularFile(const std::string& path, const std::wstring& wide) {
  constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE;
  for (int attempt = 0; attempt < 3; ++attempt) {
    HANDLE handle = OpenRegularFile("create", path, wide, kAccess, 0);
    if (handle != INVALID_HANDLE_VALUE) {
      if (::SetEndOfFile(handle)) return handle;
      Record("create", path, GetLastError());
      CloseHandle(handle);
      return INVALID_HANDLE_VALUE;
    }
    if (LastError().code != ERROR_FILE_NOT_FOUND) return INVALID_HANDLE_VALUE;
    handle =
        CreateFileW(wide.c_str(), kAccess, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return handle;
    const DWORD code = GetLastError();
    Record("create", path, code);
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) return INVALID_HANDLE_VALUE;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

File File::Open(const std::string& path, uint16_t mode) {
  const bool create = mode == kOpenCreate;
  const char* operation = create ? "create" : "open";
  std::wstring wide;
  if (!Wide(operation, path, &wide)) return File();
  if (create) {
    const HANDLE handle = CreateRegularFile(path, wide);
    if (handle == INVALID_HANDLE_VALUE) return File();
    return File(reinterpret_cast<intptr_t>(handle));
  }
  static constexpr DWORD kAccess[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  static constexpr DWORD kShare[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE};
  const unsigned accessPart = mode & 0x03;
  const unsigned sharePart = (mode & 0xF0) >> 4;
  if (accessPart > 2 || sharePart > 4) {
    Record(operation, path, ERROR_INVALID_PARAMETER);
    return File();
  }
  // Appending: the system puts each write at the end, in one step.
  DWORD access = kAccess[accessPart];
  if ((mode & kOpenAppend) != 0 && accessPart != 0) {
    access = (access & ~GENERIC_WRITE) | FILE_APPEND_DATA | SYNCHRONIZE;
  }
  if ((mode & kOpenNoLinks) != 0) {
    const HANDLE handle = OpenRegularFile(operation, path, wide, access, kShare[sharePart]);
    if (handle == INVALID_HANDLE_VALUE) return File();
    return File(reinterpret_cast<intptr_t>(handle));
  }
  const HANDLE handle = CreateFileW(wide.c_str(), access, kShare[sharePart], nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Record(operation, path, GetLastError());
    return File();
  }
  return File(reinterpret_cast<intptr_t>(handle));
}

File File::CreateNew(const std::string& path, bool /*ownerOnly*/) {
  std::wstring wide;
  if (!Wide("create", path, &wide)) return File();
  // CREATE_NEW fails on any name that exists, a reparse point too: nothing is followed.
  const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Record("create", path, GetLastError());
    return File();
  }
  return File(reinterpret_cast<intptr_t>(handle));
}

bool File::IsOpen() const {
  return handle_ != kInvalid;
}

void File::Close() {
  if (!IsOpen()) return;
  CloseHandle(AsHandle(handle_));
  handle_ = kInvalid;
}

// The handle value -1 is also the pseudo handle of the current process, so a closed File must
// never reach the API: every operation checks IsOpen first.

int32_t File::Read(void* buffer, int32_t count) {
  if (!IsOpen()) {
    Record("read", "", ERROR_INVALID_HANDLE);
    return -1;
  }
  if (count <= 0) return 0;
  DWORD done = 0;
  if (!ReadFile(AsHandle(handle_), buffer, static_cast<DWORD>(count), &done, nullptr)) {
    Record("read", "", GetLastError());
    return -1;
  }
  return static_cast<int32_t>(done);
}

int32_t File::Write(const void* buffer, int32_t count) {
  if (!IsOpen()) {
    Record("write", "", ERROR_INVALID_HANDLE);
    return -1;
  }
  if (count <= 0) return 0;
  if (InjectedFailure(internal::FaultKind::kWrite, "write", "")) return -1;
  DWORD done = 0;
  if (!WriteFile(AsHandle(handle_), buffer, static_cast<DWORD>(count), &done, nullptr)) {
    Record("write", "", GetLastError());
    return -1;
  }
  return static_cast<int32_t>(done);
}

int64_t File::Seek(int64_t offset, int origin) {
  static constexpr DWORD kMethod[3] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  if (!IsOpen() || origin < 0 || origin > 2) {
    Record("seek", "", IsOpen() ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return -1;
  }
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER result;
  // A negative target fails with ERROR_NEGATIVE_SEEK and leaves the file pointer alone.
  if (!SetFilePointerEx(AsHandle(handle_), distance, &result, kMethod[origin])) {
    Record("seek", "", GetLastError());
    return -1;
  }
  return result.QuadPart;
}

int64_t File::Size() {
  LARGE_INTEGER size;
  if (!IsOpen() || !GetFileSizeEx(AsHandle(handle_), &size)) {
    Record("get size", "", IsOpen() ? GetLastError() : ERROR_INVALID_HANDLE);
    return -1;
  }
  return size.QuadPart;
}

bool File::SetEndOfFile() {
  if (!IsOpen() || !::SetEndOfFile(AsHandle(handle_))) {
    Record("set end of file", "", IsOpen() ? GetLastError() : ERROR_INVALID_HANDLE);
    return false;
  }
  return true;
}

bool File::FlushToDisk() {
  if (IsOpen() && InjectedFailure(internal::FaultKind::kFlush, "flush", "")) return false;
  if (!IsOpen() || !FlushFileBuffers(AsHandle(handle_))) {
    Record("flush", "", IsOpen() ? GetLastError() : ERROR_INVALID_HANDLE);
    return false;
  }
  return true;
}

bool File::SetLastWriteDosTime(uint32_t dosDateTime) {
  FILETIME local;
  FILETIME utc;
  // DosDateTimeToFileTime checks the ranges of the fields but lets a day past the end of its
  // month roll over into the next: the shared rule refuses that, so both systems agree.
  if (IsOpen() && !IsValidDosDateTime(dosDateTime)) {
    Record("set file time", "", ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!IsOpen() ||
      !DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16),
                             static_cast<WORD>(dosDateTime & 0xFFFF), &local) ||
      !LocalFileTimeToFileTime(&local, &utc) ||
      !SetFileTime(AsHandle(handle_), nullptr, nullptr, &utc)) {
    Record("set file time", "", IsOpen() ? FailureCode() : ERROR_INVALID_HANDLE);
    return false;
  }
  return true;
}

int32_t File::LastWriteDosTime() {
  FILETIME utc;
  if (!IsOpen() || !GetFileTime(AsHandle(handle_), nullptr, nullptr, &utc)) {
    Record("get file time", "", IsOpen() ? GetLastError() : ERROR_INVALID_HANDLE);
    return -1;
  }
  const int32_t result = FileTimeToDos(utc);
  if (result == -1) Record("get file time", "", FailureCode());
  return result;
}

bool File::ReadStamp(FileStamp* stamp) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!IsOpen() || !GetFileInformationByHandle(AsHandle(handle_), &info)) {
    Record("get file information", "", IsOpen() ? GetLastError() : ERROR_INVALID_HANDLE);
    return false;
  }
  stamp->Volume = info.dwVolumeSerialNumber;
  stamp->Index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  stamp->Size =
      static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  stamp->WriteTime =
      static_cast<int64_t>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                           info.ftLastWriteTime.dwLowDateTime);
  return true;
}

}  // namespace platform
