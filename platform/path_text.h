// Text rules for paths with "\" as separator and the drive ":" rules: the one home of every
// split, join and trim of a path that the updater, its tools and the archive component share.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Everything up to and including the last "\" or ":"; empty when there is neither.
std::string ExtractFilePath(std::string_view path);

// The directory part of `path` (ExtractFilePath without its final "\" unless the character
// before that is "\" or ":"), followed by "\" when that part is not empty:
// "dir\file" -> "dir\", "file" -> "", "C:\file" -> "C:\\".
std::string DirWithDelimiter(std::string_view path);

// `path` without one trailing "\\" ("C:\\" gives "C:").
std::string WithoutTrailingBackslash(std::string path);

// `s` unchanged when it is empty or consists only of bytes 0x00 to 0x20; otherwise `s` with "\"
// appended unless it ends in one. (UTF-8, the system's code page, never has the byte of "\"
// inside a multi-byte character, so the last byte decides.)
std::string AddPathDelimiter(const std::string& s);

// Replaces every "/" by "\" in place.
void SlashesToBackslashes(std::string& name);

// Whether `text` holds a control character (below 0x20, or 0x7F): no name of a file the updater
// writes or records may hold one (a line end would break a line-based record, and Windows
// refuses them all).
bool HasControlCharacter(std::string_view text);

// Whether `name` is a bare file name: not empty, not "." or "..", no separator ("\" or "/"), no
// ":" (a drive or a stream) and no control character.
bool IsBareFileName(std::string_view name);

// Whether `path` is a plain relative path: bare file names joined by "\" or "/", optionally
// ending in one separator (a directory); so no leading separator, no drive, no empty, "." or
// ".." component, no control character.
bool IsPlainRelativePath(std::string_view path);

}  // namespace platform
