// Path text helpers.
#include "unzip/base/path_text.h"

#include <algorithm>
#include <utility>

#include "platform/path_text.h"

std::string ExtractFilePath(std::string_view path) {
  return platform::ExtractFilePath(path);
}

std::string DirWithDelimiter(std::string_view path) {
  return platform::DirWithDelimiter(path);
}

std::string LeftChars(std::string_view s, int n) {
  if (n <= 0) return {};
  return std::string(s.substr(0, static_cast<size_t>(n)));
}

std::string RightChars(std::string_view s, int n) {
  if (n <= 0) return {};
  const size_t count = std::min(s.size(), static_cast<size_t>(n));
  return std::string(s.substr(s.size() - count));
}

void SlashesToBackslashes(std::string& name) {
  platform::SlashesToBackslashes(name);
}

std::string WithoutTrailingBackslash(std::string path) {
  return platform::WithoutTrailingBackslash(std::move(path));
}
