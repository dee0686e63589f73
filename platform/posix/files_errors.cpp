// The errors of the file layer on POSIX: failures recorded with errno, and errno in words.
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/error_text.h"
#include "platform/files.h"
#include "platform/files_internal.h"
#include "platform/posix/files_internal.h"

namespace platform {
namespace internal {

void Record(const char* operation, const std::string& path, int code) {
  internal::RecordError(operation, path, code);
}

bool InjectedFailure(internal::FaultKind kind, const char* operation, const std::string& path) {
  static constexpr internal::FaultCodes kCodes = {ENOSPC, EBUSY, EIO};
  return internal::InjectedFailure(kind, operation, path, kCodes);
}

}  // namespace internal

namespace {

// strerror_r comes in two shapes (XSI returns int, GNU returns the text); take either.
[[maybe_unused]] const char* ErrorTextOf(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* ErrorTextOf(const char* result, const char*) {
  return result;
}

}  // namespace

std::string SystemErrorText(int code) {
  char buffer[256] = {};
  const char* text = ErrorTextOf(strerror_r(code, buffer, sizeof buffer), buffer);
  return internal::TrimSystemText(text != nullptr ? text : "", code);
}

std::string DisplayPath(const std::string& path) {
  std::string shown = path;
  for (char& c : shown) {
    if (c == '\\') c = '/';
  }
  return shown;
}

void RecordFileTooLarge(const std::string& path) {
  Record("write", path, EFBIG);
}

}  // namespace platform
