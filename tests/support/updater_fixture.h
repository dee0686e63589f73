// The end-to-end tests' program directory: the real `update` in a temporary program directory
// (run without a display, with a guard of the test's own) beside copies of the test's child
// program standing in for the main program; the files, update.log and update.result it leaves.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "support/child_program_copies.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"

namespace test {

// Makes an openssl P-256 key pair `name`.pem / `name`.pub in `dir` (system form).
inline void MakeKeyPair(const std::string& dir, const std::string& name) {
  const std::string base = "'" + test::NativePath(dir + "\\" + name);
  ASSERT_EQ(std::system(("openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out " +
                         base + ".pem' 2> /dev/null && openssl pkey -in " + base +
                         ".pem' -pubout -out " + base + ".pub'")
                            .c_str()),
            0);
}

// Signs `file` with the private key `keyPem` into `signature` (all system form).
inline void Sign(const std::string& keyPem, const std::string& file, const std::string& signature) {
  ASSERT_EQ(std::system(("openssl dgst -sha256 -sign '" + test::NativePath(keyPem) + "' -out '" +
                         test::NativePath(signature) + "' '" + test::NativePath(file) + "'")
                            .c_str()),
            0);
}

class UpdaterFixture : public ::testing::Test {
 protected:
  UpdaterFixture() {
    program_ = work_.File("program");
    std::filesystem::create_directories(test::FsPath(program_));
    std::filesystem::create_directories(test::FsPath(work_.File("runtime")));
    std::filesystem::copy_file(UPDATE_UPDATER, test::FsPath(Path("update")));
  }

  std::string Path(const std::string& name) const { return program_ + "\\" + name; }

  // Puts the child program into the program directory as `name`.
  void AddProgram(const std::string& name) { programs_.Add(Path(name)); }

  // Starts the program `name` of the program directory so that it stays until it is killed.
  void StartProgram(const std::string& name) {
    const std::string command = "UPDATE_CHILD_RECORD='" +
                                test::NativePath(work_.File("first.txt")) + "' '" +
                                test::NativePath(Path(name)) + "' -stay &";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(test::WaitFor([&] { return platform::FileExists(work_.File("first.txt")); }));
  }

  // Runs the updater without a display, with a runtime directory (and so a guard) of the test's
  // own (as the user `asUser` when one is given); returns its exit status.
  int RunUpdater(const std::string& asUser = "", const std::string& environment = "") {
    const std::string command =
        "cd / && " + (asUser.empty() ? std::string() : "runuser -u " + asUser + " -- ") +
        "env -u DISPLAY " + environment + " XDG_RUNTIME_DIR='" +
        test::NativePath(work_.File("runtime")) + "' UPDATE_CHILD_RECORD='" +
        test::NativePath(work_.File("restart.txt")) + "' '" + test::NativePath(Path("update")) +
        "' 2> '" + test::NativePath(work_.File("stderr.txt")) + "'";
    const int status = std::system(command.c_str());
    stderr_ = test::ReadFileBytes(work_.File("stderr.txt"));
    return status > 255 ? status >> 8 : status;
  }

  // The arguments the main program was started again with; empty when it was not.
  std::string Restart() {
    test::WaitFor([&] { return platform::FileExists(work_.File("restart.txt")); });
    return platform::FileExists(work_.File("restart.txt"))
               ? test::ReadFileBytes(work_.File("restart.txt"))
               : "";
  }

  void WriteArchive(const std::vector<std::pair<std::string, std::string>>& files) {
    test::WriteFileBytes(Path("update.zip"), test::BuildZipOfFiles(files));
  }

  // The lines of update.log, each checked for its leading local time.
  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    if (!platform::FileExists(Path("update.log"))) return lines;
    std::istringstream in(test::ReadFileBytes(Path("update.log")));
    const std::regex stamp(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d .+)");
    for (std::string line; std::getline(in, line);) {
      EXPECT_TRUE(std::regex_match(line, stamp)) << line;
      lines.push_back(line);
    }
    return lines;
  }

  // Every one of `expected` is found in a line of update.log, in this order.
  void ExpectLogInOrder(const std::vector<std::string>& expected) {
    const std::vector<std::string> lines = LogLines();
    size_t at = 0;
    for (const std::string& part : expected) {
      while (at < lines.size() && lines[at].find(part) == std::string::npos) ++at;
      EXPECT_LT(at, lines.size()) << "missing, or out of order: " << part << "\n"
                                  << test::ReadFileBytes(Path("update.log"));
      if (at == lines.size()) return;
      ++at;
    }
  }

  bool Running(const std::string& name) { return platform::FindProcessID(name) > 0; }

  // update.result's item `key` ("result", "code", "reason"), or empty when it has none.
  std::string ResultItem(const std::string& key) {
    if (!platform::FileExists(Path("update.result"))) return "";
    std::istringstream in(test::ReadFileBytes(Path("update.result")));
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(key + " ", 0) == 0) return line.substr(key.size() + 1);
    }
    return "";
  }

  test::TempDir work_;
  std::string program_;
  std::string stderr_;
  test::ChildProgramCopies programs_;  // after work_: killed before it is removed
};

}  // namespace test
