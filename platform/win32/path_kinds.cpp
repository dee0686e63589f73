// What a name is on Windows: its attributes, or what a handle opened through its links says.
#include <windows.h>

#include <string>

// Included after <windows.h> on purpose: it proves that no name of the header is a macro there.
#include "platform/files.h"
#include "platform/win32/files_internal.h"
#include "platform/win32/native_path.h"

namespace platform {
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

}  // namespace platform
