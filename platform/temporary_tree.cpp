// Scratch directories on std::filesystem, which both systems' libraries provide. Removing and
// listing trees is each system's own (posix/ and win32/temporary_tree.cpp): std::filesystem
// follows links there (on Windows at every level, as mingw's lstat is stat).
#include "platform/temporary_tree.h"

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

}  // namespace platform
