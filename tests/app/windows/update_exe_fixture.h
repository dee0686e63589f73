// The fixture of the end-to-end tests of update.exe under Windows (Wine): a temporary program
// directory with a copy of the updater, the test's child program standing in for the main
// program, and the updater run and looked at from outside.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/windows/child_process.h"
#include "platform/processes.h"
#include "support/child_processes.h"
#include "support/child_program_copies.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"

namespace test {

namespace fs = std::filesystem;

class UpdateExeFixture : public ::testing::Test {
 protected:
  UpdateExeFixture() { UseProgramDirectory("program"); }

  // Makes `name` (under the test's directory) the program directory, with a copy of the updater.
  void UseProgramDirectory(const std::string& name) {
    program_ = work_.File(name);
    fs::create_directories(test::FsPath(program_));
    fs::copy_file(test::FsPath(test::HostPath(UPDATE_UPDATER)), test::FsPath(Path("update.exe")));
  }

  std::string Path(const std::string& name) const { return program_ + "\\" + name; }

  // Puts the child program into the program directory as `name`.
  void AddProgram(const std::string& name) { programs_.Add(Path(name)); }

  // Starts the program `name` of the program directory to stay until it is terminated, and
  // waits until it runs.
  void StartProgram(const std::string& name, test::ChildProcess& process) {
    const std::string record = work_.File("started-" + std::to_string(records_++) + ".txt");
    ASSERT_TRUE(process.Start(Path(name), "-stay", {{"UPDATE_CHILD_RECORD", record}}));
    ASSERT_TRUE(test::WaitFor([&] { return fs::exists(test::FsPath(record)); }));
  }

  // Starts the updater; the main program it starts again records its arguments in the
  // test's "restart.txt".
  void StartUpdater(test::ChildProcess& updater) {
    ASSERT_TRUE(updater.Start(Path("update.exe"), "",
                              {{"UPDATE_CHILD_RECORD", work_.File("restart.txt")}}));
  }

  // Runs the updater to its end; its exit code, or -1 when it did not end within the bound.
  int RunUpdater() {
    test::ChildProcess updater;
    StartUpdater(updater);
    const auto code = updater.WaitForExit();
    return code ? static_cast<int>(*code) : -1;
  }

  // The arguments the main program was started again with; empty when it was not.
  std::string Restart() {
    const std::string record = work_.File("restart.txt");
    test::WaitFor([&] { return fs::exists(test::FsPath(record)); });
    return fs::exists(test::FsPath(record)) ? test::ReadFileBytes(record) : "";
  }

  void WriteArchive(const std::vector<std::pair<std::string, std::string>>& files) {
    test::WriteFileBytes(Path("update.zip"), test::BuildZipOfFiles(files));
  }

  // The program directory: each file's size and CRC-32 (short enough to print), "" for each
  // directory (its name ends in "/"). The updater's own bookkeeping (".update-...", update.log,
  // update.result) is left out.
  std::map<std::string, std::string> Tree() const {
    std::map<std::string, std::string> tree;
    const fs::path root = test::FsPath(program_);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      const std::u8string relative = entry.path().lexically_relative(root).generic_u8string();
      const std::string name(relative.begin(), relative.end());
      if (name.rfind(".update-", 0) == 0 || name == "update.log" || name == "update.result") {
        continue;
      }
      if (entry.is_directory()) {
        tree[name + "/"] = "";
      } else {
        const std::string bytes = test::ReadFileBytes(program_ + "\\" + name);
        tree[name] =
            std::to_string(bytes.size()) + " bytes, CRC " + std::to_string(test::Crc32(bytes));
      }
    }
    return tree;
  }

  test::TempDir work_;  // first: removed after everything that runs in it has ended
  std::string program_;
  // Nothing of a test may stay running: the copies of the main program that the updater
  // started are killed before work_ is removed.
  test::ChildProgramCopies programs_;
  int records_ = 0;
};

}  // namespace test
