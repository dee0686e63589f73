// A temporary directory for one test: created empty, removed with its contents when the test
// passed, kept (and named on stderr) when it failed, for a look at what was left.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory, in the system's form (UTF-8, "\" as separator), without a final separator.
  const std::string& Path() const { return path_; }
  // Path() + "\" + name.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Writes `bytes` to `path` (created or truncated) and reads a file whole; both fail the test on
// an error.
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
// Writes each file of `tree` below `root`, making the directories on the way; paths are "\"
// separated, and one ending in "\" is a directory (its content is not used).
void WriteTree(const std::string& root, const std::map<std::string, std::string>& tree);

}  // namespace test

namespace test {

// A path of the build machine as the running test sees it: unchanged on Linux; under Wine a
// "/..." path becomes "Z:\..." (Wine's drive for the host's root).
std::string HostPath(const std::string& path);

// A path in the system's form ("\" separators, UTF-8) as a std::filesystem path of the host.
std::filesystem::path FsPath(const std::string& systemPath);

// A path in the system's form ("\" separators) as the host's own programs and shell take it:
// "/" separators on Linux, unchanged on Windows.
std::string NativePath(const std::string& systemPath);

// The directory of the archives made by other tools for the tests (see make_tool_archives.sh).
std::string ToolArchive(const std::string& name);

// A file of the project's source tree, given relative to its root with "/" separators.
std::string SourceFile(const std::string& relative);

}  // namespace test
