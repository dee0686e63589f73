// Text helpers for paths and names with "\" as separator and the drive ":" rules.
#pragma once

#include <string>
#include <string_view>

// Everything up to and including the last "\" or ":"; empty when there is neither.
std::string ExtractFilePath(std::string_view path);

// The directory part of `path` (ExtractFilePath without its final "\" unless the character
// before that is "\" or ":"), followed by "\" when that part is not empty:
// "dir\file" -> "dir\", "file" -> "", "C:\file" -> "C:\\".
std::string DirWithDelimiter(std::string_view path);

// `path` without one trailing "\\" ("C:\\" gives "C:").
std::string WithoutTrailingBackslash(std::string path);

// The first `n` characters; the last `n` characters. Both give the whole text when it is
// shorter, and an empty text for n <= 0.
std::string LeftChars(std::string_view s, int n);
std::string RightChars(std::string_view s, int n);

// Replaces every "/" by "\" in place.
void SlashesToBackslashes(std::string& name);
