// Links and FIFOs for tests.
#include "support/links.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "support/child_processes.h"
#include "support/temp_dir.h"

namespace test {

bool MakeLink(const std::string& target, const std::string& link, bool directory) {
  std::error_code error;
  if (directory) {
    std::filesystem::create_directory_symlink(FsPath(target), FsPath(link), error);
  } else {
    std::filesystem::create_symlink(FsPath(target), FsPath(link), error);
  }
  return !error && std::filesystem::is_symlink(std::filesystem::symlink_status(FsPath(link)));
}

bool MakeFifo(const std::string& path) {
  if (OnWindows()) return false;
  return std::system(("mkfifo '" + NativePath(path) + "'").c_str()) == 0;
}

}  // namespace test
