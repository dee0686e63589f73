// The file layer on Windows: the wide file API, with UTF-8 paths converted to UTF-16 and back,
// so that names outside the user's code page survive.
#include <windows.h>
// After windows.h:
#include <knownfolders.h>
#include <shlobj.h>

#include <vector>

// Included after <windows.h> on purpose: it proves that no name of the header is a macro there.
#include "platform/ascii_case.h"
#include "platform/dos_date_rule.h"
#include "platform/error_text.h"
#include "platform/files.h"
#include "platform/files_internal.h"
#include "platform/injected_faults.h"
#include "platform/win32/native_path.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace internal {

bool Wide(const char* operation, const std::string& path, std::wstring* wide) {
  if (ToWide(path, wide)) return true;
  RecordError(
      operation, path,
      static_cast<int>(path.find('\0') != std::string::npos ? ERROR_INVALID_NAME : GetLastError()));
  return false;
}

std::wstring WithoutFinalSeparators(std::wstring wide) {
  const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  while (wide.size() > 1 && separator(wide.back()) && wide[wide.size() - 2] != L':') {
    wide.pop_back();
  }
  return wide;
}

}  // namespace internal

namespace {

void Record(const char* operation, const std::string& path, DWORD code) {
  internal::RecordError(operation, path, static_cast<int>(code));
}

// A failure that a test planned (platform/injected_faults.h), recorded as the system's own.
bool InjectedFailure(internal::FaultKind kind, const char* operation, const std::string& path) {
  static constexpr internal::FaultCodes kCodes = {ERROR_DISK_FULL, ERROR_SHARING_VIOLATION,
                                                  ERROR_WRITE_FAULT};
  return internal::InjectedFailure(kind, operation, path, kCodes);
}

using internal::Wide;
using internal::WithoutFinalSeparators;

// GetLastError, or ERROR_INVALID_PARAMETER for a call that failed without setting it (the time
// conversions may), so that a recorded failure never carries code 0.
DWORD FailureCode() {
  const DWORD code = GetLastError();
  return code != 0 ? code : ERROR_INVALID_PARAMETER;
}

// A local DOS date/time of a UTC file time, or -1 outside the years 1980 to 2107.
int32_t FileTimeToDos(const FILETIME& utc) {
  FILETIME local;
  WORD date = 0;
  WORD time = 0;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time)) {
    return -1;
  }
  return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}

}  // namespace

// ---- Errors ---------------------------------------------------------------------------------

std::string SystemErrorText(int code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string result = length > 0 ? internal::ToUtf8(text, length) : "";
  if (text != nullptr) LocalFree(text);
  return internal::TrimSystemText(result, code);
}

std::string DisplayPath(const std::string& path) {
  return path;
}

void RecordFileTooLarge(const std::string& path) {
  Record("write", path, ERROR_FILE_TOO_LARGE);
}

// ---- Open files -----------------------------------------------------------------------------

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

// ---- What a name is, links not followed -------------------------------------------------------

namespace {

PathKind KindFromAttributes(DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::kLink;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::kDirectory;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return PathKind::kSpecial;
  return PathKind::kFile;
}

PathKind KindOfFailure(const char* operation, const std::string& path, DWORD code) {
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return PathKind::kMissing;
  Record(operation, path, code);
  return PathKind::kUnknown;
}

}  // namespace

