// The errors of the file layer on Windows: failures recorded with GetLastError's codes, and the
// system's message for a code.
#include <windows.h>

#include <string>

// Included after <windows.h> on purpose: it proves that no name of the header is a macro there.
#include "platform/error_text.h"
#include "platform/files.h"
#include "platform/files_internal.h"
#include "platform/win32/files_internal.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace internal {

void Record(const char* operation, const std::string& path, DWORD code) {
  internal::RecordError(operation, path, static_cast<int>(code));
}

bool InjectedFailure(internal::FaultKind kind, const char* operation, const std::string& path) {
  static constexpr internal::FaultCodes kCodes = {ERROR_DISK_FULL, ERROR_SHARING_VIOLATION,
                                                  ERROR_WRITE_FAULT};
  return internal::InjectedFailure(kind, operation, path, kCodes);
}

DWORD FailureCode() {
  const DWORD code = GetLastError();
  return code != 0 ? code : ERROR_INVALID_PARAMETER;
}

}  // namespace internal

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

}  // namespace platform
