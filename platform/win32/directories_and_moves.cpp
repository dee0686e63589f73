// Directories and moves on Windows: the wide directory, delete and MoveFileEx calls, the current
// directory and the running executable's name.
#include <windows.h>

#include <string>
#include <vector>

// Included after <windows.h> on purpose: it proves that no name of the header is a macro there.
#include "platform/files.h"
#include "platform/win32/files_internal.h"
#include "platform/win32/native_path.h"
#include "platform/win32/wide_text.h"

namespace platform {

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

}  // namespace platform