PathKind LinkFreeKind(const std::string& path) {
  std::wstring wide;
  if (!Wide("look at", path, &wide)) return PathKind::kUnknown;
  // GetFileAttributesW reports the reparse point itself, not what it leads to.
  const DWORD attributes = GetFileAttributesW(WithoutFinalSeparators(wide).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return KindOfFailure("look at", path, GetLastError());
  return KindFromAttributes(attributes);
}

PathKind KindOfPath(const std::string& path) {
  std::wstring wide;
  if (!Wide("look at", path, &wide)) return PathKind::kUnknown;
  // Opened without FILE_FLAG_OPEN_REPARSE_POINT, the name leads to what its links lead to; no
  // access right is asked for, so no one's sharing is disturbed.
  HANDLE handle =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return KindOfFailure("look at", path, GetLastError());
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(handle, &info) != FALSE;
  const DWORD type = GetFileType(handle);
  const DWORD code = GetLastError();
  CloseHandle(handle);
  if (!known) return KindOfFailure("look at", path, code);
  if (type != FILE_TYPE_DISK) return PathKind::kSpecial;
  return KindFromAttributes(info.dwFileAttributes & ~FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string LinkFreeKindText(const std::string& path) {
  return PathKindText(LinkFreeKind(path));
}

// ---- Names and attributes -------------------------------------------------------------------

uint32_t ReadAttributes(const std::string& path) {
  std::wstring wide;
  if (!Wide("get attributes", path, &wide)) return kInvalidAttributes;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) Record("get attributes", path, GetLastError());
  return attributes;
}

int WriteAttributes(const std::string& path, uint32_t attributes) {
  std::wstring wide;
  if (!Wide("set attributes", path, &wide)) return ERROR_INVALID_NAME;
  wide = WithoutFinalSeparators(wide);
  // A reparse point is refused rather than trusted to keep its attributes to itself.
  const DWORD current = GetFileAttributesW(wide.c_str());
  DWORD code = 0;
  if (current == INVALID_FILE_ATTRIBUTES) {
    code = GetLastError();
  } else if ((current & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    code = ERROR_CANT_ACCESS_FILE;
  } else if (!SetFileAttributesW(wide.c_str(), attributes)) {
    code = GetLastError();
  }
  if (code != 0) Record("set attributes", path, code);
  return static_cast<int>(code);
}

int WritePermissions(const std::string&, uint32_t) {
  return 0;
}

int WriteAttributesAndPermissions(const std::string& path, uint32_t attributes, int32_t) {
  return WriteAttributes(path, attributes);
}

int32_t ReadPermissions(const std::string&) {
  return -1;
}

bool IsReservedFileName(const std::string& component) {
  if (component.empty()) return false;
  if (component.back() == '.' || component.back() == ' ') return true;
  if (component.find(':') != std::string::npos) return true;
  // The device name is the part before the first dot, without trailing spaces ("CON .txt").
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  base = UpperCaseAscii(base);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

int32_t FileDosDateTime(const std::string& path) {
  std::wstring wide;
  if (!Wide("file date", path, &wide)) return -1;
  // Not FindFirstFile: it would take "*" and "?" in the name as wildcards.
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
    Record("file date", path, GetLastError());
    return -1;
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    Record("file date", path, ERROR_DIRECTORY);
    return -1;
  }
  const int32_t result = FileTimeToDos(data.ftLastWriteTime);
  if (result == -1) Record("file date", path, FailureCode());
  return result;
}

namespace {

// The volume and file index of an existing file, through a handle that needs no access rights.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
  std::wstring wide;
  if (!Wide("compare files", path, &wide)) return false;
  const HANDLE handle =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(handle, info) != 0;
  CloseHandle(handle);
  return known;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION infoA, infoB;
  return FileIdentity(a, &infoA) && FileIdentity(b, &infoB) &&
         infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
         infoA.nFileIndexHigh == infoB.nFileIndexHigh && infoA.nFileIndexLow == infoB.nFileIndexLow;
}

// ---- Directories and moves ------------------------------------------------------------------

bool MakeDirectory(const std::string& path) {
  std::wstring wide;
  if (!Wide("create directory", path, &wide)) return false;
  if (!CreateDirectoryW(wide.c_str(), nullptr)) {
    Record("create directory", path, GetLastError());
    return false;
  }
  return true;
}

bool DeleteDirectory(const std::string& path) {
  std::wstring wide;
  if (!Wide("remove directory", path, &wide)) return false;
  if (!RemoveDirectoryW(wide.c_str())) {
    Record("remove directory", path, GetLastError());
    return false;
  }
  return true;
}

bool RemoveFile(const std::string& path) {
  std::wstring wide;
  if (!Wide("delete file", path, &wide)) return false;
  if (DeleteFileW(wide.c_str())) return true;
  const DWORD code = GetLastError();
  // A junction or a link to a directory goes as a directory does; what it leads to stays.
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  constexpr DWORD kDirectoryLink = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kDirectoryLink) == kDirectoryLink &&
      RemoveDirectoryW(wide.c_str())) {
    return true;
  }
  Record("delete file", path, code);
  return false;
}

bool FlushDirectory(const std::string& path) {
  return !InjectedFailure(internal::FaultKind::kFlush, "flush directory", path);
}

bool RenameFile(const std::string& from, const std::string& to) {
  std::wstring wideFrom;
  std::wstring wideTo;
  if (!Wide("rename", from, &wideFrom) || !Wide("rename", to, &wideTo)) return false;
  if (InjectedFailure(internal::FaultKind::kRename, "rename", from)) return false;
  // No MOVEFILE_COPY_ALLOWED: a move to another volume fails, as on POSIX, instead of becoming
  // a copy and a delete.
  if (!MoveFileExW(wideFrom.c_str(), wideTo.c_str(), 0)) {
    Record("rename", from, GetLastError());
    return false;
  }
  return true;
}

bool ReplaceFileAtomically(const std::string& from, const std::string& to) {
  std::wstring wideFrom;
  std::wstring wideTo;
  if (!Wide("replace", from, &wideFrom) || !Wide("replace", to, &wideTo)) return false;
  if (InjectedFailure(internal::FaultKind::kRename, "replace", from)) return false;
  if (!MoveFileExW(wideFrom.c_str(), wideTo.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Record("replace", from, GetLastError());
    return false;
  }
  return true;
}

bool ChangeDirectory(const std::string& path) {
  std::wstring wide;
  if (!Wide("change directory", path, &wide)) return false;
  if (!SetCurrentDirectoryW(wide.c_str())) {
    Record("change directory", path, GetLastError());
    return false;
  }
  return true;
}

std::string CurrentDirectory() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetCurrentDirectoryW(size, buffer.data());
    if (length == 0) {
      Record("get current directory", "", GetLastError());
      return "";
    }
    // Too small a buffer makes the call return the size it needs, terminating NUL included.
    if (length < size) return internal::ToUtf8(buffer.data(), length);
    buffer.resize(length);
  }
}

