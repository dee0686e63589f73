// The single-instance guard on Windows: a named mutex that the holder owns until it ends, when
// the system releases it as abandoned.
#include <windows.h>
// Included after <windows.h> on purpose: it proves that no name of the header is a macro there.
#include "platform/instance_guard.h"
#include "platform/instance_guard_internal.h"
#include "platform/win32/wide_text.h"

namespace platform {

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

DirectoryGuard AcquireDirectoryGuard(const std::string& lockPath) {
  std::wstring wide;
  if (!internal::ToWide(lockPath, &wide)) return DirectoryGuard::kUnavailable;
  // No sharing: a second open anywhere fails with a sharing violation while this one lasts. The
  // handle is not inheritable and never closed.
  const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle != INVALID_HANDLE_VALUE) return DirectoryGuard::kTaken;
  return GetLastError() == ERROR_SHARING_VIOLATION ? DirectoryGuard::kHeldElsewhere
                                                   : DirectoryGuard::kUnavailable;
}

}  // namespace platform
