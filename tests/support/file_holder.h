// A process that holds a file open as a virus scanner or a helper of the program might: a copy
// of the test's child program, killed when its owner goes.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/child_program_copies.h"

namespace test {

class FileHolderProcess {
 public:
  FileHolderProcess() = default;
  FileHolderProcess(const FileHolderProcess&) = delete;
  FileHolderProcess& operator=(const FileHolderProcess&) = delete;

  // Copies the child program to `program` (system form; a name no other test uses), starts it
  // holding `file` open for reading with no sharing but reading (so that on Windows nothing
  // renames or deletes it meanwhile) until it is stopped (or as long as a test may run),
  // and waits until it holds the file.
  ::testing::AssertionResult Start(const std::string& program, const std::string& file);

  // The copy's file name, as the process listing has it on every system.
  std::string Name() const;
  // Ends the holder (and so its hold) and waits until it has gone; false when it is still there.
  [[nodiscard]] bool Stop();

 private:
  ChildProgramCopies copies_;
  std::string program_;
};

}  // namespace test