std::string ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0) {
      Record("get executable path", "", GetLastError());
      return "";
    }
    // A truncated name fills the buffer completely.
    if (length < size) return internal::ToUtf8(buffer.data(), length);
    if (size >= 32768) {
      Record("get executable path", "", ERROR_INSUFFICIENT_BUFFER);
      return "";
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExpandFileName(const std::string& path) {
  std::wstring wide;
  if (path.empty() || !Wide("expand file name", path, &wide)) return "";
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetFullPathNameW(wide.c_str(), size, buffer.data(), nullptr);
    if (length == 0) {
      Record("expand file name", path, GetLastError());
      return "";
    }
    if (length < size) return internal::ToUtf8(buffer.data(), length);
    buffer.resize(length);
  }
}

// ---- Many files made durable at once ---------------------------------------------------------

bool FilesNeedFlushEach() {
  return true;
}

// Flushing a whole volume needs administrator rights: the files are flushed each instead.
FileSystemFlush::FileSystemFlush(const std::string& path) : path_(path) {}
FileSystemFlush::~FileSystemFlush() = default;
FileSystemFlush::FileSystemFlush(FileSystemFlush&& other) noexcept = default;
FileSystemFlush& FileSystemFlush::operator=(FileSystemFlush&& other) noexcept = default;

bool FileSystemFlush::Flush() {
  return !InjectedFailure(internal::FaultKind::kFlush, "flush file system", path_);
}

// ---- Drives ---------------------------------------------------------------------------------

