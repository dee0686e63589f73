// The Windows paths of the file layer: the system's UTF-8 paths in the UTF-16 of the wide API.
#include "platform/win32/native_path.h"

#include <windows.h>

#include <string>

#include "platform/files_internal.h"
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
}  // namespace platform
