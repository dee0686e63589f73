// Destination directories of entries and the checks that keep every output inside the
// destination directory.
#include "unzip/entry_destination.h"

#include "platform/files.h"
#include "platform/path_text.h"
#include "unzip/base/ansi_case.h"

namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         AnsiLowerCase(std::string_view(text).substr(0, prefix.size())) == AnsiLowerCase(prefix);
}

}  // namespace

std::string EntryDestinationDir(const std::string& baseDir, const std::string& directory,
                                bool recreateDirs,
                                const std::vector<std::string>& relativePathList) {
  if (!recreateDirs || directory.empty()) return baseDir + "\\";
  std::string d = directory;
  for (const std::string& prefix : relativePathList) {
    if (StartsWithIgnoringCase(d, prefix)) {
      d.erase(0, prefix.size());
      break;
    }
  }
  if (d.empty() || (d[0] != '\\' && (d.size() < 2 || d[1] != ':'))) return baseDir + "\\" + d;
  if (d[0] == '\\') return baseDir + d;
  return baseDir + d.substr(2);  // a drive letter and ":" are dropped
}

bool IsUnsafeOutputPath(const std::string& baseDir, const std::string& path, bool isFile) {
  std::string prefix = baseDir;
  if (prefix.empty() || !IsSeparator(prefix.back())) prefix += '\\';
  if (path.compare(0, prefix.size(), prefix) != 0) return true;
  // No name of the system may hold a control character (Windows refuses them all), and a line
  // end or tab in a name would break every line-based record of it.
  if (platform::HasControlCharacter(std::string_view(path).substr(prefix.size()))) return true;

  int depth = 0;
  std::string component;
  size_t start = prefix.size();
  for (;;) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    component.assign(path, start, end - start);
    const bool last = end == path.size();
    if (last && isFile && (component.empty() || component == "." || component == "..")) {
      return true;
    }
    if (component == "..") {
      if (--depth < 0) return true;
    } else if (!component.empty() && component != ".") {
      if (platform::IsReservedFileName(component)) return true;
      ++depth;
    }
    if (last) return false;
    start = end + 1;
  }
}

std::string LinkOnTheWay(const std::string& baseDir, const std::string& dir) {
  std::string prefix = baseDir;
  if (prefix.empty() || !IsSeparator(prefix.back())) prefix += '\\';
  if (dir.compare(0, prefix.size(), prefix) != 0) return "";
  for (size_t end = prefix.size(); end <= dir.size(); ++end) {
    if (end < dir.size() && !IsSeparator(dir[end])) continue;
    const size_t start = dir.find_last_of("\\/", end - 1) + 1;
    const std::string component = dir.substr(start, end - start);
    if (component == "..") return "";
    if (component.empty() || component == ".") continue;
    const std::string path = dir.substr(0, end);
    switch (platform::LinkFreeKind(path)) {
      case platform::PathKind::kDirectory:
        continue;
      case platform::PathKind::kLink:
      case platform::PathKind::kUnknown:
        return path;
      default:
        return "";  // missing, or a file in the way: nothing below it to write through
    }
  }
  return "";
}
