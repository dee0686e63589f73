// The program tree check: links and special files on the way to an update's files refuse it,
// looked at without following them; a plain tree passes.
#include "app/link_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/temporary_tree.h"
#include "support/links.h"
#include "support/temp_dir.h"

namespace {

const char kLinkRefusal[] = " is a link; the updater does not write through links.";

TEST(LinkCheck, LinksAndSpecialFilesOnTheWayRefuseTheUpdate) {
  struct Case {
    const char* what;
    const char* inTheWay;  // made in the program directory: "name -> target" or "name |" (FIFO)
    std::vector<std::string> targets;
    std::string refusal;  // empty: the update passes
  };
  const std::string sep = platform::DisplayPath("\\");
  const Case cases[] = {
      {"a plain tree", "", {"prog.exe", "data\\x.txt", "data\\new\\y.txt", "new\\"}, ""},
      {"a directory link on the way",
       "data -> ..\\outside",
       {"a.txt", "data\\x.txt"},
       "data" + std::string(kLinkRefusal)},
      {"a directory link deeper down",
       "data\\deep -> ..\\..\\outside",
       {"data\\deep\\x.txt"},
       "data" + sep + "deep" + kLinkRefusal},
      {"a directory target that is a link",
       "data -> ..\\outside",
       {"data\\"},
       "data" + std::string(kLinkRefusal)},
      {"a file target that is a link",
       "data\\x.txt -> ..\\..\\outside\\x.txt",
       {"data\\x.txt"},
       "data" + sep + "x.txt" + kLinkRefusal},
      {"a dangling link",
       "data\\x.txt -> nowhere",
       {"data\\x.txt"},
       "data" + sep + "x.txt" + kLinkRefusal},
      {"a FIFO",
       "data\\x.txt |",
       {"data\\x.txt"},
       "data" + sep + "x.txt is a FIFO; the updater replaces only regular files."},
      {"a link off the targets' way", "other -> ..\\outside", {"data\\x.txt"}, ""},
      {"a name that climbs out",
       "",
       {"data\\..\\..\\x.txt"},
       "data" + sep + ".." + sep + ".." + sep + "x.txt leads out of the program directory."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    const std::string program = dir.File("program") + "\\";
    ASSERT_TRUE(platform::MakeDirectories(program + "data"));
    ASSERT_TRUE(platform::MakeDirectories(dir.File("outside")));
    test::WriteFileBytes(dir.File("outside\\x.txt"), "outside");
    test::WriteFileBytes(program + "data\\x.txt", "inside");
    const std::string way = c.inTheWay;
    if (!way.empty()) {
      const std::string name = way.substr(0, way.find(' '));
      ASSERT_TRUE(platform::RemoveDirectoryTree(program + name));
      const std::string target = way.substr(way.find("-> ") + 3);
      const bool toDirectory = target.size() >= 7 && target.substr(target.size() - 7) == "outside";
      const bool made = way.back() == '|' ? test::MakeFifo(program + name)
                                          : test::MakeLink(target, program + name, toDirectory);
      if (!made) GTEST_SKIP() << "this system makes no links or FIFOs";
    }
    const std::string refusal = ProgramTreeLinkRefusal(program, c.targets);
    EXPECT_EQ(refusal, c.refusal.empty() ? "" : "The update was not applied: " + c.refusal);
    EXPECT_EQ(test::ReadFileBytes(dir.File("outside\\x.txt")), "outside");
  }
}

}  // namespace
