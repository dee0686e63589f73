// A temporary directory for one test: created empty, removed with its contents when the test
// passed, kept (and named on stderr) when it failed, for a look at what was left.
#pragma once

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

}  // namespace test
