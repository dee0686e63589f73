// The user's OEM code page and conversions between it and the system's text (UTF-8), and the
// system's ANSI code page for the hand-over file, with one contract for Windows (platform/win32)
// and POSIX (platform/posix).
//
// Windows takes the code page from GetOEMCP. POSIX systems have none, so it follows the language
// of the locale (LC_ALL, else LC_CTYPE, else LANG; the first one set and not empty), read at every
// call: see OemCodePageForLocale.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The OEM code page number in use now (437, 866, 932, 936, 949, 950, ...).
unsigned OemCodePage();

// OEM text to UTF-8. False (and *utf8 unspecified) when the bytes are not valid text in the OEM
// code page, such as a lead byte without its trail byte.
bool OemToUtf8(std::string_view oem, std::string* utf8);

// UTF-8 text to OEM. False (and *oem unspecified) when the text is not valid UTF-8 or holds a
// character that the OEM code page cannot represent exactly: no default character and no
// look-alike is ever put in its place.
bool Utf8ToOem(std::string_view utf8, std::string* oem);

// The system's ANSI code page: GetACP on Windows (936 on a Chinese system, 1252 on a western
// one); 65001 (UTF-8) on POSIX, whose text is UTF-8.
unsigned AnsiCodePage();

// Text in code page `codePage` (936, 1252, ..., 65001 for UTF-8) to UTF-8. False (and *utf8
// unspecified) when the bytes are not valid text in that code page or the system does not know it.
bool CodePageToUtf8(std::string_view text, unsigned codePage, std::string* utf8);

// The text of the hand-over file as the system's text (UTF-8): unchanged when it is valid UTF-8;
// else converted from `ansiCodePage`, the code page of a main program written for it; else (not
// text in either) unchanged. On POSIX the ANSI code page is UTF-8 itself, so nothing changes.
inline std::string HandOverTextToUtf8(std::string_view bytes,
                                      unsigned ansiCodePage = AnsiCodePage()) {
  constexpr unsigned kUtf8 = 65001;
  std::string utf8;
  if (CodePageToUtf8(bytes, kUtf8, &utf8)) return utf8;
  if (ansiCodePage != kUtf8 && CodePageToUtf8(bytes, ansiCodePage, &utf8)) return utf8;
  return std::string(bytes);
}

// The OEM code page the POSIX side uses for a locale name such as "zh_CN.UTF-8" or "ru_RU":
// zh_CN and zh_SG 936, zh_TW and zh_HK 950, ja 932, ko 949, ru, uk and be 866, anything else
// (including "C", "POSIX" and an empty name) 437. Shared so that both builds can test the table.
inline unsigned OemCodePageForLocale(std::string_view locale) {
  const size_t end = locale.find_first_of(".@");
  if (end != std::string_view::npos) locale = locale.substr(0, end);
  const std::string_view language = locale.substr(0, locale.find('_'));
  if (locale == "zh_CN" || locale == "zh_SG") return 936;
  if (locale == "zh_TW" || locale == "zh_HK") return 950;
  if (language == "ja") return 932;
  if (language == "ko") return 949;
  if (language == "ru" || language == "uk" || language == "be") return 866;
  return 437;
}

}  // namespace platform
