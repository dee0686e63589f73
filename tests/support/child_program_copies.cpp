// Copies of the test's child program, killed when their owner goes.
#include "support/child_program_copies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/processes.h"
#include "support/child_processes.h"
#include "support/temp_dir.h"

namespace test {

namespace fs = std::filesystem;

std::string ChildProgram() {
  return HostPath(UPDATE_CHILD_PROGRAM);
}

ChildProgramCopies::~ChildProgramCopies() {
  for (const std::string& path : paths_) EXPECT_TRUE(Kill(path)) << path;
}

std::string ChildProgramCopies::Add(const std::string& path) {
  fs::create_directories(FsPath(path).parent_path());
  fs::copy_file(FsPath(ChildProgram()), FsPath(path));
  if (std::find(paths_.begin(), paths_.end(), path) == paths_.end()) paths_.push_back(path);
  return path;
}

bool ChildProgramCopies::Kill(const std::string& path) {
  // The Windows process listing has file names only; elsewhere the full path singles out this
  // very copy, so that a program of the same name that another test runs is left alone.
  const std::string name = OnWindows() ? path.substr(path.find_last_of('\\') + 1) : path;
  platform::KillProcessByName(name);
  return WaitFor([&] { return platform::FindProcessID(name) == 0; });
}

}  // namespace test
