// The publisher's path of README.md, command by command as it is written there, run in a scratch
// directory with update-sign and update-pack as processes of their own: each row's exit status,
// what it prints and the files it leaves.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/tool_run.h"

namespace {

// Runs the README's commands from the scratch directory, where their relative paths lead.
class PublisherPath : public ::testing::Test {
 protected:
  PublisherPath() : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(test::FsPath(work_.Path()));
  }
  ~PublisherPath() override { std::filesystem::current_path(saved_); }

  test::TempDir work_;
  std::filesystem::path saved_;
};

TEST_F(PublisherPath, TheReadmesCommandsWorkAsWritten) {
  test::WriteTree(work_.Path(), {{"releases\\2.0\\myapp.exe", "version 2.0"},
                                 {"releases\\2.0\\old.dll", "only in 2.0"},
                                 {"releases\\2.1\\myapp.exe", "version 2.1"},
                                 {"releases\\2.1\\plugins\\", ""}});
  struct Case {
    const char* command;  // a line of README.md
    const char* printed;
    std::vector<const char*> made;
  };
  const Case cases[] = {
      {"update-sign keygen private.pem update.pub", "", {"private.pem", "update.pub"}},
      {"update-pack make --product myapp --version 2.0 --sign private.pem -o releases/2.0.zip "
       "releases/2.0",
       "myapp 2.0, the whole release in 3 entries",
       {"releases/2.0.zip", "releases/2.0.zip.sig", "releases/2.0.release"}},
      {"update-pack make --product myapp --version 2.1 --sign private.pem -o releases/2.1.zip "
       "releases/2.1",
       "myapp 2.1, the whole release in 3 entries",
       {"releases/2.1.zip", "releases/2.1.zip.sig", "releases/2.1.release"}},
      {"update-pack make --product myapp --version 2.1 --from releases/2.0 --sign private.pem -o "
       "releases/2.0-2.1.zip releases/2.1",
       "myapp 2.1, the changes from 2.0 in 3 entries (the release record, 1 file, 1 directory), 0 "
       "files left out as unchanged, 1 removal",
       {"releases/2.0-2.1.zip", "releases/2.0-2.1.zip.sig", "releases/2.0-2.1.release"}},
      {"update-pack show releases/2.0-2.1.zip --key update.pub",
       "  from 2.0\n  remove old.dll\n",
       {}},
  };
  const std::string readme = test::ReadFileBytes(test::SourceFile("README.md"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    ASSERT_NE(readme.find(c.command), std::string::npos) << "README.md has it no longer";
    std::istringstream words(c.command);
    std::string program;
    words >> program;
    std::vector<std::string> arguments;
    for (std::string word; words >> word;) arguments.push_back(word);
    test::ToolRun run = test::RunTool(
        test::HostPath(program == "update-sign" ? UPDATE_SIGN : UPDATE_PACK), work_, arguments);
    std::erase(run.out, '\r');
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(c.printed), std::string::npos) << run.out;
    for (const char* made : c.made) {
      EXPECT_TRUE(std::filesystem::exists(made)) << made;
    }
  }
  EXPECT_EQ(test::ReadFileBytes(work_.File("releases\\2.1.release")),
            "update-release 1\nproduct myapp\nversion 2.1\n");
}

}  // namespace
