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

bool HasControlCharacter(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

bool IsBareFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("\\/:") == std::string_view::npos && !HasControlCharacter(name);
}

bool IsPlainRelativePath(std::string_view path) {
  if (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.remove_suffix(1);
  if (path.empty()) return false;
  for (size_t start = 0;;) {
    const size_t end = path.find_first_of("\\/", start);
    if (!IsBareFileName(path.substr(start, end - start))) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

}  // namespace platform
