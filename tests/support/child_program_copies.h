// Copies of the test's child program standing in for other programs (a main program, a second
// copy of something), each killed when its owner goes: nothing of a test may stay running, and
// a running copy could not be removed with its directory on Windows.
#pragma once

#include <string>
#include <vector>

namespace test {

// The child program as the running test sees it (system form).
std::string ChildProgram();

class ChildProgramCopies {
 public:
  ChildProgramCopies() = default;
  // Kills every copy still running and waits until it is gone.
  ~ChildProgramCopies();
  ChildProgramCopies(const ChildProgramCopies&) = delete;
  ChildProgramCopies& operator=(const ChildProgramCopies&) = delete;

  // Copies the child program to `path` (system form; no file may be there yet), creating its
  // directory, and answers `path`.
  std::string Add(const std::string& path);

  // Kills whatever runs from the copy at `path` and waits until it is gone (a minute at most);
  // false when it still runs then.
  static bool Kill(const std::string& path);

 private:
  std::vector<std::string> paths_;
};

}  // namespace test
