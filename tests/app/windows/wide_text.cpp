// The tests' conversions, on the platform layer's own (a text it cannot convert becomes empty).
#include "app/windows/wide_text.h"

#include "platform/win32/wide_text.h"

namespace test {

std::wstring Wide(const std::string& utf8) {
  std::wstring wide;
  return platform::internal::ToWide(utf8, &wide) ? wide : std::wstring();
}

std::string Utf8(const std::wstring& wide) {
  return platform::internal::ToUtf8(wide.data(), wide.size());
}

}  // namespace test
