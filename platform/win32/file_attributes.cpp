// Names and attributes on Windows: the file attributes as the system keeps them, the names it
// reserves, and the file identity and date of a name.
#include <windows.h>

#include <cstdint>
#include <string>

// Included after <windows.h> on purpose: it proves that no name of the header is a macro there.
#include "platform/ascii_case.h"
#include "platform/files.h"
#include "platform/win32/files_internal.h"
#include "platform/win32/native_path.h"

namespace platform {

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

}  // namespace platform
