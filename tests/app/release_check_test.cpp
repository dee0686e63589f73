// The release check before closing: the archive's record against the installed one, with and
// without update.pub, and the files a release may not remove.
#include "app/release_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

const char kInvalid[] = "not a record";  // an installed record that does not parse

std::string Record(const std::string& product, const std::string& version,
                   const std::string& from = "", const std::vector<std::string>& removals = {}) {
  std::string text = "update-release 1\nproduct " + product + "\nversion " + version + "\n";
  if (!from.empty()) text += "from " + from + "\n";
  for (const std::string& path : removals) text += "remove " + path + "\n";
  return text;
}

TEST(ReleaseCheck, TheArchivesRecordIsWeighedAgainstTheInstalledOne) {
  struct Case {
    const char* what;
    std::string installed;  // the installed .update-release; empty: none
    std::string archive;    // the archive's record; empty: none
    bool signatureRequired;
    std::string refusal;  // a part of the refusal's text; empty: the update passes
    bool permanent;
    bool needsFull = false;  // a full package would apply
  };
  const Case cases[] = {
      {"a newer version", Record("demo", "2.4.1"), Record("demo", "2.5"), true, "", false},
      {"2.10 is newer than 2.9", Record("demo", "2.9"), Record("demo", "2.10"), true, "", false},
      {"2.9 is older than 2.10", Record("demo", "2.10"), Record("demo", "2.9"), false,
       "update.zip holds version 2.9; version 2.10 is installed", true},
      {"the same version", Record("demo", "2.4.1"), Record("demo", "2.4.1.0"), false,
       "update.zip holds version 2.4.1.0; version 2.4.1 is installed", true},
      {"an older version", Record("demo", "2.4.1"), Record("demo", "2.3.0"), true,
       "update.zip holds version 2.3.0; version 2.4.1 is installed", true},
      {"another product", Record("demo", "1.0"), Record("other", "2.0"), false,
       "update.zip is for other, not for demo", true},
      {"changes from the installed version", Record("demo", "2.3.0"),
       Record("demo", "2.4", "2.3", {"old.dll"}), true, "", false},
      {"changes from another version", Record("demo", "2.4.1"), Record("demo", "2.5", "2.3.0"),
       false,
       "update.zip updates version 2.3.0; version 2.4.1 is installed (a full package is "
       "needed)",
       true, true},
      {"no record, update.pub and an installed release", Record("demo", "1.0"), "", true,
       "update.zip carries no release record", true},
      {"no record, update.pub, no installed release", "", "", true, "", false},
      {"no record, no update.pub", Record("demo", "1.0"), "", false, "", false},
      {"the first update after an install", "", Record("demo", "1.0", "0.9"), true, "", false},
      {"an installed record that cannot be read", kInvalid, Record("demo", "2.0"), true,
       "the installed release cannot be told", false},
      {"a removal that leaves the directory", "", Record("demo", "2.0", "", {"../x.dll"}), false,
       "update.zip's release record is not valid", true},
      {"a removal of an absolute path", "", Record("demo", "2.0", "", {"/etc/passwd"}), false,
       "update.zip's release record is not valid", true},
      {"a removal of the updater's journal", "", Record("demo", "2.0", "", {".update-journal"}),
       false, "update.zip's release record is not valid", true},
      {"a removal of the main program", "", Record("demo", "2.0", "", {"PROG.exe"}), false,
       "update.zip's release record removes PROG.exe, the main program", true},
      {"a removal of the updater", "", Record("demo", "2.0", "", {"update"}), false,
       "update.zip's release record removes update, the updater itself", true},
      // A release made from an installed copy must not turn signed updates off.
      {"a removal of the key", Record("demo", "1.0"), Record("demo", "2.0", "1.0", {"update.pub"}),
       true,
       "update.zip's release record removes update.pub, the key that updates are checked "
       "with",
       true},
      {"a removal of the key in other letters", "", Record("demo", "2.0", "", {"Update.PUB"}),
       false, "removes Update.PUB, the key that updates are checked with", true},
      {"a removal of the lock", "", Record("demo", "2.0", "", {".update-lock"}), false,
       "update.zip's release record is not valid", true},
      {"a removal of the installed record", Record("demo", "1.0"),
       Record("demo", "2.0", "1.0", {".update-release"}), false,
       "update.zip's release record is not valid", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    const std::string appDir = dir.Path() + "\\";
    if (!c.installed.empty()) test::WriteFileBytes(appDir + ".update-release", c.installed);
    const TArchiveRelease archive{!c.archive.empty(), c.archive};
    std::vector<std::string> removals = {"left over"};
    const TRefusal refusal =
        CheckRelease(appDir, archive, c.signatureRequired, "prog.exe", "update", &removals);
    if (c.refusal.empty()) {
      EXPECT_TRUE(refusal.Passed()) << refusal.Text;
    } else {
      EXPECT_NE(refusal.Text.find(c.refusal), std::string::npos) << refusal.Text;
      EXPECT_EQ(refusal.Text.rfind("The update was not applied: ", 0), 0u) << refusal.Text;
      EXPECT_EQ(refusal.Permanent, c.permanent);
      EXPECT_EQ(refusal.NeedsFull, c.needsFull);
    }
    // What is removed is what a passed record lists, and nothing when it is refused.
    const bool listsRemovals = refusal.Passed() && c.archive.find("remove ") != std::string::npos;
    EXPECT_EQ(removals.empty(), !listsRemovals);
  }
}

}  // namespace
