// The single-instance guard on Windows: a named mutex that the holder owns until it ends, when
// the system releases it as abandoned; and a directory's lock file held open without sharing.
#include <windows.h>

#include <chrono>
// Included after <windows.h> on purpose: it proves that no name of the header is a macro there.
#include "platform/files.h"
#include "platform/instance_guard.h"
#include "platform/instance_guard_internal.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

// A sharing violation at the directory's lock lasts longer than this only when something keeps
// the file open: a scanner or an indexer looks for less.
constexpr auto kLockLookTime = std::chrono::seconds(2);

}  // namespace

namespace internal {

GuardOutcome TakeSystemGuard(const std::string& name) {
  std::wstring wide;
  // An empty name would make an unnamed mutex, which guards nothing.
  if (name.empty() || !ToWide(name, &wide)) return GuardOutcome::kError;
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, wide.c_str());
  if (mutex == nullptr) return GuardOutcome::kError;
  if (WaitForSingleObject(mutex, 0) == WAIT_TIMEOUT) {
    CloseHandle(mutex);
    return GuardOutcome::kHeldElsewhere;
  }
  // Acquired, acquired as abandoned, or a failed wait: run. The handle is never closed, so
  // the mutex stays owned until the process ends.
  return GuardOutcome::kTaken;
}

}  // namespace internal

DirectoryGuard AcquireDirectoryGuard(const std::string& lockPath, std::string* why) {
  std::string ignored;
  std::string& reason = why != nullptr ? *why : ignored;
  reason.clear();
  std::wstring wide;
  if (!internal::ToWide(lockPath, &wide)) {
    reason = "its name is not valid text";
    return DirectoryGuard::kRefused;
  }
  // Read and write, no sharing at all: while this handle lasts every other open fails, a
  // reader's too. A reader that came first (a scanner's look) is given a moment to let go. The
  // handle is not inheritable and never closed.
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const HANDLE handle =
        CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      BY_HANDLE_FILE_INFORMATION info{};
      if (GetFileInformationByHandle(handle, &info) &&
          (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ==
              0) {
        return DirectoryGuard::kTaken;
      }
      CloseHandle(handle);
      reason = "it is a link or not a regular file";
      return DirectoryGuard::kRefused;
    }
    const DWORD code = GetLastError();
    if (code != ERROR_SHARING_VIOLATION) {
      reason = "open: " + SystemErrorText(static_cast<int>(code));
      return code == ERROR_ACCESS_DENIED &&
                     GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES &&
                     GetLastError() == ERROR_FILE_NOT_FOUND
                 ? DirectoryGuard::kNotCreatable
                 : DirectoryGuard::kRefused;
    }
    if (std::chrono::steady_clock::now() - start >= kLockLookTime) break;
    Sleep(100);
  }
  reason =
      "another program has it open: an update run in another session or by another user, "
      "or a program that reads it";
  return DirectoryGuard::kRefused;
}

}  // namespace platform
