// Scratch directories on std::filesystem, which both systems' libraries provide.
#include "platform/temporary_tree.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace platform {
namespace fs = std::filesystem;
namespace {

std::string SystemForm(const fs::path& p) {
  const std::u8string text = p.u8string();
  std::string s(text.begin(), text.end());
  for (char& c : s) {
    if (c == '/') c = '\\';
  }
  return s;
}

fs::path NativeForm(const std::string& systemPath) {
  std::string s = systemPath;
  for (char& c : s) {
    if (c == '\\') c = static_cast<char>(fs::path::preferred_separator);
  }
  return fs::path(std::u8string(s.begin(), s.end()));
}

}  // namespace

std::string MakeTemporaryDirectory(const std::string& prefix) {
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  if (error) return {};
  auto stamp =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 100; ++attempt, stamp += 7919) {
    const fs::path dir = base / (prefix + std::to_string(stamp));
    // create_directory answers false, without an error, for a name that exists already.
    if (fs::create_directory(dir, error)) return SystemForm(dir);
    if (error) return {};
  }
  return {};
}

bool RemoveDirectoryTree(const std::string& path) {
  std::error_code ignored;
  const fs::path dir = NativeForm(path);
  // Windows refuses to delete read-only files: give every entry its owner's rights first.
  for (auto it = fs::recursive_directory_iterator(dir, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(dir, ignored);
  return !fs::exists(dir, ignored);
}

std::vector<std::string> ListDirectoryTree(const std::string& path) {
  std::vector<std::string> result;
  std::error_code ignored;
  const fs::path dir = NativeForm(path);
  for (auto it = fs::recursive_directory_iterator(dir, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    std::string relative = SystemForm(it->path().lexically_relative(dir));
    if (it->is_directory(ignored)) relative += '\\';
    result.push_back(relative);
  }
  std::sort(result.begin(), result.end());
  return result;
}

}  // namespace platform
