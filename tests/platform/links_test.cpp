// The file layer with links and special files in the way (platform/files.h, temporary_tree.h):
// trees are removed and listed without following a link, opens for writing refuse them, and no
// right of a link's target is ever changed. The same tests run on Windows where the system can
// make links (Wine 8 cannot: they are skipped there).
#include "support/links.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/temporary_tree.h"
#include "support/child_processes.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

// "outside\" holds a.txt, a read-only ro.txt and deep\b.txt: what the links lead to, which must
// stay as it is.
void MakeOutside(const test::TempDir& dir) {
  ASSERT_TRUE(MakeDirectory(dir.File("outside")));
  ASSERT_TRUE(MakeDirectory(dir.File("outside\\deep")));
  test::WriteFileBytes(dir.File("outside\\a.txt"), "a");
  test::WriteFileBytes(dir.File("outside\\ro.txt"), "ro");
  test::WriteFileBytes(dir.File("outside\\deep\\b.txt"), "b");
  ASSERT_EQ(WriteAttributes(dir.File("outside\\ro.txt"), kAttrReadOnly), 0);
}

void ExpectOutsideIntact(const test::TempDir& dir) {
  EXPECT_EQ(ListDirectoryTree(dir.File("outside")),
            (std::vector<std::string>{"a.txt", "deep\\", "deep\\b.txt", "ro.txt"}));
  EXPECT_EQ(test::ReadFileBytes(dir.File("outside\\a.txt")), "a");
  EXPECT_EQ(test::ReadFileBytes(dir.File("outside\\deep\\b.txt")), "b");
  EXPECT_EQ(ReadAttributes(dir.File("outside\\a.txt")) & kAttrReadOnly, 0u);
  EXPECT_NE(ReadAttributes(dir.File("outside\\ro.txt")) & kAttrReadOnly, 0u);
  if (!test::OnWindows()) {
    EXPECT_EQ(ReadPermissions(dir.File("outside\\ro.txt")) & 0222, 0);
    EXPECT_EQ(ReadPermissions(dir.File("outside")), ReadPermissions(dir.File("here")));
  }
  EXPECT_EQ(LinkFreeKind(dir.File("nowhere")), PathKind::kMissing);
}

// In `at` (a directory of `dir`, or "" for its top): dlink to outside\, flink to outside\a.txt,
// dangling to the missing "nowhere". False when this system cannot make links.
bool MakeLinks(const test::TempDir& dir, const std::string& at) {
  const std::string prefix = at.empty() ? "" : at + "\\";
  return test::MakeLink(dir.File("outside"), dir.File(prefix + "dlink"), true) &&
         test::MakeLink(dir.File("outside\\a.txt"), dir.File(prefix + "flink"), false) &&
         test::MakeLink(dir.File("nowhere"), dir.File(prefix + "dangling"), false);
}

// A directory with the permissions a new one gets, to compare "outside" with.
void MakeComparison(const test::TempDir& dir) {
  ASSERT_TRUE(MakeDirectory(dir.File("here")));
}

TEST(Links, TreesAreRemovedAndListedWithoutFollowingALink) {
  // Removed: a tree holding links and a read-only file, and each kind of link at the top, with
  // and without a final separator.
  for (const char* removed :
       {"tree", "tree\\", "dlink", "dlink\\", "flink", "dangling", "dangling\\"}) {
    SCOPED_TRACE(removed);
    test::TempDir dir;
    MakeOutside(dir);
    MakeComparison(dir);
    ASSERT_TRUE(MakeDirectory(dir.File("tree")));
    ASSERT_TRUE(MakeDirectory(dir.File("tree\\sub")));
    test::WriteFileBytes(dir.File("tree\\sub\\c.txt"), "c");
    ASSERT_EQ(WriteAttributes(dir.File("tree\\sub\\c.txt"), kAttrReadOnly), 0);
    if (!MakeLinks(dir, "tree") || !MakeLinks(dir, "")) {
      GTEST_SKIP() << "this system makes no symbolic links";
    }
    EXPECT_EQ(ListDirectoryTree(dir.File("tree")),
              (std::vector<std::string>{"dangling", "dlink", "flink", "sub\\", "sub\\c.txt"}));
    EXPECT_TRUE(ListDirectoryTree(dir.File("dlink")).empty());
    EXPECT_TRUE(ListDirectoryTree(dir.File("dlink\\")).empty());

    EXPECT_TRUE(RemoveDirectoryTree(dir.File(removed)));
    std::string name = removed;
    if (name.back() == '\\') name.pop_back();
    EXPECT_EQ(LinkFreeKind(dir.File(name)), PathKind::kMissing);
    ExpectOutsideIntact(dir);
  }
}

