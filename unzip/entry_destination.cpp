// Destination directories of entries and the check that keeps every output inside the
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