DriveKind DriveKindOf(const std::string& rootPath) {
  std::wstring wide;
  if (!Wide("get drive type", rootPath, &wide)) return DriveKind::kNoRootDir;
  const UINT kind = GetDriveTypeW(wide.empty() ? nullptr : wide.c_str());
  return kind <= DRIVE_RAMDISK ? static_cast<DriveKind>(kind) : DriveKind::kUnknown;
}

std::string VolumeLabel(const std::string& rootPath) {
  std::wstring wide;
  if (!Wide("get volume information", rootPath, &wide)) return "";
  wchar_t label[14] = {};
  if (!GetVolumeInformationW(wide.empty() ? nullptr : wide.c_str(), label, 14, nullptr, nullptr,
                             nullptr, nullptr, 0)) {
    Record("get volume information", rootPath, GetLastError());
    return "";
  }
  label[13] = L'\0';
  return internal::ToUtf8(label, wcslen(label));
}

// ---- Room and rights of a volume ------------------------------------------------------------

int64_t FreeDiskSpace(const std::string& path) {
  std::wstring wide;
  if (!Wide("get free space", path, &wide)) return -1;
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(wide.c_str(), &available, nullptr, nullptr)) {
    Record("get free space", path, GetLastError());
    return -1;
  }
  return available.QuadPart > static_cast<ULONGLONG>(INT64_MAX)
             ? INT64_MAX
             : static_cast<int64_t>(available.QuadPart);
}

int64_t VolumeClusterSize(const std::string& path) {
  std::wstring wide;
  if (!Wide("get cluster size", path, &wide)) return -1;
  // GetDiskFreeSpaceW takes a volume's root only, and GetVolumePathNameW finds one for a missing
  // name too: the name is asked for first, so a missing one fails as it does on POSIX.
  wchar_t root[MAX_PATH + 1];
  DWORD sectorsPerCluster = 0;
  DWORD bytesPerSector = 0;
  DWORD freeClusters = 0;
  DWORD totalClusters = 0;
  if (GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES ||
      !GetVolumePathNameW(wide.c_str(), root, MAX_PATH + 1) ||
      !GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &totalClusters)) {
    Record("get cluster size", path, GetLastError());
    return -1;
  }
  const int64_t unit = static_cast<int64_t>(sectorsPerCluster) * bytesPerSector;
  if (unit == 0) {
    Record("get cluster size", path, ERROR_INVALID_DATA);
    return -1;
  }
  return unit;
}

namespace {

// `path` (a full path) is `folder` or lies below it, letters compared without regard to case.
bool LiesIn(const std::wstring& path, const wchar_t* folder) {
  const size_t length = wcslen(folder);
  if (length == 0 || path.size() < length) return false;
  if (CompareStringOrdinal(path.c_str(), static_cast<int>(length), folder, static_cast<int>(length),
                           TRUE) != CSTR_EQUAL) {
    return false;
  }
  return path.size() == length || path[length] == L'\\' || folder[length - 1] == L'\\';
}

}  // namespace

bool IsUnderProtectedLocation(const std::string& path) {
  std::wstring wide;
  if (!Wide("find protected location", path, &wide)) return false;
  wchar_t full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameW(wide.c_str(), MAX_PATH * 4, full, nullptr);
  if (length == 0 || length >= MAX_PATH * 4) return false;
  const std::wstring fullPath(full, length);
  for (const KNOWNFOLDERID& id :
       {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86, FOLDERID_Windows}) {
    PWSTR folder = nullptr;
    const bool found =
        SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &folder)) && LiesIn(fullPath, folder);
    CoTaskMemFree(folder);
    if (found) return true;
  }
  return false;
}

bool IsOnFatVolume(const std::string& path) {
  std::wstring wide;
  if (!Wide("look at the file system", path, &wide)) return false;
  wchar_t root[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  if (!GetVolumePathNameW(wide.c_str(), root, MAX_PATH + 1) ||
      !GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1)) {
    return false;
  }
  // "FAT", "FAT32", "exFAT".
  const std::wstring kind = name;
  return kind.rfind(L"FAT", 0) == 0 || kind == L"exFAT";
}

}  // namespace platform
