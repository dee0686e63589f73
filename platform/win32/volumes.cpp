// Drives and volumes on Windows: a drive's kind and label, a volume's room, cluster and file
// system, and the places only an administrator may change.
#include <windows.h>
// After windows.h:
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdint>
#include <string>

// Included after <windows.h> on purpose: it proves that no name of the header is a macro there.
#include "platform/files.h"
#include "platform/win32/files_internal.h"
#include "platform/win32/native_path.h"
#include "platform/win32/wide_text.h"

namespace platform {

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
