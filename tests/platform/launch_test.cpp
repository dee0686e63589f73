// Starting a program: the Windows command line as text, and real starts of the test's child
// program, which records the arguments it receives.
#include "platform/launch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/files.h"
#include "support/child_processes.h"
#include "support/child_program_copies.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// Starts `program` with `argument` and returns what it recorded: its arguments, one per line.
std::string StartAndRecord(const std::string& program, const std::string& argument,
                           const std::string& record) {
  {
    test::ScopedEnv env("UPDATE_CHILD_RECORD", record);
    EXPECT_TRUE(StartProgram(program, argument)) << SystemErrorText(LastError().code);
  }
  if (!test::WaitFor([&] { return fs::exists(test::FsPath(record)); })) return "<no record>";
  return test::ReadFileBytes(record);
}

struct ArgumentCase {
  const char* argument;
  const char* commandLine;  // what follows the quoted path and its blank
};

const ArgumentCase kArgumentCases[] = {
    {"-start", "-start"},
    {"a\\b", "a\\b"},
    {"", "\"\""},
    {"two words", "\"two words\""},
    {"tab\there", "\"tab\there\""},
    {"say \"hi\"", "\"say \\\"hi\\\"\""},
    {"ends with\\", "\"ends with\\\\\""},
    {"a\\\\\"b", "\"a\\\\\\\\\\\"b\""},
};

TEST(LaunchTest, CommandLineQuotesThePath) {
  EXPECT_EQ(ProgramCommandLine("C:\\Program Files\\Main App\\main.exe", "-start"),
            "\"C:\\Program Files\\Main App\\main.exe\" -start");
  EXPECT_EQ(ProgramCommandLine("main.exe", "-start"), "\"main.exe\" -start");
  for (const ArgumentCase& c : kArgumentCases) {
    EXPECT_EQ(ProgramCommandLine("C:\\p.exe", c.argument),
              std::string("\"C:\\p.exe\" ") + c.commandLine)
        << "argument [" << c.argument << "]";
  }
}

// From a directory with a blank and a non-ASCII letter in its name, every argument arrives
// whole: on Windows, the command line is split back by the child's C runtime.
TEST(LaunchTest, ProgramReceivesItsArgument) {
  test::TempDir dir;
  test::ChildProgramCopies copies;
  const std::string program = copies.Add(dir.File("main pr\xC3\xB6gram\\Main App.exe"));
  int n = 0;
  for (const ArgumentCase& c : kArgumentCases) {
    const std::string record = dir.File("record-" + std::to_string(n++));
    EXPECT_EQ(StartAndRecord(program, c.argument, record), std::string(c.argument) + "\n")
        << "argument [" << c.argument << "]";
  }
}

TEST(LaunchTest, OwnerMayExecuteAfterwards) {
  if (test::OnWindows()) GTEST_SKIP() << "Windows has no execute permission bits";
  test::TempDir dir;
  test::ChildProgramCopies copies;
  const std::string program = copies.Add(dir.File("main"));
  const fs::perms readable = fs::perms::owner_read | fs::perms::owner_write |
                             fs::perms::group_read | fs::perms::others_read;
  fs::permissions(test::FsPath(program), readable);

  EXPECT_EQ(StartAndRecord(program, "-start", dir.File("record")), "-start\n");
  EXPECT_EQ(fs::status(test::FsPath(program)).permissions(), readable | fs::perms::owner_exec);
}

// A name without an extension: the file of that name when there is one, else (Windows) the
// name with ".exe", as the system's own start finds it.
TEST(LaunchTest, ANameWithoutAnExtensionIsFoundAsTheSystemFindsIt) {
  const struct {
    const char* file;     // the program's file in the directory
    const char* started;  // the name given to StartProgram
    bool windowsOnly;
  } cases[] = {
      {"plain", "plain", false},
      {"prog.exe", "prog", true},
  };
  test::TempDir dir;
  test::ChildProgramCopies copies;
  int n = 0;
  for (const auto& c : cases) {
    if (c.windowsOnly && !test::OnWindows()) continue;
    copies.Add(dir.File(c.file));
    const std::string record = dir.File("record-" + std::to_string(n++));
    EXPECT_EQ(StartAndRecord(dir.File(c.started), "-start", record), "-start\n") << c.started;
  }
  // ".exe" is added only to a name without an extension.
  copies.Add(dir.File("other.bin.exe"));
  EXPECT_FALSE(StartProgram(dir.File("other.bin"), "-start"));
}

TEST(LaunchTest, MissingProgramIsRecorded) {
  test::TempDir dir;
  const std::string program = dir.File("missing.exe");
  EXPECT_FALSE(StartProgram(program, "-start"));
  EXPECT_EQ(LastError().operation, "start program");
  EXPECT_EQ(LastError().path, program);
  EXPECT_NE(LastError().code, 0);
}

}  // namespace
}  // namespace platform
