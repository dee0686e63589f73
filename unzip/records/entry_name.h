// Decoding of the raw name bytes of an entry header into the system's text (UTF-8), and the split
// of an entry path into its directory and file name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "unzip/base/zip_format.h"

// The host byte (upper byte of "version made by") of a name read from a local header, which has
// none. Archivers on kHostUnix write UTF-8 names without saying so.
inline constexpr int kHostUnknown = -1;

// The two-way OEM test: converts `name` from the OEM code page to UTF-8, that text back to OEM,
// and compares the result with `name` ignoring the case of the ASCII letters a-z. When they are
// equal `name` becomes the UTF-8 text and the result is true; otherwise `name` is unchanged.
bool OemRoundTripName(std::string& name);

// The bytes read as text in the OEM code page, one way. Bytes that are not valid there keep
// their ASCII value or, from 0x80 on, become U+FFFD each: a name never comes out empty.
std::string OemNameOneWay(std::string_view bytes);

// The system's ANSI text is UTF-8 itself, so a well-formed name comes back unchanged. Bytes that
// are not valid UTF-8 (platform::IsValidUtf8) give an empty name.
std::string DecodeUtf8Name(std::string_view bytes);

// The bytes as UTF-8 when they are valid UTF-8, else read as OEM text (OemNameOneWay).
std::string Utf8OrOemName(std::string_view bytes);

// The name of a header as text: "/" becomes "\", then
//  - kFlagUtf8Name set: UTF-8;
//  - written by a Unix host (`host`, the upper byte of "version made by") and valid UTF-8: UTF-8;
//  - else, when `oemTest` is set, the two-way OEM test decides;
//  - else (or when the test fails) UTF-8.
// Bytes that are not valid UTF-8 are read as OEM text instead. Pass kHostUnknown for a name from
// a local header.
std::string DecodeEntryName(std::string_view raw, uint16_t flags, int host, bool oemTest);

// Splits a path with "\" separators: the file name is the text after the last "\" or ":", the
// directory the text up to and including it, with "\" added after a final ":". "dir\sub\" gives
// "dir\sub\" and "", "readme.txt" gives "" and "readme.txt", "C:x" gives "C:\" and "x".
void SplitEntryPath(std::string_view path, std::string* directory, std::string* fileName);
