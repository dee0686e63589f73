// Path text rules.
#include "platform/path_text.h"

#include <algorithm>

namespace platform {

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

std::string WithoutTrailingBackslash(std::string path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

std::string AddPathDelimiter(const std::string& s) {
  bool blank = true;
  for (const char c : s) {
    if (static_cast<unsigned char>(c) > 0x20) blank = false;
  }
  if (blank || s.back() == '\\') return s;
  return s + "\\";
}

void SlashesToBackslashes(std::string& name) {
  std::replace(name.begin(), name.end(), '/', '\\');
}

}  // namespace platform
