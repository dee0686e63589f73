// Compositions of the file layer's calls.
#include "platform/file_helpers.h"

#include <vector>

#include "platform/files.h"
#include "platform/path_text.h"

namespace platform {

bool FileExists(const std::string& path) {
  const uint32_t attributes = ReadAttributes(path);
  return attributes != kInvalidAttributes && (attributes & kAttrDirectory) == 0;
}

bool DirectoryExists(const std::string& path) {
  const uint32_t attributes = ReadAttributes(path);
  return attributes != kInvalidAttributes && (attributes & kAttrDirectory) != 0;
}

bool MakeDirectories(const std::string& path) {
  if (path.empty()) return false;
  // Walk up to the first ancestor that counts as present, then create downwards from there. A
  // relative path ends its walk at the current directory, so its first part is created as well.
  std::vector<std::string> missing;
  std::string current = path;
  SlashesToBackslashes(current);
  for (;;) {
    if (!current.empty() && current.back() == '\\') current.pop_back();
    if (current.empty() || DirectoryExists(current) || ExtractFilePath(current) == current) break;
    missing.push_back(current);
    current = ExtractFilePath(current);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!MakeDirectory(*it)) return false;
  }
  return true;
}

}  // namespace platform
