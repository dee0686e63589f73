// Directory trees on Windows: walked with FindFirstFileEx, whose reparse-point attribute tells a
// junction, a mount point or a symbolic link from a directory, so that none is ever entered; a
// link is removed itself (RemoveDirectoryW for one to a directory, DeleteFileW for one to a file).
#include "platform/temporary_tree.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/files_internal.h"
#include "platform/win32/native_path.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

struct Entry {
  std::wstring name;
  DWORD attributes;
};

bool IsLink(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsRealDirectory(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsLink(attributes);
}

// The names in the directory `dir`, "." and ".." left out, with the attributes of each name
// itself (a reparse point's own, not those of what it leads to).
std::vector<Entry> ReadEntries(const std::wstring& dir) {
  std::vector<Entry> entries;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileExW((dir + L"\\*").c_str(), FindExInfoStandard, &data,
                                       FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") entries.push_back({name, data.dwFileAttributes});
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return entries;
}

// Clears the read-only attribute of the name itself, through a handle that does not follow a
// reparse point: a link's target keeps its attributes.
void ClearReadOnly(const std::wstring& wide, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return;
  const HANDLE handle =
      CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  constexpr DWORD kSettable = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  FILE_BASIC_INFO info = {};  // times of 0 stay as they are
  info.FileAttributes = attributes & kSettable;
  if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  (void)SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info);
  CloseHandle(handle);
}

// Removes the name `wide` with the `attributes` it was found with, and everything below it when
// it is a directory and no link.
bool RemoveEntry(const std::wstring& wide, DWORD attributes) {
  ClearReadOnly(wide, attributes);
  if (IsRealDirectory(attributes)) {
    for (const Entry& entry : ReadEntries(wide)) {
      (void)RemoveEntry(wide + L"\\" + entry.name, entry.attributes);
    }
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return RemoveDirectoryW(wide.c_str()) != 0;
  return DeleteFileW(wide.c_str()) != 0;
}

void ListContents(const std::wstring& dir, const std::string& prefix,
                  std::vector<std::string>* result) {
  for (const Entry& entry : ReadEntries(dir)) {
    const std::string name = prefix + internal::ToUtf8(entry.name.data(), entry.name.size());
    if (!IsRealDirectory(entry.attributes)) {
      result->push_back(name);
      continue;
    }
    result->push_back(name + "\\");
    ListContents(dir + L"\\" + entry.name, name + "\\", result);
  }
}

bool IsMissing(DWORD code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

}  // namespace

bool RemoveDirectoryTree(const std::string& path) {
  std::wstring wide;
  if (path.empty() || !internal::Wide("remove directory tree", path, &wide)) return false;
  wide = internal::WithoutFinalSeparators(wide);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return IsMissing(GetLastError());
  if (RemoveEntry(wide, attributes)) return true;
  const DWORD code = GetLastError();
  if (GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES && IsMissing(GetLastError())) {
    return true;
  }
  internal::RecordError("remove directory tree", path, static_cast<int>(code));
  return false;
}

std::vector<std::string> ListDirectoryTree(const std::string& path) {
  std::vector<std::string> result;
  std::wstring wide;
  if (path.empty() || !internal::Wide("list directory tree", path, &wide)) return result;
  wide = internal::WithoutFinalSeparators(wide);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !IsRealDirectory(attributes)) return result;
  ListContents(wide, "", &result);
  std::sort(result.begin(), result.end());
  return result;
}

}  // namespace platform
