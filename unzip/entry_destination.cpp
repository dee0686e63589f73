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

std::string DestinationDirOf(std::string dir) {
  const bool loneRoot =
      dir == "\\" || (dir.size() == 3 && dir[1] == ':' && dir[2] == '\\' && dir[0] != '\\');
  if (!loneRoot && !dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

std::string WithSeparator(const std::string& dir) {
  return !dir.empty() && dir.back() == '\\' ? dir : dir + "\\";
}

std::string EntryDestinationDir(const std::string& baseDir, const std::string& directory,
                                bool recreateDirs,
                                const std::vector<std::string>& relativePathList) {
  const std::string base = WithSeparator(baseDir);
  if (!recreateDirs || directory.empty()) return base;
  std::string d = directory;
  for (const std::string& prefix : relativePathList) {
    if (StartsWithIgnoringCase(d, prefix)) {
      d.erase(0, prefix.size());
      break;
    }
  }
  if (d.empty() || (d[0] != '\\' && (d.size() < 2 || d[1] != ':'))) return base + d;
  if (d[0] == '\\') return base + d.substr(1);
  // A drive letter and ":" are dropped; what follows is joined as it stands.
  const std::string rest = d.substr(2);
  return !rest.empty() && rest[0] == '\\' ? base + rest.substr(1) : baseDir + rest;
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
