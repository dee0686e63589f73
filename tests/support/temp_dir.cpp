// Temporary directories and whole-file helpers for tests, on std::filesystem so that they do not
// depend on the platform layer under test.
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace fs = std::filesystem;

namespace test {
namespace {

// The system's form of a native path: "\" separators on every platform.
std::string SystemForm(const fs::path& p) {
  std::string s = reinterpret_cast<const char*>(p.u8string().c_str());
  for (char& c : s) {
    if (c == '/') c = '\\';
  }
  return s;
}

}  // namespace

fs::path FsPath(const std::string& systemPath) {
  std::string s = systemPath;
  for (char& c : s) {
    if (c == '\\') c = static_cast<char>(fs::path::preferred_separator);
  }
  return fs::path(std::u8string(s.begin(), s.end()));
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::ostringstream name;
  name << "update-test-" << stamp << "-" << counter++;
  const fs::path dir = fs::temp_directory_path() / name.str();
  fs::create_directories(dir);
  path_ = SystemForm(dir);
}

TempDir::~TempDir() {
  if (::testing::Test::HasFailure()) {
    std::cerr << "kept the failed test's directory " << path_ << "\n";
    return;
  }
  std::error_code ignored;
  const fs::path dir = FsPath(path_);
  // A test may leave read-only files behind; make them writable so removal works on Windows.
  for (auto it = fs::recursive_directory_iterator(dir, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(dir, ignored);
}

std::string TempDir::File(const std::string& name) const {
  return path_ + "\\" + name;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  ASSERT_TRUE(out) << "cannot create " << path;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out) << "cannot write " << path;
}

void WriteTree(const std::string& root, const std::map<std::string, std::string>& tree) {
  for (const auto& [path, data] : tree) {
    const std::filesystem::path full = FsPath(root + "\\" + path);
    std::error_code error;
    std::filesystem::create_directories(path.back() == '\\' ? full : full.parent_path(), error);
    ASSERT_FALSE(error) << "cannot make the directories of " << path << ": " << error.message();
    if (path.back() != '\\') WriteFileBytes(root + "\\" + path, data);
  }
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  EXPECT_TRUE(in) << "cannot open " << path;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace test

namespace test {

std::string HostPath(const std::string& path) {
  if (fs::path::preferred_separator != '\\' || path.empty() || path[0] != '/') return path;
  std::string windows = "Z:" + path;
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  return windows;
}

std::string NativePath(const std::string& systemPath) {
  const std::u8string text = FsPath(systemPath).u8string();
  return std::string(text.begin(), text.end());
}

std::string ToolArchive(const std::string& name) {
  return HostPath(std::string(UPDATE_TOOL_ARCHIVES) + "/" + name);
}

std::string SourceFile(const std::string& relative) {
  return HostPath(std::string(UPDATE_SOURCE_DIR) + "/" + relative);
}

}  // namespace test
