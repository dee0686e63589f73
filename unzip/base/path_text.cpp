// Path text helpers.
#include "unzip/base/path_text.h"

#include <algorithm>

std::string ExtractFilePath(std::string_view path) {
  const size_t last = path.find_last_of("\\:");
  return last == std::string_view::npos ? std::string() : std::string(path.substr(0, last + 1));
}

std::string DirWithDelimiter(std::string_view path) {
  std::string dir = ExtractFilePath(path);
  if (dir.size() >= 2 && dir.back() == '\\' && dir[dir.size() - 2] != '\\' &&
      dir[dir.size() - 2] != ':') {
    dir.pop_back();
  }
  if (!dir.empty()) dir += '\\';
  return dir;
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
  std::replace(name.begin(), name.end(), '/', '\\');
}

std::string WithoutTrailingBackslash(std::string path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}
