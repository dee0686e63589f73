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

}  // namespace platform