TEST(Links, OpensForWritingRefuseLinksAndSpecialFiles) {
  test::TempDir dir;
  MakeOutside(dir);
  MakeComparison(dir);
  if (!MakeLinks(dir, "")) GTEST_SKIP() << "this system makes no symbolic links";
  ASSERT_TRUE(MakeDirectory(dir.File("directory")));
  std::vector<std::string> inTheWay = {"dlink", "flink", "dangling", "directory"};
  if (test::MakeFifo(dir.File("fifo"))) inTheWay.push_back("fifo");
  for (const std::string& name : inTheWay) {
    for (const uint16_t mode :
         {uint16_t{kOpenCreate}, uint16_t{kOpenWrite | kShareDenyWrite | kOpenNoLinks},
          uint16_t{kOpenRead | kShareDenyNone | kOpenNoLinks}}) {
      SCOPED_TRACE(name + " mode " + std::to_string(mode));
      // A FIFO without a reader is never waited on: the open ends.
      File file = File::Open(dir.File(name), mode);
      EXPECT_FALSE(file.IsOpen());
      EXPECT_EQ(LastError().path, dir.File(name));
      EXPECT_NE(LastError().code, 0);
    }
  }
  ExpectOutsideIntact(dir);
  // A regular file opens as before.
  test::WriteFileBytes(dir.File("plain.txt"), "plain");
  EXPECT_TRUE(File::Open(dir.File("plain.txt"), kOpenReadWrite | kOpenNoLinks).IsOpen());
  EXPECT_TRUE(File::Open(dir.File("plain.txt"), kOpenCreate).IsOpen());
  EXPECT_EQ(test::ReadFileBytes(dir.File("plain.txt")), "");
}

TEST(Links, AttributesAndPermissionsOfALinksTargetAreNeverChanged) {
  test::TempDir dir;
  MakeOutside(dir);
  MakeComparison(dir);
  if (!MakeLinks(dir, "")) GTEST_SKIP() << "this system makes no symbolic links";
  for (const char* link : {"flink", "dlink", "dlink\\", "dangling"}) {
    SCOPED_TRACE(link);
    EXPECT_NE(WriteAttributes(dir.File(link), kAttrReadOnly), 0);
    EXPECT_NE(WriteAttributesAndPermissions(dir.File(link), kAttrReadOnly, 0), 0);
    if (!test::OnWindows()) {
      EXPECT_NE(WritePermissions(dir.File(link), 0), 0);
    }
    EXPECT_EQ(LinkFreeKind(dir.File(link)), PathKind::kLink);
  }
  ExpectOutsideIntact(dir);
}

TEST(Links, ALinkIsNamedRemovedAndRenamedItself) {
  test::TempDir dir;
  MakeOutside(dir);
  MakeComparison(dir);
  if (!MakeLinks(dir, "")) GTEST_SKIP() << "this system makes no symbolic links";
  EXPECT_EQ(LinkFreeKind(dir.File("dlink\\")), PathKind::kLink);
  EXPECT_EQ(LinkFreeKindText(dir.File("dangling")), "a link");
  if (test::MakeFifo(dir.File("fifo"))) {
    EXPECT_EQ(LinkFreeKind(dir.File("fifo")), PathKind::kSpecial);
    EXPECT_EQ(LinkFreeKindText(dir.File("fifo")), "a FIFO");
  }
  EXPECT_TRUE(RenameFile(dir.File("flink"), dir.File("flink2")));
  EXPECT_EQ(LinkFreeKind(dir.File("flink2")), PathKind::kLink);
  for (const char* link : {"flink2", "dlink", "dangling"}) {
    SCOPED_TRACE(link);
    EXPECT_TRUE(RemoveFile(dir.File(link)));
    EXPECT_EQ(LinkFreeKind(dir.File(link)), PathKind::kMissing);
  }
  ExpectOutsideIntact(dir);
}

}  // namespace
}  // namespace platform
