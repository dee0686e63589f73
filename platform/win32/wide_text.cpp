// UTF-8 and UTF-16 conversions through MultiByteToWideChar and WideCharToMultiByte.
#include "platform/win32/wide_text.h"

#include <windows.h>

namespace platform::internal {

bool ToWide(const std::string& text, std::wstring* wide) {
  wide->clear();
  if (text.find('\0') != std::string::npos) return false;
  if (text.empty()) return true;
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide->resize(static_cast<size_t>(length));
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide->data(), length);
  return true;
}

std::string ToUtf8(const wchar_t* text, size_t length) {
  if (length == 0) return "";
  const int size = static_cast<int>(length);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return "";
  std::string result(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, size, result.data(), bytes, nullptr, nullptr);
  return result;
}

}  // namespace platform::internal
