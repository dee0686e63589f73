// The OEM code page on Windows (GetOEMCP) and the ANSI one (GetACP), converted through UTF-16
// with the system's tables.
#include "platform/code_pages.h"

#include <windows.h>

#include <climits>
#include <string>

namespace platform {

namespace {

// Code pages whose conversion calls refuse WC_NO_BEST_FIT_CHARS and the used-default flag. Every
// character survives a round trip through them, so nothing needs checking there.
bool IsUnicodeCodePage(UINT codePage) {
  return codePage == CP_UTF8 || codePage == 54936;  // GB18030
}

bool ToWide(UINT codePage, std::string_view text, std::wstring* wide) {
  wide->clear();
  if (text.empty()) return true;
  if (text.size() > INT_MAX) return false;
  const int size = static_cast<int>(text.size());
  const int length =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide->resize(static_cast<size_t>(length));
  return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide->data(),
                             length) == length;
}

bool FromWide(UINT codePage, const std::wstring& wide, std::string* text) {
  text->clear();
  if (wide.empty()) return true;
  if (wide.size() > INT_MAX) return false;
  const int size = static_cast<int>(wide.size());
  DWORD flags = 0;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultPtr = nullptr;
  if (codePage == CP_UTF8) {
    flags = WC_ERR_INVALID_CHARS;
  } else if (!IsUnicodeCodePage(codePage)) {
    // No look-alike ("a" for "ä") and no "?" for a character the code page lacks.
    flags = WC_NO_BEST_FIT_CHARS;
    usedDefaultPtr = &usedDefault;
  }
  const int length =
      WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, usedDefaultPtr);
  if (length <= 0 || usedDefault) return false;
  text->resize(static_cast<size_t>(length));
  return WideCharToMultiByte(codePage, flags, wide.data(), size, text->data(), length, nullptr,
                             usedDefaultPtr) == length &&
         !usedDefault;
}

}  // namespace

unsigned OemCodePage() {
  return GetOEMCP();
}

unsigned AnsiCodePage() {
  return GetACP();
}

bool CodePageToUtf8(std::string_view text, unsigned codePage, std::string* utf8) {
  if (!IsValidCodePage(codePage)) return false;
  std::wstring wide;
  return ToWide(codePage, text, &wide) && FromWide(CP_UTF8, wide, utf8);
}

bool OemToUtf8(std::string_view oem, std::string* utf8) {
  std::wstring wide;
  return ToWide(GetOEMCP(), oem, &wide) && FromWide(CP_UTF8, wide, utf8);
}

bool Utf8ToOem(std::string_view utf8, std::string* oem) {
  std::wstring wide;
  return ToWide(CP_UTF8, utf8, &wide) && FromWide(GetOEMCP(), wide, oem);
}

}  // namespace platform
